// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Runs task(0), ..., task(count - 1) on up to `threads` threads at once, the
// calling thread among them, and returns when all have run. Each task must
// write only what belongs to its own index; which thread runs which index, and
// in what order, then changes nothing in the results.
void parallelFor(int count, int threads, const std::function<void(int)> &task);

// The threads worth using for count tasks of about `work` arithmetic steps
// each: one per processor core, but a single one where starting threads would
// cost more than the tasks themselves.
int threadsFor(int count, double work);
