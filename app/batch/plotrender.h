#pragma once

#include "deadtime.h"
#include "measvalues.h"
#include "scatterplot.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QVector>

struct LoadedSet;

// The 13 channel colours of the plots, channel j drawn in entry j mod 13.
QVector<QColor> channelColors();

enum class PlotKind {
    I0Nin, // ICR against I0, with the pre-amplifier fits
    NinNout // SCA against ICR, with the amplifier fits
};

// What one plot shows for points sharing chs channels: a point without
// channel j is placed at 0 on the axes it lacks. fits are used when estimated.
ScatterPlotData scatterPlotData(PlotKind kind, const QVector<MeasValues> &points, int chs,
                                const ValueRanges &ranges, bool estimated,
                                const QVector<QVector<double>> &fits);

// Both plots as the window's displays draw them, white background, the whole
// display as plot area: I0-Nin in the top size.height()/2 rows, Nin-Nout below.
// dt is used only when set.canEstimate().
QImage renderPlots(const LoadedSet &set, const DeadTimes &dt, QSize size);

// One plot of width x height, drawn as one display draws it.
QImage renderPlot(const ScatterPlotData &data, int width, int height);
