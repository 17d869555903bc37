// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

class PointSet;

// Per-channel dead times and the fits they come from.
struct DeadTimes
{
    QVector<double> tau0s;            // pre-amplifier: (-b/a)/a of ICR = a*I0 + b*I0^2
    QVector<double> taus;             // amplifier: -d1/d0 of SCA = d0*ICR + d1*ICR^2
    QVector<QVector<double>> tau0Fits; // [a, b] per channel
    QVector<QVector<double>> tauFits;  // [d0, d1] per channel
};

// Fits every common channel of points over all points, in point order; a
// point whose rate is negative or not finite is left out of that stage's fit.
DeadTimes estimateDeadTimes(const PointSet &points);
