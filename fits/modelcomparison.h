// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"
#include "uncertainty.h"
#include "verdict.h"

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
    // The reasons of an undetermined stage (see Verdict), which is flagged
    // with its reason alone: fit-failed above, and these.
    NotIntensityScan = 0x80,
    NoCounts = 0x100,
    Broken = 0x200,
    Underdispersed = 0x400, // reduced chi^2 below underdispersionChi2: weights do not describe the noise
    OneRate = 0x800,
    TooFewPoints = 0x1000,
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

// "fit-failed", "tau-nonpositive", "outlier", "noisy", "quadratic-biased",
// "saturated", "scale-loss", "not-intensity-scan", "no-counts", "broken",
// "underdispersed", "one-rate", "too-few-points", in that order.
QStringList deadTimeFlagNames(DeadTimeFlags flags);

// The flag that names the reason of an undetermined stage; none for a
// determined one.
DeadTimeFlags verdictFlag(Verdict verdict);

// One stage of one channel under all three models.
struct StageComparison
{
    StageFit quadratic;
    StageFit paralyzable;
    StageFit nonParalyzable;
    ModelPreference preferred = ModelPreference::Undecided;
    // Undetermined: the stage has no dead time, whatever its fits made of
    // the points, and flags holds the reason's flag alone.
    Verdict verdict = Verdict::Determined;
    DeadTimeFlags flags;
    // Amplifier: SCA lies above ICR at most points (see scaAboveIcr).
    bool scaAboveIcr = false;
    // The points left out of the fits (a rate that is negative or not
    // finite), as indices into the columns.
    QVector<int> leftOutPoints;
    TauUncertainty quadraticError;
    TauUncertainty paralyzableError;
    TauUncertainty nonParalyzableError;

    const StageFit &fit(DeadTimeModel model) const;
    const TauUncertainty &uncertainty(DeadTimeModel model) const;
    TauUncertainty &uncertainty(DeadTimeModel model);
    bool undetermined() const { return verdict != Verdict::Determined; }
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

// Fits one stage under the three models on its usable points, judges it
// (see Verdict) and sets the flags that the stage decides alone (fit-failed,
// tau-nonpositive, quadratic-biased, saturated, scale-loss, underdispersed)
// and the uncertainties.
StageComparison compareStage(FitStage stage, const QVector<double> &x, const QVector<double> &y,
                             const ComparisonOptions &options = ComparisonOptions());

// Both stages of one channel from its columns, one value per point.
ChannelComparison compareChannel(int channel, const QVector<double> &i0, const QVector<double> &icr,
                                 const QVector<double> &sca,
                                 const ComparisonOptions &options = ComparisonOptions());

// Adds the flags that compare a channel with the others (outlier, noisy), per
// stage and per model. They need at least three other channels whose fit under
// the same model succeeded; with fewer, no channel gets them. An undetermined
// stage neither gets them nor counts among the others. First judges an
// amplifier whose SCA lies above its ICR broken where most other channels'
// does not.
void flagAcrossChannels(QVector<ChannelComparison> &channels);

// The whole detector: icrs[j] and scas[j] are channel j's columns.
QVector<ChannelComparison> compareChannels(const QVector<double> &i0,
                                           const QVector<QVector<double>> &icrs,
                                           const QVector<QVector<double>> &scas,
                                           const ComparisonOptions &options = ComparisonOptions());

// The verdicts on one stage of every channel, in channel order.
QVector<Verdict> stageVerdicts(const QVector<ChannelComparison> &channels, FitStage stage);

// The points of each file of points (by their source), for ComparisonOptions::files.
QVector<QVector<int>> pointsByFile(const PointSet &points);

// Every common channel of points, over all points in point order, with the
// scatter between the files they were read from.
QVector<ChannelComparison> compareChannels(const PointSet &points, bool fixD0 = false);
