// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QTextStream;

// Exit statuses of the batch command.
enum BatchStatus {
    BatchOk = 0,
    BatchNoEstimate = 1, // fewer than two points, or fewer than two common channels
    BatchUsageError = 2,
    BatchOutputError = 3, // a results file or the plot image could not be written
    BatchInputError = 4 // a recording or the recipe could not be read
};

// Runs the batch command: arguments as the process received them (program
// name first). Results go to out, messages to err. Needs a QGuiApplication
// when a plot is asked for.
int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err);
