// SPDX-License-Identifier: GPL-3.0-or-later
// The dead-time estimation alone: both quadratic fits of every channel over
// every point, without the result boxes.

#include "benchdata.h"
#include "benchsupport.h"
#include "deadtime.h"

#include <cmath>

namespace {

void BM_CalcTaus(benchmark::State &state, int channels, int points)
{
    const PointSet data
            = pointSetOf(benchdata::scanPoints(channels, points, benchdata::scanSeed));
    const DeadTimes first = estimateDeadTimes(data);
    if (first.tau0s.size() != channels || first.taus.size() != channels) {
        state.SkipWithError("the estimation did not give one dead time per channel");
        return;
    }
    // The data come from a detector with dead times near 0.8 us and 1.5 us;
    // a fit that lands far from them is not the estimation we mean to time.
    for (int j = 0; j < channels; ++j) {
        if (!(first.tau0s[j] > 0.2e-6 && first.tau0s[j] < 2e-6 && first.taus[j] > 0.4e-6
              && first.taus[j] < 4e-6)) {
            state.SkipWithError("the estimated dead times are implausible");
            return;
        }
    }
    for (auto _ : state) {
        DeadTimes d = estimateDeadTimes(data);
        benchmark::DoNotOptimize(d.tau0s.constData());
    }
    state.SetItemsProcessed(state.iterations() * points * channels);
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    benchmark::RegisterBenchmark("BM_CalcTaus/24x1000", BM_CalcTaus, 24, 1000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_CalcTaus/19x20", BM_CalcTaus, 19, 20)
        ->Unit(benchmark::kMicrosecond);
    return benchsupport::run(argc, argv);
}
