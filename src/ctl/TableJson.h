// The coin-channel table as a JSON document for scripts: nine rows, eight coin
// channels with value, disable, sorter and DIP position, and the "Value of Pulse" row
// whose other three bytes are kept raw. Checked whole before anything is sent.
#pragma once

#include "ParameterTable.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

using TChannelFrames = std::array<std::array<uint8_t, ChannelFrameSize>, ChannelCount>;

// The table reply (73 bytes) as the document that `table write` takes back.
QJsonObject TableToJson(std::span<const uint8_t> table);
// Rows as text for a terminal.
QString TableToText(std::span<const uint8_t> table);

// A table document is about 1 KiB; a file far beyond that is not one, and is not
// read further (a device such as /dev/zero never ends).
constexpr qint64 TableFileLimit = 64 * 1024;

// The nine channel frames of a document, or why it cannot be written (naming the row
// and the key). Every key a row holds must be known and every data key given: a
// missing "dip" must not clear a DIP setting; `null` is how a document says none.
std::optional<TChannelFrames> FramesFromJson(const QJsonObject& document, QString& problem);
// The same for the document's text, which must give no key twice (a JSON reader keeps
// the last of two equal keys without a word).
std::optional<TChannelFrames> FramesFromText(const QByteArray& text, QString& problem);
// Reads at most TableFileLimit bytes of `path` and checks them as FramesFromText does.
std::optional<TChannelFrames> ReadTableFile(const QString& path, QString& problem);

// Whether the records of a table read back carry what `frames` wrote.
bool TableMatches(std::span<const uint8_t> table, const TChannelFrames& frames);
