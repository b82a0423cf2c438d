// The coin-channel table as a JSON document for scripts: nine rows, eight coin
// channels with value, disable, sorter and DIP position, and the "Value of Pulse" row
// whose other three bytes are kept raw. Checked whole before anything is sent.
#pragma once

#include "ParameterTable.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

using TChannelFrames = std::array<std::array<uint8_t, ChannelFrameSize>, ChannelCount>;

// The table reply (73 bytes) as the document that `table write` takes back.
QJsonObject TableToJson(std::span<const uint8_t> table);
// Rows as text for a terminal.
QString TableToText(std::span<const uint8_t> table);

// The nine channel frames of a document, or why it cannot be written (naming the row).
std::optional<TChannelFrames> FramesFromJson(const QJsonObject& document, QString& problem);

// Whether the records of a table read back carry what `frames` wrote.
bool TableMatches(std::span<const uint8_t> table, const TChannelFrames& frames);
