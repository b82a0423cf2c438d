// krv2sim's command line: what the simulated board is like and how it misbehaves.
#pragma once

#include "Simulator.h"

#include <span>
#include <string>

namespace krv2sim {

// The most coins one item of a --coins script may ask for.
constexpr int maxScriptedCoins = 100000;

struct Options {
    SimConfig sim;
    std::string link;   // symlink to the serial end, empty for none
    std::string replay; // a line journal whose board side to play, empty for none
    double speed = 1.0; // how many times faster than recorded the replay plays
    bool seedGiven = false;
    bool verbose = false;
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false and says
// why in `error`.
bool parseOptions(std::span<const std::string> args, Options& options, std::string& error);
std::string helpText();

} // namespace krv2sim
