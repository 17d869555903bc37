// SPDX-License-Identifier: GPL-3.0-or-later
#include "uncertainty.h"

#include <cmath>

double statisticalStdErr(const StageFit &fit)
{
    if (fit.reducedChi2 >= 0.0 && fit.reducedChi2 < underdispersionChi2) {
        // A reduced chi^2 of exactly 0 (noise-free data) keeps the error at 0:
        // there is nothing to scale.
        if (fit.reducedChi2 == 0.0)
            return fit.tauStdErr;
        return fit.tauStdErr * std::sqrt(underdispersionChi2 / fit.reducedChi2);
    }
    return fit.tauStdErr;
}

void setFileScatter(TauUncertainty &u, const QVector<double> &fileTaus)
{
    const int k = fileTaus.size();
    u.fileFits = k;
    if (k < 2) {
        u.files = 0.0;
        u.fileScatter = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    double mean = 0.0;
    for (double t : fileTaus)
        mean += t;
    mean /= k;
    double ss = 0.0;
    for (double t : fileTaus)
        ss += (t - mean) * (t - mean);
    u.fileScatter = std::sqrt(ss / (k - 1));
    u.files = u.fileScatter / std::sqrt(double(k));
}

void combine(TauUncertainty &u)
{
    u.total = std::sqrt(u.statistical * u.statistical + u.model * u.model + u.files * u.files);
    // Parts below about 1e-154 square to nothing and parts above about 1e154
    // to infinity, so that the plain sum can give a total below its own
    // largest part (even 0). Only then are the parts summed relative to the
    // largest one: otherwise the square root of the rounded sum is never
    // below that part, and the digits stay those of the plain sum.
    const double largest = std::fmax(std::fabs(u.statistical),
                                     std::fmax(std::fabs(u.model), std::fabs(u.files)));
    if (std::isnan(u.total) || !(largest > 0.0) || !std::isfinite(largest)
        || (u.total >= largest && std::isfinite(u.total)))
        return;
    const double s = u.statistical / largest;
    const double m = u.model / largest;
    const double f = u.files / largest;
    u.total = largest * std::sqrt(s * s + m * m + f * f);
}
