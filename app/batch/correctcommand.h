// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class QTextStream;

// Exit statuses of "ratelens-batch correct".
enum CorrectStatus {
    CorrectOk = 0, // every point of every scan corrected
    CorrectUnusable = 1, // a scan, the dead times or the recipe could not be used, or not written
    CorrectUsageError = 2,
    CorrectIncomplete = 3, // some points were left uncorrected (nan and a flag)
};

// Runs "ratelens-batch correct": arguments with the program name first and
// "correct" removed.
int runCorrect(const QStringList &arguments, QTextStream &out, QTextStream &err);
