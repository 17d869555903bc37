// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVector>

// Unweighted least-squares fit of y = a*x + b*x^2 (through the origin) by the
// normal equations; appends a, then b, to out.
void fitQuadratic(const QVector<double> &x, const QVector<double> &y, QVector<double> &out);
// The same on n points of x with yCount values of y; a y shorter than x reads as 0.
void fitQuadratic(const double *x, int n, const double *y, int yCount, QVector<double> &out);
