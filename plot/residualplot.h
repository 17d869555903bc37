// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtimemodel.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

class PointSet;
class QPainter;
class QRect;
struct ChannelComparison;

// The normalised residuals of one stage fit of one channel against the
// stage's input rate (I0 or ICR).
struct ResidualSeries
{
    int channel = 0;
    QVector<double> x;
    QVector<double> r;
};

// One residual panel: a title, and the series of the channels it shows.
struct ResidualPanel
{
    QString title;
    QVector<ResidualSeries> series;
};

// The residuals of every channel's fit of stage under model, or of the one
// channel when channel >= 0; none of a stage the data do not determine.
ResidualPanel residualPanel(const QVector<ChannelComparison> &channels, const PointSet &points,
                            DeadTimeModel model, FitStage stage, int channel = -1);

// Draws the panel into area: a frame, the zero line and the lines at +-2 (a
// normalised residual beyond them is rare where the model holds), the points
// in their channel colours, the title in the top left corner and the x range
// below. The y scale is symmetric and shows at least +-3. Non-finite residuals
// are left out; a panel without any shows only its frame and title.
void drawResidualPanel(QPainter &p, const QRect &area, const ResidualPanel &panel,
                       const QVector<QColor> &colors);

// plots with a row of two residual panels (against I0, against ICR) per model
// below it, each row rowHeight pixels high, titled in English.
QImage appendResidualPanels(const QImage &plots, const QVector<ChannelComparison> &channels,
                            const PointSet &points, const QVector<DeadTimeModel> &models,
                            int rowHeight);
