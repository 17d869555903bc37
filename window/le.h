// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

// The line edit of every value box and result box.
class LE : public QLineEdit
{
    Q_OBJECT
public:
    explicit LE(QWidget *parent = nullptr);
};

// At most this many value boxes are made for one row of values. Detectors have
// tens of channels; a file claiming a million would otherwise make a million
// widgets and take the window down. The values themselves are all kept.
constexpr int maxValueBoxesPerRow = 1024;

// A new parentless box showing value with six significant digits: read-only,
// right-aligned, light yellow, growing horizontally with its row.
LE *newValueBox(double value);
