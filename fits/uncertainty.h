// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"

#include <QVector>

#include <limits>

// Below this reduced chi^2 the weights (variance = value, as for counts) do
// not describe the noise: a hundred times less scatter than counting noise,
// as when ICR and SCA are counted on the same events, or rates over very long
// times. The statistical error is then not allowed to shrink further.
constexpr double underdispersionChi2 = 0.01;

// What the dead time of one stage under one model is uncertain by, in seconds.
//
//   statistical  the fit's standard error; where the reduced chi^2 is below
//                underdispersionChi2 it is scaled up by
//                sqrt(underdispersionChi2 / reduced chi^2), so that it is the
//                error the fit would give at that reduced chi^2
//   model        half the difference of the paralyzable and non-paralyzable
//                dead times when the data cannot tell the two laws apart, else 0
//   files        with points from k >= 2 files that each give a fit of their
//                own: the standard deviation of those k dead times over
//                sqrt(k), the scatter between repeated scans; else 0
//   total        sqrt(statistical^2 + model^2 + files^2)
struct TauUncertainty
{
    double statistical = std::numeric_limits<double>::quiet_NaN();
    double model = 0.0;
    double files = 0.0;
    double fileScatter = std::numeric_limits<double>::quiet_NaN(); // the standard deviation itself
    int fileFits = 0; // k, the files whose own fit succeeded
    double total = std::numeric_limits<double>::quiet_NaN();
};

// The statistical part of a fit, as described above.
double statisticalStdErr(const StageFit &fit);

// Sets files and fileScatter from the dead times of the files fitted alone.
void setFileScatter(TauUncertainty &u, const QVector<double> &fileTaus);

// Sets total from the three parts.
void combine(TauUncertainty &u);
