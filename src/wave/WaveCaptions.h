// The twenty measurement values the board writes into channel 0 samples 250..269 of
// every record, and the captions the Get_Wave page shows beside them. The texts are
// the page's design, trailing blank of "MAX " included; tables and exports trim it.
#pragma once

namespace WaveCaptions {
constexpr int FirstValueSample = 250;
constexpr int ValueCount = 20;

inline constexpr const char* ValueCaptionTexts[ValueCount] = {
    "DROP1 CNT",  "DROP2 CNT",   "EXT DROP CNT", "Temperature", "Coil1 value (min)",
    "Result",     "Width",       "Pulse Cnt",    "MAX ",        "MIN",
    "Coil Error", "Coil2 Error", "DROP2 Error",  "DROP1 Error", "Return Error",
    "IR1 Error",  "IR2 Error",   "IR3 Error",    "268",         "269"};
} // namespace WaveCaptions
