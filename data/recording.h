// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "loader.h"

#include <QByteArray>

// Recordings as beamlines write them, besides the two native formats: column
// files (XDI and others) and multi-element MCA files through a recipe, and
// HDF5 files through the [datasets] of one.
enum class RecordingKind {
    Native, // not identified: a spectrum file or point table, read as ever
    Columns,
    Mca,
    Hdf5
};

// What a file's first bytes (at least the first line) make of it.
RecordingKind recordingKind(const QByteArray &head, const LoadOptions &options);

// Reads the recording at path into points (all of it or nothing); the report
// says how many points it gave, the recipe used, or why it gave none.
FileReport loadRecording(const QString &path, RecordingKind kind, PointSet &points,
                         const LoadOptions &options);

// The first bytes of a file that recordingKind needs; empty if it cannot be
// opened (the native readers then say why).
QByteArray recordingHead(const QString &path);
