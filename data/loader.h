// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measfile.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class PointSet;
class QByteArray;

// What became of one file of a load.
struct FileReport
{
    QString path;
    OpenStatus open;  // whether the point-table reader could open it
    int points = 0;   // measurement points it gave
    // Lines it gave points from although a field was not a number (and so
    // counts as 0), and the first of them, from 1.
    int notNumberLines = 0;
    int firstNotNumberLine = 0;
    // A point table's channel header that gave no channel count, after which
    // no line was read: its line (0: none) and its value.
    int stoppingHeaderLine = 0;
    QString stoppingHeaderValue;
    // Why a file that a new reader took gave nothing: the cause, naming the
    // line or dataset ("line 12: field 3 \"x\" is not a number").
    QString error;
    // What the reader made of the file, for --verbose: the recipe used.
    QStringList notes;
    // What the user must know about how the file was read, shown always:
    // what a point-table read passed over, values taken as rates.
    QStringList warnings;
    // The recipe used, as text, for a file read through one.
    QString recipeText;
    // A column file that no built-in recipe maps: the user is to write one.
    bool needsRecipe = false;

    bool gavePoints() const { return points > 0; }
};

struct Recipe;

// How files are to be read beyond the two native formats.
struct LoadOptions
{
    // Every file is read through this recipe (a column file, an HDF5 file
    // or multi-element MCA files); null: by what its start says.
    const Recipe *recipe = nullptr;
    // Every file that its start does not identify is read as a column file
    // with the built-in recipes, instead of as a spectrum file or point table.
    bool columns = false;
};

// The lines the point-table reader's header search leaves as it goes, and a
// "Cannot open" line for every file that could not be opened, each in the
// form of a debug line: LINE "# Channels : 4", ID "# Channels :", bool true.
using TraceSink = std::function<void(const QString &line)>;

// Loads the files in the order given into points: each as a spectrum file if
// that reader accepts it, otherwise as a point table. One report per path.
//
// A file whose start identifies it as a recording of another kind (an XDI
// first line, the HDF5 signature, an MCA "VERSION:" line), and every file
// when options give a recipe, goes to the reader of that kind instead; such
// a file is taken whole or not at all, and report.error says why not.
QVector<FileReport> loadMeasurementFiles(const QStringList &paths, PointSet &points,
                                         const TraceSink &trace = TraceSink(),
                                         const LoadOptions &options = LoadOptions());

// Loads the content of one file already in memory the same way; returns the
// number of points it gave.
int loadMeasurementBytes(const QByteArray &bytes, PointSet &points,
                         const TraceSink &trace = TraceSink());

// Reads path as a point table only, adding one point per accepted line.
FileReport loadPointTable(const QString &path, PointSet &points,
                          const TraceSink &trace = TraceSink());

// Why a file gave no point, in words for a message: the system's reason it
// could not be opened, "not a regular file", or "no measurement point in it".
// Empty for a file that gave points.
QString problemText(const FileReport &report);

// label and value as one qDebug() line prints them, e.g. LINE "# Channels :5".
QString debugLine(const char *label, const QString &value);
QString debugLine(const char *label, bool value);
