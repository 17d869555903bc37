// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtime.h"
#include "modelcomparison.h"
#include "pointset.h"
#include "stagefit.h"

#include "testsupport.h"
#include "unitscalefit.h"

#include <QVector>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using testsupport::nearlyEqual;

Q_DECLARE_METATYPE(DeadTimeModel)
Q_DECLARE_METATYPE(FitStage)
Q_DECLARE_METATYPE(FitFailure)
Q_DECLARE_METATYPE(Verdict)
Q_DECLARE_METATYPE(DeadTimeFlags)
Q_DECLARE_METATYPE(ModelPreference)

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

// A channel of a detector whose stages follow one law: ICR = f(a I0; tau0),
// SCA = d0 f(ICR; tau). lossAtTop is the pre-amplifier's n tau0 at the
// highest I0 of the scan, which runs linearly from a twentieth of it.
struct Channel
{
    DeadTimeModel model = DeadTimeModel::Paralyzable;
    double a = 1.2;
    double tau0 = 1e-6;
    double d0 = 0.4;
    double tau = 2e-6;
    double lossAtTop = 0.5;
};

struct Scan
{
    QVector<double> i0, icr, sca;
};

// Expected rates, or with countingTime > 0 the ICR as counts over that time
// divided by it and the SCA as counts, both Poisson-drawn.
Scan simulate(const Channel &c, int points, double countingTime = 0.0, unsigned seed = 0)
{
    std::mt19937 rng(seed);
    auto poisson = [&rng](double mean) {
        return double(std::poisson_distribution<long long>(mean)(rng));
    };
    const double i0Max = c.lossAtTop / (c.a * c.tau0);
    Scan s;
    for (int i = 0; i < points; ++i) {
        const double i0 = i0Max * (0.05 + 0.95 * i / (points - 1));
        const double icr = countedRate(c.model, c.a * i0, c.tau0);
        const double sca = c.d0 * countedRate(c.model, icr, c.tau);
        s.i0.append(i0);
        if (countingTime > 0.0) {
            s.icr.append(poisson(icr * countingTime) / countingTime);
            s.sca.append(poisson(sca * countingTime));
        } else {
            s.icr.append(icr);
            s.sca.append(sca);
        }
    }
    return s;
}

StageFit fitOf(DeadTimeModel model, FitStage stage, const Scan &s)
{
    return stage == FitStage::PreAmp ? fitStage(model, stage, s.i0, s.icr)
                                     : fitStage(model, stage, s.icr, s.sca);
}

void addModelStageRows()
{
    for (DeadTimeModel m : { DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        for (FitStage st : { FitStage::PreAmp, FitStage::Amp }) {
            const QString name = deadTimeModelName(m)
                    + (st == FitStage::PreAmp ? QStringLiteral(" pre-amp") : QStringLiteral(" amp"));
            QTest::newRow(name.toLatin1().constData()) << m << st;
        }
    }
}

} // namespace

class TestExactFit : public QObject
{
    Q_OBJECT

private slots:
    void modelNames();
    void quadraticMatchesTheResultRow();
    void noiseFreeRecovery_data();
    void noiseFreeRecovery();
    void pulls_data();
    void pulls();
    void sameFitWhateverRanBefore_data();
    void sameFitWhateverRanBefore();
    void quadraticBiasAtHighRates_data();
    void quadraticBiasAtHighRates();
    void preference_data();
    void preference();
    void channelFlags();
    void saturatedPreAmp_data();
    void saturatedPreAmp();
    void unusableQuadraticFails_data();
    void unusableQuadraticFails();
    void degenerateInputsFail_data();
    void degenerateInputsFail();
    void hostileInputsStayBounded_data();
    void hostileInputsStayBounded();
};

void TestExactFit::modelNames()
{
    for (DeadTimeModel m :
         { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable })
        QCOMPARE(parseDeadTimeModel(deadTimeModelName(m)), std::optional<DeadTimeModel>(m));
    QCOMPARE(deadTimeModelName(DeadTimeModel::NonParalyzable), QStringLiteral("nonparalyzable"));
    QVERIFY(!parseDeadTimeModel(QStringLiteral("Paralyzable")));
    QVERIFY(!parseDeadTimeModel(QStringLiteral("compare")));
}

// The quadratic stage must give the very doubles that the result row and the
// saved files show.
void TestExactFit::quadraticMatchesTheResultRow()
{
    const Scan s = simulate(Channel(), 12, 1.0, 7);
    PointSet points;
    for (int i = 0; i < s.i0.size(); ++i)
        points.add(s.i0[i], { s.icr[i] }, { s.sca[i] });
    const DeadTimes dt = estimateDeadTimes(points);
    const StageFit pre = fitStage(DeadTimeModel::Quadratic, FitStage::PreAmp, s.i0, s.icr);
    const StageFit amp = fitStage(DeadTimeModel::Quadratic, FitStage::Amp, s.icr, s.sca);
    QVERIFY(pre.ok && amp.ok);
    QVERIFY(pre.tau == dt.tau0s[0] && pre.scale == dt.tau0Fits[0][0]);
    QVERIFY(amp.tau == dt.taus[0] && amp.quadraticCoefficient == dt.tauFits[0][1]);
    QVERIFY(pre.tauStdErr > 0.0 && amp.tauStdErr > 0.0);
}

void TestExactFit::noiseFreeRecovery_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<FitStage>("stage");
    addModelStageRows();
}

void TestExactFit::noiseFreeRecovery()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(FitStage, stage);
    // From barely any loss to past the paralyzable maximum at n tau0 = 1.
    for (double loss : { 0.02, 0.5, 1.5 }) {
        Channel c;
        c.model = model;
        c.lossAtTop = loss;
        const StageFit f = fitOf(model, stage, simulate(c, 15));
        QVERIFY2(f.ok, qPrintable(f.failure));
        const double scale = stage == FitStage::PreAmp ? c.a : c.d0;
        const double tau = stage == FitStage::PreAmp ? c.tau0 : c.tau;
        QVERIFY2(nearlyEqual(f.tau, tau, 1e-6), qPrintable(QString::number(f.tau / tau - 1)));
        QVERIFY(nearlyEqual(f.scale, scale, 1e-6));
        QVERIFY(f.iterations <= 2 * maxFitIterationsPerPass);
        // Every solver step is a pass over all points, so a scan of a hundred
        // thousand lines is fitted in the time of a few passes only if the
        // start lands next to the minimum, whatever the noise.
        const StageFit noisy = fitOf(model, stage, simulate(c, 2000, 0.01, 7));
        QVERIFY2(noisy.ok, qPrintable(noisy.failure));
        QVERIFY2(noisy.iterations <= 12, qPrintable(QStringLiteral("%1 steps at n tau %2")
                                                            .arg(noisy.iterations)
                                                            .arg(loss)));
    }
}

void TestExactFit::pulls_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<FitStage>("stage");
    addModelStageRows();
}

// Over many noisy scans the estimates scatter around the truth by their
// standard errors: (estimate - truth) / sigma has mean 0 and spread 1.
void TestExactFit::pulls()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(FitStage, stage);
    Channel c;
    c.model = model;
    c.lossAtTop = 0.5;
    const double truth = stage == FitStage::PreAmp ? c.tau0 : c.tau;
    const int seeds = 200;
    double sum = 0.0;
    double sumSq = 0.0;
    for (int seed = 1; seed <= seeds; ++seed) {
        // 0.01 s gives some 5000 counts at the top and a few hundred at the bottom.
        const StageFit f = fitOf(model, stage, simulate(c, 20, 0.01, unsigned(seed)));
        QVERIFY2(f.ok, qPrintable(f.failure));
        const double pull = (f.tau - truth) / f.tauStdErr;
        sum += pull;
        sumSq += pull * pull;
    }
    const double mean = sum / seeds;
    const double spread = std::sqrt(sumSq / seeds - mean * mean);
    QVERIFY2(std::fabs(mean) < 0.2, qPrintable(QString::number(mean)));
    QVERIFY2(spread > 0.8 && spread < 1.25, qPrintable(QString::number(spread)));
}

void TestExactFit::sameFitWhateverRanBefore_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<FitStage>("stage");
    addModelStageRows();
}

// The solver's workspace is kept from one fit to the next; a fit must not
// depend on what was fitted before it: fewer points, more points, the other
// law, a failed fit, the amplifier with d0 held at 1.
void TestExactFit::sameFitWhateverRanBefore()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(FitStage, stage);
    Channel c;
    c.model = model;
    const Scan scan = simulate(c, 40, 0.01, 3);
    const auto fitBoth = [&] {
        return std::make_pair(fitOf(model, stage, scan), fitUnitScaleAmp(model, scan.icr, scan.sca));
    };
    const auto alone = fitBoth();
    QVERIFY2(alone.first.ok && alone.second.ok, qPrintable(alone.first.failure + alone.second.failure));

    const DeadTimeModel other = model == DeadTimeModel::Paralyzable
            ? DeadTimeModel::NonParalyzable
            : DeadTimeModel::Paralyzable;
    const Scan longer = simulate(c, 500, 0.01, 4);
    const Scan shorter = simulate(c, 12, 0.01, 5);
    QVERIFY(fitOf(other, stage, longer).ok);
    QVERIFY(fitUnitScaleAmp(other, longer.icr, longer.sca).ok);
    QVERIFY(fitOf(model, stage, shorter).ok);
    QVERIFY(!fitStage(model, stage, QVector<double>(40, 1.0), scan.icr).ok);
    const auto after = fitBoth();
    for (const auto &pair : { std::make_pair(alone.first, after.first),
                              std::make_pair(alone.second, after.second) }) {
        QCOMPARE(pair.second.tau, pair.first.tau);
        QCOMPARE(pair.second.tauStdErr, pair.first.tauStdErr);
        QCOMPARE(pair.second.scale, pair.first.scale);
        QCOMPARE(pair.second.reducedChi2, pair.first.reducedChi2);
        QCOMPARE(pair.second.iterations, pair.first.iterations);
    }
}

void TestExactFit::quadraticBiasAtHighRates_data()
{
    QTest::addColumn<FitStage>("stage");
    QTest::newRow("pre-amp") << FitStage::PreAmp;
    QTest::newRow("amp") << FitStage::Amp;
}

// At 40 % dead time (n tau0 = 0.51 for a paralyzable stage) the quadratic
// expansion is far off, and with counting noise it is far off by many of its
// own standard errors.
void TestExactFit::quadraticBiasAtHighRates()
{
    QFETCH(FitStage, stage);
    Channel c;
    c.lossAtTop = 0.51;
    c.tau = 2.5e-6; // the amplifier too at about 40 % loss
    const Scan s = simulate(c, 30, 1.0, 3);
    const StageComparison cmp = stage == FitStage::PreAmp ? compareStage(stage, s.i0, s.icr)
                                                          : compareStage(stage, s.icr, s.sca);
    const double truth = stage == FitStage::PreAmp ? c.tau0 : c.tau;
    QVERIFY(cmp.quadratic.ok && cmp.paralyzable.ok);
    QVERIFY2(cmp.quadratic.tau < 0.9 * truth, qPrintable(QString::number(cmp.quadratic.tau)));
    QVERIFY(std::fabs(cmp.paralyzable.tau - truth) < 3.0 * cmp.paralyzable.tauStdErr);
    QVERIFY(cmp.flags.testFlag(DeadTimeFlag::QuadraticBiased));
    QCOMPARE(cmp.preferred, ModelPreference::Paralyzable);
}

void TestExactFit::preference_data()
{
    QTest::addColumn<DeadTimeModel>("law");
    QTest::addColumn<double>("lossAtTop");
    QTest::addColumn<ModelPreference>("expected");
    QTest::addColumn<double>("countingTime");
    QTest::addColumn<unsigned>("seed");
    QTest::newRow("paralyzable at 40 %") << DeadTimeModel::Paralyzable << 0.5
                                         << ModelPreference::Paralyzable << 1.0 << 11u;
    QTest::newRow("non-paralyzable at 40 %") << DeadTimeModel::NonParalyzable << 0.7
                                             << ModelPreference::NonParalyzable << 1.0 << 11u;
    QTest::newRow("paralyzable at 2 %") << DeadTimeModel::Paralyzable << 0.02
                                        << ModelPreference::Indistinguishable << 1.0 << 11u;
    // The quadratic tau lies within 1.2 of its sigma from the paralyzable
    // fit, which has the lower chi^2, and 3.5 sigma from the other.
    QTest::newRow("paralyzable at 40 %, few counts") << DeadTimeModel::Paralyzable << 0.5
                                                     << ModelPreference::Indistinguishable << 3e-4
                                                     << 26u;
}

void TestExactFit::preference()
{
    QFETCH(DeadTimeModel, law);
    QFETCH(double, lossAtTop);
    QFETCH(ModelPreference, expected);
    QFETCH(double, countingTime);
    QFETCH(unsigned, seed);
    Channel c;
    c.model = law;
    c.lossAtTop = lossAtTop;
    const Scan s = simulate(c, 25, countingTime, seed);
    const StageComparison cmp = compareStage(FitStage::PreAmp, s.i0, s.icr);
    QCOMPARE(cmp.preferred, expected);

    // The better exact fit has the lower chi^2 = sum (y - m)^2 / m over its
    // residuals, and the quadratic is judged biased against that one only.
    const auto chi2 = [&s](const StageFit &f) {
        double sum = 0.0;
        for (int i = 0; i < s.i0.size(); ++i) {
            const double n = f.scale * s.i0[i];
            const double m = f.model == DeadTimeModel::Paralyzable ? n * std::exp(-n * f.tau)
                                                                   : n / (1.0 + n * f.tau);
            sum += (s.icr[i] - m) * (s.icr[i] - m) / m;
        }
        return sum;
    };
    QVERIFY(cmp.paralyzable.ok && cmp.nonParalyzable.ok);
    const double p = chi2(cmp.paralyzable);
    const double np = chi2(cmp.nonParalyzable);
    const StageFit *lower = p < np ? &cmp.paralyzable : &cmp.nonParalyzable;
    // Within a percent the fit's own weights may order them either way.
    if (std::fabs(p - np) > 0.01 * std::fmin(p, np))
        QCOMPARE(cmp.betterExact(), lower);
    const StageFit &q = cmp.quadratic;
    if (cmp.flags.testFlag(DeadTimeFlag::QuadraticBiased))
        QVERIFY(std::fabs(q.tau - lower->tau) > quadraticBiasSigmas * q.tauStdErr);
}

// Eight channels of one paralyzable detector at about 25 % loss, of which
// three misbehave.
void TestExactFit::channelFlags()
{
    QVector<double> i0;
    QVector<QVector<double>> icrs, scas;
    for (int j = 0; j < 8; ++j) {
        Channel c;
        c.lossAtTop = 0.3;
        c.tau0 *= 1.0 + 0.03 * (j % 3);
        c.tau *= 1.0 + 0.03 * (j % 4);
        if (j == 5) { // the same intensities, three times the dead times
            c.tau0 *= 3.0;
            c.tau *= 3.0;
            c.lossAtTop *= 3.0;
        }
        Scan s = simulate(c, 20, 1.0, unsigned(100 + j));
        if (j == 2) { // dead
            s.icr.fill(0.0);
            s.sca.fill(0.0);
        }
        if (j == 3) { // a loose contact: 5 % extra scatter on every rate
            std::mt19937 rng(5);
            std::normal_distribution<double> jitter(1.0, 0.05);
            for (int i = 0; i < s.icr.size(); ++i) {
                s.icr[i] *= jitter(rng);
                s.sca[i] *= jitter(rng);
            }
        }
        i0 = s.i0;
        icrs.append(s.icr);
        scas.append(s.sca);
    }
    const QVector<ChannelComparison> channels = compareChannels(i0, icrs, scas);
    QCOMPARE(channels.size(), 8);
    const DeadTimeFlags misbehaving =
            DeadTimeFlag::FitFailed | DeadTimeFlag::Noisy | DeadTimeFlag::Outlier;
    for (const ChannelComparison &ch : channels) {
        const DeadTimeFlags f = ch.flags();
        const QString names = deadTimeFlagNames(f).join(QLatin1Char(' '));
        switch (ch.channel) {
        case 2:
            // A dead element is judged for what it is; its failed fits say nothing more.
            QCOMPARE(ch.preAmp.verdict, Verdict::NoCounts);
            QCOMPARE(ch.amp.verdict, Verdict::NoCounts);
            QCOMPARE(f, DeadTimeFlags(DeadTimeFlag::NoCounts));
            QCOMPARE(ch.preAmp.preferred, ModelPreference::Undecided);
            QVERIFY(std::isnan(ch.preAmp.paralyzable.tau));
            break;
        case 3:
            QVERIFY2(ch.preAmp.flags.testFlag(DeadTimeFlag::Noisy), qPrintable(names));
            QVERIFY2(ch.amp.flags.testFlag(DeadTimeFlag::Noisy), qPrintable(names));
            QVERIFY2(!f.testFlag(DeadTimeFlag::FitFailed), qPrintable(names));
            break;
        case 5:
            QVERIFY2(ch.preAmp.flags.testFlag(DeadTimeFlag::Outlier), qPrintable(names));
            QVERIFY2(ch.amp.flags.testFlag(DeadTimeFlag::Outlier), qPrintable(names));
            // Its scatter is judged under the law it follows, which fits it as
            // well as the others; the other law would miss it by far at this loss.
            QVERIFY2(!f.testFlag(DeadTimeFlag::Noisy), qPrintable(names));
            break;
        default:
            QVERIFY2(!(f & misbehaving), qPrintable(QString::number(ch.channel) + names));
        }
    }

    // On three channels each has two others, too few to say what is usual:
    // neither the loose contact nor the odd dead time may be flagged.
    const QVector<ChannelComparison> three =
            compareChannels(i0, { icrs[0], icrs[3], icrs[5] }, { scas[0], scas[3], scas[5] });
    for (const ChannelComparison &ch : three)
        QVERIFY2(!(ch.flags() & (DeadTimeFlag::Noisy | DeadTimeFlag::Outlier)),
                 qPrintable(deadTimeFlagNames(ch.flags()).join(QLatin1Char(' '))));
}

void TestExactFit::saturatedPreAmp_data()
{
    QTest::addColumn<DeadTimeModel>("law");
    QTest::addColumn<double>("lossAtTop");
    QTest::addColumn<double>("countingTime");
    QTest::addColumn<bool>("saturated");
    QTest::newRow("past the maximum") << DeadTimeModel::Paralyzable << 1.4 << 1.0 << true;
    QTest::newRow("below the maximum") << DeadTimeModel::Paralyzable << 0.8 << 1.0 << false;
    // So few counts that the two laws fit alike.
    QTest::newRow("past it, laws indistinguishable")
            << DeadTimeModel::Paralyzable << 1.2 << 1e-4 << true;
    // The paralyzable fit still puts the top of the scan at n tau0 = 1.17.
    QTest::newRow("past it, non-paralyzable law fits better")
            << DeadTimeModel::NonParalyzable << 3.0 << 1.0 << true;
}

void TestExactFit::saturatedPreAmp()
{
    QFETCH(DeadTimeModel, law);
    QFETCH(double, lossAtTop);
    QFETCH(double, countingTime);
    QFETCH(bool, saturated);
    Channel c;
    c.model = law;
    c.lossAtTop = lossAtTop; // n tau0 at the top of the scan
    const Scan s = simulate(c, 20, countingTime, 4);
    const StageComparison cmp = compareStage(FitStage::PreAmp, s.i0, s.icr);
    QVERIFY(cmp.paralyzable.ok);
    QCOMPARE(cmp.paralyzable.maxRateTau >= 1.0, saturated);
    QCOMPARE(cmp.flags.testFlag(DeadTimeFlag::Saturated), saturated);
    QCOMPARE(deadTimeFlagNames(cmp.flags).contains(QStringLiteral("saturated")), saturated);
}

void TestExactFit::degenerateInputsFail_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<FitFailure>("kind");
    const QVector<double> x { 1e4, 2e4, 3e4, 4e4 };
    QTest::newRow("two points") << QVector<double> { 1e4, 2e4 } << QVector<double> { 9e3, 1.6e4 }
                                << FitFailure::TooFewPoints;
    QTest::newRow("no points") << QVector<double>() << QVector<double>() << FitFailure::TooFewPoints;
    QTest::newRow("equal I0") << QVector<double>(4, 2e4) << QVector<double> { 1e4, 1.1e4, 0.9e4, 1e4 }
                              << FitFailure::OneRate;
    QTest::newRow("one I0 and zeros")
            << QVector<double> { 0, 0, 2e4, 2e4 } << QVector<double> { 0, 0, 1e4, 1.1e4 }
            << FitFailure::OneRate;
    QTest::newRow("zero rates") << x << QVector<double>(4, 0.0) << FitFailure::NoCounts;
    QTest::newRow("negative rate") << x << QVector<double> { 1e4, -2e4, 3e4, 3.5e4 }
                                   << FitFailure::BadInput;
    QTest::newRow("NaN rate") << x << QVector<double> { 1e4, notANumber, 3e4, 3.5e4 } << FitFailure::BadInput;
    QTest::newRow("infinite I0") << QVector<double> { 1e4, infinity, 3e4, 4e4 }
                                 << QVector<double> { 1e4, 2e4, 3e4, 3.5e4 } << FitFailure::BadInput;
    QTest::newRow("unequal columns") << x << QVector<double> { 1e4, 2e4, 3e4 } << FitFailure::BadInput;
    QTest::newRow("rising faster than linear")
            << x << QVector<double> { 1e4, 2.2e4, 3.6e4, 5.2e4 } << FitFailure::TauNotPositive;
}

// A reported failure with every number NaN, for both exact models and stages.
void TestExactFit::unusableQuadraticFails_data()
{
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<FitFailure>("kind");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<Verdict>("verdict");
    // Negative rates are points no law takes: left out, they leave none.
    QTest::newRow("negative rates: chi^2 infinite")
            << QVector<double> { -900, -1804, -2707, -3613, -4520 } << FitFailure::NonFinite
            << QStringLiteral("reduced chi^2 not finite") << Verdict::TooFewPoints;
    QTest::newRow("rising faster than linear")
            << QVector<double> { 1200, 2800, 4800, 7200, 10000 } << FitFailure::TauNotPositive
            << QStringLiteral("dead time not positive (-0.0002)") << Verdict::FitFailed;
}

// A quadratic that reports failure keeps its numbers (the result row shows
// them) but is never a successful fit.
void TestExactFit::unusableQuadraticFails()
{
    QFETCH(QVector<double>, y);
    QFETCH(FitFailure, kind);
    QFETCH(QString, failure);
    QFETCH(Verdict, verdict);
    const QVector<double> x { 1000, 2000, 3000, 4000, 5000 };
    for (FitStage st : { FitStage::PreAmp, FitStage::Amp }) {
        const StageFit f = fitStage(DeadTimeModel::Quadratic, st, x, y);
        QVERIFY(!f.ok);
        QCOMPARE(f.failureKind, kind);
        QCOMPARE(f.failure, failure);
        QVERIFY(std::isfinite(f.tau) && std::isfinite(f.tauStdErr));
    }
    const StageComparison s = compareStage(FitStage::PreAmp, x, y);
    QCOMPARE(s.verdict, verdict);
    QCOMPARE(s.flags, verdictFlag(verdict));
}

void TestExactFit::degenerateInputsFail()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(FitFailure, kind);
    for (DeadTimeModel m : { DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        for (FitStage st : { FitStage::PreAmp, FitStage::Amp }) {
            const StageFit f = fitStage(m, st, x, y);
            QVERIFY(!f.ok);
            QCOMPARE(f.failureKind, kind);
            QVERIFY(!f.failure.isEmpty());
            QVERIFY(std::isnan(f.tau) && std::isnan(f.tauStdErr) && std::isnan(f.scale));
        }
    }
}

void TestExactFit::hostileInputsStayBounded_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    const QVector<double> x { 1, 2, 3, 4, 5 };
    QTest::newRow("1e308 everywhere") << QVector<double>(5, 1e308) << QVector<double>(5, 1e308);
    QTest::newRow("1e308 rates") << x << QVector<double> { 1e308, 1e308, 1e308, 1e308, 1e308 };
    QTest::newRow("1e308 and tiny I0")
            << QVector<double> { 1e-300, 2e-300, 1e308, 1e308, 3e-300 } << x;
    QTest::newRow("huge n") << QVector<double> { 1e290, 2e290, 3e290, 4e290, 5e290 }
                            << QVector<double> { 1e-290, 5e-291, 1e-291, 1e-300, 0 };
    QTest::newRow("subnormal") << QVector<double> { 4e-320, 8e-320, 1.2e-319, 1.6e-319, 2e-319 }
                               << QVector<double> { 4e-320, 8e-320, 1e-319, 1.1e-319, 1.2e-319 };
    QTest::newRow("falling") << x << QVector<double> { 5, 4, 3, 2, 1 };
    QTest::newRow("one spike") << x << QVector<double> { 0, 0, 1e9, 0, 0 };
    QTest::newRow("constant") << x << QVector<double>(5, 3.0);
    // Found by fuzz_batch: the quadratic follows negative rates with a positive
    // dead time, but its weights have no scale, and its chi^2 is infinite.
    QTest::newRow("negative rates")
            << QVector<double> { 1000, 2000, 3000, 4000, 5000 }
            << QVector<double> { -900, -1804, -2707, -3613, -4520 };
    // Sums of squares overflow to inf, and the Gauss-Newton step to nan.
    QTest::newRow("values near the largest double")
            << QVector<double> { 1e308, 4.9e-324, 1.0, 2.0 }
            << QVector<double> { 1.0, 3.0, 1e308, 0.0 };
    QTest::newRow("one rate far above the others")
            << QVector<double> { 1.0, 2.0, 1e200 } << QVector<double> { 1.0, 2.0, 1.0 };
    QTest::newRow("counted rate far above the true one")
            << QVector<double> { 1.0, 2.0, 3.0 } << QVector<double> { 1e6, 2e6, 3e6 };
}

// Whatever the data, every fit, free or with d0 held at 1, ends within its
// iteration bound, and a fit that reports success carries finite, positive
// numbers.
void TestExactFit::hostileInputsStayBounded()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QVector<StageFit> fits;
    for (DeadTimeModel m :
         { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        fits << fitStage(m, FitStage::PreAmp, x, y) << fitStage(m, FitStage::Amp, x, y)
             << fitUnitScaleAmp(m, x, y);
    }
    for (const StageFit &f : fits) {
        const QString which = deadTimeModelName(f.model)
                + (f.stage == FitStage::PreAmp ? QStringLiteral(" pre-amp") : QStringLiteral(" amp"))
                + (f.parameters == 1 ? QStringLiteral(", d0 = 1") : QString());
        QVERIFY2(f.iterations <= 2 * maxFitIterationsPerPass, qPrintable(which));
        QVERIFY2(f.ok || !f.failure.isEmpty(), qPrintable(which));
        if (f.ok)
            QVERIFY2(f.tau > 0.0 && std::isfinite(f.tau) && std::isfinite(f.tauStdErr)
                             && std::isfinite(f.reducedChi2),
                     qPrintable(which));
    }
    const QVector<QVector<double>> cols { y, y, x, y };
    QCOMPARE(compareChannels(x, cols, cols).size(), 4);
}

QTEST_APPLESS_MAIN(TestExactFit)
#include "tst_exactfit.moc"
