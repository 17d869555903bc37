// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "pointset.h"
#include "pointtable.h"
#include "recording.h"
#include "tableremarks.h"
#include "spectrumreader.h"

#include <QDebug>
#include <QFile>

namespace {

QString withoutTrailingBlank(QString s)
{
    if (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

// The receiver of a point-table reader: points into the set, the header
// search as debug lines into trace.
PointTableSink pointTableSink(PointSet &points, const QString &path, const TraceSink &trace,
                              const QString &idLine)
{
    PointTableSink sink;
    sink.onPoint = [&points, path](double i0, const QVector<double> &icrs,
                                   const QVector<double> &scas, int line) {
        points.add(i0, icrs, scas, PointSource { path, line });
    };
    if (trace) {
        sink.onTrace = [&trace, idLine](const QString &line, bool isHeader) {
            trace(debugLine("LINE", line));
            trace(idLine);
            trace(debugLine("bool", isHeader));
        };
    }
    return sink;
}

QString idLine()
{
    return debugLine("ID", QString::fromLatin1(channelHeaderKey));
}

// Says what the point-table read of report's file passed over, if anything.
void addTableRemarks(FileReport &report, const PointSet &points, int first)
{
    if (!report.open.opened())
        return;
    QFile file(report.path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const int channels = report.gavePoints() ? points.at(first).icrs.size() : 1;
    const QString text = remarksText(pointTableRemarks(file.read(maxRemarkBytes), channels),
                                     channels);
    if (!text.isEmpty())
        report.warnings.append(text);
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

FileReport loadPointTable(const QString &path, PointSet &points, const TraceSink &trace)
{
    FileReport report;
    report.path = path;
    const int before = points.size();
    report.open = readPointTableFile(path, pointTableSink(points, path, trace, idLine()));
    if (!report.open.opened() && trace)
        trace(debugLine("Cannot open", path));
    report.points = points.size() - before;
    return report;
}

QVector<FileReport> loadMeasurementFiles(const QStringList &paths, PointSet &points,
                                         const TraceSink &trace, const LoadOptions &options)
{
    QVector<FileReport> reports;
    reports.reserve(paths.size());
    for (const QString &path : paths) {
        const RecordingKind kind = recordingKind(recordingHead(path), options);
        if (kind != RecordingKind::Native) {
            reports.append(loadRecording(path, kind, points, options));
            continue;
        }
        SpectrumPoint sp;
        readSpectrumFile(path, sp);
        if (sp.ok) {
            points.add(sp.i0, sp.icrs, sp.scas, PointSource { path, 0 });
            FileReport report;
            report.path = path;
            report.points = 1;
            reports.append(report);
        } else {
            const int first = points.size();
            reports.append(loadPointTable(path, points, trace));
            addTableRemarks(reports.last(), points, first);
        }
    }
    return reports;
}

int loadMeasurementBytes(const QByteArray &bytes, PointSet &points, const TraceSink &trace)
{
    SpectrumPoint sp;
    readSpectrumBytes(bytes, sp);
    if (sp.ok) {
        points.add(sp.i0, sp.icrs, sp.scas);
        return 1;
    }
    const int before = points.size();
    readPointTableBytes(bytes, pointTableSink(points, QString(), trace, idLine()));
    return points.size() - before;
}

QString problemText(const FileReport &report)
{
    switch (report.open.kind) {
    case OpenStatus::NotRegularFile:
        return QStringLiteral("not a regular file");
    case OpenStatus::CannotOpen:
        return report.open.reason;
    case OpenStatus::Opened:
        break;
    }
    if (!report.error.isEmpty())
        return report.error;
    return report.gavePoints() ? QString() : QStringLiteral("no measurement point in it");
}
