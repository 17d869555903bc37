// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultsfile.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int confChannels = 19;
const double microseconds = 1000000.0;

// Over the channels kept: sum in channel order from 0.0, divided by their number.
double mean(const QVector<double> &v, const QVector<bool> &leftOut)
{
    double sum = 0.0;
    int n = 0;
    for (int i = 0; i < v.size(); ++i) {
        if (leftOut.value(i) || !std::isfinite(v[i]))
            continue;
        sum += v[i];
        ++n;
    }
    return n > 0 ? sum / n : std::numeric_limits<double>::quiet_NaN();
}

void appendConfChannels(QByteArray &out, const QVector<double> &values,
                        const QVector<bool> &leftOut)
{
    for (int i = 0; i < confChannels; ++i) {
        if (i < values.size() && !leftOut.value(i)) {
            out += "  ";
            out += formatStreamDouble(values.at(i) * microseconds).toLatin1();
        } else {
            out += "  0";
        }
    }
    out += '\n';
}

} // namespace

QString formatStreamDouble(double v)
{
    // QTextStream formats with its own locale, which is the C locale unless set,
    // whatever the application's default locale is.
    QString text;
    QTextStream stream(&text);
    stream << v;
    stream.flush();
    return text;
}

QByteArray formatResultsFile(const QVector<double> &tau0s, const QVector<double> &taus)
{
    QByteArray out(resultsFileFirstLine);
    out += "\r\nPreamp:";
    for (double v : tau0s) {
        out += ' ';
        out += formatStreamDouble(v).toLatin1();
    }
    out += "\r\nAmp:";
    for (double v : taus) {
        out += ' ';
        out += formatStreamDouble(v).toLatin1();
    }
    out += "\r\n";
    return out;
}

QByteArray formatConfFile(const QVector<double> &tau0s, const QVector<double> &taus,
                          const QVector<bool> &leftOut)
{
    const QByteArray preampMean
            = formatStreamDouble(mean(tau0s, leftOut) * microseconds).toLatin1();
    const QByteArray ampMean = formatStreamDouble(mean(taus, leftOut) * microseconds).toLatin1();
    QByteArray out("          ");
    out += preampMean;
    for (int i = 0; i < 6; ++i) {
        out += ' ';
        out += ampMean;
    }
    out += "\nICR0    ";
    appendConfChannels(out, tau0s, leftOut);
    out += "S025    ";
    appendConfChannels(out, taus, leftOut);
    return out;
}

QVector<int> nonFiniteChannels(const QVector<double> &tau0s, const QVector<double> &taus,
                               const QVector<bool> &leftOut)
{
    QVector<int> channels;
    for (int i = 0; i < std::max(tau0s.size(), taus.size()); ++i) {
        const bool bad = (i < tau0s.size() && !std::isfinite(tau0s[i]))
                || (i < taus.size() && !std::isfinite(taus[i]));
        if (bad && !leftOut.value(i))
            channels.append(i);
    }
    return channels;
}

SaveOutcome saveResultsFiles(const QString &path, const QVector<double> &tau0s,
                             const QVector<double> &taus, const QVector<bool> &leftOut)
{
    SaveOutcome outcome;
    outcome.resultsWritten = writeFileSafely(path, formatResultsFile(tau0s, taus));
    outcome.confWritten
            = writeFileSafely(path + QStringLiteral(".conf"), formatConfFile(tau0s, taus, leftOut));
    return outcome;
}
