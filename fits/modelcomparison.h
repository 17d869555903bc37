// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"
#include "uncertainty.h"

#include <QFlags>
#include <QStringList>
#include <QVector>

class PointSet;

// Which of the three models describes a stage best: the one with the lowest
// chi^2 when every other model's chi^2 is higher by more than
// preferenceThreshold times the smallest reduced chi^2 (the variance per unit
// of rate that the best fit leaves): in counts, a chi^2 difference above 9,
// three standard deviations' worth. Otherwise the data cannot tell them apart.
enum class ModelPreference { Paralyzable, NonParalyzable, Indistinguishable, Undecided, Quadratic };
constexpr double preferenceThreshold = 9.0;

// "paralyzable", "nonparalyzable", "indistinguishable", "undecided", "quadratic".
QString modelPreferenceName(ModelPreference preference);

// What can be wrong with a stage of a channel. Every flag belongs to one stage:
// a channel's pre-amplifier can be saturated while its amplifier is fine.
enum class DeadTimeFlag {
    FitFailed = 0x1, // a fit gave no dead time (see StageFit::failure)
    TauNonPositive = 0x2, // a fit found no counting loss: tau <= 0
    Outlier = 0x4, // tau more than outlierMads median absolute deviations from the other channels' median
    Noisy = 0x8, // reduced chi^2 above noisyFactor times the other channels' median
    // an exact law fits better than the quadratic (by the preference margin)
    // and the two tau differ by more than 2 sigma of their difference
    QuadraticBiased = 0x10,
    Saturated = 0x20, // paralyzable: the scan reaches n * tau >= 1, where the counted rate stops rising
    ScaleLoss = 0x40, // amplifier: the free d0 is near 1 but more than 3 sigma from it
    NotIntensityScan = 0x80, // pre-amplifier: I0 spans less than a factor 2; tau0 not determined
    NoCounts = 0x100, // the stage's counts are all zero or missing
    Broken = 0x200, // amplifier: SCA above ICR by more than the noise allows at several points
    Underdispersed = 0x400, // reduced chi^2 below underdispersionChi2: weights do not describe the noise
};
Q_DECLARE_FLAGS(DeadTimeFlags, DeadTimeFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(DeadTimeFlags)

constexpr double outlierMads = 5.0;
constexpr double noisyFactor = 4.0;
constexpr double quadraticBiasSigmas = 2.0;
constexpr double scaleLossSigmas = 3.0;
// The free d0 is a loss only where the SCA column counts the same events as
// ICR (d0 near 1); a window's share or another counting time is no loss.
constexpr double scaleLossRangeLow = 0.5;
constexpr double scaleLossRangeHigh = 1.5;
// Pre-amplifier: the curvature of ICR against I0 needs I0 to vary.
constexpr double intensityScanSpan = 2.0;
// Amplifier: SCA above ICR by more than brokenSigmas sqrt(ICR + SCA) at this
// many points, while at some point it is not above ICR (a column of counts
// over a longer time than the ICR rate lies above it everywhere).
constexpr double brokenSigmas = 3.0;
constexpr int brokenPoints = 3;

// "fit-failed", "tau-nonpositive", "outlier", "noisy", "quadratic-biased",
// "saturated", "scale-loss", "not-intensity-scan", "no-counts", "broken",
// "underdispersed", in that order.
QStringList deadTimeFlagNames(DeadTimeFlags flags);

// One stage of one channel under all three models.
struct StageComparison
{
    StageFit quadratic;
    StageFit paralyzable;
    StageFit nonParalyzable;
    ModelPreference preferred = ModelPreference::Undecided;
    DeadTimeFlags flags;
    TauUncertainty quadraticError;
    TauUncertainty paralyzableError;
    TauUncertainty nonParalyzableError;

    const StageFit &fit(DeadTimeModel model) const;
    const TauUncertainty &uncertainty(DeadTimeModel model) const;
    TauUncertainty &uncertainty(DeadTimeModel model);
    // The dead time has no meaning for these inputs (not-intensity-scan); a
    // stage without counts has no number to show in the first place.
    bool undetermined() const;
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

// How the stages are fitted.
struct ComparisonOptions
{
    bool fixD0 = false; // the amplifier with d0 = 1 (see fitUnitScaleAmp)
    // The points of each measurement file, as indices into the columns. Files
    // of at least three points are also fitted alone, for the scatter
    // between them; empty: no such term.
    QVector<QVector<int>> files;
    // How many stages compareChannels fits at once: 0 for one per processor
    // core (one alone for small inputs). The results are the same whatever
    // the number.
    int threads = 0;
};

// The flags that the input columns alone decide: not-intensity-scan (I0 of
// the pre-amplifier), no-counts, broken (SCA against ICR of the amplifier).
// Cheap: no fit.
DeadTimeFlags inputFlags(FitStage stage, const QVector<double> &x, const QVector<double> &y);

// Fits one stage under the three models and sets the flags that the stage
// decides alone (fit-failed, tau-nonpositive, quadratic-biased, saturated,
// scale-loss, underdispersed and the input flags) and the uncertainties.
StageComparison compareStage(FitStage stage, const QVector<double> &x, const QVector<double> &y,
                             const ComparisonOptions &options = ComparisonOptions());

// Both stages of one channel from its columns, one value per point.
ChannelComparison compareChannel(int channel, const QVector<double> &i0, const QVector<double> &icr,
                                 const QVector<double> &sca,
                                 const ComparisonOptions &options = ComparisonOptions());

// Adds the flags that compare a channel with the others (outlier, noisy), per
// stage and per model. They need at least three other channels whose fit under
// the same model succeeded; with fewer, no channel gets them.
void flagAcrossChannels(QVector<ChannelComparison> &channels);

// The whole detector: icrs[j] and scas[j] are channel j's columns.
QVector<ChannelComparison> compareChannels(const QVector<double> &i0,
                                           const QVector<QVector<double>> &icrs,
                                           const QVector<QVector<double>> &scas,
                                           const ComparisonOptions &options = ComparisonOptions());

// The points of each file of points (by their source), for ComparisonOptions::files.
QVector<QVector<int>> pointsByFile(const PointSet &points);

// Every common channel of points, over all points in point order, with the
// scatter between the files they were read from.
QVector<ChannelComparison> compareChannels(const PointSet &points, bool fixD0 = false);
