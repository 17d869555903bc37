// SPDX-License-Identifier: GPL-3.0-or-later
#include "quadraticerrors.h"

#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

QuadraticErrors quadraticErrors(const double *x, const double *y, int n, double c0, double c1)
{
    QuadraticErrors e;
    e.points = n;
    double scale = 0.0;
    double sumY = 0.0;
    for (int i = 0; i < n; ++i) {
        const double r = y[i] - (c0 * x[i] + c1 * x[i] * x[i]);
        e.rss += r * r;
        sumY += y[i];
        // std::fmax(scale, |x|), which the compiler does not keep inline.
        const double ax = std::fabs(x[i]);
        scale = ax > scale ? ax : scale;
    }
    // Intensities near 1e5 put twenty orders of magnitude into X^T X. With
    // u = x / scale the matrix is well conditioned, and the covariance of the
    // original coefficients is D^-1 (U^T U)^-1 D^-1 with D = diag(scale, scale^2).
    // The spread of y about its mean and U^T U are summed in the same pass:
    // each sum still runs in point order, so the digits are those of two passes.
    const bool scaled = scale > 0.0 && std::isfinite(scale);
    const double meanY = n > 0 ? sumY / n : notANumber;
    double tss = 0.0;
    double g00 = 0.0;
    double g01 = 0.0;
    double g11 = 0.0;
    if (scaled) {
        for (int i = 0; i < n; ++i) {
            tss += (y[i] - meanY) * (y[i] - meanY);
            const double u = x[i] / scale;
            const double u2 = u * u;
            g00 += u2;
            g01 += u2 * u;
            g11 += u2 * u2;
        }
    } else {
        for (int i = 0; i < n; ++i)
            tss += (y[i] - meanY) * (y[i] - meanY);
    }
    e.r2 = tss > 0.0 ? 1.0 - e.rss / tss : notANumber;
    e.residualVariance = n > 2 ? e.rss / (n - 2) : notANumber;

    e.varC0 = e.varC1 = e.covC0C1 = notANumber;
    if (!scaled)
        return e;
    const double det = g00 * g11 - g01 * g01;
    if (!(det > 0.0))
        return e;
    // The powers of scale are multiplied out one factor at a time, left to
    // right: the last digits of the errors the batch report prints depend on
    // that order.
    const double s2 = e.residualVariance;
    e.varC0 = s2 * (g11 / det) / (scale * scale);
    e.varC1 = s2 * (g00 / det) / (scale * scale * scale * scale);
    e.covC0C1 = s2 * (-g01 / det) / (scale * scale * scale);
    return e;
}

double quadraticDeadTime(FitStage stage, double c0, double c1)
{
    return stage == FitStage::PreAmp ? (-c1 / c0) / c0 : -c1 / c0;
}

double quadraticDeadTimeStdError(FitStage stage, double c0, double c1, const QuadraticErrors &e)
{
    double g0;
    double g1;
    if (stage == FitStage::PreAmp) {
        g0 = 2.0 * c1 / (c0 * c0 * c0);
        g1 = -1.0 / (c0 * c0);
    } else {
        g0 = c1 / (c0 * c0);
        g1 = -1.0 / c0;
    }
    const double var = g0 * g0 * e.varC0 + 2.0 * g0 * g1 * e.covC0C1 + g1 * g1 * e.varC1;
    // Rounding can leave a tiny negative variance where the exact one is 0.
    if (std::isnan(var))
        return notANumber;
    return var > 0.0 ? std::sqrt(var) : 0.0;
}
