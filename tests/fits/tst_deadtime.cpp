// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtime.h"

#include "pointset.h"

#include "testsupport.h"

#include <QVector>
#include <QtTest>

#include <cmath>

using testsupport::nearlyEqual;

namespace {

// Count rates of a detector with first-order losses: ICR = a*I0 - tau0*(a*I0)^2
// and SCA = ICR - tau*ICR^2, one (tau0, tau) pair per channel.
PointSet simulate(const QVector<double> &i0s, double a, const QVector<double> &tau0s,
                  const QVector<double> &taus)
{
    PointSet points;
    for (double i0 : i0s) {
        QVector<double> icrs, scas;
        for (int j = 0; j < tau0s.size(); ++j) {
            const double icr = a * i0 - tau0s[j] * (a * i0) * (a * i0);
            icrs.append(icr);
            scas.append(icr - taus[j] * icr * icr);
        }
        points.add(i0, icrs, scas);
    }
    return points;
}

} // namespace

class TestDeadTime : public QObject
{
    Q_OBJECT

private slots:
    void examples_data();
    void examples();
    void channelsAreFittedSeparately();
    void extraChannelsTakeNoPart();
    void zeroRateChannelGivesNan();
    void oneEntryPerChannel_data();
    void oneEntryPerChannel();
};

void TestDeadTime::examples_data()
{
    QTest::addColumn<QVector<double>>("i0s");
    QTest::addColumn<QVector<double>>("icrs");
    QTest::addColumn<QVector<double>>("scas");
    QTest::addColumn<QVector<double>>("tau0Fit");
    QTest::addColumn<double>("tau0");
    QTest::addColumn<QVector<double>>("tauFit");
    QTest::addColumn<double>("tau");
    QTest::addColumn<double>("tolerance");

    QTest::newRow("two panels")
            << QVector<double> { 1, 2 } << QVector<double> { 0.9, 1.6 }
            << QVector<double> { 0.8595, 1.472 } << QVector<double> { 1, -0.1 } << 0.1
            << QVector<double> { 1, -0.05 } << 0.05 << 1e-12;

    QVector<double> i0s { 10000, 20000, 40000, 80000, 160000 };
    QVector<double> icrs, scas;
    for (double i0 : i0s) {
        const double icr = 3 * i0 * (1 - 6e-7 * i0);
        icrs.append(icr);
        scas.append(icr * (1 - 1e-6 * icr));
    }
    QTest::newRow("five panels") << i0s << icrs << scas << QVector<double> { 3, -1.8e-6 } << 2e-7
                                 << QVector<double> { 1, -1e-6 } << 1e-6 << 1e-12;
}

void TestDeadTime::examples()
{
    QFETCH(QVector<double>, i0s);
    QFETCH(QVector<double>, icrs);
    QFETCH(QVector<double>, scas);
    QFETCH(QVector<double>, tau0Fit);
    QFETCH(double, tau0);
    QFETCH(QVector<double>, tauFit);
    QFETCH(double, tau);
    QFETCH(double, tolerance);

    // The same values on both channels: both must come out alike.
    PointSet points;
    for (int i = 0; i < i0s.size(); ++i)
        points.add(i0s[i], { icrs[i], icrs[i] }, { scas[i], scas[i] });
    const DeadTimes r = estimateDeadTimes(points);

    QCOMPARE(r.tau0s.size(), 2);
    QCOMPARE(r.taus.size(), 2);
    for (int j = 0; j < 2; ++j) {
        QCOMPARE(r.tau0Fits[j].size(), 2);
        QCOMPARE(r.tauFits[j].size(), 2);
        const double got[] = { r.tau0Fits[j][0], r.tau0Fits[j][1], r.tau0s[j],
                               r.tauFits[j][0],  r.tauFits[j][1],  r.taus[j] };
        const double want[] = { tau0Fit[0], tau0Fit[1], tau0, tauFit[0], tauFit[1], tau };
        for (int k = 0; k < 6; ++k)
            QVERIFY2(nearlyEqual(got[k], want[k], tolerance),
                     qPrintable(QStringLiteral("%1: %2").arg(k).arg(got[k], 0, 'g', 17)));
    }
}

void TestDeadTime::channelsAreFittedSeparately()
{
    const QVector<double> tau0s { 1e-7, 2e-7, 4e-7, 3e-7 };
    const QVector<double> taus { 5e-7, 1e-6, 2e-6, 8e-7 };
    const PointSet points = simulate({ 50000, 10000, 200000, 100000, 25000 }, 2.5, tau0s, taus);
    const DeadTimes r = estimateDeadTimes(points);
    QCOMPARE(r.tau0s.size(), tau0s.size());
    QCOMPARE(r.taus.size(), taus.size());
    for (int j = 0; j < tau0s.size(); ++j) {
        QVERIFY2(nearlyEqual(r.tau0s[j], tau0s[j], 1e-8), qPrintable(QString::number(j)));
        QVERIFY2(nearlyEqual(r.taus[j], taus[j], 1e-8), qPrintable(QString::number(j)));
        QVERIFY(nearlyEqual(r.tau0Fits[j][0], 2.5, 1e-8));
    }
}

void TestDeadTime::extraChannelsTakeNoPart()
{
    // The second point has a third channel; only the two common ones are fitted,
    // exactly as if the third were not there.
    const PointSet uneven = pointSetOf({
            { 1, { 100, 50 }, { 90, 45 } },
            { 2, { 200, 95, 7 }, { 180, 80, 6 } },
            { 3, { 300, 140 }, { 260, 120, 9 } },
    });
    const PointSet common = pointSetOf({
            { 1, { 100, 50 }, { 90, 45 } },
            { 2, { 200, 95 }, { 180, 80 } },
            { 3, { 300, 140 }, { 260, 120 } },
    });
    const DeadTimes actual = estimateDeadTimes(uneven);
    const DeadTimes expected = estimateDeadTimes(common);
    QCOMPARE(actual.tau0s.size(), 2);
    QVERIFY(std::isfinite(expected.tau0s[1]) && std::isfinite(expected.taus[1]));
    QCOMPARE(actual.tau0s, expected.tau0s);
    QCOMPARE(actual.taus, expected.taus);
    QCOMPARE(actual.tau0Fits, expected.tau0Fits);
    QCOMPARE(actual.tauFits, expected.tauFits);
}

void TestDeadTime::zeroRateChannelGivesNan()
{
    const PointSet points = pointSetOf({
            { 1000, { 900, 0 }, { 850, 0 } },
            { 2000, { 1600, 0 }, { 1500, 0 } },
            { 3000, { 2100, 0 }, { 1900, 0 } },
    });
    const DeadTimes r = estimateDeadTimes(points);
    QVERIFY(std::isfinite(r.tau0s[0]));
    QVERIFY(std::isfinite(r.taus[0]));
    QCOMPARE(r.tau0Fits[1], (QVector<double> { 0, 0 }));
    QVERIFY(std::isnan(r.tau0s[1]));
    QVERIFY(std::isnan(r.taus[1]));
}

void TestDeadTime::oneEntryPerChannel_data()
{
    QTest::addColumn<int>("chs");
    QTest::addColumn<int>("points");

    QTest::newRow("no channels") << 0 << 3;
    QTest::newRow("four channels") << 4 << 3;
    QTest::newRow("four channels, two points") << 4 << 2;
}

void TestDeadTime::oneEntryPerChannel()
{
    QFETCH(int, chs);
    QFETCH(int, points);

    const PointSet all = simulate({ 1e4, 2e4, 4e4 }, 1.0, QVector<double>(chs, 1e-7),
                                  QVector<double>(chs, 1e-6));
    const DeadTimes r = estimateDeadTimes(pointSetOf(all.points().mid(0, points)));
    QCOMPARE(r.tau0s.size(), chs);
    QCOMPARE(r.taus.size(), chs);
    QCOMPARE(r.tau0Fits.size(), chs);
    QCOMPARE(r.tauFits.size(), chs);
    for (int j = 0; j < chs; ++j) {
        QCOMPARE(r.tau0Fits[j].size(), 2);
        QCOMPARE(r.tauFits[j].size(), 2);
    }
}

QTEST_APPLESS_MAIN(TestDeadTime)

#include "tst_deadtime.moc"
