// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotdata.h"

#include "pointset.h"

QVector<QColor> plotChannelColors()
{
    return { QColor(0, 0, 0),     QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(0, 0, 255),
             QColor(255, 255, 0), QColor(255, 0, 255), QColor(0, 255, 255), QColor(128, 255, 0),
             QColor(128, 0, 255), QColor(0, 128, 255), QColor(255, 128, 0), QColor(0, 255, 128),
             QColor(255, 0, 128) };
}

ScatterPlotData scatterPlotData(PlotKind kind, const PointSet &points, bool estimated,
                                const QVector<QVector<double>> &fits)
{
    ScatterPlotData d;
    d.points = points.size();
    d.chs = points.isEmpty() ? 0 : qMax(points.chs(), 0);
    d.xs.resize(d.points * d.chs);
    d.ys.resize(d.points * d.chs);
    const bool i0Nin = kind == PlotKind::I0Nin;
    for (int j = 0; j < d.chs; ++j) {
        const QVector<double> &xs = i0Nin ? points.i0s() : points.icrColumn(j);
        const QVector<double> &ys = i0Nin ? points.icrColumn(j) : points.scaColumn(j);
        for (int p = 0; p < d.points; ++p) {
            d.xs[p * d.chs + j] = xs[p];
            d.ys[p * d.chs + j] = ys[p];
        }
    }
    const ValueRanges &r = points.ranges();
    if (i0Nin) {
        d.hasX = r.hasI0, d.xMin = r.i0Min, d.xMax = r.i0Max;
        d.hasY = r.hasIcr, d.yMin = r.icrMin, d.yMax = r.icrMax;
    } else {
        d.hasX = r.hasIcr, d.xMin = r.icrMin, d.xMax = r.icrMax;
        d.hasY = r.hasSca, d.yMin = r.scaMin, d.yMax = r.scaMax;
    }
    d.estimated = estimated;
    if (estimated)
        d.fits = fits;
    return d;
}
