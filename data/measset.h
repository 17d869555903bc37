// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measvalues.h"

#include <QVector>

class AMeasP;
class LE;
class QGridLayout;

// Everything the main window knows about the loaded measurement points: the
// panels, the channel count they share, their value ranges, and the dead times
// of the latest estimation with the boxes that show them.
struct MeasSet
{
    QVector<AMeasP *> mcas;
    int chs = 0;
    bool hasI0 = false;
    double i0Min = 1e300;
    double i0Max = -1e300;
    bool hasIcr = false;
    double icrMin = 1e300;
    double icrMax = -1e300;
    bool hasSca = false;
    double scaMin = 1e300;
    double scaMax = -1e300;
    QGridLayout *tau0sLayout = nullptr;
    QGridLayout *tausLayout = nullptr;
    bool estimated = false;
    QVector<double> tau0s;
    QVector<double> taus;
    QVector<QVector<double>> tau0Fits;
    QVector<QVector<double>> tauFits;
    QVector<LE *> tauLEs;

    MeasSet() = default;
    MeasSet(const MeasSet &) = delete;
    MeasSet &operator=(const MeasSet &) = delete;

    // Estimates both dead times of every channel over all points and rebuilds
    // the result boxes; does nothing with fewer than two common channels.
    void calcTaus();
    // The values of every point, in load order, as the analysis and plots read them.
    QVector<MeasValues> pointValues() const;
    static void fitQuadratic(const QVector<double> &x, const QVector<double> &y,
                             QVector<double> &out);
};
