// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtime.h"
#include "plotdata.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QVector>

struct LoadedSet;

// Both plots as the window's displays draw them, white background, the whole
// display as plot area: I0-Nin in the top size.height()/2 rows, Nin-Nout below.
// dt is used only when set.canEstimate().
QImage renderPlots(const LoadedSet &set, const DeadTimes &dt, QSize size);

// One plot of width x height, drawn as one display draws it.
QImage renderPlot(const ScatterPlotData &data, int width, int height);
