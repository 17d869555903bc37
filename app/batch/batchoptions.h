// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtimemodel.h"
#include "modelreport.h"
#include "optiontable.h"

#include <QSize>
#include <QStringList>
#include <QVector>

#include <optional>

class QTextStream;

// What one run of the estimating command was asked to do.
struct BatchOptions
{
    QStringList files;
    QString outputPath; // results file and its .conf companion; empty: none
    QString plotPath;   // PNG of both plots; empty: none
    QString recipePath; // recipe every file is read through; empty: none
    bool columns = false; // read unidentified files as column files
    bool pointTable = false; // read every file as a spectrum file or point table
    int scan = 0; // the scan of SPEC files of several; 0: none chosen
    QSize plotSize;
    bool json = false;
    bool barePlot = false;
    bool verbose = false;
    bool residuals = false;
    bool fixD0 = false; // the amplifier fitted with d0 = 1
    QVector<int> excluded; // channels left out of the .conf file, as given
    ModelChoice choice;

    // The models whose fits are reported: one, or all three under compare.
    QVector<DeadTimeModel> models() const;
    // The quadratic text table needs none of the exact fits.
    bool quadraticOnly() const;
};

// Parses the estimating command's arguments (program name first). Returns the
// options, or nothing with *status set: help and version are printed to out
// (status 0), usage errors to err (status 2).
std::optional<BatchOptions> parseBatchOptions(const QStringList &arguments, QTextStream &out,
                                              QTextStream &err, int *status);
