// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loadreport.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class PointSet;
class QByteArray;

// The lines the point-table reader's header search leaves as it goes, and a
// "Cannot open" line for every file that could not be opened, each in the
// form of a debug line: LINE "# Channels : 4", ID "# Channels :", bool true.
using TraceSink = std::function<void(const QString &line)>;

// Loads the files in the order given into points: each as a spectrum file if
// that reader accepts it, otherwise as a point table. One report per path.
//
// A file whose start identifies it as a recording of another kind (an XDI
// first line, the HDF5 signature, an MCA "VERSION:" line), and every file
// when options give a recipe, goes to the reader of that kind instead; such
// a file is taken whole or not at all, and report.error says why not.
QVector<FileReport> loadMeasurementFiles(const QStringList &paths, PointSet &points,
                                         const TraceSink &trace = TraceSink(),
                                         const LoadOptions &options = LoadOptions());

// Loads the content of one file already in memory the same way; returns the
// number of points it gave.
int loadMeasurementBytes(const QByteArray &bytes, PointSet &points,
                         const TraceSink &trace = TraceSink());

// Reads path as a point table only, adding one point per accepted line.
FileReport loadPointTable(const QString &path, PointSet &points,
                          const TraceSink &trace = TraceSink());

// Why a file gave no point, in words for a message: the system's reason it
// could not be opened, "not a regular file", or "no measurement point in it".
// Empty for a file that gave points.
QString problemText(const FileReport &report);

// label and value as one qDebug() line prints them, e.g. LINE "# Channels :5".
QString debugLine(const char *label, const QString &value);
QString debugLine(const char *label, bool value);
