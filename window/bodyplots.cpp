// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's two plots: what they show of the points and the fits,
// and the tooltip that names the value or the point under the pointer.
#include "body.h"

#include "plotaxes.h"
#include "plotdata.h"

#include <QPainter>
#include <QToolTip>

void Body::forgetPlotData()
{
    for (int k = 0; k < 2; ++k) {
        shownDataMade[k] = false;
        shownData[k] = ScatterPlotData();
    }
}

const ScatterPlotData &Body::plotData(PlotKind kind)
{
    const int k = kind == PlotKind::I0Nin ? 0 : 1;
    if (!shownDataMade[k]) {
        shownData[k] = scatterPlotData(kind, mset.points, mset.estimated,
                                       k == 0 ? mset.tau0Fits : mset.tauFits);
        shownDataMade[k] = true;
    }
    return shownData[k];
}

void Body::drawPlot(DispA *disp, PlotKind kind, QPainter *p)
{
    if (mset.mcas.size() <= 2)
        return;
    const ScatterPlotData &shown = plotData(kind);
    // The data ranges, unless the user has panned or zoomed since the last
    // load or clear.
    if (!disp->coord.userRange)
        setScatterPlotRange(disp->coord, shown);
    if (disp->axesShown())
        drawScatterPlotWithAxes(*p, disp->coord, shown, colors, plotLabels(kind));
    else
        drawScatterPlotInRange(*p, disp->coord, shown, colors);
}

void Body::drawI0Nin(QPainter *p)
{
    drawPlot(I0NinDisp, PlotKind::I0Nin, p);
}

void Body::drawNinNout(QPainter *p)
{
    drawPlot(NinNoutDisp, PlotKind::NinNout, p);
}

QString Body::pointTitle(int p, int j) const
{
    const QString title = tr("Channel %1, point %2").arg(j).arg(p + 1);
    const QString source = sourceText(p);
    return source.isEmpty() ? title : title + QLatin1Char('\n') + source;
}

QString Body::plotToolTip(PlotKind kind, QPoint pos)
{
    if (mset.mcas.size() <= 2)
        return QString();
    const DispA *disp = kind == PlotKind::I0Nin ? I0NinDisp : NinNoutDisp;
    const PlotLabels labels = plotLabels(kind);
    const auto line = [&labels](double x, double y) {
        return QStringLiteral("%1: %2\n%3: %4")
                .arg(labels.xTitle, QString::number(x, 'g', 6), labels.yTitle,
                     QString::number(y, 'g', 6));
    };
    QString text = line(disp->coord.pixelToX(pos.x()), disp->coord.pixelToY(pos.y()));
    const ScatterPlotData &shown = plotData(kind);
    const PlotHit hit = plotPointAt(disp->coord, shown, pos);
    if (hit.point >= 0) {
        const int k = hit.point * shown.chs + hit.channel;
        text += QStringLiteral("\n\n") + pointTitle(hit.point, hit.channel) + QLatin1Char('\n')
                + line(shown.xs[k], shown.ys[k]);
    }
    return text;
}

void Body::showPlotToolTip(DispA *disp, PlotKind kind)
{
    const QPoint pos(disp->mouse.curX, disp->mouse.curY);
    const QString text = plotToolTip(kind, pos);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(disp->mapToGlobal(pos), text, disp, disp->rect());
}