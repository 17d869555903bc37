// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "correction.h"

#include <QStringList>
#include <QVector>

#include <optional>

class QTextStream;

// What one run of "ratelens-batch correct" was asked to do.
struct CorrectOptions
{
    QStringList scans;
    QString deadTimesPath; // the dead-time file; empty: typed-in dead times alone
    std::optional<DeadTimeModel> model;
    // Typed in: one value for all elements, or one each; with a dead-time
    // file they take the place of its values (one each: per channel).
    QVector<double> tau0s, taus, d0s;
    QString recipePath;
    std::optional<CorrectionSource> source;
    bool ampStageOnly = false; // --stages amp: the amplifier alone, from ICR
    QStringList roiPatterns;
    QString outputPath; // -o: the one scan's output
    QString outputDir; // --output-dir; with neither, beside each scan
    bool verbose = false;
};

// Parses the sub-command's arguments (program name first, "correct" removed).
// Returns the options, or nothing with *status set: help to out (0), usage
// errors to err (2).
std::optional<CorrectOptions> parseCorrectOptions(const QStringList &arguments, QTextStream &out,
                                                  QTextStream &err, int *status);
