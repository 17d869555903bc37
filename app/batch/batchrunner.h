// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchstatus.h"

#include <QStringList>

class QTextStream;

// Runs the batch command: arguments as the process received them (program
// name first). Results go to out, messages to err. Needs a QGuiApplication
// when a plot is asked for.
int runBatch(const QStringList &arguments, QTextStream &out, QTextStream &err);
