// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "deadtime.h"
#include "modelcomparison.h"

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
    double aStdErr = qQNaN();
    double d0StdErr = qQNaN();
    // Once the comparison is added: the parts of tau0StdErr and tauStdErr,
    // which are then their totals, and each stage's flags.
    TauUncertainty tau0Error;
    TauUncertainty tauError;
    DeadTimeFlags flagsI0Icr;
    DeadTimeFlags flagsIcrSca;
    Verdict tau0Verdict = Verdict::Determined;
    Verdict tauVerdict = Verdict::Determined;
    bool d0Fixed = false;
    bool excluded = false; // left out of the .conf file

    bool tau0Undetermined() const { return tau0Verdict != Verdict::Determined; }
    bool tauUndetermined() const { return tauVerdict != Verdict::Determined; }
};

// The rows of every common channel for dead times estimated over points.
QVector<ChannelResult> channelResults(const PointSet &points, const DeadTimes &dt);

// Takes the quadratic's uncertainties, flags and scale errors from the
// comparison of the same points, and each stage's verdict; with the amplifier
// fitted at d0 = 1 also its
// tau, d0 = 1 and d1 = -tau (R^2 is then not given).
void addComparison(QVector<ChannelResult> &rows, const QVector<ChannelComparison> &channels,
                   bool fixD0);

// The column names, in table order; also the keys of the JSON objects.
QStringList resultColumns();

// Whitespace-separated text table: a header line of column names and a last
// column "flags", then one line per channel, numbers with six significant
// digits; a dead time that the input cannot give is "undetermined (reason)"
// and its error "-".
QString formatResultTable(const QVector<ChannelResult> &rows);

// "undetermined (reason)", the text of a dead time the input cannot give.
QString undeterminedText(Verdict verdict);

// "tau0:flag,flag;tau:flag", the flags of each stage that has any; "-" for none.
QString stageFlagText(DeadTimeFlags preAmp, DeadTimeFlags amp);

// {column: value, ...} of one row, numbers at full precision; a non-finite
// or undetermined value becomes null, the latter with its reason under
// tau0Undetermined or tauUndetermined; with the comparison added also the
// parts of the errors and the flags.
QJsonObject resultRowJson(const ChannelResult &row);

// The parts of an uncertainty under prefix: prefixStatStdErr, prefixModelStdErr,
// prefixFilesStdErr, prefixFileScatter and prefixFiles.
void insertUncertainty(QJsonObject &o, const QString &prefix, const TauUncertainty &u);
