// SPDX-License-Identifier: GPL-3.0-or-later
#include "correction.h"
#include "stagefit.h"

#include "testsupport.h"

#include <QtTest>

#include <gsl/gsl_errno.h>
#include <gsl/gsl_sf_lambert.h>

#include <cmath>
#include <limits>
#include <random>

Q_DECLARE_METATYPE(DeadTimeModel)
Q_DECLARE_METATYPE(CorrectionSource)
Q_DECLARE_METATYPE(CorrectionFlag)

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

ElementDeadTimes exactDeadTimes()
{
    ElementDeadTimes dt;
    dt.tau0 = 0.8e-6;
    dt.tau = 1.7e-6;
    dt.d0 = 0.45;
    return dt;
}

// A channel's rates at true input rate n, as its two stages count them.
void measure(DeadTimeModel model, const ElementDeadTimes &dt, double n, double &icr, double &sca)
{
    icr = countedRate(model, n, dt.tau0);
    sca = dt.d0 * countedRate(model, icr, dt.tau);
}

} // namespace

class TestCorrection : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void boundary_data();
    void boundary();
    void paralyzableInverseAgainstGsl_data();
    void paralyzableInverseAgainstGsl();
    void badValues_data();
    void badValues();
    void deadTimesRejected_data();
    void deadTimesRejected();
    void stdErrorByFiniteDifferences_data();
    void stdErrorByFiniteDifferences();
    void stdErrorBySimulation_data();
    void stdErrorBySimulation();
};

void TestCorrection::roundTrip_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<CorrectionSource>("source");
    const struct
    {
        DeadTimeModel model;
        const char *name;
    } models[] = { { DeadTimeModel::Paralyzable, "paralyzable" },
                   { DeadTimeModel::NonParalyzable, "nonparalyzable" } };
    for (const auto &m : models) {
        QTest::addRow("%s from ICR", m.name) << m.model << CorrectionSource::Icr;
        QTest::addRow("%s from SCA", m.name) << m.model << CorrectionSource::Sca;
    }
}

// From a thousandth of a count per dead time to where the amplifier loses
// more than half its input: n recovered to 1e-9 and k = n / SCA.
void TestCorrection::roundTrip()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(CorrectionSource, source);
    const ElementDeadTimes dt = exactDeadTimes();
    double worst = 0.0;
    for (double n = 1e3; n < 5e5; n *= 1.07) {
        double icr = 0.0, sca = 0.0;
        measure(model, dt, n, icr, sca);
        const Correction c = correctPoint(model, dt, source, icr, sca);
        QCOMPARE(c.flag, CorrectionFlag::None);
        worst = std::fmax(worst, std::fabs(c.nTrue - n) / n);
        QVERIFY2(testsupport::nearlyEqual(c.k, n / sca, 1e-9), qPrintable(QString::number(n)));
        QCOMPARE(c.kStdErr, 0.0);
    }
    qInfo("worst relative error of n: %.3g", worst);
    QVERIFY(worst < 1e-9);
}

void TestCorrection::boundary_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<double>("share"); // of the highest rate the law counts
    QTest::addColumn<double>("tau0StdErr");
    QTest::addColumn<CorrectionFlag>("flag");
    const DeadTimeModel p = DeadTimeModel::Paralyzable;
    const DeadTimeModel np = DeadTimeModel::NonParalyzable;
    QTest::newRow("paralyzable just below 1/(e tau)") << p << 1 - 1e-6 << 0.0 << CorrectionFlag::None;
    QTest::newRow("paralyzable at 1/(e tau)") << p << 1.0 << 0.0 << CorrectionFlag::BeyondReach;
    QTest::newRow("paralyzable just above 1/(e tau)") << p << 1 + 1e-9 << 0.0
                                                      << CorrectionFlag::BeyondReach;
    QTest::newRow("paralyzable far above") << p << 3.0 << 0.0 << CorrectionFlag::BeyondReach;
    QTest::newRow("paralyzable below, tau known to 1%") << p << 0.9 << 0.008e-6
                                                        << CorrectionFlag::None;
    QTest::newRow("paralyzable near, tau known to 1%") << p << 1 - 1e-6 << 0.008e-6
                                                       << CorrectionFlag::Uncertain;
    QTest::newRow("nonparalyzable below 1/tau") << np << 1 - 1e-6 << 0.0 << CorrectionFlag::None;
    QTest::newRow("nonparalyzable at 1/tau") << np << 1.0 << 0.0 << CorrectionFlag::BeyondReach;
    QTest::newRow("nonparalyzable near, tau known to 1%") << np << 1 - 1e-4 << 0.008e-6
                                                          << CorrectionFlag::Uncertain;
}

// From ICR at a share of the pre-amplifier's highest rate: corrected onto the
// low-rate branch (n tau0 < 1) below it, flagged above it or where k's
// error outgrows k.
void TestCorrection::boundary()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(double, share);
    QFETCH(double, tau0StdErr);
    QFETCH(CorrectionFlag, flag);
    ElementDeadTimes dt = exactDeadTimes();
    dt.tau0StdErr = tau0StdErr;
    const double icr = share * highestCountedRate(model, dt.tau0);
    const Correction c = correctPoint(model, dt, CorrectionSource::Icr, icr, 0.5 * icr);
    QCOMPARE(c.flag, flag);
    if (flag != CorrectionFlag::None) {
        QVERIFY(std::isnan(c.nTrue) && std::isnan(c.k) && std::isnan(c.kStdErr));
        return;
    }
    if (model == DeadTimeModel::Paralyzable)
        QVERIFY(c.nTrue * dt.tau0 < 1.0);
    QVERIFY(testsupport::nearlyEqual(countedRate(model, c.nTrue, dt.tau0), icr, 1e-9));
    QVERIFY(c.kStdErr <= c.k);
}

void TestCorrection::paralyzableInverseAgainstGsl_data()
{
    QTest::addColumn<double>("from"); // m tau
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("tolerance"); // relative
    QTest::newRow("far below the reach") << 1e-12 << 1e-3 << 1e-15;
    QTest::newRow("the working range") << 1e-3 << 0.36 << 1e-14;
    // W0 turns vertical at the branch point: both ends lose digits there.
    QTest::newRow("up to the reach") << 0.36 << (1 - 1e-9) / M_E << 1e-11;
}

// The true rate of the paralyzable law against GSL's Lambert W0, an
// implementation of its own (an iteration rather than approximations), at
// ten thousand rates over each range.
void TestCorrection::paralyzableInverseAgainstGsl()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, tolerance);
    gsl_set_error_handler_off();
    const double tau = 1e-6;
    const int steps = 10000;
    for (int i = 0; i <= steps; ++i) {
        const double x = from * std::pow(to / from, double(i) / steps);
        gsl_sf_result w;
        QCOMPARE(gsl_sf_lambert_W0_e(-x, &w), GSL_SUCCESS);
        const double n = trueRate(DeadTimeModel::Paralyzable, x / tau, tau);
        QVERIFY2(testsupport::nearlyEqual(n, -w.val / tau, tolerance),
                 qPrintable(QStringLiteral("m tau = %1: %2 against %3")
                                    .arg(x, 0, 'g', 17)
                                    .arg(n, 0, 'g', 17)
                                    .arg(-w.val / tau, 0, 'g', 17)));
    }
}

void TestCorrection::badValues_data()
{
    QTest::addColumn<CorrectionSource>("source");
    QTest::addColumn<double>("icr");
    QTest::addColumn<double>("sca");
    QTest::addColumn<CorrectionFlag>("flag");
    QTest::addColumn<double>("k");
    const ElementDeadTimes dt = exactDeadTimes();
    QTest::newRow("negative SCA") << CorrectionSource::Sca << 0.0 << -1.0
                                  << CorrectionFlag::BadValue << notANumber;
    QTest::newRow("SCA nan") << CorrectionSource::Sca << 0.0 << notANumber
                             << CorrectionFlag::BadValue << notANumber;
    QTest::newRow("ICR infinite") << CorrectionSource::Icr
                                  << std::numeric_limits<double>::infinity() << 1.0
                                  << CorrectionFlag::BadValue << notANumber;
    QTest::newRow("from ICR, no SCA counts") << CorrectionSource::Icr << 10.0 << 0.0
                                             << CorrectionFlag::BadValue << notANumber;
    // Far below the reach n is m: also where m tau0 is subnormal or zero.
    QTest::newRow("from ICR, m tau0 subnormal") << CorrectionSource::Icr << 1e-310 << 1e-310
                                               << CorrectionFlag::None << 1.0;
    QTest::newRow("from ICR, m tau0 underflows") << CorrectionSource::Icr << 1e-320 << 1e-320
                                                << CorrectionFlag::None << 1.0;
    // k's limit at zero rate is 1/d0: the scale alone.
    QTest::newRow("from SCA, dark point") << CorrectionSource::Sca << 0.0 << 0.0
                                          << CorrectionFlag::None << 1.0 / dt.d0;
}

void TestCorrection::badValues()
{
    QFETCH(CorrectionSource, source);
    QFETCH(double, icr);
    QFETCH(double, sca);
    QFETCH(CorrectionFlag, flag);
    QFETCH(double, k);
    const Correction c =
            correctPoint(DeadTimeModel::Paralyzable, exactDeadTimes(), source, icr, sca);
    QCOMPARE(c.flag, flag);
    QCOMPARE(c.k, k);
}

void TestCorrection::deadTimesRejected_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<CorrectionSource>("source");
    QTest::addColumn<double>("tau0");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("d0");
    QTest::addColumn<QString>("problem");
    const DeadTimeModel p = DeadTimeModel::Paralyzable;
    const CorrectionSource icr = CorrectionSource::Icr;
    const CorrectionSource sca = CorrectionSource::Sca;
    QTest::newRow("valid") << p << sca << 1e-6 << 2e-6 << 0.5 << QString();
    QTest::newRow("from ICR needs no tau") << p << icr << 1e-6 << 0.0 << 0.0 << QString();
    QTest::newRow("tau0 zero") << p << icr << 0.0 << 2e-6 << 0.5
                               << "tau0 must be positive, not 0";
    QTest::newRow("tau0 negative") << p << icr << -1e-6 << 2e-6 << 0.5
                                   << "tau0 must be positive, not -1e-06";
    QTest::newRow("tau0 nan") << p << icr << notANumber << 2e-6 << 0.5
                              << "tau0 is not known (not given, or its fit failed)";
    QTest::newRow("tau zero from SCA") << p << sca << 1e-6 << 0.0 << 0.5
                                       << "tau must be positive, not 0";
    QTest::newRow("tau negative from SCA") << DeadTimeModel::NonParalyzable << sca << 1e-6
                                           << -2e-6 << 0.5 << "tau must be positive, not -2e-06";
    QTest::newRow("d0 zero from SCA") << p << sca << 1e-6 << 2e-6 << 0.0
                                      << "d0 must be positive, not 0";
    QTest::newRow("quadratic") << DeadTimeModel::Quadratic << icr << 1e-6 << 2e-6 << 0.5
                               << "the quadratic model cannot be inverted; correct with "
                                  "paralyzable or nonparalyzable dead times";
}

void TestCorrection::deadTimesRejected()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(CorrectionSource, source);
    QFETCH(double, tau0);
    QFETCH(double, tau);
    QFETCH(double, d0);
    QFETCH(QString, problem);
    ElementDeadTimes dt;
    dt.tau0 = tau0;
    dt.tau = tau;
    dt.d0 = d0;
    QCOMPARE(deadTimesProblem(model, dt, source), problem);
}

void TestCorrection::stdErrorByFiniteDifferences_data()
{
    roundTrip_data();
}

// k's standard error is the delta method's: the gradient of k over (tau0,
// tau, d0), here by central differences of k itself, through the covariance
// of the three; each alone, then all with d0 and tau anti-correlated. From ICR
// k does not depend on tau and d0, and their errors add nothing.
void TestCorrection::stdErrorByFiniteDifferences()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(CorrectionSource, source);
    const ElementDeadTimes dt = exactDeadTimes();
    double icr = 0.0, sca = 0.0;
    measure(model, dt, 3e5, icr, sca); // n tau0 = 0.24, ICR tau about 0.4
    using Member = double ElementDeadTimes::*;
    const Member value[]
        = { &ElementDeadTimes::tau0, &ElementDeadTimes::tau, &ElementDeadTimes::d0 };
    const Member stdErr[] = { &ElementDeadTimes::tau0StdErr, &ElementDeadTimes::tauStdErr,
                              &ElementDeadTimes::d0StdErr };
    const double sigma[] = { 0.02 * dt.tau0, 0.03 * dt.tau, 0.01 * dt.d0 };
    double gradient[3];
    for (int i = 0; i < 3; ++i) {
        const double h = 1e-5 * (dt.*value[i]);
        ElementDeadTimes up = dt, down = dt;
        up.*value[i] += h;
        down.*value[i] -= h;
        gradient[i] = (correctPoint(model, up, source, icr, sca).k
                       - correctPoint(model, down, source, icr, sca).k)
            / (2 * h);
    }
    ElementDeadTimes all = dt;
    double variance = 0.0;
    for (int i = 0; i < 3; ++i) {
        ElementDeadTimes one = dt;
        one.*stdErr[i] = all.*stdErr[i] = sigma[i];
        const double expected = std::fabs(gradient[i]) * sigma[i];
        QVERIFY2(testsupport::nearlyEqual(correctPoint(model, one, source, icr, sca).kStdErr,
                                          expected, 1e-6),
                 qPrintable(QStringLiteral("parameter %1: %2").arg(i).arg(expected)));
        variance += expected * expected;
    }
    all.d0TauCovariance = -0.9 * sigma[1] * sigma[2];
    variance += 2 * gradient[1] * gradient[2] * all.d0TauCovariance;
    QVERIFY(testsupport::nearlyEqual(correctPoint(model, all, source, icr, sca).kStdErr,
                                     std::sqrt(variance), 1e-6));
}

void TestCorrection::stdErrorBySimulation_data()
{
    roundTrip_data();
}

// Many calibration scans with counting noise, each fitted as the batch
// command fits them; k of one point corrected with each fit scatters as the
// delta method's standard error says, covariance of d0 and tau included.
void TestCorrection::stdErrorBySimulation()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(CorrectionSource, source);
    const ElementDeadTimes truth = exactDeadTimes();
    const double a = 2e4; // true rate per unit of I0
    const double countingTime = 1.0;
    const int points = 20;
    const int scans = 300;
    double icrTest = 0.0, scaTest = 0.0;
    measure(model, truth, 4e5, icrTest, scaTest);

    std::mt19937 rng(20261208);
    double sum = 0.0, sum2 = 0.0, errSum = 0.0;
    for (int s = 0; s < scans; ++s) {
        QVector<double> i0, icr, sca;
        for (int i = 0; i < points; ++i) {
            const double n = a * (1.0 + 29.0 * i / (points - 1));
            double mIcr = 0.0, mSca = 0.0;
            measure(model, truth, n, mIcr, mSca);
            i0.append(n / a);
            icr.append(std::poisson_distribution<long long>(mIcr * countingTime)(rng)
                       / countingTime);
            sca.append(std::poisson_distribution<long long>(mSca * countingTime)(rng)
                       / countingTime);
        }
        const StageFit pre = fitStage(model, FitStage::PreAmp, i0, icr);
        const StageFit amp = fitStage(model, FitStage::Amp, icr, sca);
        QVERIFY2(pre.ok && amp.ok, qPrintable(pre.failure + amp.failure));
        const ElementDeadTimes dt { pre.tau, pre.tauStdErr, amp.tau, amp.tauStdErr,
                                    amp.scale, amp.scaleStdErr, amp.scaleTauCovariance };
        const Correction c = correctPoint(model, dt, source, icrTest, scaTest);
        QCOMPARE(c.flag, CorrectionFlag::None);
        sum += c.k;
        sum2 += c.k * c.k;
        errSum += c.kStdErr;
    }
    const double mean = sum / scans;
    const double spread = std::sqrt((sum2 - scans * mean * mean) / (scans - 1));
    const double predicted = errSum / scans;
    qInfo("k %.6g: spread %.4g, mean dtc_err %.4g", mean, spread, predicted);
    // 300 scans estimate a spread to about 4 %.
    QVERIFY2(std::fabs(predicted / spread - 1.0) < 0.15,
             qPrintable(QStringLiteral("%1 vs %2").arg(predicted).arg(spread)));
}

QTEST_APPLESS_MAIN(TestCorrection)
#include "tst_correction.moc"
