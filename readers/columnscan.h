// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recipe.h"

#include <QString>
#include <QVector>

#include <vector>

class QIODevice;

// The points a scan gave, one per row, each with its detector elements as
// channels in the order of the recipe's element list. A point has one I0:
// that of the first element, should the recipe's i0 depend on {n}.
struct ScanPoint
{
    double i0 = 0.0;
    QVector<double> icrs;
    QVector<double> scas;
    int line = 0;
};

// What reading one scan through a recipe gave. On error, points is empty:
// a scan is taken whole or not at all.
struct ScanRead
{
    QVector<ScanPoint> points;
    Recipe recipe; // the recipe used (given or built in)
    QStringList columnNames;
    QString error; // "line 12: field 3 \"x\" is not a number", "unknown name ICR9", ...
    QString note; // what the user should know though the scan was read
    bool needsRecipe = false; // no recipe given and none built in fits
    bool needsScan = false; // a file of several scans, none of them chosen

    bool ok() const { return error.isEmpty(); }
};

// Appends the rows of one block, evaluated by recipe, to points; false with
// error set when a row divides by zero.
bool appendScanPoints(const CompiledRecipe &recipe, const ColumnBlock &block,
                      QVector<ScanPoint> &points, QString &error);

// Reads a column file from the device through the recipe, or, when recipe is
// null, through the first built-in recipe that fits its column names. Rows
// are read in blocks, so memory grows with the points, not with the text.
// The device's first line is line firstLine of the file.
ScanRead readColumnScan(QIODevice &device, const Recipe *recipe, int firstLine = 1);

// The column names for a message: the first 16, then "...".
QString columnNamesText(const QStringList &names);

// The start of a column file, for a person to write a recipe by: its column
// names and its first rows.
struct ColumnPreview
{
    QStringList names;
    std::vector<std::vector<double>> rows;
    QString error;
};

ColumnPreview previewColumnFile(QIODevice &device, int maxRows);

// Whether recipe fits a file of these column names: empty if it does, else
// what is missing or wrong ("unknown names OCR3, Clock").
QString checkRecipe(const QString &recipeText, const QStringList &names);

// The number of rows the scan reader parses at a time.
constexpr int scanBlockRows = 4096;
