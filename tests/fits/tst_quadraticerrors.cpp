// SPDX-License-Identifier: GPL-3.0-or-later
#include "fitquadratic.h"
#include "quadraticerrors.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <random>

using testsupport::nearlyEqual;

namespace {

double deadTime(FitStage kind, const QVector<double> &x, const QVector<double> &y)
{
    QVector<double> c;
    fitQuadratic(x, y, c);
    return quadraticDeadTime(kind, c[0], c[1]);
}

QuadraticErrors errorsOf(const QVector<double> &x, const QVector<double> &y, double c0, double c1)
{
    return quadraticErrors(x.constData(), y.constData(), x.size(), c0, c1);
}

// Counting-loss data y = a*x*(1 - tau*a*x) (pre-amplifier) or y = a*x*(1 - tau*x)
// (amplifier) at n rates spread up to xMax, plus Gaussian noise of relative
// size noise. The same seed gives the same normal deviates at every noise level.
void makeData(FitStage kind, int n, double xMax, double a, double tau, double noise,
              unsigned seed, QVector<double> &x, QVector<double> &y)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> normal;
    x.clear();
    y.clear();
    for (int i = 0; i < n; ++i) {
        const double xi = xMax * (i + 1) / n;
        const double exact = kind == FitStage::PreAmp ? a * xi * (1.0 - tau * a * xi)
                                                      : a * xi * (1.0 - tau * xi);
        x.append(xi);
        y.append(exact * (1.0 + noise * normal(gen)));
    }
}

// The dead time's standard error the long way: since the coefficients are
// linear in y, s * sqrt(sum over points of (d tau / d y_i)^2) equals the
// delta-method error; the derivatives are taken by central differences of the
// fit itself, and s from the residuals of the fit.
double sensitivityStdError(FitStage kind, const QVector<double> &x, const QVector<double> &y)
{
    QVector<double> c;
    fitQuadratic(x, y, c);
    double rss = 0.0;
    for (int i = 0; i < x.size(); ++i) {
        const double r = y[i] - c[0] * x[i] - c[1] * x[i] * x[i];
        rss += r * r;
    }
    const double s = std::sqrt(rss / (x.size() - 2));
    double sum = 0.0;
    for (int i = 0; i < x.size(); ++i) {
        const double h = 1e-5 * std::fabs(y[i]) + 1e-9;
        QVector<double> up = y, down = y;
        up[i] += h;
        down[i] -= h;
        const double d = (deadTime(kind, x, up) - deadTime(kind, x, down)) / (2.0 * h);
        sum += d * d;
    }
    return s * std::sqrt(sum);
}

double stdError(FitStage kind, const QVector<double> &x, const QVector<double> &y)
{
    QVector<double> c;
    fitQuadratic(x, y, c);
    return quadraticDeadTimeStdError(kind, c[0], c[1], errorsOf(x, y, c[0], c[1]));
}

} // namespace

Q_DECLARE_METATYPE(FitStage)

class TestQuadraticErrors : public QObject
{
    Q_OBJECT
private slots:
    void handComputedSmallFit();
    void stdErrorMatchesSensitivities_data();
    void stdErrorMatchesSensitivities();
    void stdErrorShrinksWithNoise_data();
    void stdErrorShrinksWithNoise();
    void undefinedCases_data();
    void undefinedCases();
};

void TestQuadraticErrors::handComputedSmallFit()
{
    // x = 1, 2, 3 with y = 2, 1, 2 against y = x: residuals 1, -1, -1.
    // X^T X = [[14, 36], [36, 98]], determinant 76; s^2 = 3 / (3 - 2).
    const QuadraticErrors s = errorsOf({ 1, 2, 3 }, { 2, 1, 2 }, 1.0, 0.0);
    QCOMPARE(s.points, 3);
    QVERIFY(nearlyEqual(s.rss, 3.0));
    QVERIFY(nearlyEqual(s.residualVariance, 3.0));
    QVERIFY(nearlyEqual(s.varC0, 3.0 * 98.0 / 76.0));
    QVERIFY(nearlyEqual(s.varC1, 3.0 * 14.0 / 76.0));
    QVERIFY(nearlyEqual(s.covC0C1, -3.0 * 36.0 / 76.0));
    // Mean 5/3, centred sum of squares 2/3: the line through the origin fits
    // worse than the mean, and the centred R^2 says so.
    QVERIFY(nearlyEqual(s.r2, 1.0 - 3.0 / (2.0 / 3.0)));

    // tau = -c1/c0 at (2, -0.1): gradient (c1/c0^2, -1/c0) = (-0.025, -0.5).
    const double ampVar = 0.025 * 0.025 * s.varC0 + 2.0 * 0.025 * 0.5 * s.covC0C1
            + 0.5 * 0.5 * s.varC1;
    QVERIFY(nearlyEqual(quadraticDeadTimeStdError(FitStage::Amp, 2.0, -0.1, s),
                        std::sqrt(ampVar)));
    // tau0 = -c1/c0^2 at (2, -0.1): gradient (2 c1/c0^3, -1/c0^2) = (-0.025, -0.25).
    const double preVar = 0.025 * 0.025 * s.varC0 + 2.0 * 0.025 * 0.25 * s.covC0C1
            + 0.25 * 0.25 * s.varC1;
    QVERIFY(nearlyEqual(quadraticDeadTimeStdError(FitStage::PreAmp, 2.0, -0.1, s),
                        std::sqrt(preVar)));
}

void TestQuadraticErrors::stdErrorMatchesSensitivities_data()
{
    QTest::addColumn<FitStage>("kind");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("xMax");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("noise");
    QTest::addColumn<unsigned>("seed");

    QTest::newRow("preamp, 6 points, I0 to 2e5") << FitStage::PreAmp << 6 << 2e5 << 1.3 << 3e-7
                                                 << 3e-3 << 1u;
    QTest::newRow("preamp, 25 points, I0 to 1e6") << FitStage::PreAmp << 25 << 1e6 << 0.2 << 2e-7
                                                  << 1e-3 << 2u;
    QTest::newRow("amp, 5 points, ICR to 3e5") << FitStage::Amp << 5 << 3e5 << 0.8 << 1.5e-6
                                               << 2e-3 << 3u;
    QTest::newRow("amp, 40 points, ICR to 1e5") << FitStage::Amp << 40 << 1e5 << 8.1 << 1e-6
                                                << 5e-3 << 4u;
    QTest::newRow("amp, 3 points, one degree of freedom") << FitStage::Amp << 3 << 2e5 << 0.8
                                                          << 1e-6 << 1e-2 << 5u;
}

void TestQuadraticErrors::stdErrorMatchesSensitivities()
{
    QFETCH(FitStage, kind);
    QFETCH(int, n);
    QFETCH(double, xMax);
    QFETCH(double, a);
    QFETCH(double, tau);
    QFETCH(double, noise);
    QFETCH(unsigned, seed);

    QVector<double> x, y;
    makeData(kind, n, xMax, a, tau, noise, seed, x, y);
    const double expected = sensitivityStdError(kind, x, y);
    const double actual = stdError(kind, x, y);
    QVERIFY2(expected > 0.0, "noisy data must give a positive error");
    QVERIFY2(nearlyEqual(actual, expected, 1e-4),
             qPrintable(QStringLiteral("%1 vs %2").arg(actual).arg(expected)));
}

void TestQuadraticErrors::stdErrorShrinksWithNoise_data()
{
    QTest::addColumn<FitStage>("kind");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("xMax");

    QTest::newRow("preamp") << FitStage::PreAmp << 1.1 << 2.5e-7 << 2e5;
    QTest::newRow("amp") << FitStage::Amp << 8.0 << 1.25e-6 << 2.5e5;
}

void TestQuadraticErrors::stdErrorShrinksWithNoise()
{
    QFETCH(FitStage, kind);
    QFETCH(double, a);
    QFETCH(double, tau);
    QFETCH(double, xMax);

    // One noise pattern at 1 %, 0.1 % and 0.01 %: the coefficients are linear in
    // y, so the error falls tenfold per step (to first order); without noise
    // it is rounding only.
    QVector<double> x, y;
    double previous = 0.0;
    for (double noise : { 1e-2, 1e-3, 1e-4 }) {
        makeData(kind, 8, xMax, a, tau, noise, 7u, x, y);
        const double se = stdError(kind, x, y);
        QVERIFY(se > 0.0);
        if (previous > 0.0) {
            const double ratio = previous / se;
            QVERIFY2(ratio > 9.0 && ratio < 11.0, qPrintable(QString::number(ratio)));
        }
        previous = se;
    }
    makeData(kind, 8, xMax, a, tau, 0.0, 7u, x, y);
    QVERIFY2(stdError(kind, x, y) < 1e-6 * tau, "exact data leave only rounding");
}

void TestQuadraticErrors::undefinedCases_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<bool>("r2Defined");

    QTest::newRow("two points: no residual degree of freedom")
            << QVector<double> { 1e4, 2e4 } << QVector<double> { 9e3, 1.7e4 } << true;
    QTest::newRow("all x zero") << QVector<double> { 0, 0, 0, 0 } << QVector<double> { 1, 2, 3, 4 }
                                << true;
    QTest::newRow("x all equal") << QVector<double> { 5e4, 5e4, 5e4 }
                                 << QVector<double> { 4e4, 4.1e4, 3.9e4 } << true;
    QTest::newRow("constant y: centred R2 undefined")
            << QVector<double> { 1, 2, 3, 4 } << QVector<double> { 2, 2, 2, 2 } << false;
}

void TestQuadraticErrors::undefinedCases()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(bool, r2Defined);

    const QuadraticErrors s = errorsOf(x, y, 0.9, -1e-6);
    const bool constantY = !r2Defined;
    if (constantY) {
        QVERIFY(std::isnan(s.r2));
        QVERIFY(std::isfinite(quadraticDeadTimeStdError(FitStage::Amp, 0.9, -1e-6, s)));
    } else {
        QVERIFY(std::isfinite(s.r2));
        QVERIFY(std::isnan(quadraticDeadTimeStdError(FitStage::Amp, 0.9, -1e-6, s)));
        QVERIFY(std::isnan(quadraticDeadTimeStdError(FitStage::PreAmp, 0.9, -1e-6, s)));
    }
}

QTEST_APPLESS_MAIN(TestQuadraticErrors)
#include "tst_quadraticerrors.moc"
