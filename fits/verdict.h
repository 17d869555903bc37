// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"

#include <QString>
#include <QVector>

class QJsonObject;

// Whether the data determine the dead time of one stage of one channel, and
// if not, why. Made once, where the stage is fitted, and obeyed by every
// output: an undetermined stage has no dead time anywhere (text
// "undetermined (reason)", null in JSON with the reason, nan in the results
// file, 0 in the .conf and left out of its means, no correction).
//
// Every criterion is free of the units the file uses: it compares the data
// with themselves (ratios, shares, the fit's residuals against the scatter
// from point to point), and takes spans without their outermost point, and
// medians and quartiles rather than extremes, so that one odd point does not
// decide it.
enum class Verdict {
    Determined,
    TooFewPoints, // fewer than 3 usable points
    NoCounts, // the stage's counts are all zero: an unconnected channel
    OneRate, // a column holds one value (zeros aside) at every point: a stale readout
    // both stages of an element whose SCA lies above its ICR at most points,
    // which no counting loss gives, where most of the detector's other
    // elements' does not (when every element's does, their SCA counts over a
    // longer time than their ICR, or in other units)
    Broken,
    NotIntensityScan, // pre-amplifier: I0 does not vary, or ICR is no function of it
    FitFailed, // no law gives a usable fit
};

// "determined", "too-few-points", "no-counts", "one-rate", "broken",
// "not-intensity-scan", "fit-failed".
QString verdictName(Verdict verdict);
// The verdict of a name verdictName gives; Determined for an empty text, and
// FitFailed, which nothing corrects with, for a name it does not know.
Verdict verdictNamed(const QString &name);
// What the reason means, in a few words, for messages.
QString verdictExplanation(Verdict verdict, FitStage stage);
// For an undetermined stage only, the key prefix + "Undetermined" with the
// reason's name: JSON whose dead times are all determined keeps its keys.
void insertVerdict(QJsonObject &o, const QString &prefix, Verdict verdict);

// Pre-amplifier: the I0 of a calibration must span at least this factor,
// also with any one point left out when there are oddPointsFrom or more.
constexpr double intensityScanSpan = 2.0;
constexpr int oddPointsFrom = 5;
// Pre-amplifier: ICR is no function of I0 when, under every law, the
// residuals spread more than lackOfFitScatter times the scatter from one
// point to the next (in the order of the points, or of I0) and miss a quarter
// of the points by more than lackOfFitShare of the rate. Energy scans miss by
// tens of per cent; a law that is only nearly right, on a real intensity
// scan, by a few per cent at most.
constexpr double lackOfFitScatter = 5.0;
constexpr double lackOfFitShare = 0.03;
// Amplifier: SCA lies above ICR when it exceeds ICR at more than half the
// points by more than brokenShare of ICR and brokenSigmas times the scatter
// of SCA/ICR between neighbouring rates.
constexpr double brokenShare = 0.01;
constexpr double brokenSigmas = 3.0;

// A point is usable in a stage's fits when both of its values are finite and
// not negative; any other (a dead readout, an intensity below zero after the
// dark current was taken off) is left out of that stage alone.
bool usablePoint(double x, double y);
// The indices of the points that are not usable.
QVector<int> unusablePoints(const QVector<double> &x, const QVector<double> &y);
// The usable points of x and y, in order.
void keepUsable(const QVector<double> &x, const QVector<double> &y, QVector<double> &keptX,
                QVector<double> &keptY);

// The verdict on a stage from its usable points (x the input: I0 or ICR; y
// the output: ICR or SCA) and its fits under the laws, any of which may have
// failed. Broken is left to the comparison with the other channels (see
// scaAboveIcr).
Verdict judgeStage(FitStage stage, const QVector<double> &x, const QVector<double> &y,
                   const QVector<const StageFit *> &fits);

// Whether SCA lies above ICR (see brokenShare) at most points.
bool scaAboveIcr(const QVector<double> &icr, const QVector<double> &sca);

// Whether every fit with numbers leaves residuals far beyond the scatter of
// the points (see lackOfFitScatter). False when no fit has numbers.
bool lacksFit(const QVector<double> &x, const QVector<double> &y,
              const QVector<const StageFit *> &fits);

// Whether the free fits of a stage's columns (all points, the unusable ones
// left out as compareStage does) are surely judged Determined, with the
// quadratic fit alone, which is cheap. When it says so, the exact fits
// cannot change that: they only add fits that may succeed where it failed or
// fit where it misses. When it does not, only compareStage tells.
bool surelyDetermined(FitStage stage, const QVector<double> &x, const QVector<double> &y);
