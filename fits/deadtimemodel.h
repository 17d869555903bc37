// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// How a detector stage loses counts at high rates. A stage that sees the true
// rate n and is dead for tau after each event it registers counts
//   paralyzable:     m = n * exp(-n * tau)  (every event restarts the dead time)
//   non-paralyzable: m = n / (1 + n * tau)  (events during the dead time are lost)
// Both expand to m = n - tau * n^2 for n * tau << 1; the quadratic model fits
// exactly that expansion and is therefore biased once n * tau is not small.
enum class DeadTimeModel { Quadratic, Paralyzable, NonParalyzable };

// "quadratic", "paralyzable", "nonparalyzable".
QString deadTimeModelName(DeadTimeModel model);
// The model of a name as deadTimeModelName gives it; nothing for any other text.
std::optional<DeadTimeModel> parseDeadTimeModel(const QString &name);

// The counted rate m of a stage with dead time tau at true rate n under the
// model (the quadratic gives its expansion n - tau * n^2).
double countedRate(DeadTimeModel model, double n, double tau);

// The two stages of a detector channel. The pre-amplifier sees the true rate
// a * I0 and passes ICR = f(a * I0; tau0); the amplifier sees ICR and passes
// SCA = d0 * f(ICR; tau), d0 holding the SCA window's share and counting time.
enum class FitStage { PreAmp, Amp };
