// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measvalues.h"
#include "scatterplot.h"

#include <QColor>
#include <QVector>

// The 13 channel colours of the plots, channel j drawn in entry j mod 13.
QVector<QColor> plotChannelColors();

enum class PlotKind {
    I0Nin, // ICR against I0, with the pre-amplifier fits
    NinNout // SCA against ICR, with the amplifier fits
};

// What one plot shows for points sharing chs channels: a point without
// channel j is placed at 0 on the axes it lacks. fits are used when estimated.
ScatterPlotData scatterPlotData(PlotKind kind, const QVector<MeasValues> &points, int chs,
                                const ValueRanges &ranges, bool estimated,
                                const QVector<QVector<double>> &fits);
