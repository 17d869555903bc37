// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnscan.h"
#include "recipe.h"

#include <QByteArray>
#include <QString>

#include <vector>

struct Hdf5Request;

// The datasets a recipe's [datasets] section asks for, one request per name
// after element expansion: "OutputCounts_mca{n} = /entry/x/OutputCounts[{i}]"
// gives for element 3 at position 2 the name OutputCounts_mca3 and column 2
// of /entry/x/OutputCounts. Fails with error for a path that is not
// "/path" or "/path[column]".
bool hdf5Requests(const Recipe &recipe, std::vector<Hdf5Request> &requests, QString &error);

// Reads an HDF5 file through the recipe's datasets (read in a separate
// process, so a crafted file cannot take the caller down) and evaluates the
// recipe over them as over the columns of a column file; the point numbers
// (from 1) stand for line numbers in the messages.
ScanRead readHdf5Scan(const QString &path, const Recipe *recipe);
