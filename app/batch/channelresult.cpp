// SPDX-License-Identifier: GPL-3.0-or-later
#include "channelresult.h"

#include "pointset.h"
#include "quadraticerrors.h"


#include <algorithm>
#include <cmath>

namespace {

double valueAt(const QVector<double> &v, int j)
{
    return j < v.size() ? v[j] : 0.0;
}

QuadraticErrors quadraticErrors(const QVector<double> &x, const QVector<double> &y, double c0,
                                double c1)
{
    return ::quadraticErrors(x.constData(), y.constData(), std::min(x.size(), y.size()), c0, c1);
}

QVector<double> rowValues(const ChannelResult &r)
{
    return { double(r.channel), r.tau0, r.tau, r.a, r.b, r.tau0StdErr, r.r2I0Icr,
             r.d0, r.d1, r.tauStdErr, r.r2IcrSca };
}

} // namespace

QVector<ChannelResult> channelResults(const PointSet &points, const DeadTimes &dt)
{
    QVector<ChannelResult> rows;
    const QVector<double> &i0 = points.i0s();
    for (int j = 0; j < points.chs() && j < dt.tau0s.size() && j < dt.taus.size(); ++j) {
        ChannelResult r;
        r.channel = j;
        r.tau0 = dt.tau0s[j];
        r.tau = dt.taus[j];
        r.a = valueAt(dt.tau0Fits.value(j), 0);
        r.b = valueAt(dt.tau0Fits.value(j), 1);
        r.d0 = valueAt(dt.tauFits.value(j), 0);
        r.d1 = valueAt(dt.tauFits.value(j), 1);
        const QVector<double> &icr = points.icrColumn(j);

        const QuadraticErrors pre = quadraticErrors(i0, icr, r.a, r.b);
        r.tau0StdErr = quadraticDeadTimeStdError(FitStage::PreAmp, r.a, r.b, pre);
        r.r2I0Icr = pre.r2;

        const QuadraticErrors amp = quadraticErrors(icr, points.scaColumn(j), r.d0, r.d1);
        r.tauStdErr = quadraticDeadTimeStdError(FitStage::Amp, r.d0, r.d1, amp);
        r.r2IcrSca = amp.r2;
        rows.append(r);
    }
    return rows;
}

QStringList resultColumns()
{
    return { QStringLiteral("channel"), QStringLiteral("tau0"),       QStringLiteral("tau"),
             QStringLiteral("a"),       QStringLiteral("b"),          QStringLiteral("tau0StdErr"),
             QStringLiteral("r2I0Icr"), QStringLiteral("d0"),         QStringLiteral("d1"),
             QStringLiteral("tauStdErr"), QStringLiteral("r2IcrSca") };
}

QString formatResultTable(const QVector<ChannelResult> &rows)
{
    const QStringList columns = resultColumns();
    QString text;
    for (int c = 0; c < columns.size(); ++c) {
        const int width = c == 0 ? 7 : 13;
        text += columns[c].rightJustified(width + (c == 0 ? 0 : 1));
    }
    text += QLatin1Char('\n');
    for (const ChannelResult &r : rows) {
        const QVector<double> values = rowValues(r);
        text += QString::number(r.channel).rightJustified(7);
        for (int c = 1; c < values.size(); ++c)
            text += QLatin1Char(' ') + QString::number(values[c], 'g', 6).rightJustified(13);
        text += QLatin1Char('\n');
    }
    return text;
}

QJsonObject resultRowJson(const ChannelResult &row)
{
    const QStringList columns = resultColumns();
    const QVector<double> values = rowValues(row);
    QJsonObject o;
    o.insert(columns[0], row.channel);
    for (int c = 1; c < values.size(); ++c)
        o.insert(columns[c], std::isfinite(values[c]) ? QJsonValue(values[c]) : QJsonValue());
    return o;
}
