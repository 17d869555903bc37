// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtimemodel.h"
#include "verdict.h"

#include <QString>

// Dead-time correction of measured rates: the true input rate n of an element
// estimated by inverting the counting-loss law of its stages, and the factor
// k = n / SCA that turns an SCA or ROI rate into one free of counting losses.
//
// A stage's counted rate m = f(n; tau) rises with n up to the highest rate the
// law can produce: 1/(e tau) at n = 1/tau for the paralyzable law (above that,
// m falls again, so two n give one m and the low-rate branch is the physical
// one while the scan's rate rises with the beam), approaching 1/tau for the
// non-paralyzable law. A measured rate above it cannot be corrected.

// The dead times of one element, with their standard errors as a fit gives
// them. A standard error that is not known is NaN; the correction's error is
// then NaN too. d0TauCovariance couples the amplifier's scale and dead time,
// which one fit determines together and which are strongly anti-correlated.
struct ElementDeadTimes
{
    double tau0 = 0.0;
    double tau0StdErr = 0.0;
    double tau = 0.0;
    double tauStdErr = 0.0;
    double d0 = 1.0;
    double d0StdErr = 0.0;
    double d0TauCovariance = 0.0;
};

// What the fit said of an element's dead times beyond their numbers.
struct DeadTimesStanding
{
    Verdict tau0 = Verdict::Determined;
    Verdict tau = Verdict::Determined;
    bool leftOut = false; // left out of the fit's .conf (--exclude)
};

// Which measured rate the true rate is estimated from.
enum class CorrectionSource {
    Icr, // the pre-amplifier's output: n = f^-1(ICR; tau0)
    Sca, // the amplifier's output: SCA = d0 f(f(n; tau0); tau)
    // The amplifier stage alone, its input rate taken to be the measured ICR
    // (the pre-amplifier's dead time neglected): n = ICR, and k = ICR / f(ICR;
    // tau), the ratio of ICR to OCR the law gives, which corrects what the
    // amplifier passes (SCA, ROI counts) for its losses.
    AmpFromIcr,
};

// Why a point was left uncorrected; written as the number in the flag column.
enum class CorrectionFlag {
    None = 0,
    BeyondReach = 1, // a measured rate above the highest rate the law produces
    Uncertain = 2, // so close to that rate that k's standard error exceeds k
    BadValue = 3, // a negative or non-finite rate, or from ICR an SCA of zero
    NotDetermined = 4, // the element's dead times cannot correct it (see its refusal)
};

// One point of one element. Every number is NaN when flag is not None.
struct Correction
{
    double nTrue = 0.0;
    double k = 0.0;
    double kStdErr = 0.0;
    CorrectionFlag flag = CorrectionFlag::None;
};

// The highest rate a stage with dead time tau counts (for the non-paralyzable
// law its supremum, never reached).
double highestCountedRate(DeadTimeModel model, double tau);

// The true rate n with f(n; tau) = m on the low-rate branch; NaN for m beyond
// the law's reach, m < 0, or a model other than the two exact laws.
// Paralyzable: n = -W0(-m tau) / tau with Lambert's W0; non-paralyzable:
// n = m / (1 - m tau).
double trueRate(DeadTimeModel model, double m, double tau);

// Why these dead times cannot correct from source, or an empty text: tau0 (and
// for SCA tau and d0; for the amplifier alone only tau) must be finite and
// positive, the model an exact law.
QString deadTimesProblem(DeadTimeModel model, const ElementDeadTimes &dt,
                         CorrectionSource source);

// Why what the fit said of the dead times keeps them from correcting from
// source (a stage it needs undetermined, a broken element whatever the
// source, or the channel left out), with what would work instead; an empty
// text when nothing does.
QString standingProblem(const DeadTimesStanding &standing, CorrectionSource source);

// The correction of one point. From SCA, icr is not used; for the amplifier
// alone, sca is not. The caller has checked the dead times with
// deadTimesProblem.
Correction correctPoint(DeadTimeModel model, const ElementDeadTimes &dt, CorrectionSource source,
                        double icr, double sca);
