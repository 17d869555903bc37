// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitscalefit.h"

#include "gslfit.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

StageFit emptyFit(DeadTimeModel model, int n)
{
    StageFit fit;
    fit.model = model;
    fit.stage = FitStage::Amp;
    fit.points = n;
    fit.parameters = 1;
    fit.clearNumbers();
    fit.scale = 1.0;
    fit.scaleStdErr = 0.0;
    return fit;
}

// The counted rate under the model with d0 = 1 and its derivative by tau.
void countedRateAndSlope(DeadTimeModel model, double x, double tau, double &m, double &dm)
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

struct WeightedSums
{
    double chi2 = 0.0; // sum of w r^2
    double jwj = 0.0; // sum of w J^2
    double jwr = 0.0; // sum of w J r
};

WeightedSums weightedSumsAt(DeadTimeModel model, const double *x, const double *y, int n,
                            double tau, const double *w)
{
    WeightedSums s;
    for (int i = 0; i < n; ++i) {
        double m, dm;
        countedRateAndSlope(model, x[i], tau, m, dm);
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

// One weighting pass of the one-parameter fit, the weights w fixed: the
// parameter is Q = xMax tau, of order 1 whatever the units, and the weights
// enter as sqrt(w) times each residual and each row of the Jacobian. Ends
// when a step moves Q by less than 1e-12 of itself or when the trust region
// finds no lower chi^2 nearby, which is then the minimum.
class UnitScalePass : public LeastSquaresPass
{
public:
    UnitScalePass(DeadTimeModel fitModel, const double *icr, const double *sca, int points,
                  double icrMax, const double *weights)
        : LeastSquaresPass({ size_t(points), 1, StepScaling::More })
        , model(fitModel)
        , x(icr)
        , y(sca)
        , n(points)
        , xMax(icrMax)
        , w(weights)
    { }

    void residuals(const double *position, double *f) override
    {
        const double tau = position[0] / xMax;
        // Beyond the pole or the overflow of the law a trial step gets
        // residuals so large that the trust region rejects it.
        const bool usable = admissible(model, tau, xMax);
        for (int i = 0; i < n; ++i) {
            double m = 0.0, dm;
            if (usable)
                countedRateAndSlope(model, x[i], tau, m, dm);
            f[i] = usable ? std::sqrt(w[i]) * (m - y[i]) : 1e150;
        }
    }

    // v = J^T u (with J^T J when asked for), or v = J u.
    void jacobian(bool transposed, const double *position, const double *u, double *v,
                  double *jtj) override
    {
        const double tau = position[0] / xMax;
        WeightedSums s;
        for (int i = 0; i < n; ++i) {
            double m, dm;
            countedRateAndSlope(model, x[i], tau, m, dm);
            const double j = std::sqrt(w[i]) * dm / xMax;
            if (!transposed) {
                v[i] = j * u[0];
                continue;
            }
            s.chi2 += u[i] * u[i];
            s.jwj += j * j;
            s.jwr += j * u[i];
        }
        if (transposed) {
            v[0] = s.jwr;
            if (jtj) {
                jtj[0] = s.jwj;
                sums = s;
            }
        }
    }

    PassEnd beforeStep(const double *) override
    {
        const WeightedSums &s = sums;
        if (!(s.jwj > 0.0) || !std::isfinite(s.chi2) || !std::isfinite(s.jwr / s.jwj))
            return PassEnd::Failed;
        return PassEnd::Running;
    }

    PassEnd afterStep(StepOutcome outcome, const double *before, const double *position) override
    {
        q = position[0];
        if (outcome == StepOutcome::NoProgress
            || std::fabs(q - before[0]) <= 1e-12 * std::fabs(q) + 1e-300)
            return PassEnd::Converged;
        return outcome == StepOutcome::Moved ? PassEnd::Running : PassEnd::Failed;
    }

    double q = 0.0; // where the last step ended

private:
    const DeadTimeModel model;
    const double *const x;
    const double *const y;
    const int n;
    const double xMax;
    const double *const w;
    WeightedSums sums; // at the last evaluation of J^T J
};

// One weighting pass from tau, which it moves to the minimum. Returns the
// iterations used, or -1 when it did not converge.
int solvePass(DeadTimeModel model, const double *x, const double *y, int n, const double *w,
              double xMax, double &tau)
{
    UnitScalePass pass(model, x, y, n, xMax, w);
    const double start = xMax * tau;
    const PassResult run = runLeastSquaresPass(pass, &start);
    if (run.end != PassEnd::Converged)
        return -1;
    tau = pass.q / xMax;
    return run.steps;
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
            countedRateAndSlope(model, x[i], tau, m, dm);
        w[i] = 1.0 / std::fmax(m, floor);
    }
}

void judgeUnitScaleFit(StageFit &fit)
{
    if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr) || !std::isfinite(fit.reducedChi2))
        fit.setFailure(FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
    else if (!(fit.tau > 0.0))
        fit.setFailure(FitFailure::TauNotPositive,
                       QStringLiteral("dead time not positive (%1)").arg(fit.tau, 0, 'g', 3));
    else
        fit.ok = true;
}

} // namespace

StageFit fitUnitScaleAmp(DeadTimeModel model, const double *x, const double *y, int n)
{
    StageFit fit = emptyFit(model, n);
    double xMax, yMax;
    if (!checkFitInput(fit, x, y, n, xMax, yMax))
        return fit;
    if (!(yMax > 0.0) || !(xMax > 0.0)) {
        fit.setFailure(FitFailure::NoCounts, QStringLiteral("no counts"));
        return fit;
    }
    const double floor = weightFloor * yMax;
    std::vector<double> w(size_t(n), 1.0);
    double tau = quadraticStart(x, y, n);
    if (model == DeadTimeModel::Quadratic) {
        // Unweighted, as the free quadratic: the variance from the residuals.
        const WeightedSums s = weightedSumsAt(model, x, y, n, tau, w.data());
        fit.quadraticCoefficient = -tau;
        fit.tauStdErr = std::sqrt(s.chi2 / (n - 1) / s.jwj);
    } else {
        if (!admissible(model, tau, xMax) || !(tau > 0.0))
            tau = 0.1 / xMax;
        for (int pass = 0; pass < 2; ++pass) {
            setWeights(model, x, y, n, tau, floor, w.data(), pass == 1);
            const int used = solvePass(model, x, y, n, w.data(), xMax, tau);
            if (used < 0) {
                fit.setFailure(FitFailure::NoConvergence, QStringLiteral("no convergence"));
                return fit;
            }
            fit.iterations += used;
        }
        const WeightedSums s = weightedSumsAt(model, x, y, n, tau, w.data());
        fit.tauStdErr = std::sqrt(s.chi2 / (n - 1) / s.jwj);
    }
    fit.tau = tau;
    setWeights(model, x, y, n, tau, floor, w.data(), true);
    fit.reducedChi2 = weightedSumsAt(model, x, y, n, tau, w.data()).chi2 / (n - 1);
    fit.maxRateTau = xMax * tau;
    fit.maxCounted = yMax;
    judgeUnitScaleFit(fit);
    if (!fit.ok && model != DeadTimeModel::Quadratic) {
        const StageFit failed = fit;
        fit = emptyFit(model, n);
        fit.setFailure(failed.failureKind, failed.failure);
    }
    return fit;
}

StageFit fitUnitScaleAmp(DeadTimeModel model, const QVector<double> &x, const QVector<double> &y)
{
    if (x.size() != y.size()) {
        StageFit fit = emptyFit(model, std::min(x.size(), y.size()));
        fit.setFailure(FitFailure::BadInput, QStringLiteral("columns of unequal length"));
        return fit;
    }
    return fitUnitScaleAmp(model, x.constData(), y.constData(), x.size());
}
