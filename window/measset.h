// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelcomparison.h"
#include "pointset.h"

#include <QVector>

class AMeasP;
class LE;
class QGridLayout;

// Everything the main window knows about the loaded measurement points: their
// values (the point set every view reads), the panel that shows each point,
// and the dead times of the latest estimation with the boxes that show them.
struct MeasSet
{
    PointSet points;
    QVector<AMeasP *> mcas; // the panel of point p
    QGridLayout *tau0sLayout = nullptr;
    QGridLayout *tausLayout = nullptr;
    bool estimated = false;
    QVector<double> tau0s;
    QVector<double> taus;
    QVector<QVector<double>> tau0Fits;
    QVector<QVector<double>> tauFits;
    QVector<LE *> tauLEs;
    // The three dead-time models fitted to the latest estimation's points,
    // made on first use: on large tables the exact fits take far longer than
    // the quadratic, and most loads never need them.
    QVector<ChannelComparison> comparison;
    bool compared = false;

    MeasSet() = default;
    MeasSet(const MeasSet &) = delete;
    MeasSet &operator=(const MeasSet &) = delete;

    // Channels common to all points; after a clear it keeps its value until
    // the next point sets it afresh.
    int chs() const { return points.chs(); }
    // The value ranges of all points, which set the scales of the plots.
    const ValueRanges &ranges() const { return points.ranges(); }

    // Estimates both dead times of every channel over all points and rebuilds
    // the result boxes; does nothing with fewer than two common channels.
    void calcTaus();
    // The comparison of the latest estimation, fitting it first if needed;
    // empty before an estimation, except that two points of one common
    // channel are fitted too.
    const QVector<ChannelComparison> &fitComparison();
    // Gives every result box the tooltip of its channel and stage.
    void setResultToolTips();

    static void fitQuadratic(const QVector<double> &x, const QVector<double> &y,
                             QVector<double> &out);
};
