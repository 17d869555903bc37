// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scancorrection.h"

#include <QString>

// Corrects the file scan into the file output, which is replaced only by a
// complete correction: on any error it is left as it was. The scan itself is
// never written to. An HDF5 scan (correctHdf5ScanFile) also gives a column file.
ScanCorrectionReport correctScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                     const QString &output);
