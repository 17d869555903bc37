// SPDX-License-Identifier: GPL-3.0-or-later
#include "linalg.h"

#include <QTemporaryFile>
#include <QVector>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <unistd.h>

namespace {

using Rows = QVector<QVector<double>>;

const double qnan = std::numeric_limits<double>::quiet_NaN();

// A matrix made and released through the toolkit itself.
class Matrix
{
public:
    explicit Matrix(int n) : m_n(n), m_rows(m_la.newMatrix(n)) { m_la.zeroMatrix(n, m_rows); }
    explicit Matrix(const Rows &rows) : Matrix(rows.size())
    {
        for (int r = 0; r < m_n; ++r)
            for (int c = 0; c < m_n; ++c)
                m_rows[r][c] = rows[r][c];
    }
    ~Matrix() { m_la.deleteMatrix(m_n, m_rows); }
    Matrix(const Matrix &) = delete;
    Matrix &operator=(const Matrix &) = delete;

    double **data() { return m_rows; }
    double *operator[](int r) { return m_rows[r]; }
    Rows rows() const
    {
        Rows out(m_n, QVector<double>(m_n));
        for (int r = 0; r < m_n; ++r)
            for (int c = 0; c < m_n; ++c)
                out[r][c] = m_rows[r][c];
        return out;
    }

private:
    LinAlg m_la;
    int m_n;
    double **m_rows;
};

// Bit patterns, so that 0.0 and -0.0 are told apart; every NaN counts as one.
QVector<quint64> bits(const Rows &rows)
{
    QVector<quint64> out;
    for (const QVector<double> &row : rows) {
        for (double v : row) {
            if (std::isnan(v))
                v = qnan;
            quint64 b;
            std::memcpy(&b, &v, sizeof b);
            out.append(b);
        }
    }
    return out;
}

QByteArray captureStdout(const std::function<void()> &print)
{
    QTemporaryFile file;
    if (!file.open())
        return QByteArray("cannot create capture file");
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    print();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class TestLinAlg : public QObject
{
    Q_OBJECT

private slots:
    void luDecompose_data();
    void luDecompose();
    void solveScatteredSystem_data();
    void solveScatteredSystem();
    void substitutionsKeepTheirInput();
    void zeroPivotGivesNonFiniteSolution();
    void eliminate_data();
    void eliminate();
    void hasNan_data();
    void hasNan();
    void products();
    void unitAndCopy();
    void negativeOrderThrows();
    void print_data();
    void print();
};

void TestLinAlg::luDecompose_data()
{
    QTest::addColumn<Rows>("a");
    QTest::addColumn<QVector<int>>("perm");
    QTest::addColumn<Rows>("l");
    QTest::addColumn<Rows>("u");

    // L and U are given as stored, row perm[m] holding row m of the factor.
    QTest::newRow("largest first-column entry last")
            << Rows { { 1, 2, 0 }, { 2, 1, 1 }, { 4, 2, 3 } } << QVector<int> { 2, 0, 1 }
            << Rows { { 0.25, 1, 0 }, { 0.5, 0, 1 }, { 1, 0, 0 } }
            << Rows { { 0, 1.5, -0.75 }, { 0, 0, -0.5 }, { 4, 2, 3 } };
    QTest::newRow("no exchange needed")
            << Rows { { 4, 2 }, { 2, 3 } } << QVector<int> { 0, 1 }
            << Rows { { 1, 0 }, { 0.5, 1 } } << Rows { { 4, 2 }, { 0, 2 } };
    QTest::newRow("equal magnitudes keep the earlier row")
            << Rows { { 2, 1 }, { -2, 3 } } << QVector<int> { 0, 1 }
            << Rows { { 1, 0 }, { -1, 1 } } << Rows { { 2, 1 }, { 0, 4 } };
    QTest::newRow("negative zero pivot divides as one")
            << Rows { { -0.0, 1 }, { 0.0, 2 } } << QVector<int> { 0, 1 }
            << Rows { { 1, 0 }, { 0, 1 } } << Rows { { -0.0, 1 }, { 0, 2 } };
    QTest::newRow("positive zero pivot divides as one")
            << Rows { { 0.0, 3 }, { -0.0, 5 } } << QVector<int> { 0, 1 }
            << Rows { { 1, 0 }, { -0.0, 1 } } << Rows { { 0.0, 3 }, { 0, 5 } };
    QTest::newRow("NaN never wins the pivot choice")
            << Rows { { qnan, 1 }, { 1, 2 } } << QVector<int> { 1, 0 }
            << Rows { { qnan, 1 }, { 1, 0 } } << Rows { { 0, qnan }, { 1, 2 } };
    QTest::newRow("tie in the second column keeps the earlier position")
            << Rows { { 1, 1, 1 }, { 1, 1, 2 }, { 2, 4, 1 } } << QVector<int> { 2, 1, 0 }
            << Rows { { 0.5, 1, 1 }, { 0.5, 1, 0 }, { 1, 0, 0 } }
            << Rows { { 0, 0, -1 }, { 0, -1, 1.5 }, { 2, 4, 1 } };
}

void TestLinAlg::luDecompose()
{
    QFETCH(Rows, a);
    QFETCH(QVector<int>, perm);
    QFETCH(Rows, l);
    QFETCH(Rows, u);

    const int n = a.size();
    LinAlg la;
    Matrix ma(a), ml(n), mu(n);
    int *p = la.newIVector(n);
    la.luDecompose(n, ma.data(), ml.data(), mu.data(), p);

    QCOMPARE(QVector<int>(p, p + n), perm);
    QCOMPARE(bits(ml.rows()), bits(l));
    QCOMPARE(bits(mu.rows()), bits(u));
    QCOMPARE(bits(ma.rows()), bits(a));
    la.deleteIVector(p);
}

void TestLinAlg::solveScatteredSystem_data()
{
    QTest::addColumn<Rows>("a");
    QTest::addColumn<QVector<double>>("solution");

    QTest::newRow("permuted 3x3") << Rows { { 1, 2, 0 }, { 2, 1, 1 }, { 4, 2, 3 } }
                                  << QVector<double> { 1, -2, 3 };
    QTest::newRow("permuted 4x4") << Rows { { 0, 1, 2, 1 }, { 1, 0, 1, 3 }, { 5, 1, 0, 2 },
                                            { 2, 7, 1, 1 } }
                                  << QVector<double> { 0.5, -1, 2, 4 };
    QTest::newRow("identity") << Rows { { 1, 0 }, { 0, 1 } } << QVector<double> { 3, -7 };
}

void TestLinAlg::solveScatteredSystem()
{
    QFETCH(Rows, a);
    QFETCH(QVector<double>, solution);

    const int n = a.size();
    LinAlg la;
    Matrix ma(a), ml(n), mu(n);
    double *b = la.newVector(n);
    double *z = la.newVector(n);
    double *w = la.newVector(n);
    int *p = la.newIVector(n);
    // The right-hand side is given in stored row order; the solution comes
    // back scattered, component m at position perm[m].
    la.mulMatrixVector(n, ma.data(), solution.constData(), b);
    la.luDecompose(n, ma.data(), ml.data(), mu.data(), p);
    la.forwardSubst(n, ml.data(), b, z, p);
    la.backSubst(n, mu.data(), z, w, p);

    for (int m = 0; m < n; ++m)
        QVERIFY2(qAbs(w[p[m]] - solution[m]) < 1e-12, qPrintable(QString::number(m)));

    la.deleteVector(b);
    la.deleteVector(z);
    la.deleteVector(w);
    la.deleteIVector(p);
}

void TestLinAlg::substitutionsKeepTheirInput()
{
    LinAlg la;
    // The diagonal is taken as unit: the last position is never divided, so
    // its stored 2 must not show in the result.
    Matrix ml(Rows { { 0.5, 2 }, { 1, 0 } });
    Matrix mu(Rows { { 0, 3 }, { 2, 4 } });
    const int perm[2] = { 1, 0 };
    const double b[2] = { 5, 6 };
    double z[2];
    double w[2];
    la.forwardSubst(2, ml.data(), b, z, perm);
    QCOMPARE(b[0], 5.0);
    QCOMPARE(b[1], 6.0);
    // Position 1 holds component 0 (6); component 1 is 5 - 6 * 0.5.
    QCOMPARE(z[1], 6.0);
    QCOMPARE(z[0], 2.0);
    const double zCopy[2] = { z[0], z[1] };
    la.backSubst(2, mu.data(), z, w, perm);
    QCOMPARE(z[0], zCopy[0]);
    QCOMPARE(z[1], zCopy[1]);
    QCOMPARE(w[0], 2.0 / 3.0);
    QCOMPARE(w[1], (6.0 - 4.0 * (2.0 / 3.0)) / 2.0);
}

void TestLinAlg::zeroPivotGivesNonFiniteSolution()
{
    LinAlg la;
    Matrix ma(Rows { { 1, 2 }, { 2, 4 } }), ml(2), mu(2);
    int perm[2];
    const double b[2] = { 1, 1 };
    double z[2];
    double w[2];
    la.luDecompose(2, ma.data(), ml.data(), mu.data(), perm);
    QCOMPARE(mu[perm[1]][1], 0.0);
    la.forwardSubst(2, ml.data(), b, z, perm);
    la.backSubst(2, mu.data(), z, w, perm);
    QVERIFY(!std::isfinite(w[0]));
    QVERIFY(!std::isfinite(w[1]));
}

void TestLinAlg::eliminate_data()
{
    QTest::addColumn<Rows>("a");
    QTest::addColumn<Rows>("b");
    QTest::addColumn<Rows>("expectedA");
    QTest::addColumn<Rows>("expectedB");

    QTest::newRow("largest diagonal first")
            << Rows { { 1, 2 }, { 3, 4 } } << Rows { { 1, 0 }, { 0, 1 } }
            << Rows { { 1, -0.0 }, { 0.75, 1 } } << Rows { { -2, 1 }, { 0, 0.25 } };
    QTest::newRow("zero diagonal in the second step changes nothing")
            << Rows { { 2, 1 }, { 4, 2 } } << Rows { { 1, 0 }, { 0, 1 } }
            << Rows { { 1, 0.5 }, { 0, 0 } } << Rows { { 0.5, 0 }, { -2, 1 } };
    QTest::newRow("all diagonals zero leave both unchanged")
            << Rows { { 0, 1 }, { 1, 0 } } << Rows { { 7, 8 }, { 9, 10 } }
            << Rows { { 0, 1 }, { 1, 0 } } << Rows { { 7, 8 }, { 9, 10 } };
    QTest::newRow("equal diagonals take the lowest row")
            << Rows { { 2, 2 }, { 1, -2 } } << Rows { { 1, 0 }, { 0, 1 } }
            << Rows { { 1, 1 }, { -0.0, 1 } } << Rows { { 0.5, 0 }, { 1.0 / 6, -1.0 / 3 } };
    QTest::newRow("NaN diagonal is picked last")
            << Rows { { qnan, 1 }, { 2, 4 } } << Rows { { 1, 0 }, { 0, 1 } }
            << Rows { { qnan, qnan }, { 0.5, 1 } } << Rows { { qnan, qnan }, { 0, 0.25 } };
}

void TestLinAlg::eliminate()
{
    QFETCH(Rows, a);
    QFETCH(Rows, b);
    QFETCH(Rows, expectedA);
    QFETCH(Rows, expectedB);

    Matrix ma(a), mb(b);
    LinAlg().eliminate(a.size(), ma.data(), mb.data());
    QCOMPARE(bits(ma.rows()), bits(expectedA));
    QCOMPARE(bits(mb.rows()), bits(expectedB));
}

void TestLinAlg::hasNan_data()
{
    QTest::addColumn<Rows>("m");
    QTest::addColumn<bool>("matrixHasNan");
    QTest::addColumn<bool>("lastRowHasNan");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("only the last entry") << Rows { { 1, 2 }, { 3, qnan } } << true << true;
    QTest::newRow("only the first entry") << Rows { { qnan, 2 }, { 3, 4 } } << true << false;
    QTest::newRow("infinities are no NaN") << Rows { { inf, -inf }, { 0, 4 } } << false << false;
    QTest::newRow("plain numbers") << Rows { { 1, 2 }, { 3, 4 } } << false << false;
}

void TestLinAlg::hasNan()
{
    QFETCH(Rows, m);
    QFETCH(bool, matrixHasNan);
    QFETCH(bool, lastRowHasNan);

    Matrix mm(m);
    LinAlg la;
    QCOMPARE(la.hasNanMatrix(m.size(), mm.data()), matrixHasNan);
    QCOMPARE(la.hasNanVector(m.size(), mm[m.size() - 1]), lastRowHasNan);
}

void TestLinAlg::products()
{
    LinAlg la;
    Matrix a(Rows { { 1, 2 }, { 3, 4 } }), b(Rows { { 0, 1 }, { 5, -1 } }), r(2);
    la.mulMatrix(2, a.data(), b.data(), r.data());
    QCOMPARE(r.rows(), (Rows { { 10, -1 }, { 20, -1 } }));
    la.mulMatrix(2, b.data(), a.data(), r.data());
    QCOMPARE(r.rows(), (Rows { { 3, 4 }, { 2, 6 } }));

    const double x[2] = { 1, -1 };
    double y[2] = { 99, 99 };
    la.mulMatrixVector(2, a.data(), x, y);
    QCOMPARE(y[0], -1.0);
    QCOMPARE(y[1], -1.0);
}

void TestLinAlg::unitAndCopy()
{
    LinAlg la;
    Matrix m(Rows { { 5, 6, 7 }, { 8, 9, 10 }, { 11, 12, 13 } }), copy(3);
    la.copyMatrix(3, m.data(), copy.data());
    QCOMPARE(copy.rows(), m.rows());
    la.unitMatrix(3, m.data());
    QCOMPARE(m.rows(), (Rows { { 1, 0, 0 }, { 0, 1, 0 }, { 0, 0, 1 } }));

    const double src[3] = { 1.5, -2, 0 };
    double dst[3] = { 0, 0, 9 };
    la.copyVector(3, src, dst);
    QCOMPARE(QVector<double>(dst, dst + 3), (QVector<double> { 1.5, -2, 0 }));
    la.zeroVector(3, dst);
    QCOMPARE(QVector<double>(dst, dst + 3), (QVector<double> { 0, 0, 0 }));
    int idx[3] = { 4, 5, 6 };
    la.zeroIVector(3, idx);
    QCOMPARE(QVector<int>(idx, idx + 3), (QVector<int> { 0, 0, 0 }));
}

void TestLinAlg::negativeOrderThrows()
{
    LinAlg la;
    QVERIFY_EXCEPTION_THROWN(la.newMatrix(-1), std::bad_array_new_length);
    QVERIFY_EXCEPTION_THROWN(la.newVector(-2), std::bad_array_new_length);
    QVERIFY_EXCEPTION_THROWN(la.newIVector(-3), std::bad_array_new_length);
    // Releasing nothing is allowed.
    la.deleteMatrix(2, nullptr);
    la.deleteVector(nullptr);
    la.deleteIVector(nullptr);
}

void TestLinAlg::print_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("matrix") << 0 << QByteArray("# M = \n# 1 2.5 \n# -3 1e+06 \n# \n");
    QTest::newRow("matrix rows permuted") << 1 << QByteArray("# MP = \n# -3 1e+06 \n# 1 2.5 \n# \n");
    QTest::newRow("vector") << 2 << QByteArray("# v = \n# 0.000123457 -inf \n# \n");
    QTest::newRow("vector permuted") << 3 << QByteArray("# vp = \n# -inf 0.000123457 \n# \n");
    QTest::newRow("index vector") << 4 << QByteArray("# perm = \n# 1 0 \n# \n");
    QTest::newRow("empty vector") << 5 << QByteArray("# e = \n# \n# \n");
}

void TestLinAlg::print()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, expected);

    LinAlg la;
    Matrix m(Rows { { 1, 2.5 }, { -3, 1e6 } });
    const double v[2] = { 0.000123456789, -std::numeric_limits<double>::infinity() };
    const int perm[2] = { 1, 0 };
    const QByteArray out = captureStdout([&] {
        switch (kind) {
        case 0:
            la.printMatrix("M", 2, m.data());
            break;
        case 1:
            la.printMatrixP("MP", 2, m.data(), perm);
            break;
        case 2:
            la.printVector("v", 2, v);
            break;
        case 3:
            la.printVectorP("vp", 2, v, perm);
            break;
        case 4:
            la.printIVector("perm", 2, perm);
            break;
        default:
            la.printVector("e", 0, v);
        }
    });
    QCOMPARE(out, expected);
}

QTEST_APPLESS_MAIN(TestLinAlg)

#include "tst_linalg.moc"
