// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitscalefit.h"

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

// The one-parameter fit for GSL's solver: the parameter is Q = xMax tau, of
// order 1 whatever the units, and the weights enter as sqrt(w) times each
// residual and each row of the Jacobian.
struct UnitScaleProblem
{
    DeadTimeModel model;
    const double *x;
    const double *y;
    int n;
    double xMax;
    const double *w;
    Sums sums; // at the last evaluation of J^T J
};

int unitScaleResiduals(const gsl_vector *p, void *params, gsl_vector *f)
{
    const auto &d = *static_cast<const UnitScaleProblem *>(params);
    const double tau = gsl_vector_get(p, 0) / d.xMax;
    // Beyond the pole or the overflow of the law a trial step gets residuals
    // so large that the trust region rejects it.
    const bool usable = admissible(d.model, tau, d.xMax);
    for (int i = 0; i < d.n; ++i) {
        double m = 0.0, dm;
        if (usable)
            law(d.model, d.x[i], tau, m, dm);
        gsl_vector_set(f, size_t(i), usable ? std::sqrt(d.w[i]) * (m - d.y[i]) : 1e150);
    }
    return GSL_SUCCESS;
}

// v = J^T u (with J^T J when asked for), or v = J u.
int unitScaleJacobian(CBLAS_TRANSPOSE_t trans, const gsl_vector *p, const gsl_vector *u,
                      void *params, gsl_vector *v, gsl_matrix *jtj)
{
    auto &d = *static_cast<UnitScaleProblem *>(params);
    const double tau = gsl_vector_get(p, 0) / d.xMax;
    Sums s;
    for (int i = 0; i < d.n; ++i) {
        double m, dm;
        law(d.model, d.x[i], tau, m, dm);
        const double j = std::sqrt(d.w[i]) * dm / d.xMax;
        if (trans == CblasNoTrans) {
            gsl_vector_set(v, size_t(i), j * gsl_vector_get(u, 0));
            continue;
        }
        const double r = gsl_vector_get(u, size_t(i));
        s.chi2 += r * r;
        s.jwj += j * j;
        s.jwr += j * r;
    }
    if (trans == CblasTrans) {
        gsl_vector_set(v, 0, s.jwr);
        if (jtj) {
            gsl_matrix_set(jtj, 0, 0, s.jwj);
            d.sums = s;
        }
    }
    return GSL_SUCCESS;
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

// GSL's trust region with Levenberg-Marquardt steps; the workspace is kept
// per thread while the number of points stays the same.
gsl_multilarge_nlinear_workspace *workspaceFor(size_t n)
{
    struct Cache
    {
        size_t n = 0;
        gsl_multilarge_nlinear_workspace *work = nullptr;
        ~Cache() { gsl_multilarge_nlinear_free(work); }
    };
    thread_local Cache cache;
    if (cache.work && cache.n == n)
        return cache.work;
    gsl_multilarge_nlinear_free(cache.work);
    silenceGslErrors();
    gsl_multilarge_nlinear_parameters params = gsl_multilarge_nlinear_default_parameters();
    params.trs = gsl_multilarge_nlinear_trs_lm;
    params.solver = gsl_multilarge_nlinear_solver_cholesky;
    cache.work = gsl_multilarge_nlinear_alloc(gsl_multilarge_nlinear_trust, &params, n, 1);
    cache.n = cache.work ? n : 0;
    return cache.work;
}

// One weighting pass from tau; the weights stay fixed. Ends when a step
// moves tau by less than 1e-12 of itself or when the trust region finds no
// lower chi^2 any more. Returns the iterations used, or -1 when it did not
// converge.
int solve(DeadTimeModel model, const double *x, const double *y, int n, const double *w,
          double xMax, double &tau)
{
    gsl_multilarge_nlinear_workspace *work = workspaceFor(size_t(n));
    if (!work)
        return -1;
    UnitScaleProblem problem { model, x, y, n, xMax, w, Sums() };
    gsl_multilarge_nlinear_fdf fdf;
    fdf.f = unitScaleResiduals;
    fdf.df = unitScaleJacobian;
    fdf.fvv = nullptr;
    fdf.n = size_t(n);
    fdf.p = 1;
    fdf.params = &problem;
    double start = xMax * tau;
    gsl_vector_view q0 = gsl_vector_view_array(&start, 1);
    if (gsl_multilarge_nlinear_init(&q0.vector, &fdf, work) != GSL_SUCCESS)
        return -1;
    const gsl_vector *position = gsl_multilarge_nlinear_position(work);
    for (int it = 1; it <= maxFitIterationsPerPass; ++it) {
        const Sums &s = problem.sums;
        if (!(s.jwj > 0.0) || !std::isfinite(s.chi2) || !std::isfinite(s.jwr / s.jwj))
            return -1;
        const double before = gsl_vector_get(position, 0);
        const int status = gsl_multilarge_nlinear_iterate(work);
        const double q = gsl_vector_get(position, 0);
        tau = q / xMax;
        // GSL_ENOPROG: no lower chi^2 near tau, which is then the minimum.
        if (status == GSL_ENOPROG || std::fabs(q - before) <= 1e-12 * std::fabs(q) + 1e-300)
            return it;
        if (status != GSL_SUCCESS)
            return -1;
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
