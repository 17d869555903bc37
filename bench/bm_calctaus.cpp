// SPDX-License-Identifier: GPL-3.0-or-later
// The dead-time estimation alone: both quadratic fits of every channel over
// every point, without the result boxes; and the comparison of the exact
// counting-loss laws over the same kind of scan.

#include "benchdata.h"
#include "benchsupport.h"
#include "deadtime.h"
#include "modelcomparison.h"

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

// Every channel, both stages, under the quadratic and both exact laws, with
// the model choice and the flags: what a comparison of a detector costs. The
// channel columns are taken out once, as the point model hands them out.
void BM_FitExact(benchmark::State &state, int channels, int points)
{
    const QVector<MeasValues> data = benchdata::scanPoints(channels, points, benchdata::scanSeed);
    QVector<double> i0;
    QVector<QVector<double>> icrs(channels), scas(channels);
    for (const MeasValues &p : data) {
        i0.append(p.i0);
        for (int j = 0; j < channels; ++j) {
            icrs[j].append(p.icrs.value(j));
            scas[j].append(p.scas.value(j));
        }
    }
    // The simulated detector is paralyzable in both stages; a run in which the
    // paralyzable fits fail or miss the dead times by far times nothing useful.
    const QVector<ChannelComparison> first = compareChannels(i0, icrs, scas);
    for (const ChannelComparison &c : first) {
        const StageFit &pre = c.preAmp.paralyzable;
        const StageFit &amp = c.amp.paralyzable;
        if (!pre.ok || !amp.ok || !c.preAmp.nonParalyzable.ok || !c.amp.nonParalyzable.ok) {
            state.SkipWithError("an exact fit failed");
            return;
        }
        if (!(pre.tau > 0.6e-6 && pre.tau < 1.0e-6 && amp.tau > 1.2e-6 && amp.tau < 1.8e-6)) {
            state.SkipWithError("the exact dead times are implausible");
            return;
        }
    }
    for (auto _ : state) {
        QVector<ChannelComparison> c = compareChannels(i0, icrs, scas);
        benchmark::DoNotOptimize(c.constData());
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
    benchmark::RegisterBenchmark("BM_FitExact/19x50", BM_FitExact, 19, 50)
        ->Unit(benchmark::kMicrosecond);
    // The batch table's size: what the model comparison adds to every report
    // of a long scan, on all cores (wall and the whole process's CPU time).
    benchmark::RegisterBenchmark("BM_FitExact/19x100000", BM_FitExact, 19, 100000)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    return benchsupport::run(argc, argv);
}
