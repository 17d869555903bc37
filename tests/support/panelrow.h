// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGridLayout>
#include <QWidget>

// The row a panel of the main window stands in: its row of the grid where
// the panels fit, else (the panels scroll and are placed a pitch apart) its
// place over the pitch; -1 for no panel or one between rows.
inline int panelRow(const QGridLayout *layout, const QWidget *panel)
{
    if (!panel)
        return -1;
    const int index = layout->indexOf(const_cast<QWidget *>(panel));
    if (index >= 0) {
        int row, col, rs, cs;
        layout->getItemPosition(index, &row, &col, &rs, &cs);
        return row;
    }
    const int pitch = panel->height() + qMax(0, layout->verticalSpacing());
    return panel->y() % pitch == 0 ? panel->y() / pitch : -1;
}
