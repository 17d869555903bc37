// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"

#include <QFlags>
#include <QStringList>
#include <QVector>

class PointSet;

// Which exact law describes a stage better. The data tell the two apart when
// their chi^2 differ by more than preferenceThreshold times the smaller
// reduced chi^2 (the variance per unit of rate that the better fit leaves):
// in counts, a chi^2 difference above 9, three standard deviations' worth.
enum class ModelPreference { Paralyzable, NonParalyzable, Indistinguishable, Undecided };
constexpr double preferenceThreshold = 9.0;

// "paralyzable", "nonparalyzable", "indistinguishable", "undecided".
QString modelPreferenceName(ModelPreference preference);

// What can be wrong with a stage of a channel. Every flag belongs to one stage:
// a channel's pre-amplifier can be saturated while its amplifier is fine.
enum class DeadTimeFlag {
    FitFailed = 0x1, // a fit gave no dead time (see StageFit::failure)
    TauNonPositive = 0x2, // a fit found no counting loss: tau <= 0
    Outlier = 0x4, // tau more than outlierMads median absolute deviations from the other channels' median
    Noisy = 0x8, // reduced chi^2 above noisyFactor times the other channels' median
    QuadraticBiased = 0x10, // the quadratic tau more than 2 of its sigma from the better exact fit's
    Saturated = 0x20, // paralyzable: the scan reaches n * tau >= 1, where the counted rate stops rising
};
Q_DECLARE_FLAGS(DeadTimeFlags, DeadTimeFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(DeadTimeFlags)

constexpr double outlierMads = 5.0;
constexpr double noisyFactor = 4.0;
constexpr double quadraticBiasSigmas = 2.0;

// "fit-failed", "tau-nonpositive", "outlier", "noisy", "quadratic-biased",
// "saturated", in that order.
QStringList deadTimeFlagNames(DeadTimeFlags flags);

// One stage of one channel under all three models.
struct StageComparison
{
    StageFit quadratic;
    StageFit paralyzable;
    StageFit nonParalyzable;
    ModelPreference preferred = ModelPreference::Undecided;
    DeadTimeFlags flags;

    const StageFit &fit(DeadTimeModel model) const;
    // The exact fit with the lower chi^2 (the only one that succeeded, if
    // one failed); nullptr when both failed.
    const StageFit *betterExact() const;
};

struct ChannelComparison
{
    int channel = 0;
    StageComparison preAmp; // I0 -> ICR, tau0
    StageComparison amp; // ICR -> SCA, tau
    DeadTimeFlags flags() const { return preAmp.flags | amp.flags; }
};

// Fits one stage under the three models and sets the flags that the stage
// decides alone (fit-failed, tau-nonpositive, quadratic-biased, saturated).
StageComparison compareStage(FitStage stage, const QVector<double> &x, const QVector<double> &y);

// Both stages of one channel from its columns, one value per point.
ChannelComparison compareChannel(int channel, const QVector<double> &i0, const QVector<double> &icr,
                                 const QVector<double> &sca);

// Adds the flags that compare a channel with the others (outlier, noisy), per
// stage and per model. They need at least three other channels whose fit under
// the same model succeeded; with fewer, no channel gets them.
void flagAcrossChannels(QVector<ChannelComparison> &channels);

// The whole detector: icrs[j] and scas[j] are channel j's columns.
QVector<ChannelComparison> compareChannels(const QVector<double> &i0,
                                           const QVector<QVector<double>> &icrs,
                                           const QVector<QVector<double>> &scas);

// Every common channel of points, over all points in point order.
QVector<ChannelComparison> compareChannels(const PointSet &points);
