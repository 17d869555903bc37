// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scatterplot.h"

#include <QColor>
#include <QVector>

class PointSet;

// The 13 channel colours of the plots, channel j drawn in entry j mod 13.
QVector<QColor> plotChannelColors();

enum class PlotKind {
    I0Nin, // ICR against I0, with the pre-amplifier fits
    NinNout // SCA against ICR, with the amplifier fits
};

// What one plot shows of points: every common channel of every point, the
// value ranges of the set for the scales, and the fits when estimated.
ScatterPlotData scatterPlotData(PlotKind kind, const PointSet &points, bool estimated,
                                const QVector<QVector<double>> &fits);
