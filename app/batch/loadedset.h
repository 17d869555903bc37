// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measvalues.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The measurement points of one batch run, gathered the way the main window
// gathers them: in load order, with the channel count common to all points and
// the value ranges that set the plot scales.
struct LoadedSet
{
    QVector<MeasValues> points;
    int chs = 0; // min over the points of min(icrs size, scas size)
    ValueRanges ranges;

    void add(double i0, const QVector<double> &icrs, const QVector<double> &scas);

    // The dead times are estimated only over at least two points sharing at
    // least two channels.
    bool canEstimate() const { return points.size() > 1 && chs >= 2; }
};

// What loading reports besides the points. Each callback may be empty.
struct LoadMessages
{
    // The point-table reader's header search, one line per message, in the
    // form the window's debug output prints it (LINE "...", ID "...", bool ...).
    std::function<void(const QString &line)> trace;
    // A path that neither reader could open, with the reason.
    std::function<void(const QString &path, const QString &reason)> unreadable;
    // A path that could be opened but gave no measurement point.
    std::function<void(const QString &path)> noPoints;
};

// Loads the files in the order given: each one as a spectrum file if that
// reader accepts it, otherwise as a point table.
void loadMeasurementFiles(const QStringList &paths, LoadedSet &set, const LoadMessages &messages);

// label and value as one qDebug() line prints them, e.g. LINE "# Channels :5".
QString debugLine(const char *label, const QString &value);
QString debugLine(const char *label, bool value);
