// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotrender.h"

#include "chartmapping.h"
#include "deadtime.h"
#include "plotaxes.h"
#include "plotdata.h"
#include "pointset.h"

#include <QPainter>

QImage renderPlot(const ScatterPlotData &data, int width, int height, const PlotLabels *labels)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (data.points <= 2)
        return image;
    QPainter p(&image);
    ChartMapping coord;
    coord.setPixelRect(0.0, double(height), double(width), 0.0);
    if (labels) {
        setScatterPlotRange(coord, data);
        drawScatterPlotWithAxes(p, coord, data, plotChannelColors(), *labels);
    } else {
        drawScatterPlot(p, coord, data, plotChannelColors());
    }
    return image;
}

QImage renderPlots(const PointSet &points, const DeadTimes *dt, QSize size, bool axes)
{
    const int topHeight = size.height() / 2;
    const int bottomHeight = size.height() - topHeight;
    const QVector<QVector<double>> none;
    const PlotLabels topLabels = plotLabels(PlotKind::I0Nin);
    const PlotLabels bottomLabels = plotLabels(PlotKind::NinNout);
    const QImage top = renderPlot(
            scatterPlotData(PlotKind::I0Nin, points, dt != nullptr, dt ? dt->tau0Fits : none),
            size.width(), topHeight, axes ? &topLabels : nullptr);
    const QImage bottom = renderPlot(
            scatterPlotData(PlotKind::NinNout, points, dt != nullptr, dt ? dt->tauFits : none),
            size.width(), bottomHeight, axes ? &bottomLabels : nullptr);

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
