// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtime.h"

#include "fitquadratic.h"

DeadTimes estimateDeadTimes(const QVector<MeasValues> &points, int chs)
{
    DeadTimes result;
    const int n = points.size();
    QVector<double> x(n);
    QVector<double> y(n);
    for (int j = 0; j < chs; ++j) {
        // Pre-amplifier: ICR = a*I0 + b*I0^2, where b*I0^2 is the first-order
        // loss -Tau0*(a*I0)^2 of the undisturbed rate a*I0.
        for (int i = 0; i < n; ++i) {
            const MeasValues &p = points.at(i);
            x[i] = p.i0;
            y[i] = p.icrs.value(j, 0.0);
        }
        QVector<double> fit;
        fitQuadratic(x, y, fit);
        const double a = fit.at(0);
        const double b = fit.at(1);
        result.tau0Fits.append(fit);
        result.tau0s.append((-b / a) / a);

        // Amplifier: SCA = d0*ICR + d1*ICR^2 with the loss -Tau*d0*ICR^2.
        for (int i = 0; i < n; ++i) {
            const MeasValues &p = points.at(i);
            x[i] = p.icrs.value(j, 0.0);
            y[i] = p.scas.value(j, 0.0);
        }
        fit.clear();
        fitQuadratic(x, y, fit);
        const double d0 = fit.at(0);
        const double d1 = fit.at(1);
        result.tauFits.append(fit);
        result.taus.append(-d1 / d0);
    }
    return result;
}
