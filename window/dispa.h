// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chcoord.h"
#include "mousec.h"

#include <QColor>
#include <QFrame>

class QFileDialog;
class QImage;
class QAction;
class QMenu;
class QPainter;

// A plot frame: clears itself to white at each paint and hands its painter to
// whoever draws the plot; mouse and wheel events go to its MouseC record.
// Its context menu shows or hides axes and legend, restores the data ranges,
// and saves or copies the plot as an image.
class DispA : public QFrame
{
    Q_OBJECT
public:
    explicit DispA(QWidget *parent = nullptr);
    ~DispA() override;

    ChCoord coord;
    MouseC mouse;
    QColor bgColor;

    // Whether the plot drawn on this frame shows axes and legend; the drawing
    // code asks. Off until the user turns it on.
    bool axesShown() const { return showAxes; }
    void setAxesShown(bool on);

    // The plot as the frame shows it, drawn anew by the same code on an image
    // of the frame's size, or as SVG; without the zoom rectangle of a drag.
    QImage plotImage();
    QByteArray plotSvg();
    // Writes the plot to path: SVG for a name ending in .svg, else the image
    // format the suffix names, PNG when it names none Qt can write.
    bool savePlotImage(const QString &path);
    // Puts the plot on the clipboard, as an image and as SVG.
    void copyPlotImage();
    // Opens the context menu at the global position pos; it does not block.
    QMenu *showPlotMenu(const QPoint &pos);
    // Adds an action of the window to the end of the context menu.
    void addMenuAction(QAction *action) { windowActions.append(action); }
    // The dialog that asks where to save the plot, shown without blocking.
    QFileDialog *saveImageDialog();

signals:
    void drawImage1(QPainter *p);
    void drawImage2(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();
    // After the user saved the plot through the menu, whether it worked.
    void plotImageSaved(const QString &path, bool ok);

private slots:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

protected:
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    // Everything of a paint but the zoom rectangle.
    void paintPlot(QPainter &p);

    bool showAxes = false;
    QFileDialog *saveDialog = nullptr;
    QList<QAction *> windowActions;
};
