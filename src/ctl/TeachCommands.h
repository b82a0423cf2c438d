// krv2ctl's teaching commands over .bwv files: acceptance windows taught from labelled
// coins, records checked against a windows file, and two files compared. Offline like
// the other wave commands, whose dispatch hands them their words.
#pragma once

#include <QString>
#include <QStringList>

namespace TeachCommands {
// teach, check, compare.
bool Handles(const QString& word);
// Runs `krv2ctl wave teach|check|compare ...` and returns the exit code.
int Run(const QStringList& arguments);
} // namespace TeachCommands
