// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelcomparison.h"

#include <QStringList>
#include <QVector>

class PointSet;

// What the batch command says on standard error about dead times the data
// could not give.

// One line per stage of a channel not left out whose dead time the data do
// not determine: "channel 2: tau0 undetermined (not-intensity-scan): I0 does
// not vary by a factor 2, or ICR does not follow it (an energy scan)".
QStringList undeterminedLines(const QVector<ChannelComparison> &channels,
                              const QVector<bool> &leftOut);

// One line per stage whose fits left points out, naming them by file and line
// (the first few, and how many more): "channel 1, ICR -> SCA: 1 point left
// out of the fits, a rate negative or not finite: scan_12.dat line 40".
QStringList leftOutPointLines(const PointSet &points, const QVector<ChannelComparison> &channels);
