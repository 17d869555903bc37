// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "plotdata.h"

#include <QColor>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

struct ChartMapping;
class QPainter;

// The titles of one plot and of its two axes.
struct PlotLabels
{
    QString title;
    QString xTitle;
    QString yTitle;
};

// The labels of a plot kind, in the language of the installed translator.
PlotLabels plotLabels(PlotKind kind);

// The channel a point was measured in and its index in load order, or -1.
struct PlotHit
{
    int point = -1;
    int channel = -1;
};

// The disc under the pixel pos as drawScatterPlot draws it: the nearest disc
// centre within reach pixels, a later channel winning a tie since its disc
// covers the earlier one.
PlotHit plotPointAt(const ChartMapping &coord, const ScatterPlotData &data, QPointF pos,
                    double reach = 4.0);

// Values for the tick marks of an axis showing v0..v1 (either order) on a
// length of pixels, at least minGap pixels apart: the multiples of 1, 2 or 5
// times a power of ten that fall inside the range, in increasing order.
QVector<double> axisTicks(double v0, double v1, double pixels, double minGap);

// The numbers of an axis's ticks, with just the digits that tell them apart;
// plain decimals from 1e-4 to below 1e6, powers of ten beyond.
QStringList tickLabels(const QVector<double> &ticks);

// The plot with axes and legend, in coord's value range as it stands: the plot
// area shrinks inside the widget area to leave room for tick numbers, axis
// titles, the plot title (when not empty) and a legend of the channel colours;
// the grid lines run at the ticks. In a widget too small for them the bare plot
// is drawn. With two points or fewer nothing is drawn, as for the bare plot.
void drawScatterPlotWithAxes(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                             const QVector<QColor> &colors, const PlotLabels &labels);
