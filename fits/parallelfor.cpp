// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallelfor.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// Below this much work in all (points visited, summed over the tasks) one
// thread finishes before a second has started.
constexpr double minParallelWork = 5e4;

} // namespace

void parallelFor(int count, int threads, const std::function<void(int)> &task)
{
    const int workers = std::max(1, std::min(threads, count));
    if (workers == 1) {
        for (int i = 0; i < count; ++i)
            task(i);
        return;
    }
    // Tasks are handed out one at a time, so that a slow fit does not hold
    // back a share fixed in advance.
    std::atomic<int> next { 0 };
    const auto work = [&] {
        for (int i = next++; i < count; i = next++)
            task(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(size_t(workers - 1));
    for (int t = 1; t < workers; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
}

int threadsFor(int count, double work)
{
    if (count < 2 || !(count * work >= minParallelWork))
        return 1;
    const int cores = int(std::thread::hardware_concurrency());
    return std::max(1, std::min(cores, count));
}
