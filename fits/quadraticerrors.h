// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtimemodel.h"

// Uncertainty of the unweighted quadratic fit y = c0*x + c1*x^2 through the
// origin, for coefficients already fitted to the same n points. All points
// count alike, as in the fit: the residual variance is s^2 = RSS / (n - 2) and
// the covariance of (c0, c1) is s^2 * (X^T X)^-1, X having the columns x, x^2.
// R^2 is the centred one, 1 - RSS / sum((y - mean y)^2): the uncentred
// 1 - RSS / sum(y^2) of a fit without constant term is close to 1 for any data
// far from the origin and tells little. Quantities that are undefined (n <= 2,
// all x zero, singular X^T X; constant y for R^2) are NaN.
struct QuadraticErrors
{
    int points = 0;
    double rss = 0.0;
    double residualVariance = 0.0;
    double varC0 = 0.0;
    double varC1 = 0.0;
    double covC0C1 = 0.0;
    double r2 = 0.0;
};

QuadraticErrors quadraticErrors(const double *x, const double *y, int n, double c0, double c1);

// The dead time of the stage from its quadratic coefficients: -c1 / c0^2 for
// the pre-amplifier (c0 = a, c1 = b), -c1 / c0 for the amplifier (d0, d1),
// with the same operation order as the result row.
double quadraticDeadTime(FitStage stage, double c0, double c1);

// Its standard error by the delta method: sqrt(g^T C g) with g the gradient of
// the dead time with respect to (c0, c1) and C their covariance.
double quadraticDeadTimeStdError(FitStage stage, double c0, double c1, const QuadraticErrors &e);
