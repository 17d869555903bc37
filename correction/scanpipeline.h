// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfile.h"
#include "scansetup.h"

#include <QString>

#include <functional>

class QIODevice;
struct ScanPlan;

// Fills a block with the next rows: false at the end of the scan, or with
// the error set.
using NextBlock = std::function<bool(ColumnBlock &, QString &)>;

// Corrects the blocks next gives, as the plan says, and writes them in the
// order of the scan: the output's line of names and then its rows to out,
// or the added columns to the sink. One thread reads, one per core corrects
// and formats, and the calling thread writes (with setup.oneThread, the
// calling thread does it all). The report counts the rows and the points left
// uncorrected, or says what stopped the scan.
void correctBlocks(const ScanCorrectionSetup &setup, const ScanPlan &plan, const NextBlock &next,
                   QIODevice *out, CorrectionSink *sink, ScanCorrectionReport &report);
