// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measvalues.h"

#include <QVector>

// Per-channel dead times and the fits they come from.
struct DeadTimes
{
    QVector<double> tau0s;            // pre-amplifier: (-b/a)/a of ICR = a*I0 + b*I0^2
    QVector<double> taus;             // amplifier: -d1/d0 of SCA = d0*ICR + d1*ICR^2
    QVector<QVector<double>> tau0Fits; // [a, b] per channel
    QVector<QVector<double>> tauFits;  // [d0, d1] per channel
};

// Fits channels 0 .. chs-1 over all points, in point order. A point without
// a value for a channel contributes 0.0 there.
DeadTimes estimateDeadTimes(const QVector<MeasValues> &points, int chs);
