// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelcomparison.h"

#include "pointset.h"

#include <algorithm>
#include <cmath>

namespace {

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

void flagStage(StageComparison &s)
{
    for (const StageFit *f : { &s.quadratic, &s.paralyzable, &s.nonParalyzable }) {
        if (f->failureKind == FitFailure::TauNotPositive)
            s.flags |= DeadTimeFlag::TauNonPositive;
        else if (!f->ok)
            s.flags |= DeadTimeFlag::FitFailed;
    }

    const StageFit &p = s.paralyzable;
    const StageFit &np = s.nonParalyzable;
    if (p.ok && np.ok) {
        const double delta = np.chi2() - p.chi2();
        const double unit = std::fmin(p.reducedChi2, np.reducedChi2);
        if (std::fabs(delta) <= preferenceThreshold * unit)
            s.preferred = ModelPreference::Indistinguishable;
        else
            s.preferred = delta > 0.0 ? ModelPreference::Paralyzable : ModelPreference::NonParalyzable;
    } else if (p.ok) {
        s.preferred = ModelPreference::Paralyzable;
    } else if (np.ok) {
        s.preferred = ModelPreference::NonParalyzable;
    }

    const StageFit *best = s.betterExact();
    const StageFit &q = s.quadratic;
    if (best && q.ok && std::fabs(q.tau - best->tau) > quadraticBiasSigmas * q.tauStdErr)
        s.flags |= DeadTimeFlag::QuadraticBiased;

    // Past n = 1/tau a paralyzable stage counts less the more it receives. A
    // scan that far into the losses is worth the warning whichever law fits
    // better: real electronics are often neither law exactly.
    if (p.ok && p.maxRateTau >= 1.0)
        s.flags |= DeadTimeFlag::Saturated;
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

StageComparison compareStage(FitStage stage, const QVector<double> &x, const QVector<double> &y)
{
    StageComparison s;
    s.quadratic = fitStage(DeadTimeModel::Quadratic, stage, x, y);
    s.paralyzable = fitStage(DeadTimeModel::Paralyzable, stage, x, y);
    s.nonParalyzable = fitStage(DeadTimeModel::NonParalyzable, stage, x, y);
    flagStage(s);
    return s;
}

ChannelComparison compareChannel(int channel, const QVector<double> &i0, const QVector<double> &icr,
                                 const QVector<double> &sca)
{
    ChannelComparison c;
    c.channel = channel;
    c.preAmp = compareStage(FitStage::PreAmp, i0, icr);
    c.amp = compareStage(FitStage::Amp, icr, sca);
    return c;
}

void flagAcrossChannels(QVector<ChannelComparison> &channels)
{
    const int n = channels.size();
    for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
        // Each channel against the others under the model that fits it better:
        // the two laws give different dead times for the same data, so only
        // like is compared with like.
        QVector<DeadTimeFlags> added(n);
        for (int j = 0; j < n; ++j) {
            const StageFit *own = stageOf(channels[j], stage).betterExact();
            if (!own)
                continue;
            QVector<double> taus;
            QVector<double> chi2s;
            for (int k = 0; k < n; ++k) {
                const StageFit &other = stageOf(channels[k], stage).fit(own->model);
                if (k != j && other.ok) {
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
                                           const QVector<QVector<double>> &scas)
{
    QVector<ChannelComparison> channels;
    const int n = std::min(icrs.size(), scas.size());
    for (int j = 0; j < n; ++j)
        channels.append(compareChannel(j, i0, icrs.at(j), scas.at(j)));
    flagAcrossChannels(channels);
    return channels;
}

QVector<ChannelComparison> compareChannels(const PointSet &points)
{
    QVector<QVector<double>> icrs;
    QVector<QVector<double>> scas;
    for (int j = 0; j < points.chs(); ++j) {
        icrs.append(points.icrColumn(j));
        scas.append(points.scaColumn(j));
    }
    return compareChannels(points.i0s(), icrs, scas);
}
