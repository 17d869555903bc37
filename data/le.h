#pragma once

#include <QLineEdit>

// The line edit of every value box and result box.
class LE : public QLineEdit
{
    Q_OBJECT
public:
    explicit LE(QWidget *parent = nullptr);
};

// A new parentless box showing value with six significant digits: read-only,
// right-aligned, light yellow, growing horizontally with its row.
LE *newValueBox(double value);
