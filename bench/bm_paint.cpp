// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of each diagnostic plot: P measurement points of 19 channels with
// their fitted curves, drawn into a 1500 x 350 image as the plot display
// would be painted (clear to white, set the pixel rectangle, draw).

#include "benchdata.h"
#include "benchsupport.h"
#include "body.h"
#include "chcoord.h"
#include "deadtime.h"
#include "scatterplot.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace {

constexpr int frameWidth = 1500;
constexpr int frameHeight = 350;
constexpr int plotChannels = 19;

ScatterPlotData plotData(int points, bool i0Nin)
{
    const QVector<MeasValues> scan
        = benchdata::scanPoints(plotChannels, points, benchdata::scanSeed);
    const DeadTimes fits = estimateDeadTimes(scan, plotChannels);
    ValueRanges ranges;
    ScatterPlotData d;
    d.points = points;
    d.chs = plotChannels;
    for (const MeasValues &m : scan) {
        ranges.include(m);
        for (int j = 0; j < plotChannels; ++j) {
            d.xs.append(i0Nin ? m.i0 : m.icrs[j]);
            d.ys.append(i0Nin ? m.icrs[j] : m.scas[j]);
        }
    }
    if (i0Nin) {
        d.hasX = ranges.hasI0, d.xMin = ranges.i0Min, d.xMax = ranges.i0Max;
        d.hasY = ranges.hasIcr, d.yMin = ranges.icrMin, d.yMax = ranges.icrMax;
        d.fits = fits.tau0Fits;
    } else {
        d.hasX = ranges.hasIcr, d.xMin = ranges.icrMin, d.xMax = ranges.icrMax;
        d.hasY = ranges.hasSca, d.yMin = ranges.scaMin, d.yMax = ranges.scaMax;
        d.fits = fits.tauFits;
    }
    d.estimated = true;
    return d;
}

const QVector<QColor> &channelColors()
{
    // The window's own colour table, so that the frames match the program's.
    static const QVector<QColor> colors = [] {
        Body body;
        return body.channelColors();
    }();
    return colors;
}

using DrawFn = void (*)(QPainter &, ChCoord &, const ScatterPlotData &, const QVector<QColor> &);

void paintFrame(QImage &image, ChCoord &coord, const ScatterPlotData &data, DrawFn draw)
{
    QPainter p(&image);
    p.fillRect(0, 0, frameWidth, frameHeight, Qt::white);
    coord.setPixelRect(0, frameHeight, frameWidth, 0);
    draw(p, coord, data, channelColors());
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
    ChCoord coord;
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
    QApplication app(argc, argv);
    registerAll();
    return benchsupport::run(argc, argv);
}
