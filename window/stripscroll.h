// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QScrollArea>

#include <functional>

// A strip of the main window that scrolls instead of growing the window: the
// panels of the points and the row of results. Where its content fits it asks
// for exactly the content's size, so that with a few points and channels the
// window is laid out as if the content sat in the window itself; where it does
// not, it asks for no more than the height its owner allows and scrolls.
class StripScroll : public QScrollArea
{
    Q_OBJECT
public:
    explicit StripScroll(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The strip never gets taller than maxHeight() says, asked again whenever
    // the window is resized or laid out anew.
    void limitHeight(std::function<int()> maxHeight);
    // Asks maxHeight() again now, when what it depends on has changed
    // without the window being laid out yet.
    void updateHeightLimit();
    // Room left free right of the viewport, so that a strip without a
    // vertical scroll bar shows the same columns as one with it.
    void setRightMargin(int margin);
    // A line above the viewport that does not scroll vertically, such as the
    // channel numbers of the columns; shown or hidden with setHeaderShown.
    void setHeader(QWidget *header);
    void setHeaderShown(bool shown);

signals:
    // The viewport or the content changed size, or the content scrolled.
    void visibleAreaChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QSize contentHint() const;
    int headerHeight() const;
    void updateMargins();
    void placeHeader();
    bool needsHorizontalBar(int width) const;

    std::function<int()> heightLimit;
    QWidget *watchedWindow = nullptr;
    int heightCap = -1;
    int rightMargin = 0;
    QWidget *header = nullptr;
};
