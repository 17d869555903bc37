// SPDX-License-Identifier: GPL-3.0-or-later
#include "stagefit.h"

#include "fitquadratic.h"
#include "quadraticerrors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// Below this share of the largest rate a value no longer sets its own weight:
// a rate of zero would otherwise count as infinitely precise.
constexpr double weightFloor = 1e-3;

QString stageInput(FitStage stage)
{
    return stage == FitStage::PreAmp ? QStringLiteral("I0") : QStringLiteral("ICR");
}

void fail(StageFit &fit, FitFailure kind, const QString &why)
{
    fit.ok = false;
    fit.failureKind = kind;
    fit.failure = why;
}

// std::fmax(a, b) for an a that is never NaN, which the compiler can keep
// inline: b when b is NaN or not larger.
inline double largerOf(double a, double b)
{
    return b > a ? b : a;
}

void clearNumbers(StageFit &fit)
{
    fit.scale = fit.scaleStdErr = fit.tau = fit.tauStdErr = notANumber;
    fit.quadraticCoefficient = fit.reducedChi2 = fit.maxRateTau = fit.maxCounted = notANumber;
    fit.scaleTauCovariance = notANumber;
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

    // The numbers stay whatever the verdict; only a usable dead time, error
    // and chi^2 make the fit a success. Rates at or below zero leave the
    // chi^2 weights without a scale, so it comes out infinite or NaN while the
    // unweighted coefficients still give a dead time.
    if (n < 3)
        fail(fit, FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
    else if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr))
        fail(fit, FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
    else if (!std::isfinite(fit.reducedChi2))
        fail(fit, FitFailure::NonFinite, QStringLiteral("reduced chi^2 not finite"));
    else if (!(fit.tau > 0.0))
        fail(fit, FitFailure::TauNotPositive,
             QStringLiteral("dead time not positive (%1)").arg(fit.tau, 0, 'g', 3));
    else
        fit.ok = true;
    return fit;
}

// The exact models are fitted on scaled data, xi = x / xMax and eta = y / yMax,
// as eta = P * xi * g(Q * xi) with g(z) = exp(-z) or 1 / (1 + z). Both
// parameters are then of order 1 whatever the units, and Q is n * tau at the
// highest rate of the scan. For the pre-amplifier P = a xMax / yMax and
// Q = a tau0 xMax; for the amplifier P = d0 xMax / yMax and Q = tau xMax.
struct ScaledData
{
    DeadTimeModel model;
    const double *x;
    const double *y;
    int n;
    double xScale; // 1 / xMax
    double yScale; // 1 / yMax
    std::vector<double> weights; // of the pass under way
};

// g(Q xi) and its derivative dg/dz. The clamps only keep a trial step that
// wanders far into negative dead times finite, so that the solver rejects it.
inline void law(DeadTimeModel model, double z, double &g, double &dg)
{
    if (model == DeadTimeModel::Paralyzable) {
        if (z < -50.0) {
            g = std::exp(50.0);
            dg = 0.0;
            return;
        }
        g = std::exp(-z);
        dg = -g;
    } else {
        const double d = 1.0 + z;
        if (d < 1e-3) {
            g = 1e3;
            dg = 0.0;
            return;
        }
        g = 1.0 / d;
        dg = -g * g;
    }
}

// What one pass over the data gives at (P, Q): the weighted chi^2, the
// normal matrix J^T W J and the gradient J^T W r. Two parameters need no
// more; the Jacobian is never stored, so a step costs one pass whatever n.
struct NormalSums
{
    double chi2 = 0.0;
    double a00 = 0.0, a01 = 0.0, a11 = 0.0;
    double g0 = 0.0, g1 = 0.0;
};

// Counting noise has a variance proportional to the expected count; below
// weightFloor of the largest value a point no longer sets its own weight.
inline double atLeastFloor(double eta)
{
    return eta > weightFloor ? eta : weightFloor;
}

// With reweight, the weights are first set from the model values at (P, Q)
// in the same pass: the second pass of a fit starts there.
template<bool reweight>
NormalSums normalSums(ScaledData &d, double pp, double q)
{
    NormalSums s;
    double *weights = d.weights.data();
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        double g, dg;
        law(d.model, q * xi, g, dg);
        const double m = pp * xi * g;
        if (reweight)
            weights[i] = 1.0 / atLeastFloor(m);
        const double r = m - d.y[i] * d.yScale;
        const double j0 = xi * g;
        const double j1 = pp * xi * xi * dg;
        const double w = weights[i];
        s.chi2 += w * r * r;
        s.a00 += w * j0 * j0;
        s.a01 += w * j0 * j1;
        s.a11 += w * j1 * j1;
        s.g0 += w * j0 * r;
        s.g1 += w * j1 * r;
    }
    return s;
}

void weightByData(ScaledData &d)
{
    for (int i = 0; i < d.n; ++i)
        d.weights[size_t(i)] = 1.0 / atLeastFloor(d.y[i] * d.yScale);
}

enum class SolverEnd { Converged, Stalled, OutOfIterations, NotFinite };

struct Solution
{
    double pp;
    double q;
    NormalSums sums; // at (pp, q)
    int steps = 0;
    SolverEnd end = SolverEnd::Converged;
};

// Whether the gradient vanishes to gtol, relative to the parameters and chi^2.
bool gradientVanishes(const Solution &sol, double gtol)
{
    const NormalSums &s = sol.sums;
    const double g0 = std::fabs(s.g0) * std::fmax(std::fabs(sol.pp), 1.0);
    const double g1 = std::fabs(s.g1) * std::fmax(std::fabs(sol.q), 1.0);
    return std::fmax(g0, g1) <= gtol * std::fmax(0.5 * s.chi2, 1.0);
}

// The step (J^T W J + lambda D) delta = -J^T W r, D the diagonal of J^T W J,
// and what it gains by the local quadratic model of chi^2.
struct Step
{
    double dp, dq, gain;
};

Step dampedStep(const NormalSums &s, double lambda)
{
    const double m00 = s.a00 * (1.0 + lambda);
    const double m11 = s.a11 * (1.0 + lambda);
    const double det = m00 * m11 - s.a01 * s.a01;
    const double dp = (-s.g0 * m11 + s.g1 * s.a01) / det;
    const double dq = (-s.g1 * m00 + s.g0 * s.a01) / det;
    const double gain = -(s.g0 * dp + s.g1 * dq)
            - 0.5 * (dp * dp * s.a00 + 2.0 * dp * dq * s.a01 + dq * dq * s.a11);
    return { dp, dq, gain };
}

// Levenberg-Marquardt on the two parameters from (pp, q): a step is taken if
// it lowers chi^2, and lambda falls after a success and rises after a
// failure. From a start next to the minimum the steps are Gauss-Newton ones
// and two or three suffice. Ends when every parameter moves by less than xtol
// of itself, when the gradient vanishes to gtol, when what a step would gain
// is below what the sum over the points can resolve, or, stalled, when no
// step lowers chi^2 any more.
Solution solve(ScaledData &d, double pp, double q, bool reweight, double xtol, double gtol)
{
    Solution sol { pp, q, reweight ? normalSums<true>(d, pp, q) : normalSums<false>(d, pp, q) };
    if (!std::isfinite(sol.sums.chi2)) {
        sol.end = SolverEnd::NotFinite;
        return sol;
    }
    double lambda = 1e-3;
    while (sol.steps < maxFitIterationsPerPass) {
        if (gradientVanishes(sol, gtol))
            return sol;
        const Step step = dampedStep(sol.sums, lambda);
        if (!std::isfinite(step.dp) || !std::isfinite(step.dq)) {
            ++sol.steps;
            sol.end = SolverEnd::Stalled;
            return sol;
        }
        // chi^2 is a sum over all points that rounds at about this share;
        // a gain below it is no gain, and the parameters are then far
        // within their standard errors of the minimum.
        if (step.gain <= 1e-13 * sol.sums.chi2)
            return sol;
        ++sol.steps;
        const NormalSums next = normalSums<false>(d, sol.pp + step.dp, sol.q + step.dq);
        if (!(next.chi2 < sol.sums.chi2)) {
            // A shorter step, more along the gradient; a lambda this large
            // leaves steps below the rounding of the parameters.
            lambda *= 10.0;
            if (lambda > 1e16) {
                sol.end = SolverEnd::Stalled;
                return sol;
            }
            continue;
        }
        sol.pp += step.dp;
        sol.q += step.dq;
        sol.sums = next;
        lambda = std::fmax(lambda / 10.0, 1e-12);
        if (std::fabs(step.dp) <= xtol * (std::fabs(sol.pp) + xtol)
            && std::fabs(step.dq) <= xtol * (std::fabs(sol.q) + xtol))
            return sol;
    }
    sol.end = SolverEnd::OutOfIterations;
    return sol;
}

// A start from the quadratic expansion eta = P xi - P Q xi^2 of the same
// scaled data; where it shows no loss, a straight line and a small loss.
void quadraticStart(const ScaledData &d, double &p0, double &q0)
{
    double s2 = 0.0, s3 = 0.0, s4 = 0.0, sxy = 0.0, sx2y = 0.0;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        const double eta = d.y[i] * d.yScale;
        const double q = xi * xi;
        s2 += q;
        s3 += q * xi;
        s4 += q * q;
        sxy += xi * eta;
        sx2y += q * eta;
    }
    const double det = s2 * s4 - s3 * s3;
    const double c0 = (sxy * s4 - sx2y * s3) / det;
    const double c1 = (s2 * sx2y - s3 * sxy) / det;
    p0 = c0;
    q0 = -c1 / c0;
    if (!(p0 > 0.0) || !std::isfinite(p0))
        p0 = sxy > 0.0 ? sxy / s2 : 1.0;
    if (!(q0 > 0.0) || !(q0 < 5.0))
        q0 = 0.1;
}

// Both laws become straight lines in a transformed value: ln(eta / xi) =
// ln P - Q xi for the paralyzable one, xi / eta = 1 / P + (Q / P) xi for the
// other. A weighted line through the transformed points, each weighted by the
// inverse variance that counting noise gives the transformed value, lands
// next to the weighted nonlinear fit, so that the solver needs two or three
// steps however high the loss. False where the line is not usable (too few
// points with counts, no loss); the quadratic start then serves.
bool linearisedStart(const ScaledData &d, double &p0, double &q0)
{
    double sw = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    int used = 0;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        const double eta = d.y[i] * d.yScale;
        if (!(xi > 0.0) || !(eta > weightFloor))
            continue;
        double t, w;
        if (d.model == DeadTimeModel::Paralyzable) {
            t = std::log(eta / xi); // var(ln eta) = var(eta) / eta^2, var(eta) ~ eta
            w = eta;
        } else {
            t = xi / eta; // var(xi / eta) = xi^2 var(eta) / eta^4
            w = eta * eta * eta / (xi * xi);
        }
        sw += w;
        sx += w * xi;
        sy += w * t;
        sxx += w * xi * xi;
        sxy += w * xi * t;
        ++used;
    }
    const double det = sw * sxx - sx * sx;
    if (used < 3 || !(det > 0.0))
        return false;
    const double slope = (sw * sxy - sx * sy) / det;
    const double intercept = (sy - slope * sx) / sw;
    if (d.model == DeadTimeModel::Paralyzable) {
        p0 = std::exp(intercept);
        q0 = -slope;
    } else {
        p0 = 1.0 / intercept;
        q0 = slope * p0;
    }
    return std::isfinite(p0) && std::isfinite(q0) && p0 > 0.0 && q0 > 0.0 && q0 < 50.0;
}

void startValues(const ScaledData &d, double &p0, double &q0)
{
    if (!linearisedStart(d, p0, q0))
        quadraticStart(d, p0, q0);
}

// Checks the input; false with the failure set if it cannot be fitted.
bool checkExactInput(StageFit &fit, const double *x, const double *y, int n, double &xMax,
                     double &yMax)
{
    if (n < 3) {
        fail(fit, FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
        return false;
    }
    xMax = 0.0;
    yMax = 0.0;
    // Two parameters need at least two distinct non-zero rates on the x axis.
    double firstX = 0.0;
    bool otherX = false;
    for (int i = 0; i < n; ++i) {
        const double xi = x[i];
        const double yi = y[i];
        if (!std::isfinite(xi) || !std::isfinite(yi)) {
            fail(fit, FitFailure::BadInput, QStringLiteral("non-finite value"));
            return false;
        }
        if (xi < 0.0 || yi < 0.0) {
            fail(fit, FitFailure::BadInput, QStringLiteral("negative rate or intensity"));
            return false;
        }
        xMax = largerOf(xMax, xi);
        yMax = largerOf(yMax, yi);
        if (xi > 0.0 && firstX == 0.0)
            firstX = xi;
        otherX = otherX || (xi > 0.0 && xi != firstX);
    }
    if (!(yMax > 0.0)) {
        fail(fit, FitFailure::NoCounts, QStringLiteral("no counts"));
        return false;
    }
    if (!otherX) {
        fail(fit, FitFailure::OneRate,
             QStringLiteral("all points at one %1").arg(stageInput(fit.stage)));
        return false;
    }
    // The fit works on x / xMax and y / yMax; subnormal maxima have no
    // finite reciprocal to scale by.
    if (!std::isfinite(1.0 / xMax) || !std::isfinite(1.0 / yMax)) {
        fail(fit, FitFailure::BadInput, QStringLiteral("values too small to scale"));
        return false;
    }
    return true;
}

// Why the solver's end is no result, or an empty string if it is one. A
// stalled run ended at a minimum if the gradient J^T W r vanishes there:
// relative to |J_k| |r| (its Cauchy-Schwarz bound), or, with residuals at
// rounding level, relative to |J_k| alone.
QString solverFailure(const Solution &sol)
{
    switch (sol.end) {
    case SolverEnd::OutOfIterations:
        return QStringLiteral("no convergence in %1 iterations").arg(sol.steps);
    case SolverEnd::NotFinite:
        return QStringLiteral("solver stopped: the model is not finite at the start");
    case SolverEnd::Stalled: {
        const NormalSums &s = sol.sums;
        const double grad[2] = { s.g0, s.g1 };
        const double norm[2] = { s.a00, s.a11 };
        for (int k = 0; k < 2; ++k) {
            const double bound = 1e-6 * std::sqrt(norm[k] * s.chi2) + 1e-10 * std::sqrt(norm[k]);
            if (!(std::fabs(grad[k]) <= bound))
                return QStringLiteral("no convergence (no progress)");
        }
        break;
    }
    case SolverEnd::Converged:
        break;
    }
    return QString();
}

// The numbers of the fit from the scaled solution and its covariance
// (J^T W J)^-1 times the reduced chi^2.
void setExactNumbers(StageFit &fit, const Solution &sol, double xMax, double yMax)
{
    const NormalSums &s = sol.sums;
    const double reduced = s.chi2 / (fit.points - 2);
    const double det = s.a00 * s.a11 - s.a01 * s.a01;
    const double varP = s.a11 / det * reduced;
    const double varQ = s.a00 / det * reduced;
    const double covPQ = -s.a01 / det * reduced;
    const double pp = sol.pp;
    const double q = sol.q;

    fit.scale = pp * yMax / xMax;
    fit.scaleStdErr = std::sqrt(std::fmax(varP, 0.0)) * yMax / xMax;
    if (fit.stage == FitStage::PreAmp) {
        // tau0 = Q / (P yMax): the delta method with gradient (-Q/P^2, 1/P) / yMax.
        fit.tau = q / (pp * yMax);
        const double g0 = -q / (pp * pp);
        const double g1 = 1.0 / pp;
        const double var = g0 * g0 * varP + 2.0 * g0 * g1 * covPQ + g1 * g1 * varQ;
        fit.tauStdErr = std::sqrt(std::fmax(var, 0.0)) / yMax;
        fit.scaleTauCovariance = (g0 * varP + g1 * covPQ) / xMax;
    } else {
        fit.tau = q / xMax;
        fit.tauStdErr = std::sqrt(std::fmax(varQ, 0.0)) / xMax;
        fit.scaleTauCovariance = covPQ * yMax / (xMax * xMax);
    }
    fit.reducedChi2 = reduced * yMax;
    fit.maxRateTau = q;
    fit.maxCounted = yMax;
    fit.quadraticCoefficient = notANumber;
}

// The verdict on finished numbers: a usable result, or a failure that
// leaves no number behind.
void judgeExactFit(StageFit &fit)
{
    if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr) || !std::isfinite(fit.scale)
        || !std::isfinite(fit.scaleStdErr)) {
        fail(fit, FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
        clearNumbers(fit);
    } else if (!std::isfinite(fit.reducedChi2)) {
        fail(fit, FitFailure::NonFinite, QStringLiteral("reduced chi^2 not finite"));
        clearNumbers(fit);
    } else if (!(fit.tau > 0.0)) {
        const double tau = fit.tau;
        fail(fit, FitFailure::TauNotPositive,
             QStringLiteral("dead time not positive (%1)").arg(tau, 0, 'g', 3));
        clearNumbers(fit);
    } else if (!(fit.scale > 0.0)) {
        fail(fit, FitFailure::NoCounts, QStringLiteral("no rising rate"));
        clearNumbers(fit);
    } else {
        fit.ok = true;
    }
}

StageFit fitExactStage(DeadTimeModel model, FitStage stage, const double *x, const double *y,
                       int n)
{
    StageFit fit;
    fit.model = model;
    fit.stage = stage;
    fit.points = n;
    clearNumbers(fit);

    double xMax, yMax;
    if (!checkExactInput(fit, x, y, n, xMax, yMax))
        return fit;
    ScaledData data { model, x, y, n, 1.0 / xMax, 1.0 / yMax, std::vector<double>(size_t(n)) };
    double pp, q;
    startValues(data, pp, q);

    // The first pass weights each point by its measured value, which is all
    // there is before a fit, and needs only a few digits; measured weights
    // favour the points that fluctuated low, so the second pass weights by
    // the first pass's model values instead.
    // Where the first pass stalls, the second goes on from there: only its
    // end is judged.
    weightByData(data);
    Solution sol = solve(data, pp, q, false, 1e-5, 1e-8);
    fit.iterations = sol.steps;
    QString why;
    if (sol.end == SolverEnd::OutOfIterations || sol.end == SolverEnd::NotFinite) {
        why = solverFailure(sol);
    } else {
        sol = solve(data, sol.pp, sol.q, true, 1e-10, 1e-12);
        fit.iterations += sol.steps;
        why = solverFailure(sol);
    }
    if (!why.isEmpty()) {
        fail(fit, FitFailure::NoConvergence, why);
        return fit;
    }

    // The dead time must be determined by the data: with J^T W J nearly
    // singular the covariance says nothing.
    const NormalSums &s = sol.sums;
    if (!(s.a00 * s.a11 - s.a01 * s.a01 > 1e-12 * s.a00 * s.a11)) {
        fail(fit, FitFailure::NoConvergence,
             QStringLiteral("dead time not determined by the data"));
        return fit;
    }
    setExactNumbers(fit, sol, xMax, yMax);
    judgeExactFit(fit);
    return fit;
}

} // namespace

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
        clearNumbers(fit);
        fail(fit, FitFailure::BadInput, QStringLiteral("columns of unequal length"));
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
