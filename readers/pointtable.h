// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

class PointTableRemarkScan;
class QIODevice;

// Receivers of what the point-table reader finds. onPoint gets every accepted
// data line with its number in the file (from 1); onTrace gets every line read
// while the channel count is still 1, simplified, with whether it is the
// channel header. onNotNumber gets, just before its onPoint (or onValues), the
// number of an accepted line with a field that is not a number (and so counts
// as 0), such as the lines of a binary file read as text.
//
// onValues, where set, gets the accepted lines of the fast reader (plain ASCII
// text) instead of onPoint as one
// array: I0, then the channels ICRs, then the channels SCAs, valid during the
// call; a receiver that keeps columns copies them without any allocation per
// point. onSize, where set, learns before the first line how many lines and
// bytes the text has (for plain ASCII text read here, not through the
// stream), so that it can make room for the points at once.
struct PointTableSink
{
    std::function<void(double i0, const QVector<double> &icrs, const QVector<double> &scas,
                       int line)>
            onPoint;
    std::function<void(const double *values, int channels, int line)> onValues;
    std::function<void(qint64 lines, qint64 bytes)> onSize;
    std::function<void(const QString &line, bool isHeader)> onTrace;
    std::function<void(int line)> onNotNumber;
    // A channel header at line gave no channel count (value is its text, as
    // "0", "-1" or "abc"): no later line of the file is read.
    std::function<void(int line, const QString &value)> onStoppingHeader;
    // Where set, the file reader also looks at every line of a file of plain
    // ASCII text of up to maxRemarkBytes for what the read passes over, on the
    // same pass, and marks the scan complete; otherwise it is left incomplete.
    PointTableRemarkScan *remarks = nullptr;
};

// The key of the channel-count header, compared in upper case.
extern const char *const channelHeaderKey; // "# Channels :"

// Reads the file at path; whether it could be opened (nothing is reported here).
// Plain ASCII text is read in blocks of chunkSize bytes, never the whole file
// at once: once to check it and count its lines, once to read it.
OpenStatus readPointTableFile(const QString &path, const PointTableSink &sink,
                              qint64 chunkSize = qint64(1) << 18);

// The same, unless the file may be one of another format, which holds key
// where a point table need not: if it is plain ASCII text that holds key
// anywhere (looked for on the pass that checks the text, not on a pass of its
// own), or text that only the text stream reads, nothing is read and
// mayBeOther is set.
OpenStatus readPointTableFileUnless(const QString &path, const QByteArray &key,
                                    const PointTableSink &sink, bool &mayBeOther,
                                    qint64 chunkSize = qint64(1) << 18);

// The same on bytes in memory.
void readPointTableBytes(const QByteArray &bytes, const PointTableSink &sink);

// Straightforward QTextStream/QString implementation of the same rules: used for
// non-ASCII input and as the oracle of the differential tests.
void readPointTableReference(QIODevice &device, const PointTableSink &sink);
