// SPDX-License-Identifier: GPL-3.0-or-later
#include "stagefit.h"

#include "fitquadratic.h"
#include "quadraticerrors.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multilarge_nlinear.h>
#include <gsl/gsl_vector.h>

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

// Counting noise has a variance proportional to the expected count; below
// weightFloor of the largest value a point no longer sets its own weight.
inline double atLeastFloor(double eta)
{
    return eta > weightFloor ? eta : weightFloor;
}

// One pass over the points at (pp, q): the law, the weighted residuals and
// their sums. The weights enter as sqrt(w) times each residual and each row
// of the Jacobian.
// Adds point (xi, eta) with weight sqrtW^2, where the law is g with slope dg.
inline void addPoint(NormalSums &s, double sqrtW, double pp, double xi, double eta, double g,
                     double dg)
{
    const double r = sqrtW * (pp * xi * g - eta);
    const double j0 = sqrtW * xi * g;
    const double j1 = sqrtW * pp * xi * xi * dg;
    s.chi2 += r * r;
    s.a00 += j0 * j0;
    s.a01 += j0 * j1;
    s.a11 += j1 * j1;
    s.g0 += j0 * r;
    s.g1 += j1 * r;
}

NormalSums normalSums(const ScaledData &d, double pp, double q)
{
    const double *sqrtW = d.sqrtWeights.data();
    NormalSums s;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        double g, dg;
        lawOf(d.model, q * xi, g, dg);
        addPoint(s, sqrtW[i], pp, xi, d.y[i] * d.yScale, g, dg);
    }
    return s;
}

// The least-squares problem as GSL's solver sees it. Its trust region with
// Levenberg-Marquardt steps on the normal equations uses the residuals only
// through their norm and the Jacobian only through J^T J and J^T r; so the n
// residuals are handed over rotated into three numbers with the same norm,
// as in a QR compression of a tall problem: with J^T J = R^T R (Cholesky),
// r~ = (z, t) where R^T z = J^T r and t^2 = chi^2 - |z|^2, and J~ = (R; 0).
// J~^T J~ = J^T J, J~^T r~ = J^T r and |r~| = |r|: every step, every ratio of
// actual to predicted reduction and every stopping test is that of the full
// problem, while each trial position costs one pass over the points rather
// than five (the residuals, three norms of them and a copy).
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

struct WeightedProblem
{
    ScaledData *data;
    double p = notANumber, q = notANumber; // where trial was taken
    NormalSums trial;                        // at the last evaluation of the residuals
    Compressed rotated;                      // of trial
    NormalSums sums;                         // at the last evaluation of J^T J

    void keep(double pp, double qq, const NormalSums &s)
    {
        trial = s;
        rotated = compress(s);
        p = pp;
        q = qq;
    }

    const NormalSums &at(double pp, double qq)
    {
        if (pp != p || qq != q)
            keep(pp, qq, normalSums(*data, pp, qq));
        return trial;
    }
};

int weightedResiduals(const gsl_vector *x, void *params, gsl_vector *f)
{
    auto &problem = *static_cast<WeightedProblem *>(params);
    problem.at(gsl_vector_get(x, 0), gsl_vector_get(x, 1));
    for (size_t i = 0; i < compressedSize; ++i)
        gsl_vector_set(f, i, problem.rotated.f[i]);
    return GSL_SUCCESS;
}

// v = J~^T u and, when asked for, J^T J; or v = J~ u.
int weightedJacobian(CBLAS_TRANSPOSE_t trans, const gsl_vector *x, const gsl_vector *u,
                     void *params, gsl_vector *v, gsl_matrix *jtj)
{
    auto &problem = *static_cast<WeightedProblem *>(params);
    const NormalSums &s = problem.at(gsl_vector_get(x, 0), gsl_vector_get(x, 1));
    const Compressed &c = problem.rotated;
    const double u0 = gsl_vector_get(u, 0);
    const double u1 = gsl_vector_get(u, 1);
    if (trans == CblasNoTrans) {
        gsl_vector_set(v, 0, c.r00 * u0 + c.r01 * u1);
        gsl_vector_set(v, 1, c.r11 * u1);
        gsl_vector_set(v, 2, 0.0);
        return GSL_SUCCESS;
    }
    // J~^T r~ is the gradient itself: taken from the sums rather than back
    // through R, it keeps every digit.
    const bool residuals = u0 == c.f[0] && u1 == c.f[1] && gsl_vector_get(u, 2) == c.f[2];
    gsl_vector_set(v, 0, residuals ? s.g0 : c.r00 * u0);
    gsl_vector_set(v, 1, residuals ? s.g1 : c.r01 * u0 + c.r11 * u1);
    if (jtj) {
        gsl_matrix_set(jtj, 0, 0, s.a00);
        gsl_matrix_set(jtj, 1, 0, s.a01);
        gsl_matrix_set(jtj, 0, 1, s.a01);
        gsl_matrix_set(jtj, 1, 1, s.a11);
        problem.sums = s;
    }
    return GSL_SUCCESS;
}

// What a pass's weights are taken from: the measured values, which is all
// there is before a fit, or the model of the pass before.
enum class WeightBy { Data, Model };

// Sets the weights and, in the same pass, the normal sums at (pp, q) with
// them, where the next pass of the solver starts. Counting noise has a
// variance proportional to the expected count, which a weight by the data
// or by the model estimates.
template<WeightBy by>
NormalSums setWeights(ScaledData &d, double pp, double q)
{
    double *sqrtW = d.sqrtWeights.data();
    NormalSums s;
    for (int i = 0; i < d.n; ++i) {
        const double xi = d.x[i] * d.xScale;
        const double eta = d.y[i] * d.yScale;
        double g, dg;
        lawOf(d.model, q * xi, g, dg);
        sqrtW[i] = 1.0 / std::sqrt(atLeastFloor(by == WeightBy::Data ? eta : pp * xi * g));
        addPoint(s, sqrtW[i], pp, xi, eta, g, dg);
    }
    return s;
}

// GSL's default error handler aborts the program; every error here is a
// status code that the fit turns into a reported failure instead.
void silenceGslErrors()
{
    static const bool silenced = [] {
        gsl_set_error_handler_off();
        return true;
    }();
    (void)silenced;
}

// GSL's trust region with Levenberg-Marquardt steps on the normal equations
// (Cholesky: two parameters, well scaled), on the compressed problem: its
// workspace is the same small one for every fit, kept in the thread.
gsl_multilarge_nlinear_workspace *solverWorkspace()
{
    struct Cache
    {
        gsl_multilarge_nlinear_workspace *work = nullptr;
        ~Cache() { gsl_multilarge_nlinear_free(work); }
    };
    thread_local Cache cache;
    if (!cache.work) {
        silenceGslErrors();
        gsl_multilarge_nlinear_parameters params = gsl_multilarge_nlinear_default_parameters();
        params.trs = gsl_multilarge_nlinear_trs_lm;
        params.solver = gsl_multilarge_nlinear_solver_cholesky;
        params.scale = gsl_multilarge_nlinear_scale_levenberg;
        cache.work = gsl_multilarge_nlinear_alloc(gsl_multilarge_nlinear_trust, &params,
                                                  compressedSize, 2);
    }
    return cache.work;
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

// Whether the gradient vanishes to gtol, relative to the parameters and chi^2
// (GSL's own gradient test, on the sums already at hand).
bool gradientVanishes(const Solution &sol, double gtol)
{
    const NormalSums &s = sol.sums;
    const double g0 = std::fabs(s.g0) * std::fmax(std::fabs(sol.pp), 1.0);
    const double g1 = std::fabs(s.g1) * std::fmax(std::fabs(sol.q), 1.0);
    return std::fmax(g0, g1) <= gtol * std::fmax(0.5 * s.chi2, 1.0);
}

// What a Gauss-Newton step from here would lower chi^2 by, on the local
// quadratic model: g^T (J^T W J)^-1 g.
double gaussNewtonGain(const NormalSums &s)
{
    const double det = s.a00 * s.a11 - s.a01 * s.a01;
    return (s.g0 * s.g0 * s.a11 - 2.0 * s.g0 * s.g1 * s.a01 + s.g1 * s.g1 * s.a00) / det;
}

// One weighting pass of GSL's solver from (pp, q), where the pass that set
// the weights left the sums atStart. Ends when every parameter moves by less
// than xtol of itself, when the gradient vanishes to gtol, when what a
// further step could gain is below what the sum over the points can resolve,
// or, stalled, when the trust region finds no lower chi^2 any more.
Solution solve(gsl_multilarge_nlinear_workspace *work, ScaledData &d, double pp, double q,
               double xtol, double gtol, const NormalSums &atStart)
{
    WeightedProblem problem;
    problem.data = &d;
    problem.keep(pp, q, atStart);
    gsl_multilarge_nlinear_fdf fdf;
    fdf.f = weightedResiduals;
    fdf.df = weightedJacobian;
    fdf.fvv = nullptr;
    fdf.n = compressedSize;
    fdf.p = 2;
    fdf.params = &problem;

    double start[2] = { pp, q };
    gsl_vector_view x0 = gsl_vector_view_array(start, 2);
    Solution sol { pp, q, NormalSums() };
    if (gsl_multilarge_nlinear_init(&x0.vector, &fdf, work) != GSL_SUCCESS
        || !std::isfinite(problem.sums.chi2)) {
        sol.end = SolverEnd::NotFinite;
        return sol;
    }
    sol.sums = problem.sums;
    const gsl_vector *position = gsl_multilarge_nlinear_position(work);
    while (sol.steps < maxFitIterationsPerPass) {
        if (gradientVanishes(sol, gtol))
            return sol;
        // chi^2 is a sum over all points that rounds at about this share; a
        // gain below it is no gain, and the parameters are then far within
        // their standard errors of the minimum.
        if (!(gaussNewtonGain(sol.sums) > 1e-13 * sol.sums.chi2))
            return sol;
        ++sol.steps;
        const int status = gsl_multilarge_nlinear_iterate(work);
        const double dp = gsl_vector_get(position, 0) - sol.pp;
        const double dq = gsl_vector_get(position, 1) - sol.q;
        sol.pp += dp;
        sol.q += dq;
        sol.sums = problem.sums;
        if (status != GSL_SUCCESS) {
            sol.end = SolverEnd::Stalled;
            return sol;
        }
        if (std::fabs(dp) <= xtol * (std::fabs(sol.pp) + xtol)
            && std::fabs(dq) <= xtol * (std::fabs(sol.q) + xtol))
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
    gsl_multilarge_nlinear_workspace *work = solverWorkspace();
    if (!work) {
        fail(fit, FitFailure::NoConvergence, QStringLiteral("out of memory"));
        return fit;
    }
    const NormalSums atDataStart = setWeights<WeightBy::Data>(data, pp, q);
    Solution sol = solve(work, data, pp, q, 1e-5, 1e-8, atDataStart);
    fit.iterations = sol.steps;
    QString why;
    if (sol.end == SolverEnd::OutOfIterations || sol.end == SolverEnd::NotFinite) {
        why = solverFailure(sol);
    } else {
        const NormalSums atStart = setWeights<WeightBy::Model>(data, sol.pp, sol.q);
        sol = solve(work, data, sol.pp, sol.q, 1e-10, 1e-12, atStart);
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
