// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-in for the HDF5 reader until it is merged: the same interface, no
// reading. Removed at the merge.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct Hdf5Request
{
    QString name;
    QString dataset;
    int column = -1;
};

struct Hdf5Columns
{
    QStringList names;
    std::vector<std::vector<double>> columns;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

inline bool looksLikeHdf5(const QByteArray &head)
{
    return head.startsWith("\x89HDF\r\n\x1a\n");
}

inline Hdf5Columns readHdf5Columns(const QString &, const std::vector<Hdf5Request> &)
{
    Hdf5Columns c;
    c.error = QStringLiteral("HDF5 files cannot be read by this build");
    return c;
}
