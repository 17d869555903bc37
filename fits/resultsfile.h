// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atomicfile.h" // writeFileSafely, with which the files are written
#include "verdict.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A double as QTextStream writes it by default: %g with six significant
// digits, locale-neutral ("inf", "-inf", "nan" for the non-finite values).
QString formatStreamDouble(double v);

// The first line of the results file, which tells it from a measurement.
constexpr char resultsFileFirstLine[] = "# Deadtime data";

// The results file: "# Deadtime data", "Preamp:" and "Amp:" lines, CR LF ends.
QByteArray formatResultsFile(const QVector<double> &tau0s, const QVector<double> &taus);

// The dead times the .conf leaves out, as it does a channel the detector does
// not have: channels left out whole, and the pre-amplifier (tau0s) or
// amplifier (taus) dead times that the data do not determine.
struct ConfOmissions
{
    QVector<bool> channels;
    QVector<bool> tau0s;
    QVector<bool> taus;
};

// The ".conf" companion: means line, "ICR0    " and "S025    " lines of 19
// channels each (values in microseconds), LF ends. A channel marked in
// leftOut is written as 0, as a channel the detector does not have, and takes
// no part in the means; so does an undetermined dead time, in its own line
// and mean; nor does a dead time that is not finite take part in the means,
// which it would make nan (or infinite) for all channels. With no finite
// value left the mean is nan.
QByteArray formatConfFile(const QVector<double> &tau0s, const QVector<double> &taus,
                          const QVector<bool> &leftOut = QVector<bool>());
QByteArray formatConfFile(const QVector<double> &tau0s, const QVector<double> &taus,
                          const ConfOmissions &omitted);

// The channels whose dead time in tau0s or taus is not finite and that are not
// left out: the ones formatConfFile leaves out of the means on its own.
QVector<int> nonFiniteChannels(const QVector<double> &tau0s, const QVector<double> &taus,
                               const QVector<bool> &leftOut = QVector<bool>());
QVector<int> nonFiniteChannels(const QVector<double> &tau0s, const QVector<double> &taus,
                               const ConfOmissions &omitted);

// The dead times the two files hold, as every output holds them: a dead time
// whose stage is undetermined is nan in the results file (its word for a
// value that is no number, as for a failed fit) and left out of the .conf
// with the channels left out whole. Verdicts beyond a vector's size are
// Determined.
struct ResultsFileValues
{
    QVector<double> tau0s;
    QVector<double> taus;
    ConfOmissions omitted;
};
ResultsFileValues obeyVerdicts(const QVector<double> &tau0s, const QVector<double> &taus,
                               const QVector<Verdict> &tau0Verdicts,
                               const QVector<Verdict> &tauVerdicts,
                               const QVector<bool> &leftOut);

// Which of the two files a save wrote.
struct SaveOutcome
{
    bool resultsWritten = false;
    bool confWritten = false;
};

// Writes the results file at path and its companion path + ".conf", the first
// complete before the second is begun; a file that cannot be written does not
// keep the other from being written.
SaveOutcome saveResultsFiles(const QString &path, const QVector<double> &tau0s,
                             const QVector<double> &taus,
                             const QVector<bool> &leftOut = QVector<bool>());
SaveOutcome saveResultsFiles(const QString &path, const QVector<double> &tau0s,
                             const QVector<double> &taus, const ConfOmissions &omitted);
