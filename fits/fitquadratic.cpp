// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitquadratic.h"

#include "linalg.h"

#include <algorithm>

void fitQuadratic(const QVector<double> &x, const QVector<double> &y, QVector<double> &out)
{
    fitQuadratic(x.constData(), x.size(), y.constData(), y.size(), out);
}

void fitQuadratic(const double *xs, int n, const double *ys, int yCount, QVector<double> &out)
{
    // The sums of the normal equations, accumulated in point order so that a
    // fit is reproducible to the last bit. A y shorter than x reads as 0.0.
    double s2 = 0.0;
    double s3 = 0.0;
    double s4 = 0.0;
    double sxy = 0.0;
    double sx2y = 0.0;
    const int withY = std::min(n, yCount);
    for (int i = 0; i < n; ++i) {
        const double xi = xs[i];
        const double yi = i < withY ? ys[i] : 0.0;
        const double q = xi * xi;
        s2 += q;
        s3 += q * xi;
        s4 += (q * xi) * xi;
        sxy += xi * yi;
        sx2y += q * yi;
    }

    LinAlg la;
    double **m = la.newMatrix(2);
    double *r = la.newVector(2);
    la.zeroMatrix(2, m);
    la.zeroVector(2, r);
    m[0][0] = s2;
    m[0][1] = s3;
    m[1][0] = s3;
    m[1][1] = s4;
    r[0] = sxy;
    r[1] = sx2y;

    double **l = la.newMatrix(2);
    double **u = la.newMatrix(2);
    double *z = la.newVector(2);
    double *w = la.newVector(2);
    int *perm = la.newIVector(2);

    la.luDecompose(2, m, l, u, perm);
    la.forwardSubst(2, l, r, z, perm);
    la.backSubst(2, u, z, w, perm);
    out.append(w[perm[0]]);
    out.append(w[perm[1]]);

    la.deleteMatrix(2, m);
    la.deleteMatrix(2, l);
    la.deleteMatrix(2, u);
    la.deleteVector(r);
    la.deleteVector(z);
    la.deleteVector(w);
    la.deleteIVector(perm);
}
