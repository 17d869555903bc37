// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of each diagnostic plot: P measurement points of 19 channels with
// their fitted curves, drawn into a 1500 x 350 image as the plot display
// would be painted (clear to white, set the pixel rectangle, draw).

#include "benchdata.h"
#include "benchsupport.h"
#include "chartmapping.h"
#include "deadtime.h"
#include "plotdata.h"
#include "pointset.h"
#include "scatterplot.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace {

constexpr int frameWidth = 1500;
constexpr int frameHeight = 350;
constexpr int plotChannels = 19;

ScatterPlotData plotData(int points, bool i0Nin)
{
    const PointSet scan
            = pointSetOf(benchdata::scanPoints(plotChannels, points, benchdata::scanSeed));
    const DeadTimes fits = estimateDeadTimes(scan);
    return scatterPlotData(i0Nin ? PlotKind::I0Nin : PlotKind::NinNout, scan, true,
                           i0Nin ? fits.tau0Fits : fits.tauFits);
}

using DrawFn = void (*)(QPainter &, ChartMapping &, const ScatterPlotData &,
                       const QVector<QColor> &);

void paintFrame(QImage &image, ChartMapping &coord, const ScatterPlotData &data, DrawFn draw)
{
    QPainter p(&image);
    p.fillRect(0, 0, frameWidth, frameHeight, Qt::white);
    coord.setPixelRect(0, frameHeight, frameWidth, 0);
    draw(p, coord, data, plotChannelColors());
}

int countNonWhite(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += (line[x] & 0xffffff) != 0xffffff;
    }
    return n;
}

void BM_Paint(benchmark::State &state, const char *family, bool i0Nin, DrawFn draw)
{
    const int points = int(state.range(0));
    const ScatterPlotData data = plotData(points, i0Nin);
    QImage image(frameWidth, frameHeight, QImage::Format_ARGB32_Premultiplied);
    ChartMapping coord;
    paintFrame(image, coord, data, draw);
    // Grid, discs and curves together cover far more than a few hundred
    // pixels; an empty frame would time a plot that draws nothing.
    if (countNonWhite(image) < 1000) {
        state.SkipWithError("the frame stayed (nearly) white");
        return;
    }
    // To look at what is being timed: RATELENS_BENCH_FRAMES=folder.
    const QString frames = qEnvironmentVariable("RATELENS_BENCH_FRAMES");
    if (!frames.isEmpty()) {
        image.save(QStringLiteral("%1/%2-%3.png")
                       .arg(frames, QLatin1String(family), QString::number(points)));
    }
    for (auto _ : state) {
        paintFrame(image, coord, data, draw);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * points * plotChannels);
}

void registerAll()
{
    struct Family
    {
        const char *name;
        bool i0Nin;
        DrawFn draw;
    };
    const Family families[] = {
        { "BM_PaintI0Nin", true, drawScatterPlot },
        { "BM_PaintNinNout", false, drawScatterPlot },
        { "BM_PaintI0NinReference", true, drawScatterPlotReference },
    };
    for (const Family &f : families) {
        benchmark::RegisterBenchmark(f.name, BM_Paint, f.name, f.i0Nin, f.draw)
            ->Arg(10)
            ->Arg(100)
            ->Arg(1000)
            ->Arg(10000)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchsupport::init(argc, argv);
    QGuiApplication app(argc, argv);
    registerAll();
    return benchsupport::run(argc, argv);
}
