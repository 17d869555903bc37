// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelcomparison.h"

#include <QString>

// How the window words the fits, in the result boxes' tooltips and the Fit
// details table alike.

// The three laws, in the order the window lists them.
extern const DeadTimeModel allModels[3];

QString modelTitle(DeadTimeModel model);
QString preferenceTitle(ModelPreference preference);
// The flag names, or "none".
QString flagText(DeadTimeFlags flags);

// A dead time and its standard error for the window: "0.79877 ± 0.00071 µs",
// or "failed" when there is no number.
QString formatDeadTime(double tau, double stdErr, bool ok);

// The texts of one fit below show numbers only for a successful fit: the
// result row shows the quadratic's whatever its fit quality, but here a
// failed fit is a failure like the others.

// The dead time of a stage under model: "not determined" where the input
// cannot give it, else the value with its total error.
QString stageDeadTime(const StageComparison &s, DeadTimeModel model);
// The fitted scale (a or d0) with its error, or "(fixed)" when it was held.
QString scaleText(const StageFit &f);
QString chi2Text(const StageFit &f);
// The parts of the dead time's error under model, one a line.
QString errorParts(const StageComparison &s, DeadTimeModel model);

// "Not determined: why", for a stage the data do not determine.
QString notDeterminedText(const StageComparison &s);

// The tooltip of a result box: the stage's dead time under each model with its
// total error and scale (a or d0), the preferred model, the stage's own flags
// and the parts of the quadratic's error.
QString resultBoxToolTip(const ChannelComparison &channel, FitStage stage);
