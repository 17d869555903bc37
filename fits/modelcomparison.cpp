// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelcomparison.h"

#include "parallelfor.h"
#include "pointset.h"
#include "unitscalefit.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

const DeadTimeModel allModels[]
    = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable };

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    const int n = v.size();
    return n % 2 ? v.at(n / 2) : 0.5 * (v.at(n / 2 - 1) + v.at(n / 2));
}

StageComparison &stageOf(ChannelComparison &c, FitStage stage)
{
    return stage == FitStage::PreAmp ? c.preAmp : c.amp;
}

bool isOk(const StageFit *f)
{
    return f->ok;
}

void flagFailures(StageComparison &s)
{
    for (const StageFit *f : { &s.quadratic, &s.paralyzable, &s.nonParalyzable }) {
        if (f->failureKind == FitFailure::TauNotPositive)
            s.flags |= DeadTimeFlag::TauNonPositive;
        else if (!isOk(f))
            s.flags |= DeadTimeFlag::FitFailed;
    }
}

ModelPreference preferenceOf(DeadTimeModel model)
{
    switch (model) {
    case DeadTimeModel::Paralyzable:
        return ModelPreference::Paralyzable;
    case DeadTimeModel::NonParalyzable:
        return ModelPreference::NonParalyzable;
    case DeadTimeModel::Quadratic:
        break;
    }
    return ModelPreference::Quadratic;
}

// Whether the chi^2 of a and b differ by less than the preference margin.
bool alike(const StageFit &a, const StageFit &b)
{
    const double unit = std::fmin(a.reducedChi2, b.reducedChi2);
    return std::fabs(a.chi2() - b.chi2()) <= preferenceThreshold * unit;
}

void choosePreference(StageComparison &s)
{
    const StageFit *best = nullptr;
    for (const StageFit *f : { &s.quadratic, &s.paralyzable, &s.nonParalyzable }) {
        if (isOk(f) && (!best || f->chi2() < best->chi2()))
            best = f;
    }
    if (!best) {
        s.preferred = ModelPreference::Undecided;
        return;
    }
    s.preferred = preferenceOf(best->model);
    for (const StageFit *f : { &s.quadratic, &s.paralyzable, &s.nonParalyzable }) {
        if (f != best && isOk(f) && alike(*f, *best))
            s.preferred = ModelPreference::Indistinguishable;
    }
}

// Biased only where the data prefer an exact law to the quadratic and the
// two dead times differ by more than their errors allow.
void flagQuadraticBias(StageComparison &s)
{
    const StageFit *exact = s.betterExact();
    const StageFit &q = s.quadratic;
    if (!exact || !q.ok || alike(q, *exact) || exact->chi2() > q.chi2())
        return;
    const double sigma = std::hypot(statisticalStdErr(q), statisticalStdErr(*exact));
    if (std::fabs(q.tau - exact->tau) > quadraticBiasSigmas * sigma)
        s.flags |= DeadTimeFlag::QuadraticBiased;
}

// With d0 held at 1 the free scale is still what tells whether that convention
// costs the data a share of their counts: the free quadratic, which is cheap,
// says it then.
void flagScaleLoss(StageComparison &s, const StageFit *freeQuadratic)
{
    const StageFit *f = freeQuadratic;
    if (!f)
        f = s.betterExact();
    if (!f)
        f = s.quadratic.ok ? &s.quadratic : nullptr;
    if (f && f->ok && f->scale > scaleLossRangeLow && f->scale < scaleLossRangeHigh
        && std::fabs(f->scale - 1.0) > scaleLossSigmas * f->scaleStdErr)
        s.flags |= DeadTimeFlag::ScaleLoss;
}

void flagUnderdispersed(StageComparison &s)
{
    for (const StageFit *f : { &s.quadratic, &s.paralyzable, &s.nonParalyzable }) {
        if (isOk(f) && f->reducedChi2 < underdispersionChi2)
            s.flags |= DeadTimeFlag::Underdispersed;
    }
}

void flagStage(StageComparison &s)
{
    flagFailures(s);
    choosePreference(s);
    flagQuadraticBias(s);
    // Past n = 1/tau a paralyzable stage counts less the more it receives. A
    // scan that far into the losses is worth the warning whichever law fits
    // better: real electronics are often neither law exactly.
    const StageFit &p = s.paralyzable;
    if (p.ok && p.maxRateTau >= 1.0)
        s.flags |= DeadTimeFlag::Saturated;
    flagUnderdispersed(s);
}

StageFit fitOne(DeadTimeModel model, FitStage stage, const QVector<double> &x,
                const QVector<double> &y, bool fixD0)
{
    if (fixD0 && stage == FitStage::Amp)
        return fitUnitScaleAmp(model, x, y);
    return fitStage(model, stage, x, y);
}

// The dead times of the files fitted alone whose fit succeeded.
QVector<double> fileDeadTimes(DeadTimeModel model, FitStage stage, const QVector<double> &x,
                              const QVector<double> &y, const ComparisonOptions &options)
{
    QVector<double> taus;
    if (options.files.size() < 2)
        return taus;
    for (const QVector<int> &file : options.files) {
        if (file.size() < 3)
            continue;
        QVector<double> fx;
        QVector<double> fy;
        for (int p : file) {
            if (usablePoint(x.value(p), y.value(p))) {
                fx.append(x.value(p));
                fy.append(y.value(p));
            }
        }
        const StageFit f = fitOne(model, stage, fx, fy, options.fixD0);
        if (f.ok)
            taus.append(f.tau);
    }
    return taus;
}

void setUncertainties(StageComparison &s, FitStage stage, const QVector<double> &x,
                      const QVector<double> &y, const ComparisonOptions &options)
{
    const StageFit &p = s.paralyzable;
    const StageFit &np = s.nonParalyzable;
    const double modelTerm = p.ok && np.ok && alike(p, np) ? 0.5 * std::fabs(p.tau - np.tau) : 0.0;
    for (DeadTimeModel model : allModels) {
        const StageFit &f = s.fit(model);
        TauUncertainty &u = s.uncertainty(model);
        u.statistical = statisticalStdErr(f);
        u.model = modelTerm;
        if (f.ok)
            setFileScatter(u, fileDeadTimes(model, stage, x, y, options));
        combine(u);
    }
}

// An element whose SCA lies above its ICR is broken (its fast channel misses
// events, or SCA counts another element's) only where most of the other
// elements' does not: a detector whose every SCA lies above its ICR counts
// them over a longer time, or in other units. Both stages are: an ICR that
// misses events makes the pre-amplifier's dead time as wrong as the
// amplifier's. A verdict the fits gave (fit-failed) yields to it; the
// verdicts on the columns do not.
void markBroken(QVector<ChannelComparison> &channels)
{
    const int n = channels.size();
    const auto above = std::count_if(channels.begin(), channels.end(),
                                     [](const ChannelComparison &c) { return c.amp.scaAboveIcr; });
    for (ChannelComparison &c : channels) {
        const int othersAbove = int(above) - 1;
        if (!c.amp.scaAboveIcr || 2 * othersAbove >= n - 1)
            continue;
        for (StageComparison *s : { &c.preAmp, &c.amp }) {
            if (s->verdict == Verdict::Determined || s->verdict == Verdict::FitFailed) {
                s->verdict = Verdict::Broken;
                s->flags = verdictFlag(s->verdict);
            }
        }
    }
}

} // namespace

QString modelPreferenceName(ModelPreference preference)
{
    switch (preference) {
    case ModelPreference::Paralyzable:
        return QStringLiteral("paralyzable");
    case ModelPreference::NonParalyzable:
        return QStringLiteral("nonparalyzable");
    case ModelPreference::Indistinguishable:
        return QStringLiteral("indistinguishable");
    case ModelPreference::Quadratic:
        return QStringLiteral("quadratic");
    case ModelPreference::Undecided:
        break;
    }
    return QStringLiteral("undecided");
}

QStringList deadTimeFlagNames(DeadTimeFlags flags)
{
    static const struct
    {
        DeadTimeFlag flag;
        const char *name;
    } names[] = {
        { DeadTimeFlag::FitFailed, "fit-failed" },
        { DeadTimeFlag::TauNonPositive, "tau-nonpositive" },
        { DeadTimeFlag::Outlier, "outlier" },
        { DeadTimeFlag::Noisy, "noisy" },
        { DeadTimeFlag::QuadraticBiased, "quadratic-biased" },
        { DeadTimeFlag::Saturated, "saturated" },
        { DeadTimeFlag::ScaleLoss, "scale-loss" },
        { DeadTimeFlag::NotIntensityScan, "not-intensity-scan" },
        { DeadTimeFlag::NoCounts, "no-counts" },
        { DeadTimeFlag::Broken, "broken" },
        { DeadTimeFlag::Underdispersed, "underdispersed" },
        { DeadTimeFlag::OneRate, "one-rate" },
        { DeadTimeFlag::TooFewPoints, "too-few-points" },
    };
    QStringList list;
    for (const auto &n : names) {
        if (flags.testFlag(n.flag))
            list.append(QString::fromLatin1(n.name));
    }
    return list;
}

const StageFit &StageComparison::fit(DeadTimeModel model) const
{
    switch (model) {
    case DeadTimeModel::Paralyzable:
        return paralyzable;
    case DeadTimeModel::NonParalyzable:
        return nonParalyzable;
    case DeadTimeModel::Quadratic:
        break;
    }
    return quadratic;
}

const TauUncertainty &StageComparison::uncertainty(DeadTimeModel model) const
{
    switch (model) {
    case DeadTimeModel::Paralyzable:
        return paralyzableError;
    case DeadTimeModel::NonParalyzable:
        return nonParalyzableError;
    case DeadTimeModel::Quadratic:
        break;
    }
    return quadraticError;
}

TauUncertainty &StageComparison::uncertainty(DeadTimeModel model)
{
    return const_cast<TauUncertainty &>(static_cast<const StageComparison *>(this)->uncertainty(model));
}

const StageFit *StageComparison::betterExact() const
{
    if (paralyzable.ok && nonParalyzable.ok)
        return nonParalyzable.chi2() < paralyzable.chi2() ? &nonParalyzable : &paralyzable;
    if (paralyzable.ok)
        return &paralyzable;
    if (nonParalyzable.ok)
        return &nonParalyzable;
    return nullptr;
}

DeadTimeFlags verdictFlag(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Determined:
        break;
    case Verdict::TooFewPoints:
        return DeadTimeFlag::TooFewPoints;
    case Verdict::NoCounts:
        return DeadTimeFlag::NoCounts;
    case Verdict::OneRate:
        return DeadTimeFlag::OneRate;
    case Verdict::Broken:
        return DeadTimeFlag::Broken;
    case Verdict::NotIntensityScan:
        return DeadTimeFlag::NotIntensityScan;
    case Verdict::FitFailed:
        return DeadTimeFlag::FitFailed;
    }
    return DeadTimeFlags();
}

StageComparison compareStage(FitStage stage, const QVector<double> &x, const QVector<double> &y,
                             const ComparisonOptions &options)
{
    StageComparison s;
    // A point that no law can take is left out of this stage's fits alone;
    // the columns are copied only then.
    s.leftOutPoints = unusablePoints(x, y);
    QVector<double> keptX;
    QVector<double> keptY;
    if (!s.leftOutPoints.isEmpty())
        keepUsable(x, y, keptX, keptY);
    const QVector<double> &ux = s.leftOutPoints.isEmpty() ? x : keptX;
    const QVector<double> &uy = s.leftOutPoints.isEmpty() ? y : keptY;
    s.quadratic = fitOne(DeadTimeModel::Quadratic, stage, ux, uy, options.fixD0);
    s.paralyzable = fitOne(DeadTimeModel::Paralyzable, stage, ux, uy, options.fixD0);
    s.nonParalyzable = fitOne(DeadTimeModel::NonParalyzable, stage, ux, uy, options.fixD0);
    flagStage(s);
    if (stage == FitStage::Amp) {
        const StageFit free = options.fixD0 ? fitStage(DeadTimeModel::Quadratic, stage, ux, uy)
                                            : StageFit();
        flagScaleLoss(s, options.fixD0 ? &free : nullptr);
    }
    s.verdict = judgeStage(stage, ux, uy, { &s.quadratic, &s.paralyzable, &s.nonParalyzable });
    // A channel recorded as nan throughout is as unconnected as one recorded
    // as zeros: it has no counts, however few of its points are usable.
    if (ux.isEmpty() && !x.isEmpty()
        && std::none_of(y.begin(), y.end(), [](double v) { return std::isfinite(v) && v != 0.0; }))
        s.verdict = Verdict::NoCounts;
    s.scaAboveIcr = stage == FitStage::Amp && scaAboveIcr(ux, uy);
    // What else the fits show means nothing where the data cannot give the
    // dead time: the reason is the stage's one flag.
    if (s.undetermined())
        s.flags = verdictFlag(s.verdict);
    setUncertainties(s, stage, x, y, options);
    return s;
}

ChannelComparison compareChannel(int channel, const QVector<double> &i0, const QVector<double> &icr,
                                 const QVector<double> &sca, const ComparisonOptions &options)
{
    ChannelComparison c;
    c.channel = channel;
    c.preAmp = compareStage(FitStage::PreAmp, i0, icr, options);
    c.amp = compareStage(FitStage::Amp, icr, sca, options);
    return c;
}

void flagAcrossChannels(QVector<ChannelComparison> &channels)
{
    markBroken(channels);
    const int n = channels.size();
    for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
        // Each channel against the others under the model that fits it better:
        // the two laws give different dead times for the same data, so only
        // like is compared with like.
        QVector<DeadTimeFlags> added(n);
        for (int j = 0; j < n; ++j) {
            const StageFit *own = stageOf(channels[j], stage).betterExact();
            if (!own || stageOf(channels[j], stage).undetermined())
                continue;
            QVector<double> taus;
            QVector<double> chi2s;
            for (int k = 0; k < n; ++k) {
                const StageComparison &others = stageOf(channels[k], stage);
                const StageFit &other = others.fit(own->model);
                if (k != j && other.ok && !others.undetermined()) {
                    taus.append(other.tau);
                    chi2s.append(other.reducedChi2);
                }
            }
            if (taus.size() < 3)
                continue;
            const double mid = median(taus);
            QVector<double> deviations;
            for (double t : taus)
                deviations.append(std::fabs(t - mid));
            // Channels with identical dead times would make any rounding an
            // outlier; a spread below a millionth of the dead time is no spread.
            const double mad = std::fmax(median(deviations), 1e-6 * std::fabs(mid));
            if (std::fabs(own->tau - mid) > outlierMads * mad)
                added[j] |= DeadTimeFlag::Outlier;
            // Scatter of a millionth of the largest rate is rounding, not noise.
            if (own->reducedChi2 > noisyFactor * median(chi2s)
                && own->reducedChi2 > 1e-12 * own->maxCounted)
                added[j] |= DeadTimeFlag::Noisy;
        }
        for (int j = 0; j < n; ++j)
            stageOf(channels[j], stage).flags |= added[j];
    }
}

QVector<ChannelComparison> compareChannels(const QVector<double> &i0,
                                           const QVector<QVector<double>> &icrs,
                                           const QVector<QVector<double>> &scas,
                                           const ComparisonOptions &options)
{
    const int n = std::min(icrs.size(), scas.size());
    QVector<ChannelComparison> channels(n);
    ChannelComparison *out = channels.data(); // detached here, before any thread writes
    for (int j = 0; j < n; ++j)
        out[j].channel = j;
    // Every stage of every channel is fitted on its own columns alone, so the
    // stages can run side by side: task 2j is channel j's pre-amplifier, 2j + 1
    // its amplifier, and each writes only its own stage.
    const auto compareOne = [&](int task) {
        const int j = task / 2;
        ChannelComparison &c = out[j];
        if (task % 2 == 0)
            c.preAmp = compareStage(FitStage::PreAmp, i0, icrs.at(j), options);
        else
            c.amp = compareStage(FitStage::Amp, icrs.at(j), scas.at(j), options);
    };
    // Five models' worth of passes over the points per stage, and as many
    // again over the files fitted alone.
    const double work = 5.0 * i0.size() * (options.files.size() > 1 ? 2 : 1);
    const int threads = options.threads > 0 ? options.threads : threadsFor(2 * n, work);
    parallelFor(2 * n, threads, compareOne);
    flagAcrossChannels(channels);
    return channels;
}

QVector<Verdict> stageVerdicts(const QVector<ChannelComparison> &channels, FitStage stage)
{
    QVector<Verdict> verdicts;
    for (const ChannelComparison &c : channels)
        verdicts.append(stage == FitStage::PreAmp ? c.preAmp.verdict : c.amp.verdict);
    return verdicts;
}

QVector<QVector<int>> pointsByFile(const PointSet &points)
{
    QVector<QVector<int>> files;
    QHash<QString, int> index;
    for (int p = 0; p < points.size(); ++p) {
        const QString &file = points.source(p).file;
        auto it = index.find(file);
        if (it == index.end()) {
            it = index.insert(file, files.size());
            files.append(QVector<int>());
        }
        files[*it].append(p);
    }
    return files;
}

QVector<ChannelComparison> compareChannels(const PointSet &points, bool fixD0)
{
    ComparisonOptions options;
    options.fixD0 = fixD0;
    options.files = pointsByFile(points);
    QVector<QVector<double>> icrs;
    QVector<QVector<double>> scas;
    for (int j = 0; j < points.chs(); ++j) {
        icrs.append(points.icrColumn(j));
        scas.append(points.scaColumn(j));
    }
    return compareChannels(points.i0s(), icrs, scas, options);
}
