// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfile.h"
#include "correction.h"

#include <QByteArray>

#include <vector>

struct ScanPlan;

// The corrections of a block of rows: per element of the plan, per row.
using BlockCorrections = std::vector<std::vector<Correction>>;

// The block's output lines into text: each row's own values, then for each
// element its ntrue, dtc, dtc_err, dtc_flag and ROI columns times k. False
// when the block is too large to be formatted at once (a single line of
// hundreds of megabytes).
bool formatCorrectedRows(const ScanPlan &plan, const BlockCorrections &corrections,
                         const ColumnBlock &block, QByteArray &text);

// The columns the corrections add to the block, in the order of the names of
// correctionColumnNames, for a sink that takes columns rather than text.
void correctedColumns(const ScanPlan &plan, const BlockCorrections &corrections,
                      const ColumnBlock &block, std::vector<std::vector<double>> &added);
