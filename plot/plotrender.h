// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scatterplot.h"

#include <QImage>
#include <QSize>

struct DeadTimes;
class PointSet;

// One plot of width x height as a display draws it: white, the whole image as
// plot area, y running from the bottom edge up.
QImage renderPlot(const ScatterPlotData &data, int width, int height);

// Both plots of points, I0-Nin in the top size.height()/2 rows and Nin-Nout
// below, with the fitted curves of dt when it is given.
QImage renderPlots(const PointSet &points, const DeadTimes *dt, QSize size);
