// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotdata.h"

QVector<QColor> plotChannelColors()
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
