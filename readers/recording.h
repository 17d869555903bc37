// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loadreport.h"
#include "columnscan.h"
#include "recipe.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

class PointSet;
class QIODevice;

// Recordings as beamlines write them, besides the two native formats: column
// files (XDI and others) and multi-element MCA files through a recipe, and
// HDF5 files through the [datasets] of one.
enum class RecordingKind {
    Native, // not identified: a spectrum file or point table, read as ever
    Columns,
    Mca,
    Hdf5,
    SingleSpectrum // channel and count, with real and live time (singlespectrum.h)
};

// What a file's first bytes (at least the first line) make of it.
RecordingKind recordingKind(const QByteArray &head, const LoadOptions &options);

// Reads the recording at path into points (all of it or nothing); the report
// says how many points it gave, the recipe used, or why it gave none.
FileReport loadRecording(const QString &path, RecordingKind kind, PointSet &points,
                         const LoadOptions &options);

// Reads a column file or an MCA file (kind) from the device, from its start.
// A column file of several SPEC scans ("#S" lines) is read in the scan that
// options or the recipe choose; without a choice its only scan, and a file of
// several gives needsScan and the list of its scans as the error.
ScanRead readRecording(QIODevice &device, RecordingKind kind, const LoadOptions &options);

// The report of a recording read from path, its points added to points.
FileReport addRecording(const QString &path, const ScanRead &scan, PointSet &points);

// The first bytes of a file that recordingKind needs; empty if it cannot be
// opened (the native readers then say why).
QByteArray recordingHead(const QString &path);

// The start of a recording, for a person writing its recipe: the names a
// recipe can use with the values of the first rows (an MCA file: its
// ENVIRONMENT entries and per element counts{n}, real_time{n}, live_time{n};
// an HDF5 file: none, the recipe's [datasets] names them).
struct RecordingPreview
{
    RecordingKind kind = RecordingKind::Columns;
    QStringList names;
    std::vector<std::vector<double>> rows;
    QString error; // why the file cannot be read as a recording
};

RecordingPreview previewRecording(const QString &path, int maxRows);

// Whether the recipe text fits the recording: empty if it does, else what is
// missing or wrong ("unknown names OCR3, Clock").
QString checkRecipeFor(const RecordingPreview &preview, const QString &recipeText);

// A recipe to start from: the built-in one that fits, or one made from the
// names with placeholders where the names say nothing.
Recipe startingRecipe(const RecordingPreview &preview);
