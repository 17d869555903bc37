// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotaxes.h"

#include "chartmapping.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLine>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QStringList>

#include <cmath>

namespace {

// Far beyond any display; the same clamp as the plot's own drawing, so that a
// tick sits on the grid line of the same value.
constexpr double pixelLimit = 1 << 22;

// More ticks than this are never useful, and a range of a few ulps could ask
// for billions.
constexpr int maxTicks = 50;

constexpr int tickLength = 4;
constexpr int sampleWidth = 20;

int toPixel(double v)
{
    return int(qBound(-pixelLimit, v, pixelLimit));
}

QColor channelColor(const QVector<QColor> &colors, int j)
{
    return colors.isEmpty() ? QColor(Qt::black) : colors[j % colors.size()];
}

QString legendTitle()
{
    return QCoreApplication::translate("Plot", "Channel");
}

// Everything around the plot area, worked out from the widget area, the value
// range and the font. Both the margins and the drawing use it, so the two
// cannot disagree.
struct AxesLayout
{
    bool fits = false;
    double h = 0; // line height of the font
    double pad = 0;
    int left = 0, right = 0, top = 0, bottom = 0;
    QVector<double> xTicks, yTicks;
    QStringList xLabels, yLabels;
    int legendRows = 0;
    double legendEntryWidth = 0;
};

double widestText(const QFontMetricsF &fm, const QStringList &texts)
{
    double w = 0;
    for (const QString &t : texts)
        w = qMax(w, fm.horizontalAdvance(t));
    return w;
}

AxesLayout axesLayout(const ChartMapping &coord, const QFontMetricsF &fm, const PlotLabels &labels,
                      int chs)
{
    AxesLayout l;
    const double width = std::fabs(coord.wx1 - coord.wx0);
    const double height = std::fabs(coord.wy0 - coord.wy1);
    l.h = std::ceil(fm.height());
    l.pad = std::ceil(l.h / 2);
    l.top = int(labels.title.isEmpty() ? l.pad : l.h + l.pad);
    l.bottom = int(tickLength + 2 * l.h + l.pad);
    const double plotHeight = height - l.top - l.bottom;
    if (!(plotHeight >= 3 * l.h))
        return l;

    l.yTicks = axisTicks(coord.vy0, coord.vy1, plotHeight, 1.5 * l.h);
    l.yLabels = tickLabels(l.yTicks);
    l.left = int(std::ceil(l.pad + l.h + widestText(fm, l.yLabels) + 3 + tickLength));

    // The legend fills the right margin top down, in as many columns as its
    // channels need.
    l.right = int(l.pad);
    if (chs > 0) {
        l.legendRows = qMax(1, int((plotHeight - l.h) / l.h));
        const int columns = (chs + l.legendRows - 1) / l.legendRows;
        l.legendEntryWidth =
                sampleWidth + 4 + fm.horizontalAdvance(QString::number(chs - 1)) + l.pad;
        const double legendWidth =
                qMax(columns * l.legendEntryWidth, fm.horizontalAdvance(legendTitle()));
        l.right = int(std::ceil(l.pad + legendWidth + l.pad / 2));
    }

    const double plotWidth = width - l.left - l.right;
    if (!(plotWidth >= 6 * l.h))
        return l;
    // Numbers at least half their width apart, judged by those of a sparse set.
    const QStringList sparse = tickLabels(axisTicks(coord.vx0, coord.vx1, plotWidth, 8 * l.h));
    l.xTicks = axisTicks(coord.vx0, coord.vx1, plotWidth, 1.5 * widestText(fm, sparse) + l.pad);
    l.xLabels = tickLabels(l.xTicks);
    l.fits = true;
    return l;
}

// The plot area in whole pixels: columns x0..x1 - 1, rows y0..y1 - 1.
struct PixelRect
{
    int x0, y0, x1, y1;
};

PixelRect plotPixels(const ChartMapping &coord)
{
    return { int(std::lround(qMin(coord.px0, coord.px1))), int(std::lround(qMin(coord.py0, coord.py1))),
             int(std::lround(qMax(coord.px0, coord.px1))), int(std::lround(qMax(coord.py0, coord.py1))) };
}

// Text keeps its size in pixels whatever the size of the plot, so the margins
// are whole pixels measured from the font, not fractions of the widget as in
// applyMargins.
void applyAxesMargins(ChartMapping &coord, const AxesLayout &l)
{
    const double sx = coord.wx1 >= coord.wx0 ? 1 : -1;
    const double sy = coord.wy0 >= coord.wy1 ? 1 : -1; // y start at the bottom
    coord.setPlotRect(coord.wx0 + sx * l.left, coord.wy0 - sy * l.bottom,
                      coord.wx1 - sx * l.right, coord.wy1 + sy * l.top);
}

// The widget's area around the plot: x, y, width and height in whole pixels.
struct WidgetPixels
{
    int x, y, w, h;
};

WidgetPixels widgetPixels(const ChartMapping &coord)
{
    return { int(qMin(coord.wx0, coord.wx1)), int(qMin(coord.wy0, coord.wy1)),
             int(std::fabs(coord.wx1 - coord.wx0)), int(std::fabs(coord.wy0 - coord.wy1)) };
}

// White margins, so that discs and curves reaching past the plot area end at
// its frame, and the frame; leaves the pen black.
void drawMarginsAndFrame(QPainter &p, const PixelRect &r, const WidgetPixels &w)
{
    p.fillRect(w.x, w.y, w.w, r.y0 - w.y, Qt::white);
    p.fillRect(w.x, r.y1, w.w, w.y + w.h - r.y1, Qt::white);
    p.fillRect(w.x, r.y0, r.x0 - w.x, r.y1 - r.y0, Qt::white);
    p.fillRect(r.x1, r.y0, w.x + w.w - r.x1, r.y1 - r.y0, Qt::white);

    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    p.drawRect(r.x0 - 1, r.y0 - 1, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1);
}

// The ticks with their numbers, on both axes.
void drawTicks(QPainter &p, const ChartMapping &coord, const AxesLayout &l,
               const QFontMetricsF &fm, const PixelRect &r, const WidgetPixels &w)
{
    for (int i = 0; i < l.xTicks.size(); ++i) {
        const double px = coord.xToPixel(l.xTicks[i]);
        if (!std::isfinite(px))
            continue;
        const int x = toPixel(px);
        if (x < r.x0 || x >= r.x1)
            continue;
        p.drawLine(x, r.y1 + 1, x, r.y1 + tickLength);
        const double width = fm.horizontalAdvance(l.xLabels[i]);
        p.drawText(QRectF(x - width / 2 - 2, r.y1 + tickLength + 1, width + 4, l.h),
                   Qt::AlignCenter, l.xLabels[i]);
    }
    for (int i = 0; i < l.yTicks.size(); ++i) {
        const double py = coord.yToPixel(l.yTicks[i]);
        if (!std::isfinite(py))
            continue;
        const int y = toPixel(py);
        if (y < r.y0 || y >= r.y1)
            continue;
        p.drawLine(r.x0 - 1 - tickLength, y, r.x0 - 2, y);
        const double right = r.x0 - 1 - tickLength - 3;
        p.drawText(QRectF(w.x, y - l.h / 2, right - w.x, l.h), Qt::AlignRight | Qt::AlignVCenter,
                   l.yLabels[i]);
    }
}

// The axis titles and the plot's own title above it.
void drawTitles(QPainter &p, const AxesLayout &l, const PlotLabels &labels, const PixelRect &r,
                const WidgetPixels &w)
{
    const double plotWidth = r.x1 - r.x0;
    const double plotHeight = r.y1 - r.y0;
    p.drawText(QRectF(r.x0, r.y1 + tickLength + l.h + l.pad / 2, plotWidth, l.h), Qt::AlignCenter,
               labels.xTitle);
    if (!labels.title.isEmpty())
        p.drawText(QRectF(r.x0, w.y + l.pad / 2, plotWidth, l.h), Qt::AlignCenter, labels.title);
    p.save();
    p.translate(w.x + l.pad / 2, r.y0 + plotHeight / 2);
    p.rotate(-90);
    p.drawText(QRectF(-plotHeight / 2, 0, plotHeight, l.h), Qt::AlignCenter, labels.yTitle);
    p.restore();
}

// The legend of the channel colours right of the plot, with a line sample
// when the curves are drawn.
void drawLegend(QPainter &p, const AxesLayout &l, int chs, const QVector<QColor> &colors,
                bool curves, const PixelRect &r, const WidgetPixels &w)
{
    const double x0 = r.x1 + l.pad;
    p.drawText(QRectF(x0, r.y0, w.x + w.w - x0, l.h), Qt::AlignLeft | Qt::AlignVCenter,
               legendTitle());
    for (int j = 0; j < chs; ++j) {
        const double x = x0 + (j / l.legendRows) * l.legendEntryWidth;
        const double top = r.y0 + l.h * (1 + j % l.legendRows);
        const int cx = int(x) + sampleWidth / 2;
        const int cy = int(top + l.h / 2);
        const QColor color = channelColor(colors, j);
        // The same marker and line as in the plot.
        p.fillPath(channelMarker(QPoint(cx, cy), j, colors.size()),
                   QBrush(color, Qt::SolidPattern));
        if (curves) {
            p.setPen(color);
            p.drawLine(int(x) + 1, cy, int(x) + sampleWidth - 1, cy);
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(x + sampleWidth + 4, top, l.legendEntryWidth, l.h),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::number(j));
    }
}

// Around the plot area: the margins and frame, the ticks with their numbers,
// the titles and the legend of the channel colours.
void drawAxesAndLegend(QPainter &p, const ChartMapping &coord, const AxesLayout &l,
                       const QFontMetricsF &fm, const PlotLabels &labels, int chs,
                       const QVector<QColor> &colors, bool curves)
{
    const PixelRect r = plotPixels(coord);
    const WidgetPixels w = widgetPixels(coord);
    p.save();
    drawMarginsAndFrame(p, r, w);
    drawTicks(p, coord, l, fm, r, w);
    drawTitles(p, l, labels, r, w);
    if (chs > 0)
        drawLegend(p, l, chs, colors, curves, r, w);
    p.restore();
}

} // namespace

PlotLabels plotLabels(PlotKind kind)
{
    if (kind == PlotKind::I0Nin)
        return { QCoreApplication::translate("Plot", "Input count rate against I0"),
                 QCoreApplication::translate("Plot", "I0"),
                 QCoreApplication::translate("Plot", "ICR (Nin)") };
    return { QCoreApplication::translate("Plot", "Output against input count rate"),
             QCoreApplication::translate("Plot", "ICR (Nin)"),
             QCoreApplication::translate("Plot", "SCA (Nout)") };
}

PlotHit plotPointAt(const ChartMapping &coord, const ScatterPlotData &data, QPointF pos,
                    double reach)
{
    PlotHit hit;
    if (data.chs <= 0)
        return hit;
    const int n = qBound(0, data.points, int(qMin(data.xs.size(), data.ys.size()) / data.chs));
    double best = reach * reach;
    for (int j = 0; j < data.chs; ++j) {
        for (int i = 0; i < n; ++i) {
            const double px = coord.xToPixel(data.xs[i * data.chs + j]);
            const double py = coord.yToPixel(data.ys[i * data.chs + j]);
            if (!std::isfinite(px) || !std::isfinite(py))
                continue;
            const double dx = toPixel(px) - pos.x();
            const double dy = toPixel(py) - pos.y();
            const double d = dx * dx + dy * dy;
            if (d <= best) {
                best = d;
                hit = { i, j };
            }
        }
    }
    return hit;
}

QVector<double> axisTicks(double v0, double v1, double pixels, double minGap)
{
    const double lo = qMin(v0, v1);
    const double hi = qMax(v0, v1);
    const double span = hi - lo;
    if (!(std::isfinite(span) && span > 0 && pixels > 0 && minGap > 0))
        return {};
    const int most = qBound(2, int(pixels / minGap), maxTicks);
    const double raw = span / most;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    if (!(std::isfinite(power) && power > 0))
        return {};
    // The step 1, 2 or 5 times power (or 10) just above raw; and far from 0
    // no finer than the doubles there, so that the multiples count exactly.
    constexpr double exactLimit = 4503599627370496.0; // 2^52
    const double factors[] = { 1, 2, 5 };
    double step = 0;
    for (int i = 0; i < 64 && step == 0; ++i) {
        const double s = factors[i % 3] * power * std::pow(10.0, i / 3);
        if (s >= raw && std::fabs(lo / s) < exactLimit && std::fabs(hi / s) < exactLimit)
            step = s;
    }
    if (!(step > 0 && std::isfinite(step)))
        return {};
    const double first = std::ceil(lo / step);
    const double last = std::floor(hi / step);
    if (!(last - first < maxTicks))
        return {};
    QVector<double> ticks;
    for (double k = first; k <= last; ++k) {
        const double v = k * step;
        // k * step of a step like 0.1 is not exactly the multiple; at 0 the
        // difference would read as a tiny number.
        ticks.append(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    }
    return ticks;
}

QStringList tickLabels(const QVector<double> &ticks)
{
    QStringList labels;
    if (ticks.isEmpty())
        return labels;
    double largest = 0;
    for (double v : ticks)
        largest = qMax(largest, std::fabs(v));
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : qMax(largest, 1.0);
    // The decimal place of the step is the last one the labels need.
    const int stepExponent = int(std::floor(std::log10(step) + 1e-9));
    const int largestExponent = largest > 0 ? int(std::floor(std::log10(largest) + 1e-9)) : 0;
    const bool plain = largestExponent >= -4 && largestExponent < 7;
    // In powers of ten, every label gets the mantissa digits of the largest.
    const int digits = qBound(0, largestExponent - stepExponent, 16);
    for (double v : ticks) {
        if (v == 0)
            labels << QStringLiteral("0");
        else if (plain)
            labels << QString::number(v, 'f', qBound(0, -stepExponent, 17));
        else
            labels << QString::number(v, 'e', digits);
    }
    return labels;
}

void drawScatterPlotWithAxes(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                             const QVector<QColor> &colors, const PlotLabels &labels)
{
    if (data.points <= 2)
        return;
    const QFontMetricsF fm(p.font(), p.device());
    const AxesLayout layout = axesLayout(coord, fm, labels, data.chs);
    if (!layout.fits) {
        drawScatterPlotInRange(p, coord, data, colors);
        return;
    }
    applyAxesMargins(coord, layout);
    const PlotGrid grid { layout.xTicks, layout.yTicks };
    drawScatterPlotInRange(p, coord, data, colors, &grid);
    drawAxesAndLegend(p, coord, layout, fm, labels, data.chs, colors, data.estimated);
}
