// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

// The one driver of GSL's nonlinear least squares, behind every exact fit:
// a trust region with Levenberg-Marquardt steps, solved on the normal
// equations by Cholesky (a law has one or two parameters, so J^T J is tiny).
// A fit describes its weighted problem as a LeastSquaresPass and runs it;
// the driver owns what GSL needs around it: the workspace, kept in the thread
// from one fit to the next, error handling that reports instead of aborting,
// and the bound of maxFitIterationsPerPass steps. When a pass has converged
// is the problem's to say, between the solver's steps.
//
// Every vector here is a plain array of its length; J^T J is p x p, row by row.

// How a pass ends; Running only between steps, while it goes on.
enum class PassEnd {
    Running,
    Converged, // the problem's convergence test holds
    Stalled, // the solver found no lower chi^2; whether that is a minimum is the problem's to judge
    Failed, // the problem saw numbers it cannot go on from
    OutOfIterations,
    NotStarted, // the solver could not start from the given position
    OutOfMemory,
};

// What a step of the solver did: moved to a lower chi^2, found none nearby
// after shrinking its trust region repeatedly, or reported another error.
enum class StepOutcome { Moved, NoProgress, Error };

// How the trust region measures a step: in the parameters as they are
// (Levenberg), or each scaled by the largest curvature J^T J has shown for
// it so far (More's rule, GSL's default).
enum class StepScaling { Levenberg, More };

// The size of a problem and how the trust region measures its steps.
struct PassShape
{
    size_t residuals;
    size_t parameters;
    StepScaling scaling;
};

class LeastSquaresPass
{
public:
    explicit LeastSquaresPass(const PassShape &passShape)
        : shape(passShape)
    { }
    virtual ~LeastSquaresPass() = default;

    // f, of shape.residuals values: the weighted residuals at position.
    virtual void residuals(const double *position, double *f) = 0;
    // transposed: v = J^T u, and J^T J into jtj unless it is null;
    // otherwise v = J u. Both at position.
    virtual void jacobian(bool transposed, const double *position, const double *u, double *v,
                          double *jtj)
        = 0;
    // Whether the pass can go on from the start, after the solver has
    // evaluated the problem there.
    virtual bool startIsUsable() { return true; }
    // Before each step, at the position reached: Running to take the step.
    virtual PassEnd beforeStep(const double *position) = 0;
    // After each step, which went from before to position.
    virtual PassEnd afterStep(StepOutcome outcome, const double *before, const double *position)
        = 0;

    const PassShape shape;
};

struct PassResult
{
    PassEnd end = PassEnd::NotStarted;
    int steps = 0;
};

// Runs one pass of the solver on problem from start (shape.parameters values).
PassResult runLeastSquaresPass(LeastSquaresPass &problem, const double *start);
