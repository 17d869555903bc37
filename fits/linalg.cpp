// SPDX-License-Identifier: GPL-3.0-or-later
#include "linalg.h"

#include <cmath>
#include <cstdio>
#include <vector>

double **LinAlg::newMatrix(int n)
{
    double **m = new double *[n];
    for (int r = 0; r < n; ++r)
        m[r] = nullptr;
    try {
        for (int r = 0; r < n; ++r)
            m[r] = new double[n];
    } catch (...) {
        deleteMatrix(n, m);
        throw;
    }
    return m;
}

double *LinAlg::newVector(int n)
{
    return new double[n];
}

int *LinAlg::newIVector(int n)
{
    return new int[n];
}

void LinAlg::deleteMatrix(int n, double **m)
{
    if (!m)
        return;
    for (int r = 0; r < n; ++r)
        delete[] m[r];
    delete[] m;
}

void LinAlg::deleteVector(double *v)
{
    delete[] v;
}

void LinAlg::deleteIVector(int *v)
{
    delete[] v;
}

void LinAlg::zeroMatrix(int n, double **m)
{
    for (int r = 0; r < n; ++r)
        zeroVector(n, m[r]);
}

void LinAlg::zeroVector(int n, double *v)
{
    for (int i = 0; i < n; ++i)
        v[i] = 0.0;
}

void LinAlg::zeroIVector(int n, int *v)
{
    for (int i = 0; i < n; ++i)
        v[i] = 0;
}

void LinAlg::unitMatrix(int n, double **m)
{
    for (int r = 0; r < n; ++r) {
        zeroVector(n, m[r]);
        m[r][r] = 1.0;
    }
}

void LinAlg::copyMatrix(int n, double **src, double **dst)
{
    for (int r = 0; r < n; ++r)
        copyVector(n, src[r], dst[r]);
}

void LinAlg::copyVector(int n, const double *src, double *dst)
{
    for (int i = 0; i < n; ++i)
        dst[i] = src[i];
}

void LinAlg::mulMatrix(int n, double **a, double **b, double **r)
{
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            double sum = 0.0;
            for (int j = 0; j < n; ++j)
                sum += a[i][j] * b[j][k];
            r[i][k] = sum;
        }
    }
}

void LinAlg::mulMatrixVector(int n, double **a, const double *x, double *y)
{
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j)
            sum += a[i][j] * x[j];
        y[i] = sum;
    }
}

bool LinAlg::hasNanMatrix(int n, double **m)
{
    for (int r = 0; r < n; ++r) {
        if (hasNanVector(n, m[r]))
            return true;
    }
    return false;
}

bool LinAlg::hasNanVector(int n, const double *v)
{
    for (int i = 0; i < n; ++i) {
        if (std::isnan(v[i]))
            return true;
    }
    return false;
}

void LinAlg::eliminate(int n, double **a, double **b)
{
    std::vector<bool> available(n > 0 ? n : 0, true);
    for (int step = 0; step < n; ++step) {
        // Pivot on the largest remaining diagonal entry; NaN never compares
        // greater, so a row of NaN diagonals falls back to the lowest one.
        int p = -1;
        double best = -1e300;
        for (int r = 0; r < n; ++r) {
            if (available[r] && std::fabs(a[r][r]) > best) {
                best = std::fabs(a[r][r]);
                p = r;
            }
        }
        if (p < 0) {
            for (int r = 0; r < n && p < 0; ++r) {
                if (available[r])
                    p = r;
            }
        }
        available[p] = false;

        const double pivot = a[p][p];
        if (pivot == 0.0)
            continue;
        for (int k = 0; k < n; ++k) {
            a[p][k] /= pivot;
            b[p][k] /= pivot;
        }
        for (int r = 0; r < n; ++r) {
            if (!available[r])
                continue;
            const double f = a[r][p];
            for (int k = 0; k < n; ++k) {
                a[r][k] -= a[p][k] * f;
                b[r][k] -= b[p][k] * f;
            }
        }
    }
}

void LinAlg::luDecompose(int n, double **a, double **l, double **u, int *perm)
{
    for (int i = 0; i < n; ++i)
        perm[i] = i;
    copyMatrix(n, a, l);

    for (int col = 0; col < n; ++col) {
        int chosen = col;
        double best = -1e300;
        for (int d = col; d < n; ++d) {
            const double mag = std::fabs(l[perm[d]][col]);
            if (mag > best) {
                best = mag;
                chosen = d;
            }
        }
        const int swap = perm[col];
        perm[col] = perm[chosen];
        perm[chosen] = swap;

        // A zero pivot is divided as 1.0 so that the factorization runs to the
        // end; the zero stays on U's diagonal and shows up in back substitution.
        const double pivot = l[perm[col]][col];
        const double divisor = pivot == 0.0 ? 1.0 : pivot;
        if (col == n - 1)
            break;
        const double *pivotRow = l[perm[col]];
        for (int i = col + 1; i < n; ++i) {
            double *row = l[perm[i]];
            const double f = row[col] / divisor;
            row[col] = f;
            for (int k = col + 1; k < n; ++k)
                row[k] -= pivotRow[k] * f;
        }
    }

    for (int m = 0; m < n; ++m) {
        const int s = perm[m];
        for (int k = 0; k < n; ++k) {
            if (k < m) {
                u[s][k] = 0.0;
            } else {
                u[s][k] = l[s][k];
                l[s][k] = k == m ? 1.0 : 0.0;
            }
        }
    }
}

void LinAlg::forwardSubst(int n, double **l, const double *b, double *z, const int *perm)
{
    copyVector(n, b, z);
    for (int i = 0; i < n - 1; ++i) {
        z[perm[i]] /= l[perm[i]][i];
        for (int j = i + 1; j < n; ++j)
            z[perm[j]] -= z[perm[i]] * l[perm[j]][i];
    }
}

void LinAlg::backSubst(int n, double **u, const double *z, double *w, const int *perm)
{
    copyVector(n, z, w);
    for (int i = n - 1; i >= 0; --i) {
        w[perm[i]] /= u[perm[i]][i];
        for (int j = i - 1; j >= 0; --j)
            w[perm[j]] -= w[perm[i]] * u[perm[j]][i];
    }
}

void LinAlg::printMatrix(const char *name, int n, double **m)
{
    std::printf("# %s = \n# ", name);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            std::printf("%g ", m[r][c]);
        std::printf("\n# ");
    }
    std::printf("\n");
}

void LinAlg::printMatrixP(const char *name, int n, double **m, const int *perm)
{
    std::printf("# %s = \n# ", name);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c)
            std::printf("%g ", m[perm[r]][c]);
        std::printf("\n# ");
    }
    std::printf("\n");
}

void LinAlg::printVector(const char *name, int n, const double *v)
{
    std::printf("# %s = \n# ", name);
    for (int i = 0; i < n; ++i)
        std::printf("%g ", v[i]);
    std::printf("\n# \n");
}

void LinAlg::printVectorP(const char *name, int n, const double *v, const int *perm)
{
    std::printf("# %s = \n# ", name);
    for (int i = 0; i < n; ++i)
        std::printf("%g ", v[perm[i]]);
    std::printf("\n# \n");
}

void LinAlg::printIVector(const char *name, int n, const int *v)
{
    std::printf("# %s = \n# ", name);
    for (int i = 0; i < n; ++i)
        std::printf("%d ", v[i]);
    std::printf("\n# \n");
}
