// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnscan.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

class QIODevice;

// A multi-element MCA file: one spectrum per detector element, side by side,
// recorded at one incident intensity. Its header lines are "KEY: values":
//   VERSION:     first line, which identifies the format
//   ELEMENTS:    number of elements
//   CHANNELS:    number of bins per spectrum (optional; checks for truncation)
//   REAL_TIME:   per element, the real (clock) time of the acquisition, s
//   LIVE_TIME:   per element, the live time, s
//   ENVIRONMENT: name="value" (description), one line per entry
//   DATA:        the rows of counts follow, one row per bin, one column per
//                element
struct McaFile
{
    int elements = 0;
    std::vector<double> realTimes;
    std::vector<double> liveTimes;
    QMap<QString, double> environment;
    // Entries whose value is not a number (a date, a sample name), with that
    // value: not names a recipe can use, but named as such when it does.
    QMap<QString, QString> textEnvironment;
    // counts[e][bin]
    std::vector<std::vector<double>> counts;
    QString error; // the cause, naming the line; empty when ok()

    bool ok() const { return error.isEmpty(); }
};

McaFile readMcaFile(QIODevice &device);

// The names a recipe can use on an MCA file, besides its ENVIRONMENT entries:
// per element n, counts{n} (the counts in the recipe's window), real_time{n}
// and live_time{n}. Unless the recipe says otherwise, SCA = counts{n} /
// real_time{n} and ICR = counts{n} / live_time{n}: the counts over the time
// the electronics was busy or not give the rate that came in.
ScanRead readMcaScan(QIODevice &device, const Recipe *recipe);

// The same on spectra already read (by readMcaFile or another reader of
// spectra with real and live times).
ScanRead mcaScan(const McaFile &mca, const Recipe *recipe);

// The recipe as it is applied to an MCA file of the given number of
// elements: all of them unless it names some, and the ICR and SCA above
// unless it gives others.
Recipe mcaRecipe(const Recipe &recipe, int elements);

// The names of mcaColumns for a person writing a recipe, with their values;
// counts{n} here holds the counts of the whole spectrum.
void mcaPreview(const McaFile &mca, QStringList &names, std::vector<double> &values);
