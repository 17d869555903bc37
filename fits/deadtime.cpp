// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtime.h"

#include "fitquadratic.h"
#include "pointset.h"
#include "verdict.h"

namespace {

// The quadratic fit of y over x on their usable points (see usablePoint):
// a rate that is negative or not finite costs its point, not the channel.
void fitUsable(const QVector<double> &x, const QVector<double> &y, QVector<double> &fit)
{
    if (unusablePoints(x, y).isEmpty()) {
        fitQuadratic(x, y, fit);
        return;
    }
    QVector<double> keptX;
    QVector<double> keptY;
    keepUsable(x, y, keptX, keptY);
    fitQuadratic(keptX, keptY, fit);
}

} // namespace

DeadTimes estimateDeadTimes(const PointSet &points)
{
    DeadTimes result;
    const int chs = points.chs();
    result.tau0s.reserve(chs);
    result.taus.reserve(chs);
    result.tau0Fits.reserve(chs);
    result.tauFits.reserve(chs);
    for (int j = 0; j < chs; ++j) {
        // Pre-amplifier: ICR = a*I0 + b*I0^2, where b*I0^2 is the first-order
        // loss -Tau0*(a*I0)^2 of the undisturbed rate a*I0.
        QVector<double> fit;
        fitUsable(points.i0s(), points.icrColumn(j), fit);
        const double a = fit.at(0);
        const double b = fit.at(1);
        result.tau0Fits.append(fit);
        result.tau0s.append((-b / a) / a);

        // Amplifier: SCA = d0*ICR + d1*ICR^2 with the loss -Tau*d0*ICR^2.
        fit.clear();
        fitUsable(points.icrColumn(j), points.scaColumn(j), fit);
        const double d0 = fit.at(0);
        const double d1 = fit.at(1);
        result.tauFits.append(fit);
        result.taus.append(-d1 / d0);
    }
    return result;
}
