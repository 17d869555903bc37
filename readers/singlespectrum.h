// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnscan.h"
#include "mcafile.h"

class QIODevice;

// A single spectrum of one element as a text of two columns, channel and
// count, one file per intensity, under a header of "name: value" (or
// "name = value") entries, with or without "#", among them the real and the
// live time of the acquisition:
//
//   # RealTime: 10.0
//   # LiveTime: 8.52
//   # I0: 15234.5
//   0 12
//   1 15
//   ...
//
// It is read as the one element of an MCA file (see mcafile.h): the counts
// of channels a to b (window = a-b; all of them by default) over the live
// time give the ICR, over the real time the SCA, and the header's numeric
// entries are names a recipe's i0 can use.

// Whether the start of a file is such a spectrum: rows of two numbers, and
// entries whose names say real time and live time.
bool looksLikeSingleSpectrum(const QByteArray &head);

// The spectrum as an MCA file of one element; its error names the line.
McaFile readSingleSpectrum(QIODevice &device);

// Reads the spectrum through the recipe, or without one through the whole
// spectrum and an entry I0 (or IC0, i0_counts) of the header taken as the
// incident rate: one point, or the error.
ScanRead readSingleSpectrumScan(QIODevice &device, const Recipe *recipe);
