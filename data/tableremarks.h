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
