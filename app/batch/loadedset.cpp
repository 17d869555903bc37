// SPDX-License-Identifier: GPL-3.0-or-later
#include "loadedset.h"

#include "pointtable.h"
#include "spectrumreader.h"

#include <QDebug>
#include <QFile>

#include <algorithm>

void LoadedSet::add(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    const int m = std::min(icrs.size(), scas.size());
    if (points.isEmpty() || m < chs)
        chs = m;
    const MeasValues p { i0, icrs, scas };
    points.append(p);
    ranges.include(p);
}

namespace {

QString withoutTrailingBlank(QString s)
{
    if (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

QString openError(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        return QStringLiteral("could not be opened");
    return f.errorString();
}

} // namespace

QString debugLine(const char *label, const QString &value)
{
    QString line;
    QDebug(&line) << label << value;
    return withoutTrailingBlank(line);
}

QString debugLine(const char *label, bool value)
{
    QString line;
    QDebug(&line) << label << value;
    return withoutTrailingBlank(line);
}

void loadMeasurementFiles(const QStringList &paths, LoadedSet &set, const LoadMessages &messages)
{
    PointTableSink sink;
    sink.onPoint = [&set](double i0, const QVector<double> &icrs, const QVector<double> &scas) {
        set.add(i0, icrs, scas);
    };
    if (messages.trace) {
        const QString key = QString::fromLatin1(channelHeaderKey);
        sink.onTrace = [&messages, key](const QString &line, bool isHeader) {
            messages.trace(debugLine("LINE", line));
            messages.trace(debugLine("ID", key));
            messages.trace(debugLine("bool", isHeader));
        };
    } else {
        sink.onTrace = [](const QString &, bool) {};
    }

    for (const QString &path : paths) {
        const int before = set.points.size();
        SpectrumPoint sp;
        readSpectrumFile(path, sp);
        if (sp.ok) {
            set.add(sp.i0, sp.icrs, sp.scas);
            continue;
        }
        if (!readPointTableFile(path, sink)) {
            if (messages.trace)
                messages.trace(debugLine("Cannot open", path));
            if (messages.unreadable)
                messages.unreadable(path, openError(path));
            continue;
        }
        if (set.points.size() == before && messages.noPoints)
            messages.noPoints(path);
    }
}
