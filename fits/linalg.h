// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small dense linear-algebra toolkit for square systems. Matrices are arrays
// of separately allocated rows; the LU factors and the substitutions keep rows
// in place and address them through a permutation vector instead.
class LinAlg
{
public:
    double **newMatrix(int n);
    double *newVector(int n);
    int *newIVector(int n);
    void deleteMatrix(int n, double **m);
    void deleteVector(double *v);
    void deleteIVector(int *v);

    void zeroMatrix(int n, double **m);
    void zeroVector(int n, double *v);
    void zeroIVector(int n, int *v);
    void unitMatrix(int n, double **m);
    void copyMatrix(int n, double **src, double **dst);
    void copyVector(int n, const double *src, double *dst);
    void mulMatrix(int n, double **a, double **b, double **r);
    void mulMatrixVector(int n, double **a, const double *x, double *y);
    bool hasNanMatrix(int n, double **m);
    bool hasNanVector(int n, const double *v);

    void eliminate(int n, double **a, double **b);
    void luDecompose(int n, double **a, double **l, double **u, int *perm);
    void forwardSubst(int n, double **l, const double *b, double *z, const int *perm);
    void backSubst(int n, double **u, const double *z, double *w, const int *perm);

    void printMatrix(const char *name, int n, double **m);
    void printMatrixP(const char *name, int n, double **m, const int *perm);
    void printVector(const char *name, int n, const double *v);
    void printVectorP(const char *name, int n, const double *v, const int *perm);
    void printIVector(const char *name, int n, const int *v);
};
