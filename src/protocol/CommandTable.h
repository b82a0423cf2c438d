// Every request the tool sends the board, in one place: its command byte, whether its
// frame carries the end byte 0x03, the operation mode it selects and its name. The
// window, the pages and krv2ctl send from this table; the simulated board keeps a table
// of its own, so that the two can check each other.
#pragma once

#include "Modes.h"

#include <array>
#include <cstdint>

struct TRequest {
    uint8_t code;
    bool withEnd;
    int mode; // KeepMode: the request leaves the operation mode as it is
    const char* name;
};

namespace Request {
constexpr int KeepMode = -1;

constexpr TRequest Enable{0x01, true, Mode::Monitor, "enable"};
// The Get_Wave page's start: the same command, the mode stays 6.
constexpr TRequest StartWave{0x01, true, KeepMode, "enable (wave)"};
constexpr TRequest Disable{0x02, true, Mode::Monitor, "disable"};
constexpr TRequest Version{0x03, true, Mode::Version, "firmware version"};
constexpr TRequest Reset{0x05, true, Mode::Monitor, "reset"};
constexpr TRequest Status{0x11, true, Mode::Monitor, "status"};
constexpr TRequest DeviceId{0x23, true, Mode::DeviceId, "device ID"};
constexpr TRequest DipSwitch{0x24, true, Mode::DipSwitch, "DIP switch"};
constexpr TRequest ReadFinish{0x26, true, Mode::ReadFinish, "end of memory read"};
constexpr TRequest ReadStart{0x27, true, Mode::ReadStart, "start of memory read"};
constexpr TRequest ReadLine{0x28, true, Mode::ReadLine, "read memory line"};
constexpr TRequest SensorPoll{0x50, false, Mode::SensorReport, "sensor poll"};
// One channel's parameter record: written byte by byte, framed by the parameter table.
constexpr TRequest ParameterRecord{0x60, false, KeepMode, "parameter record"};
constexpr TRequest StoreParameters{0x70, false, Mode::SaveAnswer, "store parameters"};
constexpr TRequest ReadParameters{0x80, false, Mode::ParameterTable, "read parameters"};
constexpr TRequest Verify{0x89, true, Mode::Verify, "verify memory"};
constexpr TRequest WriteFinish{0x8A, true, Mode::WriteFinish, "end of memory write"};
constexpr TRequest WriteStart{0x8B, true, Mode::WriteStart, "start of memory write"};
constexpr TRequest WriteLine{0x8C, true, Mode::WriteLine, "write memory line"};
constexpr TRequest SetOutput{0x90, false, KeepMode, "set output"};

inline constexpr std::array All{Enable,          StartWave,       Disable,        Version,
                                Reset,           Status,          DeviceId,       DipSwitch,
                                ReadFinish,      ReadStart,       ReadLine,       SensorPoll,
                                ParameterRecord, StoreParameters, ReadParameters, Verify,
                                WriteFinish,     WriteStart,      WriteLine,      SetOutput};

// The payload byte of the parameter read and store requests.
constexpr uint8_t ParameterKey = 0x55;

// Raw requests: two bytes written without a frame, a prefix and a code.
constexpr uint8_t RawPrefix = 0x55;
constexpr uint8_t RawStartCounting = 0xA4; // the protocol test's coin counting
// The wave methods, "All", "Add", "Reject", "None": which coins send wave packets.
constexpr std::array<uint8_t, 4> RawMethods{0xA3, 0xA1, 0xA2, 0xA0};
} // namespace Request
