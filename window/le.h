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

// The light yellow of the value and result boxes, as each box of the designed
// window carries it.
QString valueBoxOwnStyleSheet();
// The same set once on the area that holds the boxes rather than on every
// box: the boxes look the same, and each box is polished against one shared
// sheet instead of parsing a sheet of its own. Used where the window holds
// more boxes than it shows at once.
QString valueBoxStyleSheet();

// The size of every value and result box in the given font: the height of a
// line edit, and the width that shows any number in six significant digits in
// full ("-1.23457e-06").
struct BoxSize
{
    int width = 0;
    int height = 0;
};
BoxSize valueBoxSize(const QFont &font);

// A new parentless box showing value with six significant digits: read-only,
// right-aligned, of the fixed width given. With a width of 0 it is the box of
// the designed window: its own light-yellow sheet and a width the layout
// gives it.
LE *newValueBox(double value, int width);
