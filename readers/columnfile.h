// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

class QIODevice;

// Column files: the text scans that beamline data-collection programs write,
// one row per point, fields separated by white space or commas, with the
// column names somewhere in a header before the first row.
//
// The names are taken from the first of these that the header holds:
//  - XDI lines "# Column.N: name [units]" (the units are not part of the name);
//  - the last comment line before the data whose number of fields equals the
//    data's and whose words are not all numbers, dates and times (leading "#"
//    removed; a SPEC-style "#L" line counts as such a line);
//  - a label line right after a line of dashes (older programs write their
//    header without "#");
//  - failing those, a line of names right before the data, without "#", as
//    spreadsheets, pandas, numpy and ratelens-batch correct write it.
// A file without any gives the names $1, $2, ...
struct ColumnHeader
{
    enum Source { NoNames, Xdi, CommentLine, SpecLabels, DashedLabels, PlainLabels };

    QStringList names;
    Source source = NoNames;
    bool xdi = false; // the first line says "# XDI/" or "#XDI/"
    qint64 dataOffset = -1; // byte offset of the first data row in the device
    int dataLine = 0; // its line number, from 1
    QString error; // why no data were found; empty when ok()

    bool ok() const { return error.isEmpty(); }
};

// Whether the first line of a file marks it as XDI.
bool looksLikeXdi(const QByteArray &head);

// Reads the header of a column file from the device's current position up to
// the first data row (the first line whose fields are all numbers, but for a
// preamble line: one that text follows before the next such line, which has
// another number of fields, such as a time stamp above the names), and leaves
// the device at that row (it must be seekable, or the header must fit in
// 4 MiB, which it is read in). A header that is longer than that, or a file
// without a data row, gives an error. The device's first line is line
// firstLine of the file (a part of a file, such as one scan of several).
ColumnHeader readColumnHeader(QIODevice &device, int firstLine = 1);

// One block of rows: per column the values of the rows, and per row its line
// number in the file; when the reader keeps the text, also the rows' lines as
// read, one after another, each ended by "\n" (a CR before it is kept), row
// r's line ending just before textEnds[r].
struct ColumnBlock
{
    std::vector<std::vector<double>> columns;
    std::vector<int> lines;
    std::string text;
    std::vector<size_t> textEnds;

    int rows() const { return int(lines.size()); }
};

// A row the reader could not use, with why, worded for a message:
// "12 fields where the header has 14", "field 3 \"1.2.3\" is not a number".
struct BadRow
{
    int line = 0;
    QString reason;
};

// Reads the rows of a column file in blocks, so that a scan of any length is
// read in bounded memory. Rows are split at runs of blanks and tabs and at
// commas (blanks around a comma are part of it; blanks at either end and a
// CR before the line end are ignored). Every comma separates, as in CSV: a
// field left empty between two commas, or before a first one, is a missing
// value, not-a-number; a comma that ends the line stands for a last field
// left empty only where the header has one more name. Empty lines and lines
// starting with "#" are skipped. A row whose field count differs from the
// header's or that holds a field that is not a number is not used and is
// reported in badRows() (the first hundred of them; badRowCount() counts all).
class ColumnReader
{
public:
    ColumnReader(QIODevice &device, const ColumnHeader &header);

    // Parses the next up to maxRows rows into block (its columns sized to the
    // header's). Returns false, with block empty, once the device is at its end.
    bool readBlock(int maxRows, ColumnBlock &block);

    // Keep each used row's text in the blocks, for writers that copy the
    // scan's own values unchanged.
    void keepText(bool keep) { m_keepText = keep; }
    int columnCount() const { return m_columns; }
    // After the last block: whether the file ended without a line end, as a
    // file cut short while being written or copied does, and its last line.
    bool lastLineUnended() const { return m_unended; }
    int lastLine() const { return m_line; }
    const std::vector<BadRow> &badRows() const { return m_badRows; }
    int badRowCount() const { return m_badRowCount; }
    // Rows used with fields left empty, read as missing values; the line
    // and the field (from 1) of the first empty field.
    int emptyFieldRows() const { return m_emptyFields; }
    std::pair<int, int> firstEmptyField() const { return m_firstEmpty; }
    // The device failed while reading (the system's words); empty otherwise.
    QString deviceError() const { return m_deviceError; }

private:
    bool fillBuffer();
    bool parseLine(const char *begin, const char *end, ColumnBlock &block);
    void addBadRow(const QString &reason);

    QIODevice &m_device;
    int m_columns = 0;
    int m_line = 0;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    bool m_unended = false;
    bool m_keepText = false;
    std::vector<double> m_row;
    std::vector<BadRow> m_badRows;
    int m_badRowCount = 0;
    int m_emptyFields = 0;
    std::pair<int, int> m_firstEmpty { 0, 0 };
    QString m_deviceError;
};

// Splits a header line into its fields as ColumnReader splits rows: a name
// left empty between two commas is an empty field.
QStringList splitColumnFields(const QString &line);
