// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scancorrection.h"

#include <QString>

enum class Hdf5ScanOutput {
    ColumnFile, // as for a column file: the scan's datasets, then the added columns
    Hdf5File, // a new HDF5 file: the scan's objects, and the added columns in /dtc
};

// The group of the new HDF5 file that holds the added columns, one 1-D dataset
// each, named as the columns of the column file (ntrue1, dtc1, dtc1_err,
// dtc1_flag, Fe_Ka_mca1_corr, ...). A /dtc of the scan itself (an earlier
// correction) is not copied: it is replaced.
extern const char correctionGroup[];

// Where the HDF5 copy of a scan goes: into dir, as <base name>_dtc.h5.
QString correctedHdf5Path(const QString &scan, const QString &dir);

// Corrects an HDF5 scan read through the recipe's [datasets] (setup.recipe),
// a block of rows at a time, each block read by the helper program so that a
// damaged file cannot take the caller down and memory stays flat. The output
// is replaced only by a complete correction; the scan is never written to.
ScanCorrectionReport correctHdf5ScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                         const QString &output, Hdf5ScanOutput kind);
