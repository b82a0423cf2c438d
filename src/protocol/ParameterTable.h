// The board's coin-channel table: nine 8-byte channel records behind a check byte,
// and the 13-byte frame that writes one channel back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

constexpr int ChannelCount = 9;
constexpr int ParameterTableSize = 73;
constexpr int ChannelFrameSize = 13;
constexpr int MaxCoinValue = 1000;

// The items of the DIP-switch lists, in list order.
constexpr std::array<uint8_t, 5> DipPositions{0, 3, 4, 5, 6};

bool IsTableCheckByte(uint8_t b);

// One channel as the page shows it. A sorter or DIP byte the lists cannot show is
// empty, and the page leaves that list as it was.
struct TChannelView {
    int value = 0;
    bool disabled = false;
    std::optional<int> sorterIndex;
    std::optional<int> dipIndex;
    // Bytes 3, 5 and 7 as read, kept for the ninth channel which has no lists.
    std::array<uint8_t, 3> tail{};
};

std::array<TChannelView, ChannelCount> DecodeParameterTable(std::span<const uint8_t> table);

// 90 0D 60, channel index, value high and low, 0, disable, 0, sorter, 0, dip, sum.
std::array<uint8_t, ChannelFrameSize>
BuildChannelFrame(int channel, uint16_t value, uint8_t disable, uint8_t sorter, uint8_t dip);
