// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording.h"

#include "builtinrecipes.h"
#include "columnscan.h"
#include "filelook.h"
#include "hdf5columns.h"
#include "hdf5scan.h"
#include "mcafile.h"
#include "measfile.h"
#include "pointset.h"
#include "recipe.h"
#include "singlespectrum.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

namespace {

bool looksLikeMca(const QByteArray &head)
{
    return head.startsWith("VERSION:");
}

// The scan of a SPEC file that options or the recipe choose (its only one
// when none is chosen), read through the recipe.
ScanRead readSpecScan(QIODevice &device, const LoadOptions &options, int wanted)
{
    ScanRead read;
    const QVector<SpecScan> scans = specScans(device);
    const SpecScan *chosen = chooseSpecScan(scans, wanted, &read.error);
    if (!chosen) {
        read.needsScan = wanted == 0 && scans.size() > 1;
        return read;
    }
    // The last scan is read from the file itself; another one from a copy
    // that ends where the next begins.
    QByteArray part;
    QBuffer buffer(&part);
    QIODevice *source = &device;
    if (chosen->end < device.size()) {
        device.seek(chosen->begin);
        part = device.read(chosen->end - chosen->begin);
        buffer.open(QIODevice::ReadOnly);
        source = &buffer;
    } else if (!device.seek(chosen->begin)) {
        read.error = QStringLiteral("cannot go to line %1").arg(chosen->line);
        return read;
    }
    read = readColumnScan(*source, options.recipe, chosen->line);
    if (scans.size() > 1 || wanted > 0)
        read.recipe.scan = chosen->number;
    return read;
}

ScanRead readColumns(QIODevice &device, const LoadOptions &options)
{
    const int wanted = options.scan > 0 ? options.scan : options.recipe ? options.recipe->scan : 0;
    if (!device.seek(0))
        return ScanRead();
    const QByteArray head = device.peek(textLookBytes);
    if (wanted > 0 || looksLikeSpec(head))
        return readSpecScan(device, options, wanted);
    // Given a recipe, a single spectrum is read as one still.
    if (looksLikeSingleSpectrum(head))
        return readSingleSpectrumScan(device, options.recipe);
    return readColumnScan(device, options.recipe);
}

} // namespace

FileReport addRecording(const QString &path, const ScanRead &scan, PointSet &points)
{
    for (const ScanPoint &p : scan.points)
        points.add(p.i0, p.icrs, p.scas, PointSource { path, p.line });
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

ScanRead readRecording(QIODevice &device, RecordingKind kind, const LoadOptions &options)
{
    if (kind == RecordingKind::Mca || kind == RecordingKind::SingleSpectrum) {
        device.seek(0);
        return kind == RecordingKind::Mca ? readMcaScan(device, options.recipe)
                                          : readSingleSpectrumScan(device, options.recipe);
    }
    return readColumns(device, options);
}

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
    return file.read(hdf5SignatureReach);
}

FileReport loadRecording(const QString &path, RecordingKind kind, PointSet &points,
                         const LoadOptions &options)
{
    if (kind == RecordingKind::Hdf5)
        return addRecording(path, readHdf5Scan(path, options.recipe), points);
    QFile file(path);
    const OpenStatus open = openMeasurementFile(file);
    if (!open.opened()) {
        FileReport report;
        report.path = path;
        report.open = open;
        return report;
    }
    file.setTextModeEnabled(false);
    return addRecording(path, readRecording(file, kind, options), points);
}

namespace {

void previewMca(QFile &file, RecordingPreview &p)
{
    const McaFile mca = readMcaFile(file);
    if (!mca.ok()) {
        p.error = mca.error;
        return;
    }
    std::vector<double> values;
    mcaPreview(mca, p.names, values);
    p.rows.push_back(values);
}

QString compileProblem(const Recipe &recipe, const QStringList &names)
{
    CompiledRecipe compiled;
    compiled.compile(recipe, names);
    return compiled.error();
}

QString checkHdf5Recipe(const Recipe &recipe)
{
    if (recipe.datasets.empty())
        return QCoreApplication::translate("Recordings",
                                           "no [datasets] section naming the HDF5 datasets");
    std::vector<Hdf5Request> requests;
    QString error;
    if (!hdf5Requests(recipe, requests, error))
        return error;
    QStringList names;
    for (const Hdf5Request &r : requests)
        names << r.name;
    return compileProblem(recipe, names);
}

} // namespace

RecordingPreview previewRecording(const QString &path, int maxRows)
{
    RecordingPreview p;
    p.kind = recordingKind(recordingHead(path), LoadOptions());
    if (p.kind == RecordingKind::Hdf5)
        return p;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        p.error = file.errorString();
        return p;
    }
    if (p.kind == RecordingKind::Mca) {
        previewMca(file, p);
        return p;
    }
    p.kind = RecordingKind::Columns;
    const ColumnPreview c = previewColumnFile(file, maxRows);
    p.names = c.names;
    p.rows = c.rows;
    p.error = c.error;
    return p;
}

QString checkRecipeFor(const RecordingPreview &preview, const QString &recipeText)
{
    const RecipeParse parsed = parseRecipe(recipeText);
    // A recipe for MCA files needs no icr or sca but a window: say that first.
    if (preview.kind == RecordingKind::Mca && parsed.line == 0 && !parsed.recipe.hasWindow())
        return QCoreApplication::translate("Recordings",
                                           "no window = first-last bin of the counts");
    if (!parsed.ok())
        return parsed.line > 0 ? QCoreApplication::translate("Recordings", "line %1: %2")
                                     .arg(parsed.line)
                                     .arg(parsed.error)
                               : parsed.error;
    switch (preview.kind) {
    case RecordingKind::Hdf5:
        return checkHdf5Recipe(parsed.recipe);
    case RecordingKind::Mca:
        return compileProblem(
            mcaRecipe(parsed.recipe, int(preview.names.filter(QStringLiteral("live_time")).size())),
            preview.names);
    case RecordingKind::Columns:
    case RecordingKind::Native:
    case RecordingKind::SingleSpectrum:
        break;
    }
    return compileProblem(parsed.recipe, preview.names);
}

Recipe startingRecipe(const RecordingPreview &preview)
{
    if (preview.kind == RecordingKind::Mca) {
        Recipe r;
        r.windowLow = 0;
        r.windowHigh = 100;
        r.elements = { 1 };
        r.i0 = preview.names.value(0, QStringLiteral("I0"));
        return r;
    }
    if (preview.kind == RecordingKind::Hdf5) {
        RecipeParse p = parseRecipe(QStringLiteral(
            "elements = 1-4\ni0 = I0\nicr = ICR_mca{n}\nsca = OCR_mca{n}\n[datasets]\n"
            "I0 = /entry/scaler/I0\nICR_mca{n} = /entry/mca/ICR[{i}]\n"
            "OCR_mca{n} = /entry/mca/OCR[{i}]\n"));
        return p.recipe;
    }
    return suggestedRecipe(preview.names);
}
