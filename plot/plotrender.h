// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scatterplot.h"

#include <QImage>
#include <QSize>

struct DeadTimes;
class PointSet;

struct PlotLabels;

// One plot of width x height as a display draws it: white, the whole image as
// plot area, y running from the bottom edge up. With labels, the plot area
// leaves room for axes, titles and legend, as a display showing them does.
QImage renderPlot(const ScatterPlotData &data, int width, int height,
                  const PlotLabels *labels = nullptr);

// Both plots of points, I0-Nin in the top size.height()/2 rows and Nin-Nout
// below, with the fitted curves of dt when it is given; with axes, each with
// its axes, titles and legend.
QImage renderPlots(const PointSet &points, const DeadTimes *dt, QSize size, bool axes = false);
