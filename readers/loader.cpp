// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "pointset.h"
#include "pointtable.h"
#include "recording.h"
#include "tableremarks.h"
#include "spectrumreader.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace {

QString withoutTrailingBlank(QString s)
{
    if (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

// The lines of a point table on their way into the set, a block of them at a
// time, so that each column grows once a block rather than once a line.
class RowBlock
{
public:
    RowBlock(PointSet &points, const QString &file)
        : m_points(points)
        , m_file(file)
    { }
    ~RowBlock() { flush(); }

    void add(const double *values, int channels, int line)
    {
        if (channels != m_channels)
            flush();
        m_channels = channels;
        m_values.insert(m_values.end(), values, values + 1 + 2 * qint64(channels));
        m_lines.push_back(line);
        if (m_values.size() >= blockValues)
            flush();
    }

    const QString &file() const { return m_file; }

    void flush()
    {
        if (!m_lines.empty())
            m_points.addRows(m_values.data(), int(m_lines.size()), m_channels, m_file,
                             m_lines.data());
        m_values.clear();
        m_lines.clear();
    }

private:
    static constexpr std::size_t blockValues = 8192; // 64 KiB, however wide the lines
    PointSet &m_points;
    QString m_file;
    int m_channels = 0;
    std::vector<double> m_values;
    std::vector<int> m_lines;
};

// The receiver of a point-table reader: points into the set through rows
// (which the caller flushes after the read), the header search as debug
// lines into trace.
PointTableSink pointTableSink(PointSet &points, RowBlock &rows, const TraceSink &trace,
                              const QString &idLine, FileReport *report = nullptr)
{
    PointTableSink sink;
    if (report) {
        sink.onNotNumber = [report](int line) {
            if (report->notNumberLines++ == 0)
                report->firstNotNumberLine = line;
        };
        sink.onStoppingHeader = [report](int line, const QString &value) {
            report->stoppingHeaderLine = line;
            report->stoppingHeaderValue = value;
        };
    }
    // Room for the points of the file is made at its first point, when the
    // channel count is known: one per line left, but never more numbers
    // (16 bytes per channel and 8 for I0) than the file has bytes, so that a
    // wide header over lines of nothing cannot reserve gigabytes. A table
    // whose numbers are shorter than that grows its columns as it goes.
    auto size = std::make_shared<std::pair<qint64, qint64>>(0, 0);
    sink.onSize = [size](qint64 lines, qint64 bytes) { *size = { lines, bytes }; };
    sink.onValues = [&points, &rows, size](const double *values, int channels, int line) {
        if (size->first > 0) {
            const qint64 linesLeft = size->first - line + 1;
            const qint64 fit = std::min(linesLeft, size->second / (16 * qint64(channels) + 8));
            points.reserve(int(std::min<qint64>(fit, std::numeric_limits<int>::max() / 2)));
            size->first = 0;
        }
        rows.add(values, channels, line);
    };
    // The text stream's reader, for text that is not plain ASCII.
    sink.onPoint = [&points, &rows](double i0, const QVector<double> &icrs,
                                    const QVector<double> &scas, int line) {
        rows.flush();
        points.add(i0, icrs, scas, PointSource { rows.file(), line });
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

// Says what the point-table read of report's file passed over, if anything:
// from what the read saw, or where it could not see everything (text that is
// not plain ASCII, a file beyond maxRemarkBytes) by a look of its own.
void addTableRemarks(FileReport &report, const PointSet &points, int first,
                     const PointTableRemarkScan &scan)
{
    if (!report.open.opened())
        return;
    // A table without points after a header of no channels: the remarks
    // would describe lines as a table of one channel reads them, which the
    // reader never read.
    if (!report.gavePoints() && report.stoppingHeaderLine > 0) {
        report.warnings.append(
                QCoreApplication::translate("Recordings",
                                            "line %1: the channel header gives no channel count "
                                            "('%2'), so no later line is read")
                        .arg(report.stoppingHeaderLine)
                        .arg(report.stoppingHeaderValue.left(80)));
        return;
    }
    const int channels = report.gavePoints() ? points.at(first).icrs.size() : 1;
    PointTableRemarks remarks;
    if (scan.known()) {
        remarks = scan.remarks();
    } else {
        QFile file(report.path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        remarks = pointTableRemarks(file, channels);
    }
    const QString text = remarksText(remarks, channels);
    if (!text.isEmpty())
        report.warnings.append(text);
}

// Reads path as a point table; where remarks is set, they are looked for on
// the same pass. With mayBeSpectrum, a file that may be a spectrum file is
// left unread and mayBeSpectrum set.
FileReport readTable(const QString &path, PointSet &points, const TraceSink &trace,
                     PointTableRemarkScan *remarks, bool *mayBeSpectrum = nullptr)
{
    FileReport report;
    report.path = path;
    const int before = points.size();
    RowBlock rows(points, path);
    PointTableSink sink = pointTableSink(points, rows, trace, idLine(), &report);
    sink.remarks = remarks;
    report.open = mayBeSpectrum
            ? readPointTableFileUnless(path, spectrumKey, sink, *mayBeSpectrum)
            : readPointTableFile(path, sink);
    rows.flush();
    if (!report.open.opened() && trace)
        trace(debugLine("Cannot open", path));
    report.points = points.size() - before;
    return report;
}

// A file of the point-table program: a spectrum file if that reader takes it,
// otherwise a point table. Most files are tables, and the look for what every
// spectrum file holds is made on the table reader's first pass over the file.
FileReport loadNativeFile(const QString &path, PointSet &points, const TraceSink &trace)
{
    const int first = points.size();
    PointTableRemarkScan remarks;
    bool mayBeSpectrum = false;
    FileReport report = readTable(path, points, trace, &remarks, &mayBeSpectrum);
    if (mayBeSpectrum) {
        SpectrumPoint sp;
        if (mayBeSpectrumFile(path))
            readSpectrumFile(path, sp);
        if (sp.ok) {
            points.add(sp.i0, sp.icrs, sp.scas, PointSource { path, 0 });
            FileReport spectrum;
            spectrum.path = path;
            spectrum.points = 1;
            return spectrum;
        }
        report = readTable(path, points, trace, &remarks);
    }
    addTableRemarks(report, points, first, remarks);
    return report;
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
    return readTable(path, points, trace, nullptr);
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
        reports.append(loadNativeFile(path, points, trace));
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
    RowBlock rows(points, QString());
    readPointTableBytes(bytes, pointTableSink(points, rows, trace, idLine()));
    rows.flush();
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
