// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "chartmapping.h"
#include "dispa.h"
#include "plotaxes.h"
#include "plotdata.h"
#include "scatterplot.h"
#include "testsupport.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTranslator>
#include <QtTest>

namespace {

// Five points of a two-channel detector as a point table.
const QByteArray table = "# Channels : 2\n"
                         "1000 950 900 930 880\n"
                         "2000 1800 1700 1720 1620\n"
                         "3000 2570 2420 2380 2240\n"
                         "4000 3250 3050 2920 2740\n"
                         "5000 3850 3600 3360 3150\n";

struct Window
{
    QTemporaryDir dir;
    Body body;
    DispA *top;
    DispA *bottom;

    Window()
    {
        body.resize(900, 900);
        body.show();
        top = body.findChild<DispA *>(QStringLiteral("I0NinDisp"));
        bottom = body.findChild<DispA *>(QStringLiteral("NinNoutDisp"));
    }
    void load(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("t%1.dat").arg(++files));
        QVERIFY(testsupport::writeFileBytes(path, bytes));
        emit body.openFileDialog()->filesSelected({ path });
    }
    int files = 0;
};

// The plot alone, drawn by the plot code on white with the data ranges.
QImage pureDrawing(const Body &body, DispA *disp, PlotKind kind)
{
    QImage image(disp->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    ChartMapping coord;
    coord.setPixelRect(0, disp->height(), disp->width(), 0);
    const MeasSet &s = body.measSet();
    drawScatterPlot(p, coord,
                    scatterPlotData(kind, s.points, s.estimated,
                                    kind == PlotKind::I0Nin ? s.tau0Fits : s.tauFits),
                    body.channelColors());
    return image;
}

QImage shown(DispA *disp)
{
    return disp->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void mouse(DispA *d, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
            : type == QEvent::MouseMove ? (d->mouse.pressed ? Qt::MouseButton(d->mouse.pressButton)
                                                            : Qt::NoButton)
                                        : button;
    QMouseEvent e(type, QPointF(pos), d->mapToGlobal(pos),
                  type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(d, &e);
}

void wheel(DispA *d, QPoint pos, int delta)
{
    mouse(d, QEvent::MouseMove, pos, Qt::NoButton);
    QWheelEvent e(QPointF(pos), QPointF(d->mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(d, &e);
}

enum Gesture { Pan, WheelZoom, RectangleZoom };

void gesture(DispA *d, Gesture g)
{
    switch (g) {
    case Pan:
        mouse(d, QEvent::MouseButtonPress, QPoint(200, 100), Qt::LeftButton);
        mouse(d, QEvent::MouseMove, QPoint(260, 130), Qt::LeftButton);
        mouse(d, QEvent::MouseButtonRelease, QPoint(260, 130), Qt::LeftButton);
        break;
    case WheelZoom:
        wheel(d, QPoint(300, 100), 240);
        break;
    case RectangleZoom:
        mouse(d, QEvent::MouseButtonPress, QPoint(100, 40), Qt::RightButton);
        mouse(d, QEvent::MouseMove, QPoint(400, 160), Qt::RightButton);
        mouse(d, QEvent::MouseButtonRelease, QPoint(400, 160), Qt::RightButton);
        break;
    }
}

QMenu *openMenu(DispA *d)
{
    mouse(d, QEvent::MouseButtonPress, QPoint(50, 50), Qt::RightButton);
    mouse(d, QEvent::MouseButtonRelease, QPoint(51, 50), Qt::RightButton);
    return d->findChild<QMenu *>();
}

} // namespace

class TestPlotView : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void firstPaintAfterLoadIsThePlot();
    void gestureStays_data();
    void gestureStays();
    void zoomRectangleShownWhileDragging();
    void axesOnlyWhenAsked_data();
    void axesOnlyWhenAsked();
    void imagesAreTheShownPlot();
    void pointerShowsValues();
};

void TestPlotView::cleanup()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        w->hide();
}

void TestPlotView::firstPaintAfterLoadIsThePlot()
{
    Window w;
    w.load(table);
    QCOMPARE(shown(w.top), pureDrawing(w.body, w.top, PlotKind::I0Nin));
    QCOMPARE(shown(w.bottom), pureDrawing(w.body, w.bottom, PlotKind::NinNout));
}

void TestPlotView::gestureStays_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("lower"); // the ICR-SCA plot, else the I0-ICR one
    for (bool lower : { false, true }) {
        const char *plot = lower ? ", lower plot" : ", upper plot";
        QTest::addRow("pan%s", plot) << int(Pan) << lower;
        QTest::addRow("wheel zoom%s", plot) << int(WheelZoom) << lower;
        QTest::addRow("rectangle zoom%s", plot) << int(RectangleZoom) << lower;
    }
}

void TestPlotView::gestureStays()
{
    QFETCH(int, kind);
    QFETCH(bool, lower);
    Window w;
    w.load(table);
    DispA *d = lower ? w.bottom : w.top;
    DispA *other = lower ? w.top : w.bottom;
    const PlotKind plot = lower ? PlotKind::NinNout : PlotKind::I0Nin;
    const QImage before = shown(d);
    gesture(d, Gesture(kind));
    const QImage after = shown(d);
    QVERIFY(after != before);
    // Repaints keep the gesture, and show the plot drawn in the new range.
    d->update();
    QCOMPARE(shown(d), after);
    QImage expected(d->size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        const MeasSet &s = w.body.measSet();
        drawScatterPlotInRange(p, d->coord,
                               scatterPlotData(plot, s.points, true,
                                               lower ? s.tauFits : s.tau0Fits),
                               w.body.channelColors());
    }
    QCOMPARE(after, expected);
    // The other plot is left alone.
    QCOMPARE(shown(other), pureDrawing(w.body, other, lower ? PlotKind::I0Nin : PlotKind::NinNout));

    // A double click restores the data ranges.
    mouse(d, QEvent::MouseButtonPress, QPoint(300, 100), Qt::LeftButton);
    mouse(d, QEvent::MouseButtonRelease, QPoint(300, 100), Qt::LeftButton);
    mouse(d, QEvent::MouseButtonDblClick, QPoint(300, 100), Qt::LeftButton);
    mouse(d, QEvent::MouseButtonRelease, QPoint(300, 100), Qt::LeftButton);
    QCOMPARE(shown(d), before);

    // A load, a removed point, or a Clear and a load start from the data ranges again.
    gesture(d, Gesture(kind));
    w.load("6000 4400 4100 3750 3500\n# Channels : 2\n");
    QCOMPARE(shown(d), pureDrawing(w.body, d, plot));
    gesture(d, Gesture(kind));
    w.body.removePoint(5);
    QCOMPARE(shown(d), before);
    gesture(d, Gesture(kind));
    QTest::mouseClick(w.body.findChild<QPushButton *>(QStringLiteral("Clear")), Qt::LeftButton);
    w.load(table);
    QCOMPARE(shown(d), before);
}

void TestPlotView::zoomRectangleShownWhileDragging()
{
    Window w;
    w.load(table);
    const QImage before = shown(w.top);
    mouse(w.top, QEvent::MouseButtonPress, QPoint(100, 40), Qt::RightButton);
    mouse(w.top, QEvent::MouseMove, QPoint(400, 160), Qt::RightButton);
    const QImage dragging = shown(w.top);
    int changed = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            changed += dragging.pixel(x, y) != before.pixel(x, y);
    // The dashed outline of 300 x 120 pixels, about half of it inked.
    QVERIFY2(changed > 300 && changed < 2 * (300 + 120) + 10, qPrintable(QString::number(changed)));
    QCOMPARE(dragging.pixel(100, 40), qRgb(0, 0, 0));
    mouse(w.top, QEvent::MouseButtonRelease, QPoint(400, 160), Qt::RightButton);
    QVERIFY(w.top->coord.userRange);
}

void TestPlotView::axesOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("japanese");
    QTest::newRow("English") << false;
    QTest::newRow("Japanese") << true;
}

void TestPlotView::axesOnlyWhenAsked()
{
    QFETCH(bool, japanese);
    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP")));
        QCoreApplication::installTranslator(&translator);
    }
    Window w;
    w.load(table);
    const QImage bare = shown(w.top);
    QCOMPARE(bare, pureDrawing(w.body, w.top, PlotKind::I0Nin));

    QMenu *menu = openMenu(w.top);
    QVERIFY(menu);
    QVERIFY(menu->isVisible());
    QAction *axes = menu->actions().first();
    QCOMPARE(axes->text(), japanese ? QStringLiteral("軸と凡例を表示")
                                    : QStringLiteral("Show axes and legend"));
    QVERIFY(axes->isCheckable() && !axes->isChecked());
    axes->trigger();
    menu->close();
    QVERIFY(w.top->axesShown());
    QVERIFY(!w.bottom->axesShown());
    const QImage decorated = shown(w.top);
    QVERIFY(decorated != bare);
    // The plot area now leaves room for the numbers and the legend.
    QVERIFY(w.top->coord.px0 > 0 && w.top->coord.px1 < w.top->width());
    QCOMPARE(shown(w.bottom), pureDrawing(w.body, w.bottom, PlotKind::NinNout));

    // The titles follow the language.
    QCOMPARE(plotLabels(PlotKind::I0Nin).title,
             japanese ? QStringLiteral("I0に対する入力計数率")
                      : QStringLiteral("Input count rate against I0"));

    menu = openMenu(w.top);
    QVERIFY(menu->actions().first()->isChecked());
    menu->actions().first()->trigger();
    menu->close();
    QCOMPARE(shown(w.top), bare);
    QCoreApplication::removeTranslator(&translator);
}

void TestPlotView::imagesAreTheShownPlot()
{
    Window w;
    w.load(table);
    w.top->setAxesShown(true);
    gesture(w.top, Pan);
    const QImage screen = shown(w.top);
    QCOMPARE(w.top->plotImage(), screen);
    // Drawing the image leaves the screen as it was.
    QCOMPARE(shown(w.top), screen);

    const QString png = w.dir.filePath(QStringLiteral("plot.png"));
    QVERIFY(w.top->savePlotImage(png));
    QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), screen);
    const QString svg = w.dir.filePath(QStringLiteral("plot.SVG"));
    QVERIFY(w.top->savePlotImage(svg));
    QFile f(svg);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.startsWith("<?xml") && text.contains("<svg"));
    QVERIFY(text.contains(plotLabels(PlotKind::I0Nin).title.toUtf8()));
    QVERIFY(!w.top->savePlotImage(w.dir.filePath(QStringLiteral("missing/plot.png"))));

    w.top->copyPlotImage();
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    QVERIFY(clip);
    QCOMPARE(qvariant_cast<QImage>(clip->imageData()).convertToFormat(QImage::Format_RGB32),
             screen);
    QVERIFY(clip->data(QStringLiteral("image/svg+xml")).contains("<svg"));

    // The menu's Save opens a dialog that does not block; choosing a file saves.
    QMenu *menu = openMenu(w.top);
    menu->actions().at(3)->trigger();
    menu->close();
    QFileDialog *dialog = w.top->saveImageDialog();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QSignalSpy saved(w.top, &DispA::plotImageSaved);
    const QString chosen = w.dir.filePath(QStringLiteral("chosen.png"));
    emit dialog->fileSelected(chosen);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0).at(1).toBool(), true);
    QCOMPARE(QImage(chosen).convertToFormat(QImage::Format_RGB32), screen);
    dialog->hide();
}

void TestPlotView::pointerShowsValues()
{
    Window w;
    w.load(table);
    // The third point of channel 1: I0 3000, ICR 2420.
    const ChCoord &c = w.top->coord;
    const QPoint disc(int(c.xToPixel(3000)), int(c.yToPixel(2420)));
    mouse(w.top, QEvent::MouseMove, disc, Qt::NoButton);
    QString tip = QToolTip::text();
    QVERIFY2(tip.contains(QStringLiteral("Channel 1, point 3")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("I0: 3000\nICR (Nin): 2420")), qPrintable(tip));

    mouse(w.top, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton);
    tip = QToolTip::text();
    QVERIFY2(!tip.contains(QStringLiteral("point")), qPrintable(tip));
    const QString expected = QStringLiteral("I0: %1\nICR (Nin): %2")
                                     .arg(QString::number(c.pixelToX(5), 'g', 6),
                                          QString::number(c.pixelToY(5), 'g', 6));
    QCOMPARE(tip, expected);
}

QTEST_MAIN(TestPlotView)
#include "tst_plotview.moc"
