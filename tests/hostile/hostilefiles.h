// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class Body;

// Generators of hostile measurement files and the window-side helpers that
// the hostile, big-file and soak tests share. Nothing here is stored on disk
// beforehand: every file is made by the test that loads it.
namespace hostile {

// A spectrum file of one point: the I0 line, per channel an information line
// with its ICR and a window of bins 1 to 2, and two rows whose counts add up to
// the given SCA values.
QByteArray spectrumText(double i0, const QVector<double> &icrs, const QVector<double> &scas);

// text in UTF-16, little or big endian, with or without a byte-order mark.
QByteArray utf16(const QString &text, bool bigEndian, bool byteOrderMark);

// size bytes from a fixed pseudo-random sequence, leaving out the bytes in skip.
QByteArray randomBytes(int size, quint32 seed, const QByteArray &skip = QByteArray());

// A point table of two channels whose second line is one data line of about
// lineBytes bytes: the point 5000 / 4000 4100 / 3500 3600 followed by " 7"
// fields; then the point 6000 / 4800 4900 / 4200 4300. Written piecewise.
bool writeLongLineTable(const QString &path, qint64 lineBytes);

// A spectrum file with I0 250 and count channel information lines, each with
// ICR 52.5 and window 100 to 200, then the given number of rows of at most
// five fields, two of them inside the window. Written piecewise.
bool writeManyChannelLines(const QString &path, int count, int rows);

// Whether this build runs under AddressSanitizer, whose quarantine keeps freed
// memory resident for a while.
bool underAddressSanitizer();

// Resident set size now and its peak (VmRSS, VmHWM) in bytes, or -1.
qint64 residentBytes();
qint64 peakResidentBytes();
// Starts a new peak measurement at the current size; false where unsupported.
bool resetPeakResident();

// The bytes the allocator has handed out and not yet been given back (heap
// and separately mapped blocks, all arenas), or -1 where the C library does
// not tell. Unlike the resident size it does not move with fragmentation,
// arenas of other threads or pages the allocator keeps for later.
qint64 liveHeapBytes();

// The window side: one batch through the open dialog, and the "Clear" button.
void loadBatch(Body &body, const QStringList &paths);
bool clickClear(Body &body);

// Each loaded point as "i0 | icrs | scas" with every value exact (17 digits).
QStringList pointTexts(const Body &body);
QString pointText(double i0, const QVector<double> &icrs, const QVector<double> &scas);

// The debug lines of the point-table reader for traced lines, and "Cannot
// open", as the debug stream prints them.
QStringList traceDebugLines(const QStringList &lines, const QVector<bool> &headers);
QString cannotOpenLine(const QString &path);

// Only the lines of the readers' debug output (LINE, ID, bool, Cannot open).
QStringList readerDebugLines(const QStringList &captured);

} // namespace hostile
