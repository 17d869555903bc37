// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QLabel;

// The line above a strip of aligned columns (the panels' value boxes, the
// result boxes) that names each column's channel and keeps the caption of
// the columns at the left edge in view when the strip is scrolled sideways:
// on a detector of tens of channels a value can then be told from its
// neighbours, and its quantity named, wherever the strip is scrolled to.
class ChannelHeader : public QWidget
{
    Q_OBJECT
public:
    // A run of columns under one caption, in the strip's content coordinates:
    // the caption starts at left, the group ends at right.
    struct Group
    {
        QString caption;
        int left = 0;
        int right = 0;
    };
    // One column: the text above it and where it lies.
    struct Column
    {
        QString text;
        int left = 0;
        int width = 0;
    };

    explicit ChannelHeader(QWidget *parent = nullptr);

    void setColumns(const QVector<Column> &columns, const QVector<Group> &groups);
    // The strip is scrolled by offset pixels to the right.
    void setOffset(int offset);

    // What the header shows: the pinned caption (empty when none is pinned)
    // and the label above each column.
    QString pinnedCaption() const;
    QVector<QLabel *> columnLabels() const { return labels; }
    QLabel *pinnedLabel() const { return pinned; }

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();

    QVector<Column> columns;
    QVector<Group> groups;
    QVector<QLabel *> labels;
    QLabel *pinned;
    int offset = 0;
};
