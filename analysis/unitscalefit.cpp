// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitscalefit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
// As in the free fits: below this share of the largest count a value no
// longer sets its own weight.
constexpr double weightFloor = 1e-3;

StageFit emptyFit(DeadTimeModel model, int n)
{
    StageFit fit;
    fit.model = model;
    fit.stage = FitStage::Amp;
    fit.points = n;
    fit.parameters = 1;
    fit.scale = 1.0;
    fit.scaleStdErr = 0.0;
    fit.tau = fit.tauStdErr = fit.quadraticCoefficient = notANumber;
    fit.reducedChi2 = fit.maxRateTau = fit.maxCounted = notANumber;
    return fit;
}

void fail(StageFit &fit, FitFailure kind, const QString &why)
{
    fit.ok = false;
    fit.failureKind = kind;
    fit.failure = why;
}

// The counted rate under the model with d0 = 1 and its derivative by tau.
void law(DeadTimeModel model, double x, double tau, double &m, double &dm)
{
    if (model == DeadTimeModel::Paralyzable) {
        m = x * std::exp(-x * tau);
        dm = -x * m;
    } else if (model == DeadTimeModel::NonParalyzable) {
        const double d = 1.0 + x * tau;
        m = x / d;
        dm = -m * m;
    } else {
        m = x - tau * x * x;
        dm = -x * x;
    }
}

struct Sums
{
    double chi2 = 0.0; // sum of w r^2
    double jwj = 0.0; // sum of w J^2
    double jwr = 0.0; // sum of w J r
};

Sums weightedSums(DeadTimeModel model, const double *x, const double *y, int n, double tau,
                  const double *w)
{
    Sums s;
    for (int i = 0; i < n; ++i) {
        double m, dm;
        law(model, x[i], tau, m, dm);
        const double r = y[i] - m;
        s.chi2 += w[i] * r * r;
        s.jwj += w[i] * dm * dm;
        s.jwr += w[i] * dm * r;
    }
    return s;
}

// A trial tau is admissible where the law stays finite and positive over the
// scan: 1 + x tau > 0 for the non-paralyzable law, x tau above -50 for the
// paralyzable one.
bool admissible(DeadTimeModel model, double tau, double xMax)
{
    if (!std::isfinite(tau))
        return false;
    return model == DeadTimeModel::Paralyzable ? xMax * tau > -50.0 : 1.0 + xMax * tau > 1e-3;
}

// Gauss-Newton in tau with step halving; the weights stay fixed. Returns the
// iterations used, or -1 when it did not converge.
int solve(DeadTimeModel model, const double *x, const double *y, int n, const double *w,
          double xMax, double &tau)
{
    for (int it = 1; it <= maxFitIterationsPerPass; ++it) {
        const Sums s = weightedSums(model, x, y, n, tau, w);
        if (!(s.jwj > 0.0))
            return -1;
        double step = s.jwr / s.jwj;
        if (!std::isfinite(step) || !std::isfinite(s.chi2))
            return -1;
        double next = tau + step;
        // Halving a finite step 60 times shrinks it below a 1e-18 share:
        // nothing better lies along it.
        for (int halvings = 0; !admissible(model, next, xMax)
             || weightedSums(model, x, y, n, next, w).chi2 > s.chi2 * (1.0 + 1e-14);
             ++halvings) {
            if (halvings == 60)
                return it;
            step *= 0.5;
            next = tau + step;
        }
        tau = next;
        if (std::fabs(step) <= 1e-12 * std::fabs(tau) + 1e-300)
            return it;
    }
    return -1;
}

double quadraticStart(const double *x, const double *y, int n)
{
    double num = 0.0;
    double den = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x2 = x[i] * x[i];
        num += x2 * (y[i] - x[i]);
        den += x2 * x2;
    }
    return -num / den;
}

void setWeights(DeadTimeModel model, const double *x, const double *y, int n, double tau,
                double floor, double *w, bool fromModel)
{
    for (int i = 0; i < n; ++i) {
        double m = y[i], dm;
        if (fromModel)
            law(model, x[i], tau, m, dm);
        w[i] = 1.0 / std::fmax(m, floor);
    }
}

void judge(StageFit &fit)
{
    if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr)
        || !std::isfinite(fit.reducedChi2))
        fail(fit, FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
    else if (!(fit.tau > 0.0))
        fail(fit, FitFailure::TauNotPositive,
             QStringLiteral("dead time not positive (%1)").arg(fit.tau, 0, 'g', 3));
    else
        fit.ok = true;
}

QString checkInput(const double *x, const double *y, int n, double &xMax, double &yMax)
{
    xMax = yMax = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            return QStringLiteral("non-finite value");
        if (x[i] < 0.0 || y[i] < 0.0)
            return QStringLiteral("negative rate or intensity");
        xMax = std::fmax(xMax, x[i]);
        yMax = std::fmax(yMax, y[i]);
    }
    return QString();
}

} // namespace

StageFit fitUnitScaleAmp(DeadTimeModel model, const double *x, const double *y, int n)
{
    StageFit fit = emptyFit(model, n);
    if (n < 3) {
        fail(fit, FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
        return fit;
    }
    double xMax, yMax;
    const QString bad = checkInput(x, y, n, xMax, yMax);
    if (!bad.isEmpty()) {
        fail(fit, FitFailure::BadInput, bad);
        return fit;
    }
    if (!(yMax > 0.0) || !(xMax > 0.0)) {
        fail(fit, FitFailure::NoCounts, QStringLiteral("no counts"));
        return fit;
    }
    const double floor = weightFloor * yMax;
    std::vector<double> w(size_t(n), 1.0);
    double tau = quadraticStart(x, y, n);
    if (model == DeadTimeModel::Quadratic) {
        // Unweighted, as the free quadratic: the variance from the residuals.
        const Sums s = weightedSums(model, x, y, n, tau, w.data());
        fit.quadraticCoefficient = -tau;
        fit.tauStdErr = std::sqrt(s.chi2 / (n - 1) / s.jwj);
    } else {
        if (!admissible(model, tau, xMax) || !(tau > 0.0))
            tau = 0.1 / xMax;
        for (int pass = 0; pass < 2; ++pass) {
            setWeights(model, x, y, n, tau, floor, w.data(), pass == 1);
            const int used = solve(model, x, y, n, w.data(), xMax, tau);
            if (used < 0) {
                fail(fit, FitFailure::NoConvergence, QStringLiteral("no convergence"));
                return fit;
            }
            fit.iterations += used;
        }
        const Sums s = weightedSums(model, x, y, n, tau, w.data());
        fit.tauStdErr = std::sqrt(s.chi2 / (n - 1) / s.jwj);
    }
    fit.tau = tau;
    setWeights(model, x, y, n, tau, floor, w.data(), true);
    fit.reducedChi2 = weightedSums(model, x, y, n, tau, w.data()).chi2 / (n - 1);
    fit.maxRateTau = xMax * tau;
    fit.maxCounted = yMax;
    judge(fit);
    if (!fit.ok && model != DeadTimeModel::Quadratic) {
        const StageFit failed = fit;
        fit = emptyFit(model, n);
        fail(fit, failed.failureKind, failed.failure);
    }
    return fit;
}

StageFit fitUnitScaleAmp(DeadTimeModel model, const QVector<double> &x, const QVector<double> &y)
{
    if (x.size() != y.size()) {
        StageFit fit = emptyFit(model, std::min(x.size(), y.size()));
        fail(fit, FitFailure::BadInput, QStringLiteral("columns of unequal length"));
        return fit;
    }
    return fitUnitScaleAmp(model, x.constData(), y.constData(), x.size());
}
