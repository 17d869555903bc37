// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scansetup.h"

#include <QString>

class QIODevice;

// Reads the column file in, corrects every element of every row and writes
// to out a tab-separated column file: one line of names, then per row the
// scan's own columns followed, for each element n, by ntrue{n} (the true
// input rate), dtc{n} (k = ntrue / SCA), dtc{n}_err (k's standard error),
// dtc{n}_flag (0, or why the point was left uncorrected, see
// CorrectionFlag) and <roi>_corr = <roi> * k for each ROI pattern. The
// scan's own values are written as they were read. The scan is read,
// corrected and written in blocks, so memory stays flat whatever the length:
// one thread reads, one per core corrects and formats, and the calling thread
// (or, with setup.oneThread, the calling thread alone)
// writes the blocks in the order of the file. A row the reader cannot use, a recipe
// that does not fit the columns or dead times that cannot be matched to the
// elements stop the scan with an error; what was written to out by then is
// incomplete.
ScanCorrectionReport correctScan(const ScanCorrectionSetup &setup, QIODevice &in,
                                 QIODevice &out);

// correctScan over a scan that comes in blocks, into out as a column file or,
// with a sink, into the sink. The recipe of setup is the scan's.
ScanCorrectionReport correctScanBlocks(const ScanCorrectionSetup &setup, ScanBlockSource &in,
                                       QIODevice *out, CorrectionSink *sink = nullptr);

// Where the corrected copy of a scan goes: into dir when one is given, else
// beside the scan, as <base name>_dtc.tsv.
QString correctedScanPath(const QString &scan, const QString &dir = QString());
