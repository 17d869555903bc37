// SPDX-License-Identifier: GPL-3.0-or-later
#include "exactstagefit.h"

#include "gslfit.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

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
    std::vector<double> sqrtWeights; // of the pass under way
};

// g(Q xi) and its derivative dg/dz. The clamps only keep a trial step that
// wanders far into negative dead times finite, so that the solver rejects it.
inline void lawOf(DeadTimeModel model, double z, double &g, double &dg)
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

// The normal sums at a position: chi^2, J^T W J and J^T W r.
struct NormalSums
{
    double chi2 = 0.0;
    double a00 = 0.0, a01 = 0.0, a11 = 0.0;
    double g0 = 0.0, g1 = 0.0;
};

// The value a point's weight is taken from, on the scaled data whose
// largest value is 1.
inline double atLeastFloor(double eta)
{
    return eta > weightFloor ? eta : weightFloor;
}

// Adds point (xi, eta) at (p, q), where the law is g with slope dg. The
// weights enter as sqrt(w) times the residual and the row of the Jacobian.
inline void addPoint(NormalSums &s, double sqrtW, double p, double xi, double eta, double g,
                     double dg)
{
    const double r = sqrtW * (p * xi * g - eta);
    const double j0 = sqrtW * xi * g;
    const double j1 = sqrtW * p * xi * xi * dg;
    s.chi2 += r * r;
    s.a00 += j0 * j0;
    s.a01 += j0 * j1;
    s.a11 += j1 * j1;
    s.g0 += j0 * r;
    s.g1 += j1 * r;
}

NormalSums normalSums(const ScaledData &d, double p, double q)
{
    const double *sqrtW = d.sqrtWeights.data();
    NormalSums s;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        double g, dg;
        lawOf(d.model, q * xi, g, dg);
        addPoint(s, sqrtW[i], p, xi, d.y[i] * d.yScale, g, dg);
    }
    return s;
}

// What a pass's weights are taken from: the measured values, which is all
// there is before a fit, or the model of the pass before.
enum class WeightBy { Data, Model };

// Sets the weights and, in the same pass over the points, the normal sums at
// (p, q) with them, where the next pass of the solver starts.
template<WeightBy by> NormalSums setWeights(ScaledData &d, double p, double q)
{
    double *sqrtW = d.sqrtWeights.data();
    NormalSums s;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        const double eta = d.y[i] * d.yScale;
        double g, dg;
        lawOf(d.model, q * xi, g, dg);
        sqrtW[i] = 1.0 / std::sqrt(atLeastFloor(by == WeightBy::Data ? eta : p * xi * g));
        addPoint(s, sqrtW[i], p, xi, eta, g, dg);
    }
    return s;
}

// The solver uses the residuals only through their norm and the Jacobian
// only through J^T J and J^T r; so the n residuals are handed over rotated
// into three numbers with the same norm, as in a QR compression of a tall
// problem: with J^T J = R^T R (Cholesky), r~ = (z, t) where R^T z = J^T r and
// t^2 = chi^2 - |z|^2, and J~ = (R; 0). J~^T J~ = J^T J, J~^T r~ = J^T r and
// |r~| = |r|: every step, every ratio of actual to predicted reduction and
// every stopping test is that of the full problem, while each trial position
// costs one pass over the points rather than five (the residuals, three norms
// of them and a copy).
constexpr size_t compressedSize = 3;

struct Compressed
{
    double r00 = 0.0, r01 = 0.0, r11 = 0.0; // R
    double f[compressedSize] = {};
};

Compressed compress(const NormalSums &s)
{
    Compressed c;
    c.r00 = std::sqrt(s.a00);
    c.r01 = s.a01 / c.r00;
    c.r11 = std::sqrt(s.a11 - c.r01 * c.r01);
    double z0 = s.g0 / c.r00;
    double z1 = (s.g1 - c.r01 * z0) / c.r11;
    // A Jacobian without full rank has no R to rotate by; the norm alone
    // still lets the solver judge the step (which then leads nowhere).
    if (!std::isfinite(z0) || !std::isfinite(z1))
        z0 = z1 = 0.0;
    c.f[0] = z0;
    c.f[1] = z1;
    c.f[2] = std::sqrt(std::fmax(s.chi2 - z0 * z0 - z1 * z1, 0.0));
    return c;
}

// What a Gauss-Newton step from here would lower chi^2 by, on the local
// quadratic model: g^T (J^T W J)^-1 g.
double gaussNewtonGain(const NormalSums &s)
{
    const double det = s.a00 * s.a11 - s.a01 * s.a01;
    return (s.g0 * s.g0 * s.a11 - 2.0 * s.g0 * s.g1 * s.a01 + s.g1 * s.g1 * s.a00) / det;
}

// One weighting pass on the scaled data from (p, q), where the pass that
// set the weights left the sums atStart. Ends when every parameter moves by
// less than xtol of itself, when the gradient vanishes to gtol, when what a
// further step could gain is below what the sum over the points can resolve,
// or, stalled, when the trust region finds no lower chi^2 nearby.
class ScaledLawPass : public LeastSquaresPass
{
public:
    ScaledLawPass(const ScaledData &scaled, double startP, double startQ, double stepTolerance,
                  double gradientTolerance, const NormalSums &atStart)
        : LeastSquaresPass({ compressedSize, 2, StepScaling::Levenberg })
        , data(scaled)
        , xtol(stepTolerance)
        , gtol(gradientTolerance)
        , p(startP)
        , q(startQ)
    {
        keepTrial(startP, startQ, atStart);
    }

    void residuals(const double *position, double *f) override
    {
        sumsAt(position[0], position[1]);
        for (size_t i = 0; i < compressedSize; ++i)
            f[i] = rotated.f[i];
    }

    // v = J~^T u and, when asked for, J^T J; or v = J~ u.
    void jacobian(bool transposed, const double *position, const double *u, double *v,
                  double *jtj) override
    {
        const NormalSums &s = sumsAt(position[0], position[1]);
        const Compressed &c = rotated;
        if (!transposed) {
            v[0] = c.r00 * u[0] + c.r01 * u[1];
            v[1] = c.r11 * u[1];
            v[2] = 0.0;
            return;
        }
        // J~^T r~ is the gradient itself: taken from the sums rather than back
        // through R, it keeps every digit.
        const bool ofResiduals = u[0] == c.f[0] && u[1] == c.f[1] && u[2] == c.f[2];
        v[0] = ofResiduals ? s.g0 : c.r00 * u[0];
        v[1] = ofResiduals ? s.g1 : c.r01 * u[0] + c.r11 * u[1];
        if (jtj) {
            jtj[0] = s.a00;
            jtj[1] = s.a01;
            jtj[2] = s.a01;
            jtj[3] = s.a11;
            sums = s;
        }
    }

    bool startIsUsable() override { return std::isfinite(sums.chi2); }

    PassEnd beforeStep(const double *position) override
    {
        if (gradientVanishes(position))
            return PassEnd::Converged;
        // chi^2 is a sum over all points that rounds at about this share; a
        // gain below it is no gain, and the parameters are then far within
        // their standard errors of the minimum.
        if (!(gaussNewtonGain(sums) > 1e-13 * sums.chi2))
            return PassEnd::Converged;
        return PassEnd::Running;
    }

    PassEnd afterStep(StepOutcome outcome, const double *before, const double *position) override
    {
        p = position[0];
        q = position[1];
        if (outcome != StepOutcome::Moved)
            return PassEnd::Stalled;
        if (std::fabs(p - before[0]) <= xtol * (std::fabs(p) + xtol)
            && std::fabs(q - before[1]) <= xtol * (std::fabs(q) + xtol))
            return PassEnd::Converged;
        return PassEnd::Running;
    }

    const ScaledData &data;
    const double xtol;
    const double gtol;
    double p; // where the last step ended
    double q;
    NormalSums sums; // at the last evaluation of J^T J, which is at (p, q)

private:
    void keepTrial(double tp, double tq, const NormalSums &s)
    {
        trial = s;
        rotated = compress(s);
        trialP = tp;
        trialQ = tq;
    }

    const NormalSums &sumsAt(double tp, double tq)
    {
        if (tp != trialP || tq != trialQ)
            keepTrial(tp, tq, normalSums(data, tp, tq));
        return trial;
    }

    // Whether the gradient vanishes to gtol, relative to the parameters and
    // chi^2 (GSL's own gradient test, on the sums already at hand).
    bool gradientVanishes(const double *position) const
    {
        const double g0 = std::fabs(sums.g0) * std::fmax(std::fabs(position[0]), 1.0);
        const double g1 = std::fabs(sums.g1) * std::fmax(std::fabs(position[1]), 1.0);
        return std::fmax(g0, g1) <= gtol * std::fmax(0.5 * sums.chi2, 1.0);
    }

    double trialP = notANumber; // where trial was taken
    double trialQ = notANumber;
    NormalSums trial; // at the last evaluation of the residuals
    Compressed rotated; // of trial
};

struct Solution
{
    double p;
    double q;
    NormalSums sums; // at (p, q)
    PassResult run;
};

Solution solvePass(const ScaledData &d, double p, double q, double xtol, double gtol,
                   const NormalSums &atStart)
{
    ScaledLawPass pass(d, p, q, xtol, gtol, atStart);
    const double start[2] = { p, q };
    const PassResult run = runLeastSquaresPass(pass, start);
    if (run.end == PassEnd::NotStarted || run.end == PassEnd::OutOfMemory)
        return { p, q, NormalSums(), run };
    return { pass.p, pass.q, pass.sums, run };
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

QString stageInput(FitStage stage)
{
    return stage == FitStage::PreAmp ? QStringLiteral("I0") : QStringLiteral("ICR");
}

// The checks beyond checkFitInput that two free parameters need: counts, at
// least two distinct non-zero rates on the x axis, and maxima with a finite
// reciprocal to scale by.
bool checkTwoParameterInput(StageFit &fit, const double *x, int n, double xMax, double yMax)
{
    if (!(yMax > 0.0)) {
        fit.setFailure(FitFailure::NoCounts, QStringLiteral("no counts"));
        return false;
    }
    double firstX = 0.0;
    bool otherX = false;
    for (int i = 0; i < n; ++i) {
        if (x[i] > 0.0 && firstX == 0.0)
            firstX = x[i];
        otherX = otherX || (x[i] > 0.0 && x[i] != firstX);
    }
    if (!otherX) {
        fit.setFailure(FitFailure::OneRate,
                       QStringLiteral("all points at one %1").arg(stageInput(fit.stage)));
        return false;
    }
    if (!std::isfinite(1.0 / xMax) || !std::isfinite(1.0 / yMax)) {
        fit.setFailure(FitFailure::BadInput, QStringLiteral("values too small to scale"));
        return false;
    }
    return true;
}

// A stalled run ended at a minimum if the gradient J^T W r vanishes there:
// relative to |J_k| |r| (its Cauchy-Schwarz bound), or, with residuals at
// rounding level, relative to |J_k| alone.
bool stalledAtMinimum(const NormalSums &s)
{
    const double grad[2] = { s.g0, s.g1 };
    const double norm[2] = { s.a00, s.a11 };
    for (int k = 0; k < 2; ++k) {
        const double bound = 1e-6 * std::sqrt(norm[k] * s.chi2) + 1e-10 * std::sqrt(norm[k]);
        if (!(std::fabs(grad[k]) <= bound))
            return false;
    }
    return true;
}

// Why the end of a pass is no result, or an empty string if it is one.
QString solverFailure(const Solution &sol)
{
    switch (sol.run.end) {
    case PassEnd::OutOfIterations:
        return QStringLiteral("no convergence in %1 iterations").arg(sol.run.steps);
    case PassEnd::NotStarted:
        return QStringLiteral("solver stopped: the model is not finite at the start");
    case PassEnd::OutOfMemory:
        return QStringLiteral("out of memory");
    case PassEnd::Failed:
        return QStringLiteral("no convergence");
    case PassEnd::Stalled:
        return stalledAtMinimum(sol.sums) ? QString()
                                          : QStringLiteral("no convergence (no progress)");
    case PassEnd::Running:
    case PassEnd::Converged:
        break;
    }
    return QString();
}

// The two weighting passes. The first weights each point by its measured
// value, which is all there is before a fit, and needs only a few digits;
// measured weights favour the points that fluctuated low, so the second pass
// weights by the first pass's model values instead. Where the first pass
// stalls, the second goes on from there: only its end is judged.
Solution solveInTwoPasses(ScaledData &data, double p, double q, int &iterations)
{
    const NormalSums atDataStart = setWeights<WeightBy::Data>(data, p, q);
    Solution sol = solvePass(data, p, q, 1e-5, 1e-8, atDataStart);
    iterations = sol.run.steps;
    const PassEnd first = sol.run.end;
    if (first == PassEnd::OutOfIterations || first == PassEnd::NotStarted
        || first == PassEnd::OutOfMemory)
        return sol;
    const NormalSums atModelStart = setWeights<WeightBy::Model>(data, sol.p, sol.q);
    sol = solvePass(data, sol.p, sol.q, 1e-10, 1e-12, atModelStart);
    iterations += sol.run.steps;
    return sol;
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
    const double p = sol.p;
    const double q = sol.q;

    fit.scale = p * yMax / xMax;
    fit.scaleStdErr = std::sqrt(std::fmax(varP, 0.0)) * yMax / xMax;
    if (fit.stage == FitStage::PreAmp) {
        // tau0 = Q / (P yMax): the delta method with gradient (-Q/P^2, 1/P) / yMax.
        fit.tau = q / (p * yMax);
        const double g0 = -q / (p * p);
        const double g1 = 1.0 / p;
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
        fit.setFailure(FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
    } else if (!std::isfinite(fit.reducedChi2)) {
        fit.setFailure(FitFailure::NonFinite, QStringLiteral("reduced chi^2 not finite"));
    } else if (!(fit.tau > 0.0)) {
        fit.setFailure(FitFailure::TauNotPositive,
                       QStringLiteral("dead time not positive (%1)").arg(fit.tau, 0, 'g', 3));
    } else if (!(fit.scale > 0.0)) {
        fit.setFailure(FitFailure::NoCounts, QStringLiteral("no rising rate"));
    } else {
        fit.ok = true;
        return;
    }
    fit.clearNumbers();
}

} // namespace

StageFit fitExactStage(DeadTimeModel model, FitStage stage, const double *x, const double *y, int n)
{
    StageFit fit;
    fit.model = model;
    fit.stage = stage;
    fit.points = n;
    fit.clearNumbers();

    double xMax, yMax;
    if (!checkFitInput(fit, x, y, n, xMax, yMax) || !checkTwoParameterInput(fit, x, n, xMax, yMax))
        return fit;
    ScaledData data { model, x, y, n, 1.0 / xMax, 1.0 / yMax, std::vector<double>(size_t(n)) };
    double p, q;
    startValues(data, p, q);
    const Solution sol = solveInTwoPasses(data, p, q, fit.iterations);
    const QString why = solverFailure(sol);
    if (!why.isEmpty()) {
        fit.setFailure(FitFailure::NoConvergence, why);
        return fit;
    }
    // The dead time must be determined by the data: with J^T W J nearly
    // singular the covariance says nothing.
    const NormalSums &s = sol.sums;
    if (!(s.a00 * s.a11 - s.a01 * s.a01 > 1e-12 * s.a00 * s.a11)) {
        fit.setFailure(FitFailure::NoConvergence,
                       QStringLiteral("dead time not determined by the data"));
        return fit;
    }
    setExactNumbers(fit, sol, xMax, yMax);
    judgeExactFit(fit);
    return fit;
}
