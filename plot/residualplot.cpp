// SPDX-License-Identifier: GPL-3.0-or-later
#include "residualplot.h"

#include "modelcomparison.h"
#include "plotdata.h"
#include "pointset.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>

ResidualPanel residualPanel(const QVector<ChannelComparison> &channels, const PointSet &points,
                            DeadTimeModel model, FitStage stage, int channel)
{
    ResidualPanel panel;
    for (const ChannelComparison &c : channels) {
        if ((channel >= 0 && c.channel != channel) || c.channel >= points.chs())
            continue;
        const QVector<double> &x
            = stage == FitStage::PreAmp ? points.i0s() : points.icrColumn(c.channel);
        const QVector<double> &y
            = stage == FitStage::PreAmp ? points.icrColumn(c.channel) : points.scaColumn(c.channel);
        const StageComparison &s = stage == FitStage::PreAmp ? c.preAmp : c.amp;
        // Residuals of a fit to points that cannot give the dead time show nothing.
        if (s.undetermined())
            continue;
        panel.series.append({ c.channel, x, normalisedResiduals(s.fit(model), x, y) });
    }
    return panel;
}

namespace {

// The extent of a panel's finite points: x from xMin to xMax (xMin > xMax for
// none), residuals within +-rMax.
struct ResidualRange
{
    double xMin = 1e300;
    double xMax = -1e300;
    double rMax = 3.0;
};

ResidualRange residualRange(const ResidualPanel &panel)
{
    ResidualRange range;
    for (const ResidualSeries &s : panel.series) {
        for (int i = 0; i < s.x.size() && i < s.r.size(); ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.r[i]))
                continue;
            range.xMin = std::min(range.xMin, s.x[i]);
            range.xMax = std::max(range.xMax, s.x[i]);
            range.rMax = std::max(range.rMax, std::fabs(s.r[i]));
        }
    }
    // Far-off residuals would squeeze the others into the zero line.
    range.rMax = std::min(range.rMax * 1.1, 1e6);
    return range;
}

// From values to pixels of the plot rectangle.
struct ResidualScale
{
    QRect plot;
    double left;
    double xSpan;
    double rMax;

    double px(double x) const { return plot.left() + (x - left) / xSpan * plot.width(); }
    double py(double r) const { return plot.center().y() - r / rMax * (plot.height() / 2.0); }
};

ResidualScale residualScale(const QRect &plot, const ResidualRange &range)
{
    // A margin of 3 % on both sides keeps the first and last points inside the frame.
    const double span = range.xMax > range.xMin ? range.xMax - range.xMin
                                                : std::fmax(std::fabs(range.xMin), 1.0);
    return { plot, range.xMin - 0.03 * span, 1.06 * span, range.rMax };
}

// The frame, the zero line and the lines at +-2 with their labels, the title
// and the x range below.
void drawResidualFrame(QPainter &p, const QRect &area, int labelWidth, const ResidualScale &scale,
                       const ResidualRange &range, const QString &title)
{
    const QFontMetrics fm(p.font());
    const QRect &plot = scale.plot;
    p.setPen(QColor(160, 160, 160));
    p.drawRect(plot);
    p.drawLine(QPointF(plot.left(), scale.py(0.0)), QPointF(plot.right(), scale.py(0.0)));
    p.setPen(QPen(QColor(190, 190, 190), 1.0, Qt::DashLine));
    for (double level : { -2.0, 2.0 })
        p.drawLine(QPointF(plot.left(), scale.py(level)), QPointF(plot.right(), scale.py(level)));

    p.setPen(Qt::black);
    for (double level : { -2.0, 0.0, 2.0 }) {
        const QRectF label(area.left(), scale.py(level) - fm.height() / 2.0, labelWidth - 4,
                           fm.height());
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
    }
    p.drawText(area.adjusted(labelWidth, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, title);
    if (range.xMax >= range.xMin) {
        const QRect below(plot.left(), plot.bottom() + 2, plot.width(), fm.height());
        p.drawText(below, Qt::AlignLeft | Qt::AlignTop, QString::number(range.xMin, 'g', 4));
        p.drawText(below, Qt::AlignRight | Qt::AlignTop, QString::number(range.xMax, 'g', 4));
    }
}

void drawResidualPoints(QPainter &p, const ResidualPanel &panel, const QVector<QColor> &colors,
                        const ResidualScale &scale)
{
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = std::max(2.0, QFontMetrics(p.font()).height() / 6.0);
    for (const ResidualSeries &s : panel.series) {
        const QColor color
            = colors.isEmpty() ? QColor(Qt::black) : colors.at(s.channel % colors.size());
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        for (int i = 0; i < s.x.size() && i < s.r.size(); ++i) {
            if (std::isfinite(s.x[i]) && std::isfinite(s.r[i]))
                p.drawEllipse(QPointF(scale.px(s.x[i]), scale.py(s.r[i])), radius, radius);
        }
    }
}

} // namespace

void drawResidualPanel(QPainter &p, const QRect &area, const ResidualPanel &panel,
                       const QVector<QColor> &colors)
{
    const ResidualRange range = residualRange(panel);
    p.save();
    p.setClipRect(area);
    p.fillRect(area, Qt::white);
    const QFontMetrics fm(p.font());
    const int margin = fm.height() / 2 + 2;
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("-00")) + margin;
    const QRect plot
        = area.adjusted(labelWidth, fm.height() + margin, -margin, -(fm.height() + margin));
    if (plot.width() >= 4 && plot.height() >= 4) {
        const ResidualScale scale = residualScale(plot, range);
        drawResidualFrame(p, area, labelWidth, scale, range, panel.title);
        drawResidualPoints(p, panel, colors, scale);
    }
    p.restore();
}

QImage appendResidualPanels(const QImage &plots, const QVector<ChannelComparison> &channels,
                            const PointSet &points, const QVector<DeadTimeModel> &models,
                            int rowHeight)
{
    const int width = plots.width();
    QImage image(width, plots.height() + models.size() * rowHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(0, 0, plots);
    const QVector<QColor> colors = plotChannelColors();
    int top = plots.height();
    for (DeadTimeModel model : models) {
        const QString name = deadTimeModelName(model);
        ResidualPanel pre = residualPanel(channels, points, model, FitStage::PreAmp);
        pre.title = QStringLiteral("%1: normalised residuals of ICR against I0").arg(name);
        ResidualPanel amp = residualPanel(channels, points, model, FitStage::Amp);
        amp.title = QStringLiteral("%1: normalised residuals of SCA against ICR").arg(name);
        p.setPen(QColor(160, 160, 160));
        p.drawLine(0, top, width, top);
        drawResidualPanel(p, QRect(0, top + 1, width / 2, rowHeight - 1), pre, colors);
        drawResidualPanel(p, QRect(width / 2, top + 1, width - width / 2, rowHeight - 1), amp,
                          colors);
        top += rowHeight;
    }
    p.end();
    return image;
}
