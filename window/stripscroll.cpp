// SPDX-License-Identifier: GPL-3.0-or-later
#include "stripscroll.h"

#include <QResizeEvent>
#include <QScrollBar>

StripScroll::StripScroll(QWidget *parent)
    : QScrollArea(parent)
{
}

QSize StripScroll::contentHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QSize(0, 0);
    return content->sizeHint().expandedTo(content->minimumSize()).expandedTo(QSize(0, 0));
}

bool StripScroll::needsHorizontalBar(int width) const
{
    if (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
        return false;
    if (horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
        return true;
    return contentHint().width() > width - 2 * frameWidth() - rightMargin;
}

int StripScroll::headerHeight() const
{
    return header && !header->isHidden() ? header->sizeHint().height() : 0;
}

QSize StripScroll::sizeHint() const
{
    const int frame = 2 * frameWidth();
    QSize hint = contentHint() + QSize(frame + rightMargin, frame + headerHeight());
    if (needsHorizontalBar(width()))
        hint.rheight() += horizontalScrollBar()->sizeHint().height();
    // The layout takes the hint of a strip that may not grow as its maximum.
    if (heightCap >= 0)
        hint.setHeight(qMax(minimumSizeHint().height(), qMin(hint.height(), heightCap)));
    return hint;
}

QSize StripScroll::minimumSizeHint() const
{
    // Narrow enough for any screen; as tall as the content where it cannot
    // scroll vertically, else one row of it (the height of a line edit) and
    // the horizontal bar.
    const int frame = 2 * frameWidth();
    const int bars = horizontalScrollBar()->sizeHint().height();
    int height = contentHint().height();
    if (verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        height = qMin(height, fontMetrics().height() * 2);
    if (needsHorizontalBar(width()))
        height += bars;
    return QSize(frame + 4 * bars, height + frame + headerHeight());
}

void StripScroll::limitHeight(std::function<int()> maxHeight)
{
    heightLimit = std::move(maxHeight);
    if (watchedWindow)
        watchedWindow->removeEventFilter(this);
    watchedWindow = window();
    watchedWindow->installEventFilter(this);
}

void StripScroll::updateHeightLimit()
{
    if (!heightLimit)
        return;
    const int cap = heightLimit();
    if (cap != heightCap) {
        heightCap = cap;
        updateGeometry();
    }
}

void StripScroll::setRightMargin(int margin)
{
    if (margin == rightMargin)
        return;
    rightMargin = margin;
    updateMargins();
}

void StripScroll::setHeader(QWidget *newHeader)
{
    header = newHeader;
    header->setParent(this);
    header->hide();
    updateMargins();
}

void StripScroll::setHeaderShown(bool shown)
{
    if (!header || shown == !header->isHidden())
        return;
    header->setVisible(shown);
    updateMargins();
}

void StripScroll::updateMargins()
{
    setViewportMargins(0, headerHeight(), rightMargin, 0);
    if (header)
        placeHeader();
    updateGeometry();
}

void StripScroll::placeHeader()
{
    // Just above the viewport, across its width.
    const QRect view = viewport()->geometry();
    header->setGeometry(view.x(), view.y() - headerHeight(), view.width(), headerHeight());
}

bool StripScroll::eventFilter(QObject *watched, QEvent *event)
{
    // Before the window's layout handles its resize, so that the layout
    // already places the strip within the new limit.
    if (watched == watchedWindow
        && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        updateHeightLimit();
    if (watched == widget()) {
        if (event->type() == QEvent::LayoutRequest)
            updateGeometry();
        else if (event->type() == QEvent::Resize)
            emit visibleAreaChanged();
    }
    return QScrollArea::eventFilter(watched, event);
}

bool StripScroll::viewportEvent(QEvent *event)
{
    const bool handled = QScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        emit visibleAreaChanged();
    // A change of the content's own minimum or maximum size reaches the
    // viewport, not the content's layout.
    if (event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return handled;
}

void StripScroll::resizeEvent(QResizeEvent *event)
{
    const bool hadBar = needsHorizontalBar(event->oldSize().width());
    QScrollArea::resizeEvent(event);
    if (header && !header->isHidden())
        placeHeader();
    if (hadBar != needsHorizontalBar(width()))
        updateGeometry();
}

void StripScroll::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    emit visibleAreaChanged();
}
