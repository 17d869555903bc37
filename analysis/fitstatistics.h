// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

// Quality of a least-squares fit y = c0*x + c1*x^2 through the origin, for
// coefficients (c0, c1) already fitted to the same points.
//
// The residual variance is s^2 = RSS / (n - 2) and the covariance of (c0, c1)
// is s^2 * (X^T X)^-1, X having the columns x and x^2. R^2 is the centred one,
// 1 - RSS / sum((y - mean y)^2): the uncentred 1 - RSS / sum(y^2) of a fit
// without constant term is close to 1 for any data far from the origin and
// tells little. Undefined quantities (n <= 2, all x zero, constant y) are NaN.
struct FitStatistics
{
    int n = 0;
    double rss = 0.0;
    double residualVariance = 0.0; // s^2
    double varC0 = 0.0;
    double varC1 = 0.0;
    double covC0C1 = 0.0;
    double r2 = 0.0;
};

FitStatistics fitStatistics(const QVector<double> &x, const QVector<double> &y, double c0,
                            double c1);

// Standard errors of the dead times by the delta method: the gradient g of the
// dead time with respect to (c0, c1), then sqrt(g^T C g) with C the covariance.
// Pre-amplifier: tau0 = -c1 / c0^2, g = (2 c1 / c0^3, -1 / c0^2).
double preampDeadTimeStdError(double c0, double c1, const FitStatistics &s);
// Amplifier: tau = -c1 / c0, g = (c1 / c0^2, -1 / c0).
double ampDeadTimeStdError(double c0, double c1, const FitStatistics &s);
