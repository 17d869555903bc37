// SPDX-License-Identifier: GPL-3.0-or-later
#include "channelresult.h"

#include "pointset.h"
#include "quadraticerrors.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

double valueAt(const QVector<double> &v, int j)
{
    return j < v.size() ? v[j] : 0.0;
}

// Over the points the fit used (see usablePoint).
QuadraticErrors quadraticErrors(const QVector<double> &x, const QVector<double> &y, double c0,
                                double c1)
{
    if (!unusablePoints(x, y).isEmpty()) {
        QVector<double> keptX;
        QVector<double> keptY;
        keepUsable(x, y, keptX, keptY);
        return quadraticErrors(keptX, keptY, c0, c1);
    }
    return ::quadraticErrors(x.constData(), y.constData(), std::min(x.size(), y.size()), c0, c1);
}

QVector<double> rowValues(const ChannelResult &r)
{
    return { double(r.channel), r.tau0, r.tau, r.a, r.b, r.tau0StdErr, r.r2I0Icr,
             r.d0, r.d1, r.tauStdErr, r.r2IcrSca, r.aStdErr, r.d0StdErr };
}

// The columns that show a dead time or its error that the input cannot give.
bool hiddenColumn(const ChannelResult &r, int column)
{
    return ((column == 1 || column == 5) && r.tau0Undetermined())
            || ((column == 2 || column == 9) && r.tauUndetermined());
}

QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

} // namespace

QString undeterminedText(Verdict verdict)
{
    return QStringLiteral("undetermined (%1)").arg(verdictName(verdict));
}

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

void addComparison(QVector<ChannelResult> &rows, const QVector<ChannelComparison> &channels,
                   bool fixD0)
{
    for (int j = 0; j < rows.size() && j < channels.size(); ++j) {
        ChannelResult &r = rows[j];
        const StageComparison &pre = channels[j].preAmp;
        const StageComparison &amp = channels[j].amp;
        r.tau0Error = pre.quadraticError;
        r.tauError = amp.quadraticError;
        r.tau0StdErr = r.tau0Error.total;
        r.tauStdErr = r.tauError.total;
        r.aStdErr = pre.quadratic.scaleStdErr;
        r.d0StdErr = amp.quadratic.scaleStdErr;
        r.flagsI0Icr = pre.flags;
        r.flagsIcrSca = amp.flags;
        r.tau0Verdict = pre.verdict;
        r.tauVerdict = amp.verdict;
        r.d0Fixed = fixD0;
        if (fixD0)
            r.r2IcrSca = qQNaN();
    }
}

QString stageFlagText(DeadTimeFlags preAmp, DeadTimeFlags amp)
{
    QStringList parts;
    if (preAmp)
        parts << QStringLiteral("tau0:") + deadTimeFlagNames(preAmp).join(QLatin1Char(','));
    if (amp)
        parts << QStringLiteral("tau:") + deadTimeFlagNames(amp).join(QLatin1Char(','));
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QLatin1Char(';'));
}

void insertUncertainty(QJsonObject &o, const QString &prefix, const TauUncertainty &u)
{
    o.insert(prefix + QStringLiteral("StatStdErr"), number(u.statistical));
    o.insert(prefix + QStringLiteral("ModelStdErr"), number(u.model));
    o.insert(prefix + QStringLiteral("FilesStdErr"), number(u.files));
    o.insert(prefix + QStringLiteral("FileScatter"), number(u.fileScatter));
    o.insert(prefix + QStringLiteral("Files"), u.fileFits);
}

QStringList resultColumns()
{
    return { QStringLiteral("channel"), QStringLiteral("tau0"),       QStringLiteral("tau"),
             QStringLiteral("a"),       QStringLiteral("b"),          QStringLiteral("tau0StdErr"),
             QStringLiteral("r2I0Icr"), QStringLiteral("d0"),         QStringLiteral("d1"),
             QStringLiteral("tauStdErr"), QStringLiteral("r2IcrSca"), QStringLiteral("aStdErr"),
             QStringLiteral("d0StdErr") };
}

QString formatResultTable(const QVector<ChannelResult> &rows)
{
    const QStringList columns = resultColumns();
    QString text;
    for (int c = 0; c < columns.size(); ++c) {
        const int width = c == 0 ? 7 : 13;
        text += columns[c].rightJustified(width + (c == 0 ? 0 : 1));
    }
    text += QStringLiteral(" flags\n");
    for (const ChannelResult &r : rows) {
        const QVector<double> values = rowValues(r);
        text += QString::number(r.channel).rightJustified(7);
        for (int c = 1; c < values.size(); ++c) {
            const QString cell = !hiddenColumn(r, c) ? QString::number(values[c], 'g', 6)
                    : c == 1 ? undeterminedText(r.tau0Verdict)
                    : c == 2 ? undeterminedText(r.tauVerdict)
                             : QStringLiteral("-");
            text += QLatin1Char(' ') + cell.rightJustified(13);
        }
        text += QLatin1Char(' ') + stageFlagText(r.flagsI0Icr, r.flagsIcrSca);
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
        o.insert(columns[c], hiddenColumn(row, c) ? QJsonValue() : number(values[c]));
    insertVerdict(o, QStringLiteral("tau0"), row.tau0Verdict);
    insertVerdict(o, QStringLiteral("tau"), row.tauVerdict);
    insertUncertainty(o, QStringLiteral("tau0"),
                      row.tau0Undetermined() ? TauUncertainty() : row.tau0Error);
    insertUncertainty(o, QStringLiteral("tau"),
                      row.tauUndetermined() ? TauUncertainty() : row.tauError);
    o.insert(QStringLiteral("d0Fixed"), row.d0Fixed);
    o.insert(QStringLiteral("excluded"), row.excluded);
    o.insert(QStringLiteral("flagsI0Icr"),
             QJsonArray::fromStringList(deadTimeFlagNames(row.flagsI0Icr)));
    o.insert(QStringLiteral("flagsIcrSca"),
             QJsonArray::fromStringList(deadTimeFlagNames(row.flagsIcrSca)));
    return o;
}
