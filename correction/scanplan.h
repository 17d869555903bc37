// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfile.h"
#include "correction.h"
#include "recipe.h"
#include "scansetup.h"

#include <QString>
#include <QStringList>

#include <vector>

class QIODevice;

// Everything fixed for a scan once its column names are known: the recipe
// that turns its columns into rates, the elements it has, which dead times
// correct each, the ROI columns and the names of the output's columns.
struct ScanPlan
{
    Recipe recipeText; // compiled again by every worker: evaluation is not shared
    CompiledRecipe recipe;
    ColumnHeader header;
    CorrectionSource source = CorrectionSource::Sca;
    std::vector<int> elements;
    std::vector<int> deadTimeIndex; // per element, its entry in setup.deadTimes
    std::vector<QString> refused; // per element, why it is not corrected, or empty
    std::vector<std::vector<int>> roiColumns; // per element, column indices
    QStringList outputNames;

    // The dead times that correct element i (an index into elements).
    const ElementDeadTimes &deadTimes(const ScanCorrectionSetup &setup, size_t i) const
    {
        return setup.deadTimes[deadTimeIndex[i]];
    }
};

// Plans the correction of a scan whose names are in plan.header.names: the
// recipe (setup's, else the built-in one that fits), the source, the dead
// times of each element and the ROI columns. Returns why the scan cannot be
// corrected, or an empty string; report learns the recipe and whether one
// was missing.
QString planColumns(const ScanCorrectionSetup &setup, ScanPlan &plan, ScanCorrectionReport &report);

// The same for a column file: its header is read from in, which is left at
// the first row.
QString planColumnFile(const ScanCorrectionSetup &setup, QIODevice &in, ScanPlan &plan,
                       ScanCorrectionReport &report);

// Rows per block: fewer for a very wide scan, so that a block's output stays
// within a few megabytes whatever the number of columns.
int blockRows(const ScanPlan &plan);
