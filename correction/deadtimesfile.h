// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "correction.h"
#include "modelcomparison.h"

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QVector>

#include <optional>
#include <vector>

// The dead-time file: what a fit found, in the form a correction reads. It is
// the batch command's JSON report with these keys added:
//   "format": "ratelens-dead-times", "version": 1,
//   "deadTimes": { "<model>": [ { "channel", "tau0", "tau0StdErr", "a", "aStdErr",
//                  "tau", "tauStdErr", "d0", "d0StdErr", "d0TauCovariance",
//                  "flags" }, ... ], ... } for each exact model fitted,
//   "provenance": { "inputs": [ { "file", "sha256" } ], "recipe",
//                   "ratelensVersion", "created" }.
// The entries are those of channelDeadTimes: a failed fit's numbers, and an
// undetermined stage's, are null, the latter with "tau0Undetermined" or
// "tauUndetermined" naming the reason.

constexpr int deadTimesFileVersion = 1;

struct DeadTimesProvenance
{
    QStringList inputFiles;
    QString recipe; // the recipe's text; empty when the files needed none
    QString ratelensVersion;
    QDateTime created;
};

// This Ratelens's version, as a provenance records it.
QString ratelensVersion();

// The provenance of a fit of files, taken as it is made: their names and
// SHA-256 (null for a file that cannot be read), the time in UTC.
DeadTimesProvenance provenanceOf(const QStringList &files, const QString &recipe,
                                 const QString &version = ratelensVersion());

// Adds the dead-time file's keys to a report whose fits are channels.
void addDeadTimesFileKeys(QJsonObject &root, const QVector<DeadTimeModel> &models,
                          const QVector<ChannelComparison> &channels,
                          const DeadTimesProvenance &provenance);

// A dead-time file of its own, as the window saves it: the keys above with
// "model", "points" and "channels" of the report.
QJsonObject deadTimesFileJson(DeadTimeModel model, int points,
                              const QVector<ChannelComparison> &channels,
                              const DeadTimesProvenance &provenance);

// One channel's dead times as a correction uses them.
struct ChannelDeadTimes
{
    int channel = 0;
    ElementDeadTimes deadTimes; // NaN where a stage is undetermined or its fit failed
    QStringList flags;
    DeadTimesStanding standing;
};

// The one mapping from a channel's fits under an exact law to the dead times
// a correction uses: each stage's dead time with its total uncertainty (see
// TauUncertainty: the scatter between files and between the laws included),
// the amplifier's scale with its standard error, and cov(d0, tau) scaled with
// tau's error from the fit's own to the total, so that the two keep the
// correlation the fit found; the channel's flags and each stage's verdict. An
// undetermined stage, or one whose fit failed, has NaN numbers.
ChannelDeadTimes channelDeadTimes(const ChannelComparison &c, DeadTimeModel model);

struct DeadTimesFile
{
    DeadTimeModel model = DeadTimeModel::Paralyzable;
    QVector<ChannelDeadTimes> channels; // in channel order
    // The element number each channel was, from the provenance's recipe;
    // empty when the file does not tell (no recipe, or one whose element list
    // is not one per channel).
    std::vector<int> channelElements;
    QString error; // why the file cannot be used; empty when it can
};

// The element numbers of a fit's channels: the element list of the recipe
// its points were read through, when that recipe parses and lists one
// element per channel; else nothing.
std::vector<int> channelElementsOf(const QString &recipeText, int channels);

// Reads a dead-time file. model chooses among the laws of a file that holds
// both (from --model compare); a file with one law needs none, or that one.
// A channel whose fit failed has NaN dead times: deadTimesProblem names it;
// one undetermined or left out of the fit's .conf (the report's "excluded")
// says so in its standing.
DeadTimesFile readDeadTimesFile(const QByteArray &bytes,
                                std::optional<DeadTimeModel> model = std::nullopt);
