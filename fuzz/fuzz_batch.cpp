// SPDX-License-Identifier: GPL-3.0-or-later
// The whole road of a batch of measurement files: the input is cut into
// several files at the record separator byte (0x1e); each is read as a spectrum
// file or else as a point table, the dead times are estimated, both output
// texts are formatted and both plots are painted, once the fast way and once
// the plain way, which must give the same pixels. The image size follows from
// the input, so that discs and lines meet the image edges at every offset.
#include "chcoord.h"
#include "deadtime.h"
#include "fuzzsupport.h"
#include "measvalues.h"
#include "pointtable.h"
#include "resultsfile.h"
#include "scatterplot.h"
#include "spectrumreader.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

constexpr char fileSeparator = '\x1e';
constexpr int maxFiles = 8;

struct ImageSize
{
    int width;
    int height;
};

// 16 to 271 by 12 to 203 pixels, from a hash of the input.
ImageSize imageSizeFor(const QByteArray &input)
{
    quint32 h = 2166136261u;
    for (char c : input)
        h = (h ^ quint8(c)) * 16777619u;
    return { 16 + int(h % 256), 12 + int((h >> 8) % 192) };
}

const QVector<QColor> colors { QColor(0, 0, 0),     QColor(255, 0, 0),   QColor(0, 255, 0),
                               QColor(0, 0, 255),   QColor(255, 255, 0), QColor(255, 0, 255),
                               QColor(0, 255, 255), QColor(128, 255, 0), QColor(128, 0, 255),
                               QColor(0, 128, 255), QColor(255, 128, 0), QColor(0, 255, 128),
                               QColor(255, 0, 128) };

struct Batch
{
    QVector<MeasValues> points;
    int chs = 0;
    ValueRanges ranges;

    void add(double i0, const QVector<double> &icrs, const QVector<double> &scas)
    {
        const MeasValues p { i0, icrs, scas };
        const int m = qMin(icrs.size(), scas.size());
        if (points.isEmpty() || m < chs)
            chs = m;
        points.append(p);
        ranges.include(p);
    }
};

void readFile(const QByteArray &bytes, Batch &batch)
{
    SpectrumPoint sp;
    readSpectrumBytes(bytes, sp);
    if (sp.ok) {
        batch.add(sp.i0, sp.icrs, sp.scas);
        return;
    }
    PointTableSink sink;
    sink.onPoint = [&batch](double i0, const QVector<double> &icrs, const QVector<double> &scas) {
        batch.add(i0, icrs, scas);
    };
    readPointTableBytes(bytes, sink);
}

int countOf(const QByteArray &text, const char *what)
{
    return text.count(what);
}

void checkResultsText(const QByteArray &text, int chs)
{
    const QList<QByteArray> lines = text.split('\n');
    bool good = text.startsWith("# Deadtime data\r\nPreamp:") && text.endsWith("\r\n")
            && lines.size() == 4 && countOf(text, "\r") == 3 && lines[2].startsWith("Amp:");
    // "Preamp:" and "Amp:" are followed by one blank-led value per channel.
    good = good && lines[1].count(' ') == chs && lines[2].count(' ') == chs;
    if (!good)
        fail("malformed results text", QString::fromLatin1(text.toPercentEncoding(" :#")));
}

void checkConfText(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    bool good = lines.size() == 4 && lines[3].isEmpty() && !text.contains('\r')
            && lines[0].startsWith("          ") && lines[1].startsWith("ICR0    ")
            && lines[2].startsWith("S025    ");
    // Seven numbers on the first line, 19 channel fields on the others.
    good = good && lines[0].mid(10).split(' ').size() == 7
            && lines[1].mid(8).split(' ').size() == 1 + 2 * 19
            && lines[2].mid(8).split(' ').size() == 1 + 2 * 19;
    if (!good)
        fail("malformed configuration text", QString::fromLatin1(text.toPercentEncoding(" :#")));
}

ScatterPlotData plotData(const Batch &batch, const DeadTimes *dt, bool i0Nin)
{
    ScatterPlotData d;
    d.points = batch.points.size();
    d.chs = batch.points.isEmpty() ? 0 : batch.chs;
    d.xs.resize(d.points * d.chs);
    d.ys.resize(d.points * d.chs);
    for (int p = 0; p < d.points; ++p) {
        const MeasValues &m = batch.points[p];
        const int have = qMin(m.icrs.size(), m.scas.size());
        for (int j = 0; j < d.chs; ++j) {
            const bool has = j < have;
            d.xs[p * d.chs + j] = i0Nin ? m.i0 : (has ? m.icrs[j] : 0.0);
            d.ys[p * d.chs + j] = i0Nin ? (has ? m.icrs[j] : 0.0) : (has ? m.scas[j] : 0.0);
        }
    }
    const ValueRanges &r = batch.ranges;
    if (i0Nin) {
        d.hasX = r.hasI0, d.xMin = r.i0Min, d.xMax = r.i0Max;
        d.hasY = r.hasIcr, d.yMin = r.icrMin, d.yMax = r.icrMax;
    } else {
        d.hasX = r.hasIcr, d.xMin = r.icrMin, d.xMax = r.icrMax;
        d.hasY = r.hasSca, d.yMin = r.scaMin, d.yMax = r.scaMax;
    }
    d.estimated = dt != nullptr;
    if (dt)
        d.fits = i0Nin ? dt->tau0Fits : dt->tauFits;
    return d;
}

QImage paint(const ScatterPlotData &data, ImageSize size, bool reference)
{
    QImage image(size.width, size.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    ChCoord coord;
    coord.setPixelRect(0, size.height, size.width, 0);
    QPainter p(&image);
    if (reference)
        drawScatterPlotReference(p, coord, data, colors);
    else
        drawScatterPlot(p, coord, data, colors);
    return image;
}

void checkPlot(const ScatterPlotData &data, ImageSize size, const char *name)
{
    const QImage fast = paint(data, size, false);
    const QImage plain = paint(data, size, true);
    if (fast != plain) {
        int differing = 0;
        QString first;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                if (fast.pixel(x, y) != plain.pixel(x, y) && differing++ == 0)
                    first = QStringLiteral("(%1, %2): %3 instead of %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(fast.pixel(x, y), 8, 16, QLatin1Char('0'))
                                    .arg(plain.pixel(x, y), 8, 16, QLatin1Char('0'));
            }
        }
        fail("fast and plain plot drawing differ",
             QStringLiteral("%1 plot %2x%3, %4 points, %5 channels: %6 pixels differ, first %7")
                     .arg(QLatin1String(name))
                     .arg(size.width)
                     .arg(size.height)
                     .arg(data.points)
                     .arg(data.chs)
                     .arg(differing)
                     .arg(first));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 20))
        return 0;
    const QByteArray input = inputBytes(data, size);
    QList<QByteArray> files = input.split(fileSeparator);
    while (files.size() > maxFiles)
        files.removeLast();

    Batch batch;
    for (const QByteArray &file : qAsConst(files))
        readFile(file, batch);

    DeadTimes dt;
    const bool estimated = batch.points.size() > 1 && batch.chs >= 2;
    if (estimated) {
        dt = estimateDeadTimes(batch.points, batch.chs);
        const int chs = batch.chs;
        if (dt.tau0s.size() != chs || dt.taus.size() != chs || dt.tau0Fits.size() != chs
            || dt.tauFits.size() != chs)
            fail("estimation without one result per channel", QString::number(chs));
        for (int j = 0; j < chs; ++j) {
            if (dt.tau0Fits[j].size() != 2 || dt.tauFits[j].size() != 2)
                fail("fit without two coefficients", QString::number(j));
        }
        checkResultsText(formatResultsFile(dt.tau0s, dt.taus), chs);
        checkConfText(formatConfFile(dt.tau0s, dt.taus));
    }

    const ImageSize imageSize = imageSizeFor(input);
    checkPlot(plotData(batch, estimated ? &dt : nullptr, true), imageSize, "I0-Nin");
    checkPlot(plotData(batch, estimated ? &dt : nullptr, false), imageSize, "Nin-Nout");
    return 0;
}
