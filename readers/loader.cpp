// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "columnscan.h"
#include "filelook.h"
#include "gzipfile.h"
#include "hdf5columns.h"
#include "pointset.h"
#include "pointtable.h"
#include "recording.h"
#include "tableremarks.h"
#include "spectrumreader.h"

#include <QBuffer>
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
// not plain ASCII, a file beyond maxRemarkBytes) by a look of its own, at
// bytes where the content was read from memory.
void addTableRemarks(FileReport &report, const PointSet &points, int first,
                     const PointTableRemarkScan &scan, const QByteArray *bytes = nullptr)
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
    } else if (bytes) {
        remarks = pointTableRemarks(*bytes, channels);
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

// The same for content in memory, what a gzip file holds.
FileReport loadNativeBytes(const QByteArray &bytes, const QString &path, PointSet &points,
                           const TraceSink &trace)
{
    FileReport report;
    report.path = path;
    const int first = points.size();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (mayBeSpectrum(buffer)) {
        SpectrumPoint sp;
        readSpectrumBytes(bytes, sp);
        if (sp.ok) {
            points.add(sp.i0, sp.icrs, sp.scas, PointSource { path, 0 });
            report.points = 1;
            return report;
        }
    }
    {
        RowBlock rows(points, path);
        readPointTableBytes(bytes, pointTableSink(points, rows, trace, idLine(), &report));
    }
    report.points = points.size() - first;
    addTableRemarks(report, points, first, PointTableRemarkScan(), &bytes);
    return report;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("Recordings", text);
}

// A file's content as the readers get it: the file at path, or what a gzip
// file holds, decompressed into bytes.
struct Content
{
    QString path;
    QIODevice &device; // raw, at any position
    const QByteArray *bytes = nullptr; // null: the file at path
};

FileReport loadNative(const Content &c, PointSet &points, const TraceSink &trace)
{
    return c.bytes ? loadNativeBytes(*c.bytes, c.path, points, trace)
                   : loadNativeFile(c.path, points, trace);
}

// A file that looks like no spectrum file or point table and that no reader
// takes for what it looks like.
FileReport loadUnrecognised(const Content &c, const QString &looksLike, bool needsRecipe,
                            PointSet &points, const TraceSink &trace, const LoadOptions &options)
{
    FileReport report;
    if (options.unrecognised == LoadOptions::Unrecognised::Refuse) {
        report.path = c.path;
        report.error = looksLike;
        report.refused = true;
        report.needsRecipe = needsRecipe;
    } else {
        report = loadNative(c, points, trace);
    }
    report.looksLike = looksLike;
    return report;
}

// A file without a signature: binary, JSON, or text to be read by what it
// looks like.
FileReport loadUnsigned(const Content &c, PointSet &points, const TraceSink &trace,
                        const LoadOptions &options)
{
    c.device.seek(0);
    if (looksBinary(c.device.peek(binaryLookBytes)))
        return loadUnrecognised(c, tr("binary file, not a text recording"), false, points, trace,
                                options);
    switch (lookAtJson(c.device)) {
    case JsonLook::DeadTimes:
        return loadUnrecognised(c, tr("a dead-time file: give it to `correct --dead-times`"),
                                false, points, trace, options);
    case JsonLook::Other:
        return loadUnrecognised(c, tr("a JSON document, not a measurement"), false, points,
                                trace, options);
    case JsonLook::NotJson:
        break;
    }
    const TextLook look = lookAtText(c.device);
    if (look.kind == TextLook::Native)
        return loadNative(c, points, trace);
    if (look.kind == TextLook::SingleSpectrum) {
        const ScanRead spectrum = readRecording(c.device, RecordingKind::SingleSpectrum, options);
        if (spectrum.needsRecipe)
            return loadUnrecognised(c, spectrum.error, false, points, trace, options);
        return addRecording(c.path, spectrum, points);
    }
    const ScanRead scan = readRecording(c.device, RecordingKind::Columns, options);
    if (scan.needsScan)
        return loadUnrecognised(c, scan.error, false, points, trace, options);
    if (scan.needsRecipe)
        return loadUnrecognised(c,
                                tr("%1, and no built-in recipe fits the columns %2")
                                        .arg(textLookDescription(look),
                                             columnNamesText(scan.columnNames)),
                                true, points, trace, options);
    // Not even names and rows to try a recipe on. (A SPEC file's error is
    // about the scan asked for.)
    if (!scan.ok() && scan.recipe.i0.isEmpty() && look.kind == TextLook::Columns)
        return loadUnrecognised(c, tr("%1: %2").arg(textLookDescription(look), scan.error), true,
                                points, trace, options);
    return addRecording(c.path, scan, points);
}

// A gzip file: what it holds, decompressed, read as that file would be.
FileReport loadCompressed(const QString &path, PointSet &points, const TraceSink &trace,
                          const LoadOptions &options)
{
    FileReport report;
    report.path = path;
    QFile file(path);
    report.open = openMeasurementFile(file);
    if (!report.open.opened())
        return report;
    file.setTextModeEnabled(false);
    const QByteArray bytes = gunzip(file, maxInMemorySize, report.error);
    if (!report.error.isEmpty())
        return report;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const Content content { path, buffer, &bytes };
    if (options.pointTable)
        return loadNative(content, points, trace);
    const RecordingKind kind = recordingKind(bytes.left(hdf5SignatureReach), options);
    if (kind == RecordingKind::Hdf5) {
        report.error = tr("an HDF5 file compressed with gzip: decompress it first (gunzip)");
        return report;
    }
    if (kind != RecordingKind::Native)
        return addRecording(path, readRecording(buffer, kind, options), points);
    return loadUnsigned(content, points, trace, options);
}

FileReport loadFile(const QString &path, PointSet &points, const TraceSink &trace,
                    const LoadOptions &options)
{
    const QByteArray head = recordingHead(path);
    if (looksGzip(head))
        return loadCompressed(path, points, trace, options);
    if (options.pointTable)
        return loadNativeFile(path, points, trace);
    const RecordingKind kind = recordingKind(head, options);
    if (kind != RecordingKind::Native)
        return loadRecording(path, kind, points, options);
    QFile file(path);
    // One that cannot be opened is named by the native reader, as ever.
    if (!openMeasurementFile(file).opened())
        return loadNativeFile(path, points, trace);
    file.setTextModeEnabled(false);
    return loadUnsigned(Content { path, file }, points, trace, options);
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
    for (const QString &path : paths)
        reports.append(loadFile(path, points, trace, options));
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
