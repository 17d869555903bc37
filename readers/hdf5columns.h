// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hdf5reply.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct Hdf5Columns
{
    QStringList names; // one per request, in request order
    std::vector<std::vector<double>> columns; // same order, all the same length
    QString error; // empty on success; else one message naming the file, the dataset and the cause
    bool ok() const { return error.isEmpty(); }
};

// How long and how much the reader may take. The default value cap (2^27, 1 GiB of
// doubles) is some 700 columns of 200,000 points; caps above 2^28 count as 2^28.
struct Hdf5Limits
{
    int timeoutMs = 60000;
    qint64 maxValues = qint64(1) << 27;
};

// The rows of the datasets to read: [first, first + count) as far as they reach.
struct Hdf5RowRange
{
    quint64 first = 0;
    quint64 count = ~quint64(0);
};

// Whether the first bytes are the HDF5 signature "\x89HDF\r\n\x1a\n": at offset 0, or
// after a user block at 512, 1024, 2048, ... as far as head reaches.
bool looksLikeHdf5(const QByteArray &head);

// How many first bytes looksLikeHdf5 needs to see the signature behind a user
// block of up to 2 KiB.
constexpr int hdf5SignatureReach = 2048 + 8;

// Whether the file at path starts as an HDF5 file (false if it cannot be read).
bool isHdf5File(const QString &path);

// Reads the requested datasets of an HDF5 file in a separate process (the helper
// program ratelens-h5read), so that a crafted file that crashes or hangs the HDF5
// library cannot take the window down. Integer and floating datasets of any width
// arrive as doubles. Blocks until the helper has answered; safe to call from a
// worker thread. Columns shorter than rows.count hold the last rows.
Hdf5Columns readHdf5Columns(const QString &file, const std::vector<Hdf5Request> &requests,
                            const Hdf5Limits &limits = Hdf5Limits(),
                            const Hdf5RowRange &rows = Hdf5RowRange());

// A reply's fault in words, naming the file and the dataset.
QString describeHdf5Fault(const QString &file, const Hdf5Reply &reply);
