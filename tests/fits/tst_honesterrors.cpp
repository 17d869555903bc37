// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelcomparison.h"
#include "uncertainty.h"
#include "unitscalefit.h"

#include <QVector>
#include <QtTest>

#include <cmath>
#include <random>

Q_DECLARE_METATYPE(DeadTimeModel)
Q_DECLARE_METATYPE(ModelPreference)
Q_DECLARE_METATYPE(FitStage)

namespace {

// One channel whose two stages follow one law, scanned from a twentieth of the
// top intensity to the top, where the pre-amplifier loses lossAtTop.
struct Channel
{
    DeadTimeModel law = DeadTimeModel::Paralyzable;
    double a = 1.1;
    double tau0 = 1e-6;
    double d0 = 1.0;
    double tau = 2e-6;
    double lossAtTop = 0.4;
};

struct Scan
{
    QVector<double> i0, icr, sca;
    QVector<QVector<int>> files;

    void append(const Scan &other)
    {
        QVector<int> file;
        for (int i = 0; i < other.i0.size(); ++i) {
            file.append(i0.size());
            i0.append(other.i0[i]);
            icr.append(other.icr[i]);
            sca.append(other.sca[i]);
        }
        files.append(file);
    }
};

// Counts over one second, Poisson-drawn (no noise with rng null).
Scan simulate(const Channel &c, int points, std::mt19937 *rng)
{
    auto draw = [rng](double mean) {
        return rng ? double(std::poisson_distribution<long long>(mean)(*rng)) : mean;
    };
    const double i0Max = c.lossAtTop / (c.a * c.tau0);
    Scan s;
    for (int i = 0; i < points; ++i) {
        const double i0 = i0Max * (0.05 + 0.95 * i / (points - 1));
        const double icr = draw(countedRate(c.law, c.a * i0, c.tau0));
        s.i0.append(i0);
        s.icr.append(icr);
        s.sca.append(draw(c.d0 * countedRate(c.law, icr, c.tau)));
    }
    return s;
}

// scans repeated scans of one detector whose dead times drift by a relative
// spread between scans (the electronics warming up, a changed shaping time).
Scan repeatedScans(const Channel &c, int scans, double drift, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> z(0.0, 1.0);
    Scan all;
    for (int k = 0; k < scans; ++k) {
        Channel drifted = c;
        drifted.tau0 *= 1.0 + drift * z(rng);
        drifted.tau *= 1.0 + drift * z(rng);
        all.append(simulate(drifted, 12, &rng));
    }
    return all;
}

// Every number and verdict of a stage, bit for bit (a NaN equals a NaN).
QByteArray fingerprint(const StageComparison &s)
{
    QByteArray bytes
        = QByteArray::number(int(s.flags)) + ' ' + QByteArray::number(int(s.preferred));
    const auto put
        = [&bytes](double v) { bytes.append(reinterpret_cast<const char *>(&v), sizeof v); };
    for (DeadTimeModel m :
         { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        const StageFit &f = s.fit(m);
        const TauUncertainty &u = s.uncertainty(m);
        for (double v : { f.scale, f.scaleStdErr, f.tau, f.tauStdErr, f.scaleTauCovariance,
                          f.quadraticCoefficient, f.reducedChi2, f.maxRateTau, f.maxCounted,
                          u.statistical, u.model, u.files, u.fileScatter, u.total })
            put(v);
        bytes += ' ' + f.failure.toUtf8() + ' ' + QByteArray::number(f.ok)
            + QByteArray::number(f.iterations) + ' ' + QByteArray::number(u.fileFits);
    }
    return bytes;
}

StageComparison compare(FitStage stage, const Scan &s, bool fixD0 = false)
{
    ComparisonOptions options;
    options.files = s.files;
    options.fixD0 = fixD0;
    return stage == FitStage::PreAmp ? compareStage(stage, s.i0, s.icr, options)
                                     : compareStage(stage, s.icr, s.sca, options);
}

} // namespace

class TestHonestErrors : public QObject
{
    Q_OBJECT

private slots:
    void totalCoversScanToScanScatter_data();
    void totalCoversScanToScanScatter();
    void partsAddInQuadrature();
    void totalOfTinyAndHugeParts_data();
    void totalOfTinyAndHugeParts();
    void underdispersedErrorDoesNotShrink();
    void scaleRecovered_data();
    void scaleRecovered();
    void unitScaleReproducesConvention_data();
    void unitScaleReproducesConvention();
    void preferenceIncludesQuadratic_data();
    void preferenceIncludesQuadratic();
    void sameResultsOnAnyThreadCount_data();
    void sameResultsOnAnyThreadCount();
};

void TestHonestErrors::totalCoversScanToScanScatter_data()
{
    QTest::addColumn<FitStage>("stage");
    QTest::newRow("pre-amplifier") << FitStage::PreAmp;
    QTest::newRow("amplifier") << FitStage::Amp;
}

// Five scans whose dead times drift by 3 % between them: the combined fit's
// tau misses the detector's mean dead time by about 3 % / sqrt(5), far more
// than its statistical error. The total must cover it about as often as a
// standard error should (68 %, a little less with the scatter estimated from
// five values), where the statistical error alone covers it rarely.
void TestHonestErrors::totalCoversScanToScanScatter()
{
    QFETCH(FitStage, stage);
    Channel c;
    const int seeds = 150;
    int coveredByTotal = 0;
    int coveredByFit = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        const Scan s = repeatedScans(c, 5, 0.03, unsigned(seed));
        const StageComparison cmp = compare(stage, s);
        const StageFit &f = cmp.paralyzable;
        QVERIFY2(f.ok, qPrintable(f.failure));
        const TauUncertainty &u = cmp.paralyzableError;
        QCOMPARE(u.fileFits, 5);
        const double truth = stage == FitStage::PreAmp ? c.tau0 : c.tau;
        coveredByTotal += std::fabs(f.tau - truth) <= u.total;
        coveredByFit += std::fabs(f.tau - truth) <= f.tauStdErr;
    }
    const double coverage = double(coveredByTotal) / seeds;
    qInfo("coverage of the total %.3f, of the fit's error alone %.3f", coverage,
          double(coveredByFit) / seeds);
    QVERIFY2(coverage > 0.55 && coverage < 0.85, qPrintable(QString::number(coverage)));
    QVERIFY(double(coveredByFit) / seeds < coverage - 0.1);
}

void TestHonestErrors::partsAddInQuadrature()
{
    // Low loss: the two exact laws cannot be told apart and the model term counts.
    Channel c;
    c.lossAtTop = 0.03;
    const Scan s = repeatedScans(c, 3, 0.05, 7);
    const StageComparison cmp = compare(FitStage::PreAmp, s);
    QCOMPARE(cmp.preferred, ModelPreference::Indistinguishable);
    for (DeadTimeModel model :
         { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        const TauUncertainty &u = cmp.uncertainty(model);
        QCOMPARE(u.model, 0.5 * std::fabs(cmp.paralyzable.tau - cmp.nonParalyzable.tau));
        QVERIFY(u.model > 0.0);
        QCOMPARE(u.fileFits, 3);
        QVERIFY(u.files > 0.0);
        QCOMPARE(u.files, u.fileScatter / std::sqrt(3.0));
        QCOMPARE(u.total,
                 std::sqrt(u.statistical * u.statistical + u.model * u.model + u.files * u.files));
    }
    // One file: no scatter term.
    const StageComparison single = compareStage(FitStage::PreAmp, s.i0, s.icr);
    QCOMPARE(single.paralyzableError.fileFits, 0);
    QCOMPARE(single.paralyzableError.files, 0.0);
}

void TestHonestErrors::totalOfTinyAndHugeParts_data()
{
    QTest::addColumn<double>("statistical");
    QTest::addColumn<double>("model");
    QTest::addColumn<double>("files");
    QTest::addColumn<double>("total");

    QTest::newRow("3-4-5") << 3e-9 << 4e-9 << 0.0 << 5e-9;
    QTest::newRow("parts whose squares underflow") << 3e-302 << 4e-302 << 0.0 << 5e-302;
    QTest::newRow("one part whose square underflows") << 7.75592e-302 << 0.0 << 0.0 << 7.75592e-302;
    QTest::newRow("parts whose squares overflow") << 3e200 << 0.0 << 4e200 << 5e200;
    QTest::newRow("all zero") << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("an infinite part") << 1e-9 << qInf() << 0.0 << qInf();
}

// The parts of the error add in quadrature at any magnitude: the total is
// never below its largest part, and never 0 when a part is not.
void TestHonestErrors::totalOfTinyAndHugeParts()
{
    QFETCH(double, statistical);
    QFETCH(double, model);
    QFETCH(double, files);
    QFETCH(double, total);
    TauUncertainty u;
    u.statistical = statistical;
    u.model = model;
    u.files = files;
    combine(u);
    QCOMPARE(u.total, total);
}

// SCA counted on the same events as ICR scatters far less than counting noise.
void TestHonestErrors::underdispersedErrorDoesNotShrink()
{
    Channel c;
    Scan s = simulate(c, 15, nullptr);
    std::mt19937 rng(3);
    std::normal_distribution<double> z(0.0, 1.0);
    for (double &v : s.sca)
        v *= 1.0 + 1e-5 * z(rng);
    const StageComparison cmp = compareStage(FitStage::Amp, s.icr, s.sca);
    const StageFit &f = cmp.paralyzable;
    QVERIFY(f.ok);
    QVERIFY(f.reducedChi2 < underdispersionChi2);
    QVERIFY(cmp.flags.testFlag(DeadTimeFlag::Underdispersed));
    QCOMPARE(cmp.paralyzableError.statistical,
             f.tauStdErr * std::sqrt(underdispersionChi2 / f.reducedChi2));
}

void TestHonestErrors::scaleRecovered_data()
{
    QTest::addColumn<DeadTimeModel>("law");
    QTest::addColumn<double>("d0");
    QTest::addColumn<bool>("scaleLoss");
    QTest::newRow("paralyzable, 7 % lost") << DeadTimeModel::Paralyzable << 0.93 << true;
    QTest::newRow("non-paralyzable, 3 % lost") << DeadTimeModel::NonParalyzable << 0.97 << true;
    QTest::newRow("paralyzable, nothing lost") << DeadTimeModel::Paralyzable << 1.0 << false;
    QTest::newRow("SCA window, a tenth of the counts")
        << DeadTimeModel::Paralyzable << 0.1 << false;
}

void TestHonestErrors::scaleRecovered()
{
    QFETCH(DeadTimeModel, law);
    QFETCH(double, d0);
    QFETCH(bool, scaleLoss);
    Channel c;
    c.law = law;
    c.d0 = d0;
    std::mt19937 rng(5);
    const Scan s = simulate(c, 20, &rng);
    const StageComparison cmp = compareStage(FitStage::Amp, s.icr, s.sca);
    const StageFit &f = cmp.fit(law);
    QVERIFY(f.ok);
    QVERIFY2(std::fabs(f.scale - d0) < 3.0 * f.scaleStdErr,
             qPrintable(QStringLiteral("%1 ± %2").arg(f.scale).arg(f.scaleStdErr)));
    QVERIFY2(std::fabs(f.tau - c.tau) < 3.0 * cmp.uncertainty(law).total,
             qPrintable(QString::number(f.tau)));
    QCOMPARE(cmp.flags.testFlag(DeadTimeFlag::ScaleLoss), scaleLoss);
}

void TestHonestErrors::unitScaleReproducesConvention_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::newRow("quadratic") << DeadTimeModel::Quadratic;
    QTest::newRow("paralyzable") << DeadTimeModel::Paralyzable;
    QTest::newRow("non-paralyzable") << DeadTimeModel::NonParalyzable;
}

// With d0 = 1 held, noise-free data of a detector with d0 = 1 give its tau;
// with 5 % of the counts lost, the loss shows in tau instead, as electronics
// quoted under that convention report it.
void TestHonestErrors::unitScaleReproducesConvention()
{
    QFETCH(DeadTimeModel, model);
    Channel c;
    c.law = model;
    c.lossAtTop = 0.02; // where the quadratic is the law's own expansion
    Scan s = simulate(c, 12, nullptr);
    const StageFit fixed = fitUnitScaleAmp(model, s.icr, s.sca);
    QVERIFY2(fixed.ok, qPrintable(fixed.failure));
    QCOMPARE(fixed.scale, 1.0);
    QCOMPARE(fixed.parameters, 1);
    QVERIFY2(std::fabs(fixed.tau / c.tau - 1.0) < 1e-6, qPrintable(QString::number(fixed.tau)));

    for (double &v : s.sca)
        v *= 0.95;
    const StageComparison free = compareStage(FitStage::Amp, s.icr, s.sca);
    ComparisonOptions unit;
    unit.fixD0 = true;
    const StageComparison held = compareStage(FitStage::Amp, s.icr, s.sca, unit);
    QVERIFY(std::fabs(free.fit(model).scale - 0.95) < 1e-6);
    QVERIFY(std::fabs(free.fit(model).tau / c.tau - 1.0) < 1e-6);
    QVERIFY(held.fit(model).tau > 2.0 * c.tau);
    // The free scale still says that d0 = 1 costs these data 5 % of their counts.
    QVERIFY(free.flags.testFlag(DeadTimeFlag::ScaleLoss));
    QVERIFY(held.flags.testFlag(DeadTimeFlag::ScaleLoss));
}

void TestHonestErrors::preferenceIncludesQuadratic_data()
{
    QTest::addColumn<DeadTimeModel>("law");
    QTest::addColumn<double>("lossAtTop");
    QTest::addColumn<ModelPreference>("expected");
    QTest::addColumn<bool>("quadraticBiased");
    QTest::newRow("quadratic law")
        << DeadTimeModel::Quadratic << 0.3 << ModelPreference::Quadratic << false;
    QTest::newRow("paralyzable law")
        << DeadTimeModel::Paralyzable << 0.4 << ModelPreference::Paralyzable << true;
    QTest::newRow("non-paralyzable law")
        << DeadTimeModel::NonParalyzable << 0.5 << ModelPreference::NonParalyzable << true;
    QTest::newRow("paralyzable law, 5 % loss")
        << DeadTimeModel::Paralyzable << 0.05 << ModelPreference::Indistinguishable << false;
}

void TestHonestErrors::preferenceIncludesQuadratic()
{
    QFETCH(DeadTimeModel, law);
    QFETCH(double, lossAtTop);
    QFETCH(ModelPreference, expected);
    QFETCH(bool, quadraticBiased);
    Channel c;
    c.law = law;
    c.lossAtTop = lossAtTop;
    for (unsigned seed : { 1u, 2u, 3u }) {
        std::mt19937 rng(seed);
        const Scan s = simulate(c, 20, &rng);
        const StageComparison cmp = compareStage(FitStage::PreAmp, s.i0, s.icr);
        QVERIFY2(cmp.preferred == expected,
                 qPrintable(modelPreferenceName(cmp.preferred) + QLatin1Char(' ')
                            + deadTimeFlagNames(cmp.flags).join(QLatin1Char(' '))));
        QCOMPARE(cmp.flags.testFlag(DeadTimeFlag::QuadraticBiased), quadraticBiased);
    }
}

void TestHonestErrors::sameResultsOnAnyThreadCount_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("fixD0");
    QTest::newRow("two threads") << 2 << false;
    QTest::newRow("more threads than cores") << 7 << false;
    QTest::newRow("two threads, d0 = 1") << 2 << true;
}

// The stages of a detector are fitted side by side; what a fit gives must not
// depend on which thread ran it or what that thread fitted before. Channels of
// both laws over three repeated scans (so that the files are fitted alone
// too), one without counts and one past saturation, against one thread.
void TestHonestErrors::sameResultsOnAnyThreadCount()
{
    QFETCH(int, threads);
    QFETCH(bool, fixD0);
    const int channels = 9;
    QVector<QVector<double>> icrs(channels), scas(channels);
    QVector<double> i0;
    ComparisonOptions options;
    options.fixD0 = fixD0;
    for (int j = 0; j < channels; ++j) {
        Channel c;
        c.law = j % 2 ? DeadTimeModel::NonParalyzable : DeadTimeModel::Paralyzable;
        c.tau0 *= 1.0 + 0.07 * j;
        c.lossAtTop = j == 5 ? 1.6 : 0.3 + 0.04 * j;
        Scan s = repeatedScans(c, 3, 0.02, unsigned(100 + j));
        if (j == 3) {
            s.icr.fill(0.0);
            s.sca.fill(0.0);
        }
        i0 = s.i0;
        icrs[j] = s.icr;
        scas[j] = s.sca;
        options.files = s.files;
    }
    options.threads = 1;
    const QVector<ChannelComparison> alone = compareChannels(i0, icrs, scas, options);
    options.threads = threads;
    const QVector<ChannelComparison> together = compareChannels(i0, icrs, scas, options);
    QCOMPARE(together.size(), channels);
    for (int j = 0; j < channels; ++j) {
        QCOMPARE(together[j].channel, j);
        QVERIFY2(alone[j].preAmp.paralyzable.ok || j == 3, qPrintable(QString::number(j)));
        QCOMPARE(fingerprint(together[j].preAmp), fingerprint(alone[j].preAmp));
        QCOMPARE(fingerprint(together[j].amp), fingerprint(alone[j].amp));
    }
}

QTEST_APPLESS_MAIN(TestHonestErrors)
#include "tst_honesterrors.moc"
