// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording.h"

#include "columnscan.h"
#include "hdf5columns.h"
#include "hdf5scan.h"
#include "mcafile.h"
#include "measfile.h"
#include "pointset.h"
#include "recipe.h"

#include <QFile>

namespace {

// Enough for the HDF5 signature behind a user block of up to 2 KiB.
constexpr int headBytes = 2048 + 8;

bool looksLikeMca(const QByteArray &head)
{
    return head.startsWith("VERSION:");
}

void addScanPoints(const QVector<ScanPoint> &scan, const QString &path, PointSet &points)
{
    for (const ScanPoint &p : scan)
        points.add(p.i0, p.icrs, p.scas, PointSource { path, p.line });
}

FileReport reportOf(const QString &path, const ScanRead &scan)
{
    FileReport report;
    report.path = path;
    report.error = scan.error;
    report.points = scan.ok() ? scan.points.size() : 0;
    if (scan.recipe.origin.contains(QLatin1String("taken as rates")))
        report.warnings.append(scan.recipe.origin);
    else if (!scan.recipe.origin.isEmpty())
        report.notes.append(scan.recipe.origin);
    if (!scan.note.isEmpty())
        report.warnings.append(scan.note);
    report.recipeText = scan.recipe.toText();
    report.needsRecipe = scan.needsRecipe;
    return report;
}

ScanRead readColumns(QFile &file, const LoadOptions &options)
{
    file.setTextModeEnabled(false);
    return readColumnScan(file, options.recipe);
}

} // namespace

RecordingKind recordingKind(const QByteArray &head, const LoadOptions &options)
{
    if (looksLikeHdf5(head))
        return RecordingKind::Hdf5;
    if (looksLikeMca(head))
        return RecordingKind::Mca;
    if (looksLikeXdi(head) || options.recipe || options.columns)
        return RecordingKind::Columns;
    return RecordingKind::Native;
}

QByteArray recordingHead(const QString &path)
{
    QFile file(path);
    if (!openMeasurementFile(file).opened())
        return QByteArray();
    // Raw: the HDF5 signature holds a CR LF that text mode would fold.
    file.setTextModeEnabled(false);
    return file.read(headBytes);
}

FileReport loadRecording(const QString &path, RecordingKind kind, PointSet &points,
                         const LoadOptions &options)
{
    ScanRead scan;
    if (kind == RecordingKind::Hdf5) {
        scan = readHdf5Scan(path, options.recipe);
    } else {
        QFile file(path);
        const OpenStatus open = openMeasurementFile(file);
        if (!open.opened()) {
            FileReport report;
            report.path = path;
            report.open = open;
            return report;
        }
        scan = kind == RecordingKind::Mca ? readMcaScan(file, options.recipe)
                                          : readColumns(file, options);
    }
    addScanPoints(scan.points, path, points);
    return reportOf(path, scan);
}
