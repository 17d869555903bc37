// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stagefit.h"

// fitStage for the paralyzable and non-paralyzable laws: both parameters free,
// by weighted nonlinear least squares in two weighting passes.
StageFit fitExactStage(DeadTimeModel model, FitStage stage, const double *x, const double *y,
                       int n);
