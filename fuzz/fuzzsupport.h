// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

#include <cstddef>
#include <cstdint>

class QByteArray;

namespace fuzzsupport {

// The same double for the differential checks: identical bits, except that any
// two NaNs are equal (their payloads carry no meaning here).
bool sameDouble(double a, double b);
bool sameDoubles(const QVector<double> &a, const QVector<double> &b);

// Exact text of a double (17 significant digits) for the failure reports.
QString show(double v);
QString show(const QVector<double> &v);

// Reports what differs and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char *what, const QString &detail);

// Creates the application object once: the readers decode through the locale
// codec, which the application sets up as the program does; the plots need the
// offscreen platform for painting.
void startApplication(bool gui);

// Writes bytes to a scratch file of this process (in memory where /dev/shm
// exists) and returns its path, so that the readers can also be run on a file.
QString scratchFile(const QByteArray &bytes);

// The input as a byte array of its own (copied, so it ends in a NUL like any
// array read from a file).
QByteArray inputBytes(const std::uint8_t *data, std::size_t size);

} // namespace fuzzsupport
