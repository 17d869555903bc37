// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

class PointSet;
struct FileReport;

// What the message line says about a load that went well but that the user
// should know about: the recipe a recording was read through, what a
// point-table read passed over, and why the result row stays empty for a
// single common channel. Empty when there is nothing to say, as after a
// clean load of point tables and spectra, whose message line stays empty.
QString loadNotesText(const QVector<FileReport> &reports, const PointSet &points);

// The same, each note with the file's whole path, one a line, for the tooltip.
QString loadNotesDetails(const QVector<FileReport> &reports, const PointSet &points);
