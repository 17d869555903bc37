// SPDX-License-Identifier: GPL-3.0-or-later
// A batch of spectrum files through the main window, as the open dialog
// delivers it: reading, one panel per file, the estimation and its result
// boxes; then "Clear".

#include "benchdata.h"
#include "benchsupport.h"
#include "body.h"
#include "dispa.h"
#include "windowbench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>

namespace {

constexpr int batchFiles = 20;
constexpr int batchChannels = 19;
constexpr int batchBins = 4096;

QStringList writeBatch()
{
    static QStringList files;
    if (files.isEmpty()) {
        for (int i = 0; i < batchFiles; ++i) {
            const QByteArray bytes = benchdata::spectrumFile(
                batchChannels, batchBins, benchdata::scanI0(i, batchFiles),
                benchdata::spectrumSeed + std::uint64_t(i));
            files.append(benchsupport::writeScratch(
                QStringLiteral("batch-%1.dat").arg(i, 2, 10, QLatin1Char('0')), bytes));
        }
    }
    return files;
}

using windowbench::PaintCounter;
using windowbench::settle;

// Runs the event loop until both plots have been painted; false after 10 s.
bool waitForPlots(const PaintCounter &counter)
{
    return windowbench::waitForPaints(counter, 2, 10000);
}

void load(Body &body, const QStringList &files)
{
    emit body.openFileDialog()->filesSelected(files);
}

void clear(Body &body)
{
    QMetaObject::invokeMethod(&body, "clearMcas");
}

bool checkLoaded(benchmark::State &state, const Body &body)
{
    const MeasSet &m = body.measSet();
    if (m.mcas.size() != batchFiles || m.chs() != batchChannels || !m.estimated
        || m.tauLEs.size() != 2 * batchChannels) {
        state.SkipWithError("the batch did not give 20 panels of 19 channels and an estimation");
        return false;
    }
    return true;
}

bool checkCleared(benchmark::State &state, const Body &body)
{
    if (!body.measSet().mcas.isEmpty() || !body.measSet().tauLEs.isEmpty()) {
        state.SkipWithError("clearing left panels or result boxes behind");
        return false;
    }
    return true;
}

// The work done inside the two calls; layout, polish and painting follow in
// the event loop and are left out here.
void BM_LoadBatch(benchmark::State &state)
{
    const QStringList files = writeBatch();
    Body body;
    body.show();
    settle();
    load(body, files);
    if (!checkLoaded(state, body))
        return;
    clear(body);
    if (!checkCleared(state, body))
        return;
    settle();
    for (auto _ : state) {
        load(body, files);
        clear(body);
        state.PauseTiming();
        settle();
        state.ResumeTiming();
    }
}

// What the user waits for: the same, each step followed by the event loop
// until both plots have been repainted.
void BM_LoadBatchPainted(benchmark::State &state)
{
    const QStringList files = writeBatch();
    Body body;
    body.show();
    settle();
    PaintCounter counter;
    for (const char *name : { "I0NinDisp", "NinNoutDisp" }) {
        DispA *d = body.findChild<DispA *>(QLatin1String(name));
        if (!d) {
            state.SkipWithError("plot display not found");
            return;
        }
        d->installEventFilter(&counter);
    }
    for (auto _ : state) {
        counter.paints = 0;
        load(body, files);
        if (!waitForPlots(counter)) {
            state.SkipWithError("the plots were not repainted after loading");
            return;
        }
        // A few member reads: nothing next to the loading they check.
        if (!checkLoaded(state, body))
            return;
        counter.paints = 0;
        clear(body);
        if (!waitForPlots(counter)) {
            state.SkipWithError("the plots were not repainted after clearing");
            return;
        }
        if (!checkCleared(state, body))
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("BM_LoadBatch/20x19x4096", BM_LoadBatch)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LoadBatchPainted/20x19x4096", BM_LoadBatchPainted)
        ->Unit(benchmark::kMillisecond);
    return benchsupport::run(argc, argv);
}
