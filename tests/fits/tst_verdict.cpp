// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelcomparison.h"
#include "pointset.h"
#include "simulateddetector.h"

#include <QtTest>

using simulated::Scan;

Q_DECLARE_METATYPE(Scan)
Q_DECLARE_METATYPE(Verdict)

namespace {

QVector<ChannelComparison> compareRecording(const simulated::Recording &r)
{
    return compareChannels(r.i0, r.icr, r.sca);
}

} // namespace

class TestVerdict : public QObject
{
    Q_OBJECT
private slots:
    void whatEachScanCanTell_data();
    void whatEachScanCanTell();
    void badPointCostsOnePoint();
    void oneOddIntensityDoesNotMakeAScan();
};

void TestVerdict::whatEachScanCanTell_data()
{
    QTest::addColumn<Scan>("scan");
    QTest::addColumn<Verdict>("preAmp");
    QTest::addColumn<Verdict>("amp");
    QTest::addColumn<Verdict>("element2"); // of both stages where it differs
    const Verdict determined = Verdict::Determined;
    const struct
    {
        const char *name;
        Scan scan;
        Verdict preAmp, amp, element2;
    } scans[] = {
        { "intensity scan", Scan::Intensity, determined, determined, determined },
        { "intensity scan past the paralyzable peak", Scan::PastThePeak, determined, determined,
          determined },
        { "intensity scan with one spike", Scan::IntensityWithSpike, determined, determined,
          determined },
        { "energy scan, I0 steady", Scan::EnergyConstantI0, Verdict::NotIntensityScan, determined,
          determined },
        { "energy scan, I0 drifting x3", Scan::EnergyDriftingI0, Verdict::NotIntensityScan,
          determined, determined },
        { "energy scan with a dark point", Scan::EnergyWithDarkPoint, Verdict::NotIntensityScan,
          determined, determined },
        { "fast channel of element 2 misses events", Scan::BrokenElement, determined, determined,
          Verdict::Broken },
        { "all OCR zero", Scan::ZeroOcr, determined, Verdict::NoCounts, Verdict::NoCounts },
        { "element 2 unconnected", Scan::UnconnectedElement, determined, determined,
          Verdict::NoCounts },
        { "element 2 recorded as nan", Scan::NanElement, determined, determined,
          Verdict::NoCounts },
        { "constant ICR and OCR", Scan::ConstantRates, Verdict::OneRate, Verdict::OneRate,
          Verdict::OneRate },
    };
    // The same detector in counts per second and in kcps, counted for 0.1, 1
    // and 100 s: the verdicts may not depend on either.
    const struct
    {
        const char *name;
        double countingTime;
        double unit;
    } forms[] = { { "cps, 1 s", 1.0, 1.0 },     { "kcps, 1 s", 1.0, 1e3 },
                  { "cps, 0.1 s", 0.1, 1.0 },   { "kcps, 0.1 s", 0.1, 1e3 },
                  { "cps, 100 s", 100.0, 1.0 }, { "kcps, 100 s", 100.0, 1e3 } };
    QTest::addColumn<double>("countingTime");
    QTest::addColumn<double>("unit");
    for (const auto &s : scans) {
        for (const auto &f : forms)
            QTest::addRow("%s, %s", s.name, f.name)
                << s.scan << s.preAmp << s.amp << s.element2 << f.countingTime << f.unit;
    }
}

void TestVerdict::whatEachScanCanTell()
{
    QFETCH(Scan, scan);
    QFETCH(Verdict, preAmp);
    QFETCH(Verdict, amp);
    QFETCH(Verdict, element2);
    QFETCH(double, countingTime);
    QFETCH(double, unit);
    for (unsigned seed : { 1u, 2u, 3u }) {
        const QVector<ChannelComparison> channels
            = compareRecording(simulated::record(scan, countingTime, unit, seed));
        QCOMPARE(channels.size(), simulated::elements);
        for (const ChannelComparison &c : channels) {
            const QString where = QStringLiteral("seed %1, element %2: %3 / %4")
                                      .arg(seed)
                                      .arg(c.channel)
                                      .arg(deadTimeFlagNames(c.preAmp.flags).join(' '),
                                           deadTimeFlagNames(c.amp.flags).join(' '));
            const bool odd = c.channel == 2 && element2 != amp;
            QVERIFY2(c.preAmp.verdict == (odd ? element2 : preAmp), qPrintable(where));
            QVERIFY2(c.amp.verdict == (odd ? element2 : amp), qPrintable(where));
            // What a fit made of points that cannot give the dead time says
            // nothing: an undetermined stage carries its reason alone.
            for (const StageComparison *s : { &c.preAmp, &c.amp }) {
                if (s->undetermined())
                    QVERIFY2(s->flags == verdictFlag(s->verdict), qPrintable(where));
            }
        }
    }
}

// A series of scans of which one ends with a row of zeros and a negative SCA
// on element 1: that point leaves element 1's amplifier alone, and only it.
void TestVerdict::badPointCostsOnePoint()
{
    PointSet points;
    PointSet clean;
    for (int k = 0; k < 4; ++k) {
        const simulated::Recording r = simulated::record(Scan::Intensity, 1.0, 1.0, 10u + k);
        const QString file = QStringLiteral("scan_%1.dat").arg(k);
        for (int p = 0; p < r.i0.size(); p += 2) {
            QVector<double> icrs;
            QVector<double> scas;
            for (int j = 0; j < simulated::elements; ++j) {
                icrs.append(r.icr[j][p]);
                scas.append(r.sca[j][p]);
            }
            points.add(r.i0[p], icrs, scas, { file, p / 2 + 2 });
            clean.add(r.i0[p], icrs, scas, { file, p / 2 + 2 });
        }
        if (k == 2)
            points.add(0.0, { 0.0, 0.0, 0.0, 0.0 }, { 0.0, -3.0, 0.0, 0.0 }, { file, 12 });
    }
    const QVector<ChannelComparison> channels = compareChannels(points);
    const QVector<ChannelComparison> reference = compareChannels(clean);
    const int bad = 30;
    QCOMPARE(points.source(bad).line, 12);
    for (const ChannelComparison &c : channels) {
        QCOMPARE(c.amp.leftOutPoints, c.channel == 1 ? QVector<int> { bad } : QVector<int>());
        QVERIFY(c.preAmp.leftOutPoints.isEmpty());
        QCOMPARE(c.amp.verdict, Verdict::Determined);
        QCOMPARE(c.preAmp.verdict, Verdict::Determined);
        QVERIFY(c.amp.paralyzable.ok);
    }
    // Without the bad point element 1's amplifier is the fit of the clean
    // scans, to the last digit.
    QCOMPARE(channels[1].amp.paralyzable.tau, reference[1].amp.paralyzable.tau);
    QCOMPARE(channels[1].amp.paralyzableError.total, reference[1].amp.paralyzableError.total);
}

// One dark reading among the points of an energy scan spans I0 by orders of
// magnitude; so does one spike. Neither makes the scan an intensity scan.
void TestVerdict::oneOddIntensityDoesNotMakeAScan()
{
    QVector<double> i0(30, 2e5);
    QVector<double> icr;
    for (int p = 0; p < i0.size(); ++p)
        icr.append(p < 12 ? 5e4 : 1.5e5);
    i0[3] = 40.0;
    QCOMPARE(compareStage(FitStage::PreAmp, i0, icr).verdict, Verdict::NotIntensityScan);
    i0[3] = 2e5;
    i0[20] = 5e6;
    QCOMPARE(compareStage(FitStage::PreAmp, i0, icr).verdict, Verdict::NotIntensityScan);
}

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
