#include "ParameterTable.h"

#include "Frame.h"

#include <algorithm>

bool IsTableCheckByte(uint8_t b) {
    return b == 0x55 || b == 0x00 || b == 0xFF;
}

std::array<TChannelView, ChannelCount> DecodeParameterTable(std::span<const uint8_t> table) {
    std::array<TChannelView, ChannelCount> channels{};
    if (table.size() < ParameterTableSize)
        return channels;
    for (int n = 0; n < ChannelCount; ++n) {
        const auto r = table.subspan(static_cast<size_t>(1 + 8 * n), 8);
        TChannelView& c = channels[static_cast<size_t>(n)];
        c.value = r[0] * 256 + r[1];
        c.disabled = r[3] == 1;
        if (r[5] <= 3)
            c.sorterIndex = r[5];
        const auto dip = std::find(DipPositions.begin(), DipPositions.end(), r[7]);
        if (dip != DipPositions.end())
            c.dipIndex = static_cast<int>(dip - DipPositions.begin());
        c.tail = {r[3], r[5], r[7]};
    }
    return channels;
}

std::array<uint8_t, ChannelFrameSize>
BuildChannelFrame(int channel, uint16_t value, uint8_t disable, uint8_t sorter, uint8_t dip) {
    std::array<uint8_t, ChannelFrameSize> f{FrameStart,
                                            ChannelFrameSize,
                                            0x60,
                                            static_cast<uint8_t>(channel),
                                            static_cast<uint8_t>(value >> 8),
                                            static_cast<uint8_t>(value & 0xFF),
                                            0,
                                            disable,
                                            0,
                                            sorter,
                                            0,
                                            dip,
                                            0};
    f[12] = Checksum(std::span<const uint8_t>(f.data(), 12));
    return f;
}
