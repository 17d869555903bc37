// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "channelresult.h"
#include "modelcomparison.h"

#include <QJsonDocument>
#include <QString>
#include <QVector>

#include <optional>

// The batch report of the exact dead-time models. A fit that failed shows as
// "failed" in the text (its other numbers as "-") and as null in JSON, with
// the reason under "failureI0Icr" or "failureIcrSca"; never as a number.

// What --model asks for: one of the three models, or all of them side by side.
struct ModelChoice
{
    bool compare = false;
    DeadTimeModel model = DeadTimeModel::Quadratic; // when not compare

    QString name() const;
};
// "quadratic", "paralyzable", "nonparalyzable" or "compare"; nothing otherwise.
std::optional<ModelChoice> parseModelChoice(const QString &name);

// One line per channel under an exact model: channel tau0 tau a tau0StdErr
// reducedChi2I0Icr d0 tauStdErr reducedChi2IcrSca aStdErr d0StdErr flags, the
// errors being the totals and the flags those of each stage.
QString formatExactTable(DeadTimeModel model, const QVector<ChannelComparison> &channels);

// One line per channel and stage (tau0, tau) with the dead time, its total
// error and the reduced chi^2 of each model, then each model's scale (a or d0)
// with its standard error, the preferred model and the stage's flags.
QString formatComparisonTable(const QVector<ChannelComparison> &channels);

// The reasons of the failed fits of the models given, one line each:
// "channel 2, I0 -> ICR, paralyzable: no convergence in 200 iterations".
QStringList failedFitLines(const QVector<ChannelComparison> &channels,
                           const QVector<DeadTimeModel> &models);

// {"model": name, "points": n, "channels": chs, "table": [...]}. Quadratic rows
// hold the columns of the text table plus the reduced chi^2 of both fits, the
// failure reasons and the channel's flags, a failed stage's chi^2 as null
// (and under compare its dead time and error too); exact rows tau0, tau0StdErr, tau, tauStdErr, a,
// aStdErr, d0, d0StdErr, both reduced chi^2, the failure reasons and the
// flags; compare rows the flags of each stage, the preferred model of each
// stage, and one such object per model. Every row also holds the parts of
// both errors (see insertUncertainty), each stage's flags, d0Fixed and
// excluded. rows and channels are in channel order.
QJsonDocument modelJson(const ModelChoice &choice, int points, int chs,
                        const QVector<ChannelResult> &rows,
                        const QVector<ChannelComparison> &channels);
