// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

// Receivers of what the point-table reader finds. onPoint gets every accepted
// data line with its number in the file (from 1); onTrace gets every line read
// while the channel count is still 1, simplified, with whether it is the
// channel header. onNotNumber gets, just before its onPoint, the number of an
// accepted line with a field that is not a number (and so counts as 0), such
// as the lines of a binary file read as text.
struct PointTableSink
{
    std::function<void(double i0, const QVector<double> &icrs, const QVector<double> &scas,
                       int line)>
            onPoint;
    std::function<void(const QString &line, bool isHeader)> onTrace;
    std::function<void(int line)> onNotNumber;
};

// The key of the channel-count header, compared in upper case.
extern const char *const channelHeaderKey; // "# Channels :"

// Reads the file at path; whether it could be opened (nothing is reported here).
OpenStatus readPointTableFile(const QString &path, const PointTableSink &sink);

// The same on bytes in memory.
void readPointTableBytes(const QByteArray &bytes, const PointTableSink &sink);

// Straightforward QTextStream/QString implementation of the same rules: used for
// non-ASCII input and as the oracle of the differential tests.
void readPointTableReference(QIODevice &device, const PointTableSink &sink);
