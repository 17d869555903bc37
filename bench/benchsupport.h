// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>

// What every benchmark executable does around Google Benchmark's own main.
namespace benchsupport {

// Takes Google Benchmark's flags out of argv and selects the offscreen
// platform unless the caller chose another one.
void init(int &argc, char **argv);

// Runs the registered benchmarks; the process exit code.
int run(int argc, char **argv);

// A folder for generated inputs that lives until the process ends.
QString scratchDir();

// Writes bytes under name in scratchDir() and returns the path; aborts the
// process when the disk refuses, since every figure would be meaningless.
QString writeScratch(const QString &name, const QByteArray &bytes);

// The yardstick of every reader: read the whole file, split at white space,
// convert every field with std::from_chars and sum. Fields that are not
// numbers ("#", header words) are skipped; fields counts those that were.
// Returns the sum, or -1 when the file cannot be opened.
double parseLimit(const char *path, long &fields);

} // namespace benchsupport
