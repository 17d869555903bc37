// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hdf5helper.h"
#include "hdf5reply.h"

#include <QString>

#include <vector>

// Writes a new HDF5 file through the helper program ratelens-h5read: a copy of
// a scan's objects and, in a group of its own, columns computed here and sent
// a block of rows at a time. The scan is opened by the helper alone, so a
// damaged one cannot take the caller down; the caller never holds more than
// the block it sends. Every call returns an empty string or what went wrong,
// naming the file.
class Hdf5ScanWriter
{
public:
    explicit Hdf5ScanWriter(Hdf5WriteJob job, int timeoutMs = 120000);

    QString start();
    // Rows of every column of the job, in its order, all of one length.
    QString write(const std::vector<std::vector<double>> &columns);
    // Ends the columns and waits until the file is complete.
    QString completeFile();

private:
    QString send(const QByteArray &bytes);
    QString helperEnd();
    Hdf5WriteJob m_job;
    Hdf5HelperRun m_run;
};
