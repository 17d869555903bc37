// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// What a point-table read passed over without a word: fields beyond the
// 1 + 2N that a table of N channels uses, and data lines with fields that are
// not numbers (which count as 0, or make the line too short). A column file
// read as a one-channel point table shows both; saying so is the only hint
// the user gets that the file was not read as meant.
struct PointTableRemarks
{
    int widestLine = 0; // most fields on one data line
    int widerLines = 0; // data lines with more fields than used
    int textLines = 0; // data lines with a field that is not a number
    int firstTextLine = 0; // line number (from 1) of the first of them

    bool any() const { return widerLines > 0 || textLines > 0; }
};

// Looks at the data lines of a point table of the given channel count (lines
// that are not empty and do not start with "#"). Bytes beyond maxBytes are
// not looked at.
PointTableRemarks pointTableRemarks(const QByteArray &bytes, int channels);

// The same on what device reads from where it stands, block by block: the
// remarks cost a buffer of one block, not a copy of the table.
PointTableRemarks pointTableRemarks(QIODevice &device, int channels,
                                    qint64 blockSize = qint64(1) << 18);

// The remarks in words, for the message line and standard error; empty when
// there are none.
QString remarksText(const PointTableRemarks &r, int channels);

constexpr qint64 maxRemarkBytes = qint64(64) << 20;

// The remarks gathered line by line by a reader that reads the table anyway,
// so that the file is read once. The channel count that the remarks are about
// is that of the file's first point (1 without points), which the reader
// learns only as it goes: the lines before that point are counted for both.
class PointTableRemarkScan
{
public:
    // The next line of the file, as it is, without its line feed.
    void look(const char *begin, const char *end);
    // The line looked at last gave the file's first point, of this many channels.
    void firstPoint(int channels);
    // Whether every line of the file was looked at: the reader sets it.
    void setComplete() { m_complete = true; }

    // Whether the remarks are known: every line was looked at, and no line
    // before the first point was wider than that point (which a line with
    // carriage returns among its fields can be), so the count of wider lines
    // is that of a separate look at the file.
    bool known() const;
    // The same as pointTableRemarks on the whole file with the channel count
    // of its first point, or of 1 if it gave none.
    PointTableRemarks remarks() const;

private:
    PointTableRemarks m_remarks;
    int m_lineNumber = 0;
    qint64 m_used = 0; // 1 + 2N of the first point, 0 before it
    int m_lastFields = 0;
    int m_widestBeforeLast = 0;
    int m_widerThanUsed = 0; // from the first point's line on
    bool m_complete = false;
};
