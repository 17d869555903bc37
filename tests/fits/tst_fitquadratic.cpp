// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitquadratic.h"

#include "testsupport.h"

#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <cmath>

using testsupport::nearlyEqual;

namespace {

struct Coefficients
{
    long double a;
    long double b;
};

// The 2x2 normal equations solved by Cramer's rule in extended precision:
// an independent reference for the LU route of fitQuadratic.
Coefficients referenceFit(const QVector<double> &x, const QVector<double> &y)
{
    long double s2 = 0, s3 = 0, s4 = 0, sxy = 0, sx2y = 0;
    for (int i = 0; i < x.size(); ++i) {
        const long double xi = x[i];
        const long double yi = y[i];
        s2 += xi * xi;
        s3 += xi * xi * xi;
        s4 += xi * xi * xi * xi;
        sxy += xi * yi;
        sx2y += xi * xi * yi;
    }
    const long double det = s2 * s4 - s3 * s3;
    return { (sxy * s4 - s3 * sx2y) / det, (s2 * sx2y - s3 * sxy) / det };
}

double relativeDifference(double actual, long double reference)
{
    return static_cast<double>(std::fabs((actual - reference) / reference));
}

} // namespace

class TestFitQuadratic : public QObject
{
    Q_OBJECT

private slots:
    void exactData_data();
    void exactData();
    void appendsAfterExistingValues();
    void agreesWithExtendedPrecisionSolve();
    void singularSystems_data();
    void singularSystems();
    void nearlySingularIsLargeOrNonFinite();
};

void TestFitQuadratic::exactData_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");

    QTest::newRow("two points (1,3) and (2,10)")
            << QVector<double> { 1, 2 } << QVector<double> { 3, 10 } << 1.0 << 2.0;
    QTest::newRow("four points on 0.5x - 0.25x^2")
            << QVector<double> { 1, 2, 3, 4 } << QVector<double> { 0.25, 0, -0.75, -2 } << 0.5
            << -0.25;
    QTest::newRow("negative and positive x")
            << QVector<double> { -2, -1, 1, 3 } << QVector<double> { 8, 1, 5, 33 } << 2.0 << 3.0;
    QTest::newRow("unsorted points")
            << QVector<double> { 3, 1, 2 } << QVector<double> { 6, 4, 6 } << 5.0 << -1.0;
}

void TestFitQuadratic::exactData()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(double, a);
    QFETCH(double, b);

    QVector<double> out;
    fitQuadratic(x, y, out);
    QCOMPARE(out.size(), 2);
    QVERIFY2(nearlyEqual(out[0], a, 1e-14), qPrintable(QString::number(out[0], 'g', 17)));
    QVERIFY2(nearlyEqual(out[1], b, 1e-14), qPrintable(QString::number(out[1], 'g', 17)));
}

void TestFitQuadratic::appendsAfterExistingValues()
{
    QVector<double> out { 7.5, -1 };
    fitQuadratic({ 1, 2 }, { 3, 10 }, out);
    QCOMPARE(out.size(), 4);
    QCOMPARE(out[0], 7.5);
    QCOMPARE(out[1], -1.0);
    QVERIFY(nearlyEqual(out[2], 1.0, 1e-14));
    QVERIFY(nearlyEqual(out[3], 2.0, 1e-14));
}

void TestFitQuadratic::agreesWithExtendedPrecisionSolve()
{
    // Noisy, well-conditioned data: x spread over less than a decade.
    QRandomGenerator rng(20261207);
    double worstA = 0.0;
    double worstB = 0.0;
    for (int set = 0; set < 200; ++set) {
        const int n = 3 + int(rng.bounded(60));
        const double a = rng.bounded(4.0) + 0.5;
        // Coefficients kept away from 0, where a relative difference means little.
        const double b = (rng.bounded(0.8) + 0.2) * (rng.bounded(2) ? 1.0 : -1.0);
        QVector<double> x, y;
        for (int i = 0; i < n; ++i) {
            const double xi = 0.5 + rng.bounded(3.0);
            x.append(xi);
            y.append(a * xi + b * xi * xi + rng.bounded(0.2) - 0.1);
        }
        QVector<double> out;
        fitQuadratic(x, y, out);
        const Coefficients ref = referenceFit(x, y);
        worstA = qMax(worstA, relativeDifference(out[0], ref.a));
        worstB = qMax(worstB, relativeDifference(out[1], ref.b));
    }
    qInfo("largest relative difference to the extended-precision solve: a %.3g, b %.3g", worstA,
          worstB);
    QVERIFY2(worstA < 1e-12, qPrintable(QString::number(worstA)));
    QVERIFY2(worstB < 1e-12, qPrintable(QString::number(worstB)));
}

void TestFitQuadratic::singularSystems_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");

    QTest::newRow("no points") << QVector<double>() << QVector<double>();
    QTest::newRow("every x zero") << QVector<double> { 0, 0, 0 } << QVector<double> { 1, 2, 3 };
    QTest::newRow("every x the same power of two")
            << QVector<double> { 2, 2, 2 } << QVector<double> { 1, 2, 3 };
}

void TestFitQuadratic::singularSystems()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);

    QVector<double> out;
    fitQuadratic(x, y, out);
    QCOMPARE(out.size(), 2);
    QVERIFY(std::isnan(out[0]));
    QVERIFY(std::isnan(out[1]));
}

void TestFitQuadratic::nearlySingularIsLargeOrNonFinite()
{
    // Singular in exact arithmetic; rounding may leave a tiny pivot instead of 0.
    QVector<double> out;
    fitQuadratic({ 3, 3, 3 }, { 1, 2, 4 }, out);
    QCOMPARE(out.size(), 2);
    QVERIFY2(!std::isfinite(out[0]) || std::fabs(out[0]) > 1e10,
             qPrintable(QString::number(out[0])));
    QVERIFY2(!std::isfinite(out[1]) || std::fabs(out[1]) > 1e10,
             qPrintable(QString::number(out[1])));
}

QTEST_APPLESS_MAIN(TestFitQuadratic)

#include "tst_fitquadratic.moc"
