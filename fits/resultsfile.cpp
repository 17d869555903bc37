// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultsfile.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int confChannels = 19;
const double microseconds = 1000000.0;

// Whether the dead time of channel i in the line of stage is left out.
bool omittedAt(const ConfOmissions &omitted, const QVector<bool> &stage, int i)
{
    return omitted.channels.value(i) || stage.value(i);
}

// Over the channels kept: sum in channel order from 0.0, divided by their number.
double mean(const QVector<double> &v, const ConfOmissions &omitted, const QVector<bool> &stage)
{
    double sum = 0.0;
    int n = 0;
    for (int i = 0; i < v.size(); ++i) {
        if (omittedAt(omitted, stage, i) || !std::isfinite(v[i]))
            continue;
        sum += v[i];
        ++n;
    }
    return n > 0 ? sum / n : std::numeric_limits<double>::quiet_NaN();
}

void appendConfChannels(QByteArray &out, const QVector<double> &values,
                        const ConfOmissions &omitted, const QVector<bool> &stage)
{
    for (int i = 0; i < confChannels; ++i) {
        if (i < values.size() && !omittedAt(omitted, stage, i)) {
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
    return formatConfFile(tau0s, taus, ConfOmissions { leftOut, {}, {} });
}

QByteArray formatConfFile(const QVector<double> &tau0s, const QVector<double> &taus,
                          const ConfOmissions &omitted)
{
    const QByteArray preampMean
            = formatStreamDouble(mean(tau0s, omitted, omitted.tau0s) * microseconds).toLatin1();
    const QByteArray ampMean
            = formatStreamDouble(mean(taus, omitted, omitted.taus) * microseconds).toLatin1();
    QByteArray out("          ");
    out += preampMean;
    for (int i = 0; i < 6; ++i) {
        out += ' ';
        out += ampMean;
    }
    out += "\nICR0    ";
    appendConfChannels(out, tau0s, omitted, omitted.tau0s);
    out += "S025    ";
    appendConfChannels(out, taus, omitted, omitted.taus);
    return out;
}

QVector<int> nonFiniteChannels(const QVector<double> &tau0s, const QVector<double> &taus,
                               const QVector<bool> &leftOut)
{
    return nonFiniteChannels(tau0s, taus, ConfOmissions { leftOut, {}, {} });
}

QVector<int> nonFiniteChannels(const QVector<double> &tau0s, const QVector<double> &taus,
                               const ConfOmissions &omitted)
{
    QVector<int> channels;
    for (int i = 0; i < std::max(tau0s.size(), taus.size()); ++i) {
        const bool bad = (i < tau0s.size() && !std::isfinite(tau0s[i])
                          && !omittedAt(omitted, omitted.tau0s, i))
                || (i < taus.size() && !std::isfinite(taus[i])
                    && !omittedAt(omitted, omitted.taus, i));
        if (bad)
            channels.append(i);
    }
    return channels;
}

ResultsFileValues obeyVerdicts(const QVector<double> &tau0s, const QVector<double> &taus,
                               const QVector<Verdict> &tau0Verdicts,
                               const QVector<Verdict> &tauVerdicts,
                               const QVector<bool> &leftOut)
{
    ResultsFileValues v { tau0s, taus, ConfOmissions { leftOut, {}, {} } };
    const auto obey = [](QVector<double> &values, const QVector<Verdict> &verdicts,
                         QVector<bool> &omitted) {
        for (int j = 0; j < values.size() && j < verdicts.size(); ++j) {
            if (verdicts[j] == Verdict::Determined)
                continue;
            values[j] = std::numeric_limits<double>::quiet_NaN();
            omitted.resize(std::max(int(omitted.size()), j + 1));
            omitted[j] = true;
        }
    };
    obey(v.tau0s, tau0Verdicts, v.omitted.tau0s);
    obey(v.taus, tauVerdicts, v.omitted.taus);
    return v;
}

SaveOutcome saveResultsFiles(const QString &path, const QVector<double> &tau0s,
                             const QVector<double> &taus, const QVector<bool> &leftOut)
{
    return saveResultsFiles(path, tau0s, taus, ConfOmissions { leftOut, {}, {} });
}

SaveOutcome saveResultsFiles(const QString &path, const QVector<double> &tau0s,
                             const QVector<double> &taus, const ConfOmissions &omitted)
{
    SaveOutcome outcome;
    outcome.resultsWritten = writeFileSafely(path, formatResultsFile(tau0s, taus));
    outcome.confWritten
            = writeFileSafely(path + QStringLiteral(".conf"), formatConfFile(tau0s, taus, omitted));
    return outcome;
}
