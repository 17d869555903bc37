#include "plotrender.h"

#include "chcoord.h"
#include "loadedset.h"

#include <QPainter>

QVector<QColor> channelColors()
{
    return { QColor(0, 0, 0),     QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(0, 0, 255),
             QColor(255, 255, 0), QColor(255, 0, 255), QColor(0, 255, 255), QColor(128, 255, 0),
             QColor(128, 0, 255), QColor(0, 128, 255), QColor(255, 128, 0), QColor(0, 255, 128),
             QColor(255, 0, 128) };
}

ScatterPlotData scatterPlotData(PlotKind kind, const QVector<MeasValues> &points, int chs,
                                const ValueRanges &ranges, bool estimated,
                                const QVector<QVector<double>> &fits)
{
    ScatterPlotData d;
    d.points = points.size();
    d.chs = points.isEmpty() ? 0 : qMax(chs, 0);
    d.xs.resize(d.points * d.chs);
    d.ys.resize(d.points * d.chs);
    const bool i0Nin = kind == PlotKind::I0Nin;
    for (int p = 0; p < d.points; ++p) {
        const MeasValues &m = points[p];
        const int have = qMin(m.icrs.size(), m.scas.size());
        for (int j = 0; j < d.chs; ++j) {
            const bool has = j < have;
            const int k = p * d.chs + j;
            if (i0Nin) {
                d.xs[k] = m.i0;
                d.ys[k] = has ? m.icrs[j] : 0.0;
            } else {
                d.xs[k] = has ? m.icrs[j] : 0.0;
                d.ys[k] = has ? m.scas[j] : 0.0;
            }
        }
    }
    if (i0Nin) {
        d.hasX = ranges.hasI0, d.xMin = ranges.i0Min, d.xMax = ranges.i0Max;
        d.hasY = ranges.hasIcr, d.yMin = ranges.icrMin, d.yMax = ranges.icrMax;
    } else {
        d.hasX = ranges.hasIcr, d.xMin = ranges.icrMin, d.xMax = ranges.icrMax;
        d.hasY = ranges.hasSca, d.yMin = ranges.scaMin, d.yMax = ranges.scaMax;
    }
    d.estimated = estimated;
    d.fits = fits;
    return d;
}

QImage renderPlot(const ScatterPlotData &data, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (data.points <= 2)
        return image;
    QPainter p(&image);
    // A display maps y from its bottom edge (height) up to its top edge (0).
    ChCoord coord;
    coord.setPixelRect(0.0, double(height), double(width), 0.0);
    drawScatterPlot(p, coord, data, channelColors());
    return image;
}

QImage renderPlots(const LoadedSet &set, const DeadTimes &dt, QSize size)
{
    const bool estimated = set.canEstimate();
    const int topHeight = size.height() / 2;
    const int bottomHeight = size.height() - topHeight;
    const QImage top = renderPlot(scatterPlotData(PlotKind::I0Nin, set.points, set.chs, set.ranges,
                                                  estimated, estimated ? dt.tau0Fits
                                                                       : QVector<QVector<double>>()),
                                  size.width(), topHeight);
    const QImage bottom = renderPlot(
            scatterPlotData(PlotKind::NinNout, set.points, set.chs, set.ranges, estimated,
                            estimated ? dt.tauFits : QVector<QVector<double>>()),
            size.width(), bottomHeight);

    // Each plot is drawn on its own image, so that a curve leaving its value
    // range is cut at the plot's edge as on screen rather than running into
    // the other plot.
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(0, 0, top);
    p.drawImage(0, topHeight, bottom);
    p.end();
    return image;
}
