// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispa.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <cstdlib>

namespace {

// The same bound as the zoom's: a right-button release closer than this to its
// press is a click, which opens the menu.
constexpr int clickPixels = 3;

bool blocksGesture(int modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

DispA::DispA(QWidget *parent) : QFrame(parent), bgColor(Qt::white)
{
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_MouseTracking);
    coord.attachMouse(&mouse);
}

DispA::~DispA() = default;

void DispA::setAxesShown(bool on)
{
    showAxes = on;
    update();
}

void DispA::paintPlot(QPainter &p)
{
    // Text in pixels, so that an image of the plot has the screen's lettering
    // whatever resolution the image claims.
    QFont f = font();
    f.setPixelSize(QFontInfo(f).pixelSize());
    p.setFont(f);
    // The whole widget is the plot: the frame is deliberately painted over.
    p.fillRect(0, 0, width(), height(), bgColor);
    coord.setPixelRect(0, height(), width(), 0);
    emit drawImage1(&p);
    emit drawImage2(&p);
}

void DispA::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintPlot(p);
    if (mouse.pressed && mouse.pressButton == Qt::RightButton
        && !blocksGesture(mouse.pressModifiers)) {
        // The rectangle a right-button drag will zoom into.
        p.setPen(QPen(Qt::black, 0, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(mouse.pressX, mouse.pressY), QPoint(mouse.curX, mouse.curY))
                           .normalized());
    }
}

void DispA::mouseMoveEvent(QMouseEvent *e)
{
    // Alt lets the pointer leave the plot without disturbing the record.
    if (e->modifiers() & Qt::AltModifier)
        return;
    mouse.recordMove(e);
    emit mouseMoved0();
    update();
}

void DispA::mousePressEvent(QMouseEvent *e)
{
    mouse.recordPress(e);
    emit mousePressed0();
    update();
}

void DispA::mouseReleaseEvent(QMouseEvent *e)
{
    mouse.recordRelease(e);
    emit mouseReleased0();
    update();
    if (e->button() == Qt::RightButton && !blocksGesture(mouse.pressModifiers)
        && std::abs(mouse.releaseX - mouse.pressX) < clickPixels
        && std::abs(mouse.releaseY - mouse.pressY) < clickPixels)
        showPlotMenu(e->globalPos());
}

void DispA::mouseDoubleClickEvent(QMouseEvent *e)
{
    mouse.recordDoubleClick(e);
    emit mouseDoubleClicked0();
    update();
}

void DispA::wheelEvent(QWheelEvent *e)
{
    mouse.recordWheel(e);
    emit wheelMoved0();
    update();
}

void DispA::contextMenuEvent(QContextMenuEvent *e)
{
    // A right-button press may start a zoom rectangle; the release decides
    // whether it was a click for the menu. The keyboard's menu key opens it
    // at once.
    if (e->reason() != QContextMenuEvent::Mouse)
        showPlotMenu(e->globalPos());
    e->accept();
}

QMenu *DispA::showPlotMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *axes = menu->addAction(tr("Show axes and legend"));
    axes->setCheckable(true);
    axes->setChecked(showAxes);
    connect(axes, &QAction::toggled, this, &DispA::setAxesShown);
    QAction *restore = menu->addAction(tr("Restore data ranges"));
    restore->setEnabled(coord.userRange);
    connect(restore, &QAction::triggered, this, [this] {
        coord.userRange = false;
        update();
    });
    menu->addSeparator();
    connect(menu->addAction(tr("Save image...")), &QAction::triggered, this,
            [this] { saveImageDialog()->show(); });
    connect(menu->addAction(tr("Copy image")), &QAction::triggered, this,
            &DispA::copyPlotImage);
    if (!windowActions.isEmpty()) {
        menu->addSeparator();
        menu->addActions(windowActions);
    }
    menu->popup(pos);
    return menu;
}

QFileDialog *DispA::saveImageDialog()
{
    if (saveDialog)
        return saveDialog;
    saveDialog = new QFileDialog(this, tr("Save Plot Image"));
    saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    const QString png = tr("PNG image (*.png)");
    const QString svg = tr("SVG image (*.svg)");
    saveDialog->setNameFilters({ png, svg });
    saveDialog->setDefaultSuffix(QStringLiteral("png"));
    connect(saveDialog, &QFileDialog::filterSelected, saveDialog, [this, svg](const QString &f) {
        saveDialog->setDefaultSuffix(f == svg ? QStringLiteral("svg") : QStringLiteral("png"));
    });
    connect(saveDialog, &QFileDialog::fileSelected, this,
            [this](const QString &path) { emit plotImageSaved(path, savePlotImage(path)); });
    return saveDialog;
}

QImage DispA::plotImage()
{
    QImage image(size(), QImage::Format_RGB32);
    {
        QPainter p(&image);
        paintPlot(p);
    }
    // The drawing left the mapping of the image; the screen gets its own back.
    update();
    return image;
}

QByteArray DispA::plotSvg()
{
    QBuffer buffer;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size());
    svg.setViewBox(rect());
    svg.setResolution(logicalDpiX());
    svg.setTitle(QStringLiteral("Ratelens"));
    {
        QPainter p(&svg);
        paintPlot(p);
    }
    update();
    return buffer.data();
}

bool DispA::savePlotImage(const QString &path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix == "svg") {
        QSaveFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(plotSvg()) >= 0 && file.commit();
    }
    const QByteArray format =
            QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("png");
    return plotImage().save(path, format.constData());
}

void DispA::copyPlotImage()
{
    auto *mime = new QMimeData;
    mime->setImageData(plotImage());
    mime->setData(QStringLiteral("image/svg+xml"), plotSvg());
    QGuiApplication::clipboard()->setMimeData(mime);
}
