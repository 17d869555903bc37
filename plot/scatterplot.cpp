// SPDX-License-Identifier: GPL-3.0-or-later
#include "scatterplot.h"

#include "chartmapping.h"

#include <QImage>
#include <QLine>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QPolygonF>
#include <QRect>
#include <QTransform>

#include <cmath>
#include <limits>
#include <utility>

namespace {

// Far beyond any display, so a clamped line still leaves the picture at very
// nearly its true angle, yet small enough for the raster engine's fixed-point
// coordinates.
constexpr double pixelLimit = 1 << 22;

// The grid steps a tenth of its limit, so it has 10 or 11 lines. The bound only
// matters when the step underflows and would never reach the limit.
constexpr int maxGridLines = 11;

constexpr int curveIntervals = 100;

// Below this a value span cannot be divided into the pixels of any picture
// (up to pixelLimit wide) without the scale overflowing to infinity.
constexpr double minSpan = 1e-300;

constexpr int discRadius = 3;
constexpr int discSize = 7;

struct Range
{
    double lo;
    double hi;
};

int toPixel(double v)
{
    return int(qBound(-pixelLimit, v, pixelLimit));
}

bool mapPoint(const ChartMapping &coord, double x, double y, QPoint *out)
{
    const double px = coord.xToPixel(x);
    const double py = coord.yToPixel(y);
    if (!std::isfinite(px) || !std::isfinite(py))
        return false;
    *out = QPoint(toPixel(px), toPixel(py));
    return true;
}

// The value range of one axis: the data range with 5 % added on both sides.
Range axisRange(bool has, double lo, double hi, const double *values, int count)
{
    if (!has)
        return { -1.1, 1.1 };
    if (!(std::isfinite(lo) && std::isfinite(hi) && lo <= hi)) {
        // Infinite or unparsable measurements: scale to what can be drawn.
        lo = std::numeric_limits<double>::infinity();
        hi = -lo;
        for (int i = 0; i < count; ++i) {
            const double v = values[i];
            if (std::isfinite(v)) {
                lo = qMin(lo, v);
                hi = qMax(hi, v);
            }
        }
        if (lo > hi)
            return { -1.1, 1.1 };
    }

    Range r;
    if (lo < hi) {
        const double d = 0.05 * (hi - lo);
        r = { lo - d, hi + d };
    } else {
        // All values equal: show them in the middle of a range from 0 to
        // twice the value, so the grid from 0 stays in view.
        const double h = lo != 0 ? std::fabs(lo) : 1.1;
        r = { lo - h, lo + h };
    }

    // Values near the largest double: keep the span itself representable and
    // let the outermost points fall off the picture.
    constexpr double big = std::numeric_limits<double>::max() / 2;
    if (!(std::isfinite(r.lo) && std::isfinite(r.hi) && std::isfinite(r.hi - r.lo))) {
        r.lo = qBound(-big, r.lo, big);
        r.hi = qBound(-big, r.hi, big);
        if (r.lo == r.hi) {
            if (r.hi > 0)
                r.lo = r.hi / 2;
            else
                r.hi = r.lo / 2;
        }
    }
    // Only a span that cannot be mapped at all is widened; a tiny one that can
    // is drawn as it is, however small its values.
    if (!(r.hi - r.lo >= minSpan)) {
        const double mid = r.lo / 2 + r.hi / 2;
        r = { mid - minSpan / 2, mid + minSpan / 2 };
    }
    return r;
}

void drawVerticalLine(QPainter &p, const ChartMapping &coord, double v)
{
    const double px = coord.xToPixel(v);
    if (!std::isfinite(px))
        return;
    const int x = toPixel(px);
    const QLine line(x, toPixel(coord.wy0), x, toPixel(coord.wy1));
    p.drawLines(&line, 1);
}

void drawHorizontalLine(QPainter &p, const ChartMapping &coord, double v)
{
    const double py = coord.yToPixel(v);
    if (!std::isfinite(py))
        return;
    const int y = toPixel(py);
    const QLine line(toPixel(coord.wx0), y, toPixel(coord.wx1), y);
    p.drawLines(&line, 1);
}

void drawGrid(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data,
              const PlotGrid *grid)
{
    p.setPen(QColor(200, 200, 200));
    if (grid) {
        for (double v : grid->xs)
            drawVerticalLine(p, coord, v);
        for (double v : grid->ys)
            drawHorizontalLine(p, coord, v);
        return;
    }

    const double xLimit = data.hasX ? data.xMax : 1.0;
    const double xStep = data.hasX ? data.xMax / 10 : 0.1;
    double v = 0;
    for (int i = 0; i < maxGridLines && v < xLimit; ++i, v += xStep)
        drawVerticalLine(p, coord, v);

    const double yLimit = data.hasY ? data.yMax : 1.0;
    const double yStep = data.hasY ? data.yMax / 10 : 0.1;
    v = 0;
    for (int i = 0; i < maxGridLines && v < yLimit; ++i, v += yStep)
        drawHorizontalLine(p, coord, v);
}

QColor channelColor(const QVector<QColor> &colors, int j)
{
    return colors.isEmpty() ? QColor(Qt::black) : colors[j % colors.size()];
}

QRectF discRect(QPoint c)
{
    return QRectF(c.x() - discRadius, c.y() - discRadius, discSize, discSize);
}

constexpr int markerShapes = 5;

int markerShape(int j, int colorCount)
{
    return colorCount > 0 ? (j / colorCount) % markerShapes : 0;
}

// The marker of the given shape (see channelMarker).
QPainterPath markerPath(QPoint c, int shape)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const QRectF box = discRect(c);
    const QPointF m = box.center();
    switch (shape) {
    case 0:
        path.addEllipse(box);
        break;
    case 1:
        path.addRect(box);
        break;
    case 2: // diamond
        path.addPolygon(QPolygonF({ QPointF(m.x(), box.top() - 1), QPointF(box.right() + 1, m.y()),
                                    QPointF(m.x(), box.bottom() + 1),
                                    QPointF(box.left() - 1, m.y()) }));
        break;
    case 3: // triangle, point up
        path.addPolygon(QPolygonF({ QPointF(m.x(), box.top() - 1),
                                    QPointF(box.right() + 1, box.bottom()),
                                    QPointF(box.left() - 1, box.bottom()) }));
        break;
    default: // triangle, point down
        path.addPolygon(QPolygonF({ QPointF(box.left() - 1, box.top()),
                                    QPointF(box.right() + 1, box.top()),
                                    QPointF(m.x(), box.bottom() + 1) }));
        break;
    }
    path.closeSubpath();
    return path;
}

// Measurement points usable with the arrays as given.
int pointCount(const ScatterPlotData &data)
{
    if (data.chs <= 0)
        return 0;
    const int stored = qMin(data.xs.size(), data.ys.size()) / data.chs;
    return qBound(0, data.points, stored);
}

// One path per channel: the discs of a channel are one solid area, even where
// they overlap.
void fillChannel(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data, int n, int j,
                 const QColor &color, int shape)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (int i = 0; i < n; ++i) {
        QPoint c;
        if (mapPoint(coord, data.xs[i * data.chs + j], data.ys[i * data.chs + j], &c)) {
            if (shape == 0)
                path.addEllipse(discRect(c));
            else
                path.addPath(markerPath(c, shape));
        }
    }
    p.fillPath(path, QBrush(color, Qt::SolidPattern));
}

// The pixels of one disc as the raster engine fills it, as runs per row
// relative to the disc's centre pixel. Filling is exact under whole-pixel
// shifts, so these runs stand for every disc of the plot.
struct DiscRun
{
    int dy;
    int dx;
    int length;
};

QVector<DiscRun> renderDiscRuns(int shape)
{
    constexpr int margin = 4;
    constexpr int side = 2 * (discRadius + margin) + 1;
    constexpr int centre = discRadius + margin;
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter q(&canvas);
        q.fillPath(markerPath(QPoint(centre, centre), shape),
                   QBrush(Qt::black, Qt::SolidPattern));
    }
    QVector<DiscRun> runs;
    for (int y = 0; y < side; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(canvas.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            if (!runs.isEmpty() && runs.last().dy == y - centre
                && runs.last().dx + runs.last().length == x - centre)
                ++runs.last().length;
            else
                runs.append({ y - centre, x - centre, 1 });
        }
    }
    return runs;
}

const QVector<DiscRun> &discRuns(int shape)
{
    static const QVector<DiscRun> runs[markerShapes]
            = { renderDiscRuns(0), renderDiscRuns(1), renderDiscRuns(2), renderDiscRuns(3),
                renderDiscRuns(4) };
    return runs[shape];
}

bool isWholePixelShift(const QTransform &t)
{
    return t.type() <= QTransform::TxTranslate && t.dx() == std::trunc(t.dx())
            && t.dy() == std::trunc(t.dy());
}

// Largest plot drawn through the layer; beyond it the layer's memory is not
// worth keeping around and the plain drawing is used.
constexpr qint64 maxLayerPixels = 16 * 1024 * 1024;

bool opaqueColors(const QVector<QColor> &colors, int chs)
{
    for (int j = 0; j < qMin(chs, colors.size()); ++j) {
        if (colors[j].alpha() != 255)
            return false;
    }
    return true;
}

// The layer gives the same pixels as drawing straight onto p only where p
// draws untransformed (but for whole-pixel shifts), unclipped, unblended,
// without antialiasing, into 32-bit pixels, and every colour is opaque.
bool canUseLayer(QPainter &p, const ScatterPlotData &data, const QVector<QColor> &colors)
{
    QPaintEngine *engine = p.paintEngine();
    if (!p.device() || !engine || engine->type() != QPaintEngine::Raster)
        return false;
    QPaintDevice *target = engine->paintDevice();
    if (!target || target->devType() != QInternal::Image)
        return false;
    const QImage::Format format = static_cast<QImage *>(target)->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
        && format != QImage::Format_ARGB32_Premultiplied)
        return false;
    const qint64 pixels = qint64(p.device()->width()) * p.device()->height();
    return pixels > 0 && pixels <= maxLayerPixels && p.transform().isIdentity()
            && !p.hasClipping()
            && isWholePixelShift(p.deviceTransform())
            && p.compositionMode() == QPainter::CompositionMode_SourceOver
            && p.opacity() == 1.0 && !p.testRenderHint(QPainter::Antialiasing)
            && opaqueColors(colors, data.chs);
}

QImage &layerImage(int width, int height)
{
    // Kept between frames, allocating anew costs about as much as drawing;
    // two of them, since the window shows two plots that may differ in size.
    thread_local QImage layers[2];
    const QSize size(width, height);
    if (layers[0].size() != size) {
        std::swap(layers[0], layers[1]);
        if (layers[0].size() != size)
            layers[0] = QImage(size, QImage::Format_ARGB32);
    }
    return layers[0];
}

void writeDiscs(uchar *bits, int bytesPerLine, int width, int height, const ChartMapping &coord,
                const ScatterPlotData &data, int n, int j, QRgb color, int shape)
{
    const QVector<DiscRun> &runs = discRuns(shape);
    const int reach = discSize + 1;
    for (int i = 0; i < n; ++i) {
        QPoint c;
        if (!mapPoint(coord, data.xs[i * data.chs + j], data.ys[i * data.chs + j], &c))
            continue;
        if (c.x() < -reach || c.x() >= width + reach || c.y() < -reach
            || c.y() >= height + reach)
            continue;
        for (const DiscRun &run : runs) {
            const int y = c.y() + run.dy;
            if (y < 0 || y >= height)
                continue;
            const int x0 = qMax(c.x() + run.dx, 0);
            const int x1 = qMin(c.x() + run.dx + run.length, width);
            QRgb *line = reinterpret_cast<QRgb *>(bits + qint64(y) * bytesPerLine);
            for (int x = x0; x < x1; ++x)
                line[x] = color;
        }
    }
}

void drawCurves(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data,
                const QVector<QColor> &colors)
{
    const double x0 = coord.vx0;
    const double x1 = coord.vx1;
    const double step = (x1 - x0) / curveIntervals;
    QPolygon points;
    points.reserve(curveIntervals + 1);
    for (int j = 0; j < data.chs; ++j) {
        if (j >= data.fits.size() || data.fits[j].size() < 2)
            continue;
        const double a = data.fits[j][0];
        const double b = data.fits[j][1];
        points.clear();
        for (int i = 0; i <= curveIntervals; ++i) {
            const double x = i == curveIntervals ? x1 : x0 + i * step;
            QPoint c;
            if (mapPoint(coord, x, a * x + b * x * x, &c))
                points << c;
        }
        p.setPen(channelColor(colors, j));
        p.drawPolyline(points);
    }
}

// The plot drawn into a transparent 32-bit layer that is then laid over the
// picture in one go. Lines draw many times faster into this pixel format than
// into the usual window formats, and the discs are written straight into it.
void drawLayered(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data, int n,
                 const QVector<QColor> &colors, const PlotGrid *grid)
{
    const int width = p.device()->width();
    const int height = p.device()->height();
    QImage &layer = layerImage(width, height);
    layer.fill(Qt::transparent);
    uchar *bits = layer.bits();
    const int bytesPerLine = layer.bytesPerLine();

    QPainter q(&layer);
    drawGrid(q, coord, data, grid);
    for (int j = 0; j < data.chs; ++j)
        writeDiscs(bits, bytesPerLine, width, height, coord, data, n, j,
                   channelColor(colors, j).rgba(), markerShape(j, colors.size()));
    if (data.estimated)
        drawCurves(q, coord, data, colors);
    const QPen pen = q.pen();
    q.end();

    p.drawImage(0, 0, layer);
    p.setPen(pen);
}

void drawInRange(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data,
                 const QVector<QColor> &colors, bool useLayer, const PlotGrid *grid = nullptr)
{
    if (data.points <= 2)
        return;

    const int n = pointCount(data);
    if (useLayer && canUseLayer(p, data, colors)) {
        drawLayered(p, coord, data, n, colors, grid);
        return;
    }
    drawGrid(p, coord, data, grid);
    for (int j = 0; j < data.chs; ++j)
        fillChannel(p, coord, data, n, j, channelColor(colors, j),
                    markerShape(j, colors.size()));
    if (data.estimated)
        drawCurves(p, coord, data, colors);
}

} // namespace

QPainterPath channelMarker(QPoint c, int j, int colorCount)
{
    return markerPath(c, markerShape(j, colorCount));
}

void setScatterPlotRange(ChartMapping &coord, const ScatterPlotData &data)
{
    const int count = pointCount(data) * qMax(data.chs, 0);
    const Range xr = axisRange(data.hasX, data.xMin, data.xMax, data.xs.constData(), count);
    const Range yr = axisRange(data.hasY, data.yMin, data.yMax, data.ys.constData(), count);
    coord.setValueRange(xr.lo, yr.lo, xr.hi, yr.hi);
}

void drawScatterPlot(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                     const QVector<QColor> &colors)
{
    if (data.points <= 2)
        return;
    setScatterPlotRange(coord, data);
    drawInRange(p, coord, data, colors, true);
}

void drawScatterPlotInRange(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data,
                            const QVector<QColor> &colors, const PlotGrid *grid)
{
    drawInRange(p, coord, data, colors, true, grid);
}

void drawScatterPlotReference(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                              const QVector<QColor> &colors)
{
    if (data.points <= 2)
        return;
    setScatterPlotRange(coord, data);
    drawInRange(p, coord, data, colors, false);
}
