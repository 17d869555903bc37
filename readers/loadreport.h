// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measfile.h"

#include <QString>
#include <QStringList>

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
    // Why a recording (a column file, an MCA or HDF5 file) gave nothing: the
    // cause, naming the line or dataset ("line 12: field 3 \"x\" is not a
    // number").
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
    // What the file looks like where it is no spectrum file, point table or
    // recording that could be read as such: "binary file, not a text
    // recording", "a column file of 14 fields per row (line 12) without a
    // \"# Channels :\" header, and no built-in recipe fits the columns ...".
    // Such a file was read as a point table, or refused (see LoadOptions).
    QString looksLike;
    // Not read for what it looks like: error is looksLike.
    bool refused = false;

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
    // Every file is read as a spectrum file or point table, whatever it
    // looks like (a gzip file: what it holds).
    bool pointTable = false;
    // A file that looks like no spectrum file or point table and that no
    // recognised format or built-in recipe reads (a column file whose names
    // no recipe maps, a SPEC file of several scans and none chosen, a
    // binary file, a JSON document): read as a point table, as the window
    // reads every file, or refused.
    enum class Unrecognised { ReadAsPointTable, Refuse };
    Unrecognised unrecognised = Unrecognised::ReadAsPointTable;
    // The scan of a SPEC file to read, by its "#S" number (over the
    // recipe's scan = N); 0: none chosen.
    int scan = 0;
};
