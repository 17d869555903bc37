// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtime.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

class PointSet;

// One row of the batch report: both dead times of a channel with the fits
// they come from, their standard errors and the R^2 of each fit.
struct ChannelResult
{
    int channel = 0;
    double tau0 = 0.0;       // pre-amplifier, from ICR = a*I0 + b*I0^2
    double tau = 0.0;        // amplifier, from SCA = d0*ICR + d1*ICR^2
    double a = 0.0, b = 0.0; // I0 -> ICR fit
    double tau0StdErr = 0.0;
    double r2I0Icr = 0.0;
    double d0 = 0.0, d1 = 0.0; // ICR -> SCA fit
    double tauStdErr = 0.0;
    double r2IcrSca = 0.0;
};

// The rows of every common channel for dead times estimated over points.
QVector<ChannelResult> channelResults(const PointSet &points, const DeadTimes &dt);

// The column names, in table order; also the keys of the JSON objects.
QStringList resultColumns();

// Whitespace-separated text table: a header line of column names, then one
// line per channel, numbers with six significant digits.
QString formatResultTable(const QVector<ChannelResult> &rows);

// {column: value, ...} of one row, numbers at full precision; a non-finite
// value becomes null.
QJsonObject resultRowJson(const ChannelResult &row);
