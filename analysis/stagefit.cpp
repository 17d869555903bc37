// SPDX-License-Identifier: GPL-3.0-or-later
#include "stagefit.h"

#include "fitquadratic.h"
#include "quadraticerrors.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
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
        chi2 += r * r / std::fmax(m, floor);
    }
    return chi2 / (n - 2);
}

StageFit fitQuadraticStage(FitStage stage, const double *x, const double *y, int n)
{
    StageFit fit;
    fit.model = DeadTimeModel::Quadratic;
    fit.stage = stage;
    fit.points = n;

    const QVector<double> xs(x, x + n);
    const QVector<double> ys(y, y + n);
    QVector<double> c;
    fitQuadratic(xs, ys, c);
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
        xMax = std::fmax(xMax, x[i]);
        yMax = std::fmax(yMax, y[i]);
    }
    fit.reducedChi2 = weightedReducedChi2(x, y, n, yMax,
                                          [c0, c1](double xi) { return c0 * xi + c1 * xi * xi; });
    fit.maxRateTau = (stage == FitStage::PreAmp ? c0 * xMax : xMax) * fit.tau;
    fit.maxCounted = yMax;

    if (n < 3)
        fail(fit, FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
    else if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr))
        fail(fit, FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
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
    std::vector<double> xi;
    std::vector<double> eta;
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

int residuals(const gsl_vector *p, void *params, gsl_vector *f)
{
    const ScaledData &d = *static_cast<const ScaledData *>(params);
    const double pp = gsl_vector_get(p, 0);
    const double q = gsl_vector_get(p, 1);
    for (size_t i = 0; i < d.xi.size(); ++i) {
        double g, dg;
        law(d.model, q * d.xi[i], g, dg);
        gsl_vector_set(f, i, pp * d.xi[i] * g - d.eta[i]);
    }
    return GSL_SUCCESS;
}

int jacobian(const gsl_vector *p, void *params, gsl_matrix *jac)
{
    const ScaledData &d = *static_cast<const ScaledData *>(params);
    const double pp = gsl_vector_get(p, 0);
    const double q = gsl_vector_get(p, 1);
    for (size_t i = 0; i < d.xi.size(); ++i) {
        const double xi = d.xi[i];
        double g, dg;
        law(d.model, q * xi, g, dg);
        gsl_matrix_set(jac, i, 0, xi * g);
        gsl_matrix_set(jac, i, 1, pp * xi * xi * dg);
    }
    return GSL_SUCCESS;
}

double modelValue(DeadTimeModel model, double pp, double q, double xi)
{
    double g, dg;
    law(model, q * xi, g, dg);
    return pp * xi * g;
}

struct WorkspaceDeleter
{
    void operator()(gsl_multifit_nlinear_workspace *w) const { gsl_multifit_nlinear_free(w); }
};
struct VectorDeleter
{
    void operator()(gsl_vector *v) const { gsl_vector_free(v); }
};
struct MatrixDeleter
{
    void operator()(gsl_matrix *m) const { gsl_matrix_free(m); }
};

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

StageFit fitExactStage(DeadTimeModel model, FitStage stage, const double *x, const double *y,
                       int n)
{
    StageFit fit;
    fit.model = model;
    fit.stage = stage;
    fit.points = n;
    clearNumbers(fit);

    if (n < 3) {
        fail(fit, FitFailure::TooFewPoints, QStringLiteral("fewer than 3 points"));
        return fit;
    }
    double xMax = 0.0;
    double yMax = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            fail(fit, FitFailure::BadInput, QStringLiteral("non-finite value"));
            return fit;
        }
        if (x[i] < 0.0 || y[i] < 0.0) {
            fail(fit, FitFailure::BadInput, QStringLiteral("negative rate or intensity"));
            return fit;
        }
        xMax = std::fmax(xMax, x[i]);
        yMax = std::fmax(yMax, y[i]);
    }
    if (!(yMax > 0.0)) {
        fail(fit, FitFailure::NoCounts, QStringLiteral("no counts"));
        return fit;
    }

    ScaledData data { model, std::vector<double>(size_t(n)), std::vector<double>(size_t(n)) };
    double otherX = 0.0;
    for (int i = 0; i < n; ++i) {
        data.xi[size_t(i)] = x[i] / xMax;
        data.eta[size_t(i)] = y[i] / yMax;
        if (x[i] > 0.0 && x[i] < xMax)
            otherX = x[i];
    }
    // Two parameters need at least two distinct non-zero rates on the x axis.
    if (!(otherX > 0.0)) {
        fail(fit, FitFailure::OneRate, QStringLiteral("all points at one %1").arg(stageInput(stage)));
        return fit;
    }

    // Start from the quadratic expansion eta = P xi - P Q xi^2 of the same
    // scaled data; where it shows no loss, from a straight line and a small
    // loss instead.
    QVector<double> c;
    fitQuadratic(QVector<double>(data.xi.begin(), data.xi.end()),
                 QVector<double>(data.eta.begin(), data.eta.end()), c);
    double p0 = c.at(0);
    double q0 = -c.at(1) / c.at(0);
    if (!(p0 > 0.0) || !std::isfinite(p0)) {
        double sxy = 0.0;
        double sxx = 0.0;
        for (int i = 0; i < n; ++i) {
            sxy += data.xi[size_t(i)] * data.eta[size_t(i)];
            sxx += data.xi[size_t(i)] * data.xi[size_t(i)];
        }
        p0 = sxy > 0.0 ? sxy / sxx : 1.0;
    }
    if (!(q0 > 0.0) || !(q0 < 5.0))
        q0 = 0.1;

    silenceGslErrors();
    gsl_multifit_nlinear_fdf fdf;
    fdf.f = residuals;
    fdf.df = jacobian;
    fdf.fvv = nullptr;
    fdf.n = size_t(n);
    fdf.p = 2;
    fdf.params = &data;

    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.solver = gsl_multifit_nlinear_solver_cholesky;
    params.scale = gsl_multifit_nlinear_scale_levenberg;
    std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceDeleter> work(
            gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, size_t(n), 2));
    std::unique_ptr<gsl_vector, VectorDeleter> start(gsl_vector_alloc(2));
    std::unique_ptr<gsl_vector, VectorDeleter> weights(gsl_vector_alloc(size_t(n)));
    std::unique_ptr<gsl_matrix, MatrixDeleter> cov(gsl_matrix_alloc(2, 2));
    if (!work || !start || !weights || !cov) {
        fail(fit, FitFailure::NoConvergence, QStringLiteral("out of memory"));
        return fit;
    }

    // Counting noise has a variance proportional to the expected count. The
    // first pass weights each point by its measured value, which is all there
    // is before a fit; measured weights favour the points that fluctuated low,
    // so the second pass weights by the first pass's model values instead.
    gsl_vector_set(start.get(), 0, p0);
    gsl_vector_set(start.get(), 1, q0);
    for (int i = 0; i < n; ++i)
        gsl_vector_set(weights.get(), size_t(i), 1.0 / std::fmax(data.eta[size_t(i)], weightFloor));
    bool stalled = false;
    for (int pass = 0; pass < 2; ++pass) {
        int info = 0;
        int status = gsl_multifit_nlinear_winit(start.get(), weights.get(), &fdf, work.get());
        if (status == GSL_SUCCESS)
            // The first pass only sets the weights of the second and needs no
            // more than a few digits.
            status = gsl_multifit_nlinear_driver(maxFitIterationsPerPass, pass ? 1e-10 : 1e-5,
                                                 pass ? 1e-12 : 1e-8, 0.0, nullptr, nullptr,
                                                 &info, work.get());
        fit.iterations += int(gsl_multifit_nlinear_niter(work.get()));
        // GSL_ENOPROG: the trust region shrank without finding a better point,
        // which is how an exact fit to noise-free data ends; whether that point
        // is a minimum is judged by the gradient below.
        if (status != GSL_SUCCESS && status != GSL_ENOPROG) {
            fail(fit, FitFailure::NoConvergence,
                 status == GSL_EMAXITER
                         ? QStringLiteral("no convergence in %1 iterations").arg(fit.iterations)
                         : QStringLiteral("solver stopped: %1")
                                   .arg(QString::fromLatin1(gsl_strerror(status))));
            clearNumbers(fit);
            return fit;
        }
        stalled = status == GSL_ENOPROG;
        const gsl_vector *p = gsl_multifit_nlinear_position(work.get());
        gsl_vector_memcpy(start.get(), p);
        if (pass == 1)
            break;
        const double pp = gsl_vector_get(p, 0);
        const double q = gsl_vector_get(p, 1);
        for (int i = 0; i < n; ++i) {
            const double m = modelValue(model, pp, q, data.xi[size_t(i)]);
            gsl_vector_set(weights.get(), size_t(i), 1.0 / std::fmax(m, weightFloor));
        }
    }

    const double pp = gsl_vector_get(start.get(), 0);
    const double q = gsl_vector_get(start.get(), 1);
    // chi^2 with the weights the last pass used.
    const gsl_vector *wr = gsl_multifit_nlinear_residual(work.get());
    double chi2 = 0.0;
    for (int i = 0; i < n; ++i)
        chi2 += gsl_vector_get(wr, size_t(i)) * gsl_vector_get(wr, size_t(i));
    const double reduced = chi2 / (n - 2);

    // A run that stopped making progress ended at a minimum if the gradient
    // J^T W r vanishes there: relative to |J_k| |r| (its Cauchy-Schwarz
    // bound), or, with residuals at rounding level, relative to |J_k| alone.
    const gsl_matrix *jac = gsl_multifit_nlinear_jac(work.get());
    double grad[2] = { 0.0, 0.0 };
    double norm[2] = { 0.0, 0.0 };
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < 2; ++k) {
            const double j = gsl_matrix_get(jac, size_t(i), size_t(k));
            grad[k] += j * gsl_vector_get(wr, size_t(i));
            norm[k] += j * j;
        }
    }
    for (int k = 0; stalled && k < 2; ++k) {
        const double bound = 1e-6 * std::sqrt(norm[k] * chi2) + 1e-10 * std::sqrt(norm[k]);
        if (!(std::fabs(grad[k]) <= bound)) {
            fail(fit, FitFailure::NoConvergence, QStringLiteral("no convergence (no progress)"));
            clearNumbers(fit);
            return fit;
        }
    }

    // The dead time must be determined by the data: with J^T W J nearly
    // singular the covariance says nothing.
    const double det = norm[0] * norm[1];
    double cross = 0.0;
    for (int i = 0; i < n; ++i)
        cross += gsl_matrix_get(jac, size_t(i), 0) * gsl_matrix_get(jac, size_t(i), 1);
    if (!(det - cross * cross > 1e-12 * det)) {
        fail(fit, FitFailure::NoConvergence, QStringLiteral("dead time not determined by the data"));
        clearNumbers(fit);
        return fit;
    }
    if (gsl_multifit_nlinear_covar(jac, 0.0, cov.get()) != GSL_SUCCESS) {
        fail(fit, FitFailure::NoConvergence, QStringLiteral("no covariance"));
        clearNumbers(fit);
        return fit;
    }
    const double varP = gsl_matrix_get(cov.get(), 0, 0) * reduced;
    const double varQ = gsl_matrix_get(cov.get(), 1, 1) * reduced;
    const double covPQ = gsl_matrix_get(cov.get(), 0, 1) * reduced;

    fit.scale = pp * yMax / xMax;
    fit.scaleStdErr = std::sqrt(std::fmax(varP, 0.0)) * yMax / xMax;
    if (stage == FitStage::PreAmp) {
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

    if (!std::isfinite(fit.tau) || !std::isfinite(fit.tauStdErr) || !std::isfinite(fit.scale)
        || !std::isfinite(fit.scaleStdErr) || !std::isfinite(fit.reducedChi2)) {
        fail(fit, FitFailure::NonFinite, QStringLiteral("dead time or its error not finite"));
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
