// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitstatistics.h"

#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

double deltaStdError(double g0, double g1, const FitStatistics &s)
{
    const double var = g0 * g0 * s.varC0 + 2.0 * g0 * g1 * s.covC0C1 + g1 * g1 * s.varC1;
    // Rounding can leave a tiny negative variance where the exact one is 0.
    return var > 0.0 ? std::sqrt(var) : (var == var ? 0.0 : notANumber);
}

} // namespace

FitStatistics fitStatistics(const QVector<double> &x, const QVector<double> &y, double c0,
                            double c1)
{
    FitStatistics s;
    s.n = x.size();
    const int n = s.n;

    double sumY = 0.0;
    double scale = 0.0;
    for (int i = 0; i < n; ++i) {
        const double r = y[i] - (c0 * x[i] + c1 * x[i] * x[i]);
        s.rss += r * r;
        sumY += y[i];
        scale = std::fmax(scale, std::fabs(x[i]));
    }

    double tss = 0.0;
    const double meanY = n > 0 ? sumY / n : notANumber;
    for (int i = 0; i < n; ++i)
        tss += (y[i] - meanY) * (y[i] - meanY);
    s.r2 = tss > 0.0 ? 1.0 - s.rss / tss : notANumber;

    s.residualVariance = n > 2 ? s.rss / (n - 2) : notANumber;

    // X^T X of intensities around 1e5 spans twenty orders of magnitude; with
    // u = x / scale the 2x2 matrix is well scaled, and the covariance of the
    // original coefficients follows from D^-1 (U^T U)^-1 D^-1, D = diag(scale, scale^2).
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        s.varC0 = s.varC1 = s.covC0C1 = notANumber;
        return s;
    }
    double g00 = 0.0, g01 = 0.0, g11 = 0.0;
    for (int i = 0; i < n; ++i) {
        const double u = x[i] / scale;
        const double u2 = u * u;
        g00 += u2;
        g01 += u2 * u;
        g11 += u2 * u2;
    }
    const double det = g00 * g11 - g01 * g01;
    if (!(det > 0.0)) {
        s.varC0 = s.varC1 = s.covC0C1 = notANumber;
        return s;
    }
    const double v = s.residualVariance;
    s.varC0 = v * (g11 / det) / (scale * scale);
    s.varC1 = v * (g00 / det) / (scale * scale * scale * scale);
    s.covC0C1 = v * (-g01 / det) / (scale * scale * scale);
    return s;
}

double preampDeadTimeStdError(double c0, double c1, const FitStatistics &s)
{
    const double c0sq = c0 * c0;
    return deltaStdError(2.0 * c1 / (c0sq * c0), -1.0 / c0sq, s);
}

double ampDeadTimeStdError(double c0, double c1, const FitStatistics &s)
{
    return deltaStdError(c1 / (c0 * c0), -1.0 / c0, s);
}
