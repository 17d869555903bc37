// SPDX-License-Identifier: GPL-3.0-or-later
#include "channelheader.h"

#include <QLabel>

ChannelHeader::ChannelHeader(QWidget *parent)
    : QWidget(parent)
    , pinned(new QLabel(this))
{
    // The pinned caption covers the column labels it passes over.
    pinned->setAutoFillBackground(true);
    pinned->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pinned->hide();
}

QSize ChannelHeader::sizeHint() const
{
    return QSize(0, fontMetrics().height() + 2);
}

void ChannelHeader::setColumns(const QVector<Column> &newColumns, const QVector<Group> &newGroups)
{
    columns = newColumns;
    groups = newGroups;
    while (labels.size() > columns.size())
        delete labels.takeLast();
    while (labels.size() < columns.size()) {
        auto *label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        labels.append(label);
    }
    for (int i = 0; i < columns.size(); ++i)
        labels[i]->setText(columns[i].text);
    place();
}

void ChannelHeader::setOffset(int newOffset)
{
    if (newOffset == offset)
        return;
    offset = newOffset;
    place();
}

void ChannelHeader::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    place();
}

QString ChannelHeader::pinnedCaption() const
{
    return pinned->isVisibleTo(this) ? pinned->text() : QString();
}

void ChannelHeader::place()
{
    for (int i = 0; i < columns.size(); ++i) {
        labels[i]->setGeometry(columns[i].left - offset, 0, columns[i].width, height());
        labels[i]->setVisible(columns[i].left - offset + columns[i].width > 0
                              && columns[i].left - offset < width());
    }
    // The caption of the group at the left edge, once its own has scrolled
    // out of view.
    QString caption;
    for (const Group &g : qAsConst(groups)) {
        if (g.left < offset && offset < g.right)
            caption = g.caption;
    }
    pinned->setText(caption);
    pinned->setVisible(!caption.isEmpty());
    if (!caption.isEmpty()) {
        const int w = pinned->sizeHint().width() + fontMetrics().averageCharWidth();
        pinned->setGeometry(0, 0, w, height());
        pinned->raise();
    }
}
