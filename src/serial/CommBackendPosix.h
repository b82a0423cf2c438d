// The termios side of the line settings, apart from any descriptor so that the
// translation can be checked on plain termios values.
#pragma once

#include "CommBackend.h"

#include <termios.h>

namespace PosixLine {
// Puts `t` into raw (binary) mode with `settings` applied. Returns false when the
// bit rate has no termios code; everything else is written all the same.
bool ToTermios(const TLineSettings& settings, termios& t);
// Reads the settings back. RTS held high (rtsControl 1) is a modem-line state,
// not a termios flag, so without handshake rtsControl reads 0.
TLineSettings FromTermios(const termios& t);
// Raw mode without any flow control: what a freshly opened port starts from.
void MakeBaseline(termios& t);
} // namespace PosixLine
