// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"

// The amplifier stage fitted with its scale held at d0 = 1: SCA = f(ICR; tau),
// one parameter. That is the convention of electronics whose SCA column is
// their total output count, under which published dead times are quoted: a
// fixed share of counts lost at every rate then shows in tau instead of d0.
//
// The quadratic is the unweighted fit of SCA - ICR = d1 ICR^2 (tau = -d1),
// its standard error from the residual variance RSS / (n - 1); the exact laws
// are fitted with the weights of the free fits (1 / fitted value, two passes)
// and their error scaled by the reduced chi^2 over n - 1 degrees of freedom.
// The result has scale 1, scaleStdErr 0 and parameters 1; failures are
// reported as by fitStage.
StageFit fitUnitScaleAmp(DeadTimeModel model, const double *x, const double *y, int n);
StageFit fitUnitScaleAmp(DeadTimeModel model, const QVector<double> &x, const QVector<double> &y);
