// SPDX-License-Identifier: GPL-3.0-or-later
#include "stagefit.h"

#include "exactstagefit.h"
#include "fitquadratic.h"
#include "quadraticerrors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// std::fmax(a, b) for an a that is never NaN, which the compiler can keep
// inline: b when b is NaN or not larger.
inline double largerOf(double a, double b)
{
    return b > a ? b : a;
}

// Sum of (y - model)^2 / max(model, floor) over points - 2.
template<typename Model>
double weightedReducedChi2(const double *x, const double *y, int n, double yMax, Model model)
{
    if (n <= 2)
        return notANumber;
    const double floor = weightFloor * yMax;
    double chi2 = 0.0;
    for (int i = 0; i < n; ++i) {
        const double m = model(x[i]);
        const double r = y[i] - m;
        chi2 += r * r / largerOf(floor, m);
    }
    return chi2 / (n - 2);
}

// The numbers stay whatever the verdict; only a usable dead time, error and
// chi^2 make the fit a success. Rates at or below zero leave the chi^2
// weights without a scale, so it comes out infinite or NaN while the
// unweighted coefficients still give a dead time.
void judgeQuadraticFit(StageFit &fit)
{
    if (fit.points < 3)
        fit.setFailure(FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
    else if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr))
        fit.setFailure(FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
    else if (!std::isfinite(fit.reducedChi2))
        fit.setFailure(FitFailure::NonFinite, QStringLiteral("reduced chi^2 not finite"));
    else if (!(fit.tau > 0.0))
        fit.setFailure(FitFailure::TauNotPositive,
                       QStringLiteral("dead time not positive (%1)").arg(fit.tau, 0, 'g', 3));
    else
        fit.ok = true;
}

StageFit fitQuadraticStage(FitStage stage, const double *x, const double *y, int n)
{
    StageFit fit;
    fit.model = DeadTimeModel::Quadratic;
    fit.stage = stage;
    fit.points = n;

    QVector<double> c;
    fitQuadratic(x, n, y, n, c);
    const double c0 = c.at(0);
    const double c1 = c.at(1);
    const QuadraticErrors e = quadraticErrors(x, y, n, c0, c1);
    fit.scale = c0;
    fit.scaleStdErr = std::sqrt(e.varC0);
    fit.quadraticCoefficient = c1;
    fit.tau = quadraticDeadTime(stage, c0, c1);
    fit.tauStdErr = quadraticDeadTimeStdError(stage, c0, c1, e);

    double xMax = 0.0;
    double yMax = 0.0;
    for (int i = 0; i < n; ++i) {
        xMax = largerOf(xMax, x[i]);
        yMax = largerOf(yMax, y[i]);
    }
    fit.reducedChi2 = weightedReducedChi2(x, y, n, yMax,
                                          [c0, c1](double xi) { return c0 * xi + c1 * xi * xi; });
    fit.maxRateTau = (stage == FitStage::PreAmp ? c0 * xMax : xMax) * fit.tau;
    fit.maxCounted = yMax;
    judgeQuadraticFit(fit);
    return fit;
}

} // namespace

void StageFit::setFailure(FitFailure kind, const QString &why)
{
    ok = false;
    failureKind = kind;
    failure = why;
}

void StageFit::clearNumbers()
{
    scale = scaleStdErr = tau = tauStdErr = notANumber;
    quadraticCoefficient = reducedChi2 = maxRateTau = maxCounted = notANumber;
    scaleTauCovariance = notANumber;
}

bool checkFitInput(StageFit &fit, const double *x, const double *y, int n, double &xMax,
                   double &yMax)
{
    if (n < 3) {
        fit.setFailure(FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
        return false;
    }
    xMax = 0.0;
    yMax = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            fit.setFailure(FitFailure::BadInput, QStringLiteral("non-finite value"));
            return false;
        }
        if (x[i] < 0.0 || y[i] < 0.0) {
            fit.setFailure(FitFailure::BadInput, QStringLiteral("negative rate or intensity"));
            return false;
        }
        xMax = largerOf(xMax, x[i]);
        yMax = largerOf(yMax, y[i]);
    }
    return true;
}

StageFit fitStage(DeadTimeModel model, FitStage stage, const double *x, const double *y, int n)
{
    if (model == DeadTimeModel::Quadratic)
        return fitQuadraticStage(stage, x, y, n);
    return fitExactStage(model, stage, x, y, n);
}

StageFit fitStage(DeadTimeModel model, FitStage stage, const QVector<double> &x,
                  const QVector<double> &y)
{
    if (x.size() != y.size()) {
        StageFit fit;
        fit.model = model;
        fit.stage = stage;
        fit.points = std::min(x.size(), y.size());
        fit.clearNumbers();
        fit.setFailure(FitFailure::BadInput, QStringLiteral("columns of unequal length"));
        return fit;
    }
    return fitStage(model, stage, x.constData(), y.constData(), x.size());
}

double fittedValue(const StageFit &fit, double x)
{
    if (fit.model == DeadTimeModel::Quadratic)
        return fit.scale * x + fit.quadraticCoefficient * x * x;
    return fit.stage == FitStage::PreAmp ? countedRate(fit.model, fit.scale * x, fit.tau)
                                         : fit.scale * countedRate(fit.model, x, fit.tau);
}

QVector<double> normalisedResiduals(const StageFit &fit, const QVector<double> &x,
                                    const QVector<double> &y)
{
    const int n = std::min(x.size(), y.size());
    QVector<double> r(n, notANumber);
    if (!std::isfinite(fit.reducedChi2) || !std::isfinite(fit.tau))
        return r;
    const double floor = weightFloor * fit.maxCounted;
    for (int i = 0; i < n; ++i) {
        const double m = fittedValue(fit, x[i]);
        const double d = y[i] - m;
        // A reduced chi^2 of 0 leaves every residual 0: an exact fit.
        r[i] = fit.reducedChi2 > 0.0 ? d / std::sqrt(fit.reducedChi2 * std::fmax(m, floor)) : 0.0;
    }
    return r;
}
