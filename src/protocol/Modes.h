// The operation modes: the one integer that tells the receive handler how to read
// what the board sends next. Every request sets it before it is sent.
#pragma once

namespace Mode {
constexpr int Idle = 0;
constexpr int ParameterTable = 1;
constexpr int SaveAnswer = 2;
constexpr int Version = 3;
constexpr int Monitor = 4;
constexpr int SensorReport = 5;
constexpr int Wave = 6;
constexpr int DeviceId = 7;
constexpr int DipSwitch = 8;
constexpr int ReadFinish = 38;
constexpr int ReadStart = 39;
constexpr int ReadLine = 40;
constexpr int Verify = 137;
constexpr int WriteFinish = 138;
constexpr int WriteStart = 139;
constexpr int WriteLine = 140;
} // namespace Mode
