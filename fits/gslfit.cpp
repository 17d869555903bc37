// SPDX-License-Identifier: GPL-3.0-or-later
#include "gslfit.h"

#include "stagefit.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multilarge_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <vector>

namespace {

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

// A workspace serves every fit with the same number of parameters and the
// same scaling; it is made anew only when the number of residuals changes,
// and kept in the thread, so that fits side by side share nothing. GSL's
// start of a pass resets all that a step depends on: a fit gives the same
// numbers whatever the workspace ran before.
gsl_multilarge_nlinear_workspace *workspaceFor(const LeastSquaresPass &problem)
{
    struct Kept
    {
        PassShape shape;
        gsl_multilarge_nlinear_workspace *work;
    };
    struct Cache
    {
        std::vector<Kept> kept;
        ~Cache()
        {
            for (const Kept &k : kept)
                gsl_multilarge_nlinear_free(k.work);
        }
    };
    thread_local Cache cache;
    const PassShape &shape = problem.shape;
    auto it = std::find_if(cache.kept.begin(), cache.kept.end(), [&shape](const Kept &k) {
        return k.shape.parameters == shape.parameters && k.shape.scaling == shape.scaling;
    });
    if (it != cache.kept.end() && it->shape.residuals == shape.residuals)
        return it->work;
    if (it != cache.kept.end()) {
        gsl_multilarge_nlinear_free(it->work);
        cache.kept.erase(it);
    }
    silenceGslErrors();
    gsl_multilarge_nlinear_parameters params = gsl_multilarge_nlinear_default_parameters();
    params.trs = gsl_multilarge_nlinear_trs_lm;
    params.solver = gsl_multilarge_nlinear_solver_cholesky;
    params.scale = shape.scaling == StepScaling::Levenberg ? gsl_multilarge_nlinear_scale_levenberg
                                                           : gsl_multilarge_nlinear_scale_more;
    gsl_multilarge_nlinear_workspace *work = gsl_multilarge_nlinear_alloc(
        gsl_multilarge_nlinear_trust, &params, shape.residuals, shape.parameters);
    if (work)
        cache.kept.push_back({ shape, work });
    return work;
}

// GSL hands the callbacks the vectors and the matrix of its workspace, each
// allocated whole, so that their elements lie side by side.
bool contiguous(const gsl_vector *v)
{
    return v->stride == 1;
}

int residualsCallback(const gsl_vector *x, void *params, gsl_vector *f)
{
    if (!contiguous(x) || !contiguous(f))
        return GSL_EBADLEN;
    static_cast<LeastSquaresPass *>(params)->residuals(x->data, f->data);
    return GSL_SUCCESS;
}

int jacobianCallback(CBLAS_TRANSPOSE_t trans, const gsl_vector *x, const gsl_vector *u,
                     void *params, gsl_vector *v, gsl_matrix *jtj)
{
    if (!contiguous(x) || !contiguous(u) || !contiguous(v) || (jtj && jtj->tda != jtj->size2))
        return GSL_EBADLEN;
    static_cast<LeastSquaresPass *>(params)->jacobian(trans == CblasTrans, x->data, u->data,
                                                      v->data, jtj ? jtj->data : nullptr);
    return GSL_SUCCESS;
}

StepOutcome outcomeOf(int status)
{
    if (status == GSL_SUCCESS)
        return StepOutcome::Moved;
    // Fifteen rejected trial steps in a row: no lower chi^2 near the position.
    return status == GSL_ENOPROG ? StepOutcome::NoProgress : StepOutcome::Error;
}

} // namespace

PassResult runLeastSquaresPass(LeastSquaresPass &problem, const double *start)
{
    gsl_multilarge_nlinear_workspace *work = workspaceFor(problem);
    if (!work)
        return { PassEnd::OutOfMemory, 0 };
    gsl_multilarge_nlinear_fdf fdf;
    fdf.f = residualsCallback;
    fdf.df = jacobianCallback;
    fdf.fvv = nullptr;
    fdf.n = problem.shape.residuals;
    fdf.p = problem.shape.parameters;
    fdf.params = &problem;

    std::vector<double> before(start, start + problem.shape.parameters);
    gsl_vector_view startView = gsl_vector_view_array(before.data(), before.size());
    if (gsl_multilarge_nlinear_init(&startView.vector, &fdf, work) != GSL_SUCCESS
        || !problem.startIsUsable())
        return { PassEnd::NotStarted, 0 };
    const double *position = gsl_multilarge_nlinear_position(work)->data;
    PassResult result { PassEnd::Running, 0 };
    while (result.steps < maxFitIterationsPerPass) {
        result.end = problem.beforeStep(position);
        if (result.end != PassEnd::Running)
            return result;
        std::copy(position, position + problem.shape.parameters, before.begin());
        ++result.steps;
        const int status = gsl_multilarge_nlinear_iterate(work);
        result.end = problem.afterStep(outcomeOf(status), before.data(), position);
        if (result.end != PassEnd::Running)
            return result;
    }
    result.end = PassEnd::OutOfIterations;
    return result;
}
