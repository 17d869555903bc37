// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtimemodel.h"

#include <QString>
#include <QVector>

#include <limits>

// Why a stage fit gave no dead time.
enum class FitFailure {
    None,
    TooFewPoints, // fewer than 3 points: no degree of freedom left for the errors
    BadInput, // a non-finite value, a negative rate or intensity, columns of unequal length
    NoCounts, // every rate is zero
    OneRate, // every point at the same intensity (or rate): the curvature is not determined
    NoConvergence, // the solver gave up, ran out of iterations, or the parameters stay undetermined
    NonFinite, // the fit ended on a non-finite dead time, error or reduced chi^2
    TauNotPositive, // the data show no counting loss (or a gain)
};

// The fit of one stage of one channel under one dead-time model.
//
// Pre-amplifier: ICR = f(a * I0; tau0), scale = a, tau = tau0.
// Amplifier:     SCA = d0 * f(ICR; tau), scale = d0.
//
// The exact models are fitted by weighted nonlinear least squares with the
// variance of a rate taken proportional to its value, as for counts; the
// proportionality (the counting time, the SCA window) is left to the data: it
// is the reduced chi^2, and the standard errors are the covariance scaled by
// it, so they are honest whatever the counting time or units. The reduced
// chi^2 is in the units of the rates: about 1 for raw counts, about 1/T for
// rates counted over T seconds, well above that when the model or the noise is
// off. Models are compared on the same data by chi^2 = reducedChi2 * (points - 2).
//
// The quadratic is the unweighted fit whose dead time and standard error the
// result row and the batch report show; its reduced chi^2 is the same weighted
// sum as for the exact models, so that the three can be compared.
//
// ok means a usable result: a finite, positive dead time with a finite error
// and a finite reduced chi^2. When ok is false, failure says why in a few
// words. An exact model then leaves every number NaN; the quadratic keeps its
// numbers, because they are what the result row and the saved files show
// whatever the fit quality, but no report shows them as a fit.
struct StageFit
{
    DeadTimeModel model = DeadTimeModel::Quadratic;
    FitStage stage = FitStage::PreAmp;
    bool ok = false;
    FitFailure failureKind = FitFailure::None;
    QString failure;
    double scale = 0.0; // a or d0
    double scaleStdErr = 0.0;
    double tau = 0.0; // tau0 or tau, in the inverse units of the rates
    double tauStdErr = 0.0;
    // cov(scale, tau) of the exact fits, which a correction needs: the two
    // come from one fit and move together. NaN for the quadratic.
    double scaleTauCovariance = std::numeric_limits<double>::quiet_NaN();
    double quadraticCoefficient = 0.0; // b or d1 of the quadratic model; NaN for the others
    double reducedChi2 = 0.0; // sum of (y - model)^2 / model over points - parameters
    double maxRateTau = 0.0; // n * tau at the highest true rate n of the scan
    double maxCounted = 0.0; // the largest y of the data
    int points = 0;
    int parameters = 2; // 1 when the amplifier's scale is held at d0 = 1
    int iterations = 0; // solver iterations, both weighting passes together

    double chi2() const { return reducedChi2 * (points - parameters); }

    // Marks the fit as no result, for the reason given.
    void setFailure(FitFailure kind, const QString &why);
    // Sets every number NaN, as an exact fit without a result leaves them.
    void clearNumbers();
};

// Counting noise has a variance proportional to the expected count, so the
// fits weight each point by the inverse of its value (measured or fitted),
// taken as at least this share of the largest value: a rate of zero would
// otherwise count as infinitely precise.
constexpr double weightFloor = 1e-3;

// Each nonlinear fit runs two passes of at most this many iterations, so a
// fit ends in bounded time whatever the data.
constexpr int maxFitIterationsPerPass = 100;

StageFit fitStage(DeadTimeModel model, FitStage stage, const double *x, const double *y, int n);
StageFit fitStage(DeadTimeModel model, FitStage stage, const QVector<double> &x,
                  const QVector<double> &y);

// The checks every nonlinear fit makes first: at least 3 points, each value
// finite and none negative. Sets xMax and yMax to the largest x and y; false,
// with the failure set on fit, when the points cannot be fitted.
bool checkFitInput(StageFit &fit, const double *x, const double *y, int n, double &xMax,
                   double &yMax);

// The value the fit predicts at x (I0 for the pre-amplifier, ICR for the
// amplifier): f(a x; tau0), d0 f(x; tau), or a x + b x^2 and d0 x + d1 x^2 for
// the quadratic. NaN when the fit has no numbers.
double fittedValue(const StageFit &fit, double x);

// The residuals in units of their expected spread, (y - m) / sqrt(reducedChi2 * m)
// with m the fitted value (floored as in the weights): the residuals the fit
// minimised, scaled so that their squares add up to points - 2. Where the model
// holds they scatter around 0 with a spread near 1; a trend with the rate shows
// the wrong law. NaN throughout when the fit has no numbers.
QVector<double> normalisedResiduals(const StageFit &fit, const QVector<double> &x,
                                    const QVector<double> &y);
