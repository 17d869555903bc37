// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfile.h"
#include "correction.h"
#include "recipe.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <vector>

// How to correct the scans of one run.
struct ScanCorrectionSetup
{
    DeadTimeModel model = DeadTimeModel::Paralyzable;
    // The dead times of the detector's channels. Each belongs to one element
    // of the detector, and correcting an element with another's is wrong
    // without any sign in the output. With channelElements (the element
    // number each entry was measured on) the scan's elements are matched by
    // number, and one without dead times is refused. Without it there must
    // be exactly one entry per element of the scan, in the order of its
    // recipe's element list: which entry is which element cannot be told
    // otherwise.
    QVector<ElementDeadTimes> deadTimes;
    // What the fit said of each entry of deadTimes (missing entries: all
    // determined). An element whose entry may not correct it (see
    // standingProblem), or whose numbers cannot (deadTimesProblem, for dead
    // times from a fit), is not corrected: its points get NotDetermined.
    QVector<DeadTimesStanding> standings;
    std::vector<int> channelElements;
    bool oneForAll = false; // deadTimes[0] holds for every element (typed-in dead times)
    bool typedIn = false; // typed in rather than read from a fit: for messages
    std::optional<CorrectionSource> source; // none: ICR when the recipe has one, else SCA
    std::optional<Recipe> recipe; // none: the built-in recipe that fits the columns
    QStringList roiPatterns; // column names with {n}, corrected as <name>_corr
    // Read, correct and write every block in turn on the calling thread:
    // slower, but the same steps in the same order on every run, as the
    // fuzzer's regression runs need.
    bool oneThread = false;
};

// What correcting one scan gave.
struct ScanCorrectionReport
{
    QString error; // why the scan could not be corrected; empty when it was
    bool needsRecipe = false; // no recipe was given, and none built in reads the scan
    QString recipeOrigin; // the recipe used, for messages
    CorrectionSource source = CorrectionSource::Sca;
    std::vector<int> elementNumbers;
    std::vector<qint64> uncorrected; // per element, the points left uncorrected
    // Per element: why it was not corrected at all (its dead times cannot
    // correct it), or empty.
    std::vector<QString> refused;
    qint64 rows = 0;

    bool ok() const { return error.isEmpty(); }
    qint64 totalUncorrected() const;
};

// Rows read, corrected and written per block, at most (fewer for a very wide
// scan).
constexpr int correctionBlockRows = 2048;

// A scan that is not a column file (an HDF5 scan, read through its recipe's
// datasets): named columns, handed out a block of rows at a time.
class ScanBlockSource
{
public:
    virtual ~ScanBlockSource() = default;
    virtual QStringList columnNames() const = 0;
    // The next rows into block: false at the end, or with error set.
    virtual bool readBlock(ColumnBlock &block, QString &error) = 0;
};

// Where the corrections go instead of a column file: the columns the
// correction adds (named as by correctionColumnNames), a block of rows at a
// time. Each call returns an empty string or what went wrong.
class CorrectionSink
{
public:
    virtual ~CorrectionSink() = default;
    virtual QString begin(const QStringList &addedNames) = 0;
    virtual QString write(const std::vector<std::vector<double>> &added) = 0;
};

// The names of the columns correctScan adds for element n and its ROI columns.
QStringList correctionColumnNames(int n, const QStringList &roiColumns);
