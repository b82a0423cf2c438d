// krv2ctl's offline commands over .bwv wave files: statistics, CSV export and labels.
// They open no port and take their own options, so main hands them the whole command
// line before its own parser sees it.
#pragma once

#include <QStringList>

namespace WaveCommands {
// Whether the command line asks for `wave`: its first word that is not an option.
bool Wanted(const QStringList& arguments);
// Whether it asks for a picture of the plot, which needs a GUI application (fonts).
bool DrawsPlot(const QStringList& arguments);
// Runs `krv2ctl wave ...` and returns the exit code.
int Run(const QStringList& arguments);
} // namespace WaveCommands
