// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QVector>

struct ChartMapping;
class QPainter;
class QPainterPath;
class QPoint;

// What one of the two diagnostic plots shows: per measurement point and channel
// an (x, y) pair, the value ranges that set the scales, and once estimated the
// fitted quadratic y = c0*x + c1*x^2 of each channel.
struct ScatterPlotData
{
    int points = 0;          // number of measurement points
    int chs = 0;             // channels drawn
    QVector<double> xs;      // xs[p * chs + j]
    QVector<double> ys;      // ys[p * chs + j]
    bool hasX = false;
    double xMin = 1e300, xMax = -1e300;
    bool hasY = false;
    double yMin = 1e300, yMax = -1e300;
    bool estimated = false;
    QVector<QVector<double>> fits; // [c0, c1] per channel, used when estimated
};

// The marker of channel j's points, centred on the pixel c: a disc of 7
// pixels for the channels of the first round of colorCount colours; the
// channels of later rounds, which repeat the colours, get a square, a
// diamond, an upward and a downward triangle in turn, so that channel 0 and
// channel 13 of 13 colours can be told apart. Plots and legends draw it alike.
QPainterPath channelMarker(QPoint c, int j, int colorCount);

// Draws grid, points and curves with p, setting coord's value range from the
// data first. With two points or fewer nothing is drawn.
void drawScatterPlot(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                     const QVector<QColor> &colors);

// Grid lines at chosen values, such as the ticks of drawn axes, instead of at
// the tenths of the data's maxima.
struct PlotGrid
{
    QVector<double> xs;
    QVector<double> ys;
};

// The same with coord's value range as it stands, for a view the user has
// panned or zoomed away from the data ranges.
void drawScatterPlotInRange(QPainter &p, const ChartMapping &coord, const ScatterPlotData &data,
                            const QVector<QColor> &colors, const PlotGrid *grid = nullptr);

// Sets coord's value range to what the data spans, with 5 % to spare on each
// side; the range drawScatterPlot shows.
void setScatterPlotRange(ChartMapping &coord, const ScatterPlotData &data);

// The same picture drawn the plain way, one filled path of discs per channel.
// Much slower with many points; kept to check the fast drawing against.
void drawScatterPlotReference(QPainter &p, ChartMapping &coord, const ScatterPlotData &data,
                              const QVector<QColor> &colors);
