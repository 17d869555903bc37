// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Exit statuses of the batch command.
enum BatchStatus {
    BatchOk = 0,
    BatchNoEstimate = 1, // fewer than two points, or fewer than two common channels
    BatchUsageError = 2,
    BatchOutputError = 3, // a results file or the plot image could not be written
    // some named file could not be read or gave no point; the rest were estimated
    BatchIncomplete = 3,
    BatchInputError = 4 // a recording or the recipe could not be read
};
