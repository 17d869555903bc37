// SPDX-License-Identifier: GPL-3.0-or-later
#include "chcoord.h"
#include "dispa.h"
#include "mousec.h"
#include "testsupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using testsupport::nearlyEqual;

namespace {

// A display of 1000 x 200 pixels showing x from 0 to 100 and y from 0 to 10,
// y growing upwards as in the program.
struct Display
{
    DispA d;
    Display()
    {
        d.resize(1000, 200);
        d.grab();
        d.coord.setValueRange(0, 0, 100, 10);
    }
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Qt::MouseButtons held = button;
        if (type == QEvent::MouseButtonRelease)
            held = Qt::NoButton;
        if (type == QEvent::MouseMove)
            held = d.mouse.pressed ? Qt::MouseButton(d.mouse.pressButton) : Qt::NoButton;
        QMouseEvent e(type, QPointF(pos), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, modifiers);
        QApplication::sendEvent(&d, &e);
    }
    void wheel(int delta)
    {
        QWheelEvent e(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&d, &e);
    }
    QVector<double> range() const
    {
        return { d.coord.vx0, d.coord.vx1, d.coord.vy0, d.coord.vy1 };
    }
};

} // namespace

class TestChCoord : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
    void edgeBands_data();
    void edgeBands();
    void margins();
    void rangeSettersKeepCopies();
    void wheelZoom_data();
    void wheelZoom();
    void rectangleZoom_data();
    void rectangleZoom();
    void pan_data();
    void pan();
    void pressAndDoubleClickOnlyReport();
    void pointerPositionIsReported();
};

void TestChCoord::mapping_data()
{
    QTest::addColumn<QVector<double>>("pixels"); // x0, y0, x1, y1
    QTest::addColumn<QVector<double>>("values"); // x0, y0, x1, y1
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("px");
    QTest::addColumn<double>("py");
    QTest::newRow("display orientation")
            << QVector<double> { 0, 200, 1000, 0 } << QVector<double> { 0, 0, 100, 10 } << 25.0
            << 2.5 << 250.0 << 150.0;
    QTest::newRow("both axes reversed in value")
            << QVector<double> { 0, 200, 1000, 0 } << QVector<double> { 100, 10, 0, 0 } << 25.0
            << 2.5 << 750.0 << 50.0;
    QTest::newRow("pixels running the other way")
            << QVector<double> { 1000, 0, 0, 200 } << QVector<double> { -50, -1, 50, 1 } << 0.0
            << 0.5 << 500.0 << 150.0;
    QTest::newRow("offset plot area")
            << QVector<double> { 100, 300, 500, 100 } << QVector<double> { 10, 20, 30, 40 } << 15.0
            << 35.0 << 200.0 << 150.0;
}

void TestChCoord::mapping()
{
    QFETCH(QVector<double>, pixels);
    QFETCH(QVector<double>, values);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, px);
    QFETCH(double, py);
    ChCoord c;
    c.setPixelRect(pixels[0], pixels[1], pixels[2], pixels[3]);
    c.setValueRange(values[0], values[1], values[2], values[3]);
    QVERIFY(nearlyEqual(c.xToPixel(x), px));
    QVERIFY(nearlyEqual(c.yToPixel(y), py));
    QVERIFY(nearlyEqual(c.pixelToX(px), x));
    QVERIFY(nearlyEqual(c.pixelToY(py), y));

    const double sx = (values[2] - values[0]) / (pixels[2] - pixels[0]);
    const double sy = (values[3] - values[1]) / (pixels[3] - pixels[1]);
    QVERIFY(nearlyEqual(c.pixelToXRelative(px), x - values[0]));
    QVERIFY(nearlyEqual(c.pixelToYRelative(py), y - values[1]));
    QVERIFY(nearlyEqual(c.pixelsToXLength(10), 10 * sx));
    QVERIFY(nearlyEqual(c.pixelsToYLength(10), 10 * sy));
    QVERIFY(nearlyEqual(c.xLengthToPixels(10 * sx), 10));
    QVERIFY(nearlyEqual(c.yLengthToPixels(10 * sy), 10));

    // Clamping holds the value inside the range whichever way it runs.
    const double beyondX = pixels[2] + (pixels[2] - pixels[0]);
    const double beyondY = pixels[1] - (pixels[3] - pixels[1]);
    QCOMPARE(c.pixelToXClamped(beyondX), values[2]);
    QCOMPARE(c.pixelToYClamped(beyondY), values[1]);
    QVERIFY(nearlyEqual(c.pixelToXClamped(px), x));
}

void TestChCoord::edgeBands_data()
{
    QTest::addColumn<double>("p");
    QTest::addColumn<bool>("nearX");
    QTest::addColumn<bool>("nearY");
    // x spans 0..1000 (bands below 100, above 900); y spans 200..0 (below 20, above 180).
    QTest::newRow("middle of both spans") << 150.0 << false << false;
    QTest::newRow("middle of x, beyond the y span") << 500.0 << false << true;
    QTest::newRow("inner edge of the low x band") << 100.0 << false << false;
    QTest::newRow("inside the low x band") << 99.0 << true << false;
    QTest::newRow("inside the high x band") << 901.0 << true << true;
    QTest::newRow("low y band") << 19.0 << true << true;
    QTest::newRow("high y band") << 181.0 << false << true;
    QTest::newRow("before the span") << -5.0 << true << true;
    QTest::newRow("after the span") << 1200.0 << true << true;
}

void TestChCoord::edgeBands()
{
    QFETCH(double, p);
    QFETCH(bool, nearX);
    QFETCH(bool, nearY);
    ChCoord c;
    c.setPixelRect(0, 200, 1000, 0);
    QCOMPARE(c.nearPlotXEdge(p), nearX);
    QCOMPARE(c.nearPlotYEdge(p), nearY);
    QCOMPARE(c.nearWidgetXEdge(p), nearX);
    QCOMPARE(c.nearWidgetYEdge(p), nearY);

    // The two kinds of band have their own widths.
    c.plotEdge = 0.3;
    QCOMPARE(c.nearPlotXEdge(250), true);
    QCOMPARE(c.nearWidgetXEdge(250), false);
}

void TestChCoord::margins()
{
    ChCoord c;
    c.setPixelRect(0, 333, 999, 0);
    c.applyMargins();
    QCOMPARE(c.px0, 99.0); // trunc(99.9)
    QCOMPARE(c.px1, 950.0); // 999 - trunc(49.95)
    QCOMPARE(c.py0, 300.0); // 333 + trunc(-33.3)
    QCOMPARE(c.py1, 16.0); // 0 - trunc(-16.65)
    QCOMPARE(c.wx0, 0.0);
    QCOMPARE(c.wy0, 333.0);
}

void TestChCoord::rangeSettersKeepCopies()
{
    ChCoord c;
    QCOMPARE(c.xRangeSet, false);
    c.setXRange(1, 2);
    QCOMPARE(c.xRangeSet, true);
    QCOMPARE(c.yRangeSet, false);
    c.setYRange(3, 4);
    QCOMPARE(c.savedVx0, 1.0);
    QCOMPARE(c.savedVx1, 2.0);
    QCOMPARE(c.savedVy0, 3.0);
    QCOMPARE(c.savedVy1, 4.0);

    c.clearScale();
    QCOMPARE(c.vx0, 0.0);
    QCOMPARE(c.vx1, 0.0);
    QCOMPARE(c.vy1, 0.0);
    QCOMPARE(c.xRangeSet, false);
    QCOMPARE(c.yRangeSet, false);
    QCOMPARE(c.savedVx1, 2.0);
    QCOMPARE(c.savedVy0, 3.0);
}

void TestChCoord::wheelZoom_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<int>("delta");
    QTest::addColumn<bool>("zoomsX");
    QTest::addColumn<bool>("zoomsY");
    QTest::newRow("centre, one notch in") << QPoint(500, 100) << 120 << true << true;
    QTest::newRow("centre, half a notch zooms in too") << QPoint(500, 100) << 60 << true << true;
    QTest::newRow("centre, three notches in as much as one") << QPoint(300, 50) << 360 << true
                                                               << true;
    QTest::newRow("centre, one notch out") << QPoint(500, 100) << -120 << true << true;
    QTest::newRow("left band zooms y only") << QPoint(50, 100) << 120 << false << true;
    QTest::newRow("right band zooms y only") << QPoint(950, 100) << -120 << false << true;
    QTest::newRow("top band zooms x only") << QPoint(500, 10) << 120 << true << false;
    QTest::newRow("bottom band zooms x only") << QPoint(400, 190) << 120 << true << false;
    QTest::newRow("corner zooms both") << QPoint(50, 10) << 120 << true << true;
}

void TestChCoord::wheelZoom()
{
    QFETCH(QPoint, pointer);
    QFETCH(int, delta);
    QFETCH(bool, zoomsX);
    QFETCH(bool, zoomsY);
    Display s;
    s.mouse(QEvent::MouseMove, pointer, Qt::NoButton);
    s.d.coord.xRangeSet = false;
    s.d.coord.yRangeSet = false;
    s.wheel(delta);

    const double k = delta < 0 ? 1.1 : 1 / 1.1;
    const double xm = pointer.x() / 10.0;
    const double ym = (200 - pointer.y()) / 20.0;
    const double x0 = zoomsX ? xm - xm * k : 0;
    const double x1 = zoomsX ? xm + (100 - xm) * k : 100;
    const double y0 = zoomsY ? ym - ym * k : 0;
    const double y1 = zoomsY ? ym + (10 - ym) * k : 10;
    const ChCoord &c = s.d.coord;
    QVERIFY(nearlyEqual(c.vx0, x0, 1e-12));
    QVERIFY(nearlyEqual(c.vx1, x1));
    QVERIFY(nearlyEqual(c.vy0, y0, 1e-12));
    QVERIFY(nearlyEqual(c.vy1, y1));
    QCOMPARE(c.xRangeSet, zoomsX);
    QCOMPARE(c.yRangeSet, zoomsY);
    QCOMPARE(c.savedVx1, c.vx1);
    QCOMPARE(c.savedVy1, c.vy1);
}

void TestChCoord::rectangleZoom_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QVector<double>>("range"); // vx0, vx1, vy0, vy1
    QTest::newRow("lower left to upper right flips y")
            << QPoint(100, 150) << QPoint(300, 50) << Qt::KeyboardModifiers()
            << QVector<double> { 10, 30, 7.5, 2.5 };
    QTest::newRow("upper left to lower right")
            << QPoint(100, 50) << QPoint(300, 150) << Qt::KeyboardModifiers()
            << QVector<double> { 10, 30, 2.5, 7.5 };
    QTest::newRow("dragged leftwards: the release corner is the left one")
            << QPoint(300, 150) << QPoint(100, 50) << Qt::KeyboardModifiers()
            << QVector<double> { 10, 30, 2.5, 7.5 };
    QTest::newRow("vertical drag would leave no x range: no zoom")
            << QPoint(200, 40) << QPoint(200, 160) << Qt::KeyboardModifiers()
            << QVector<double> { 0, 100, 0, 10 };
    QTest::newRow("horizontal drag would leave no y range: no zoom")
            << QPoint(400, 80) << QPoint(600, 80) << Qt::KeyboardModifiers()
            << QVector<double> { 0, 100, 0, 10 };
    QTest::newRow("click without a drag: no zoom")
            << QPoint(400, 80) << QPoint(400, 80) << Qt::KeyboardModifiers()
            << QVector<double> { 0, 100, 0, 10 };
    QTest::newRow("Shift at the press blocks the zoom")
            << QPoint(100, 50) << QPoint(300, 150) << Qt::KeyboardModifiers(Qt::ShiftModifier)
            << QVector<double> { 0, 100, 0, 10 };
    QTest::newRow("Control at the press blocks the zoom")
            << QPoint(100, 50) << QPoint(300, 150) << Qt::KeyboardModifiers(Qt::ControlModifier)
            << QVector<double> { 0, 100, 0, 10 };
    QTest::newRow("Alt at the press blocks the zoom")
            << QPoint(100, 50) << QPoint(300, 150) << Qt::KeyboardModifiers(Qt::AltModifier)
            << QVector<double> { 0, 100, 0, 10 };
}

void TestChCoord::rectangleZoom()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QVector<double>, range);
    Display s;
    QSignalSpy updated(&s.d.coord, &ChCoord::updated);
    s.mouse(QEvent::MouseButtonPress, press, Qt::RightButton, modifiers);
    // Only the modifiers held at the press count.
    s.mouse(QEvent::MouseButtonRelease, release, Qt::RightButton);
    QCOMPARE(s.range(), range);
    QCOMPARE(updated.count(), 2);
    if (range != QVector<double> { 0, 100, 0, 10 }) {
        QCOMPARE(s.d.coord.savedVx0, range[0]);
        QCOMPARE(s.d.coord.savedVy1, range[3]);
    }
}

void TestChCoord::pan_data()
{
    QTest::addColumn<int>("buttonValue");
    QTest::addColumn<Qt::KeyboardModifiers>("atPress");
    QTest::addColumn<Qt::KeyboardModifiers>("duringDrag");
    QTest::addColumn<bool>("pans");
    QTest::newRow("left drag") << int(Qt::LeftButton) << Qt::KeyboardModifiers()
                               << Qt::KeyboardModifiers() << true;
    QTest::newRow("Shift pressed later still pans")
            << int(Qt::LeftButton) << Qt::KeyboardModifiers()
            << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
    QTest::newRow("Shift at the press, released before the drag")
            << int(Qt::LeftButton) << Qt::KeyboardModifiers(Qt::ShiftModifier)
            << Qt::KeyboardModifiers() << false;
    QTest::newRow("Control at the press") << int(Qt::LeftButton)
                                          << Qt::KeyboardModifiers(Qt::ControlModifier)
                                          << Qt::KeyboardModifiers() << false;
    QTest::newRow("right drag does not pan") << int(Qt::RightButton) << Qt::KeyboardModifiers()
                                             << Qt::KeyboardModifiers() << false;
}

void TestChCoord::pan()
{
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    QFETCH(Qt::KeyboardModifiers, atPress);
    QFETCH(Qt::KeyboardModifiers, duringDrag);
    QFETCH(bool, pans);
    Display s;
    s.d.coord.xRangeSet = false;
    s.mouse(QEvent::MouseButtonPress, QPoint(100, 100), button, atPress);
    s.mouse(QEvent::MouseMove, QPoint(200, 50), button, duringDrag);
    s.mouse(QEvent::MouseMove, QPoint(250, 60), button, duringDrag);
    if (pans) {
        // The value first under the pointer (10, 5) follows it to (250, 60).
        const ChCoord &c = s.d.coord;
        QVERIFY(nearlyEqual(c.pixelToX(250), 10));
        QVERIFY(nearlyEqual(c.pixelToY(60), 5));
        QVERIFY(nearlyEqual(c.vx1 - c.vx0, 100));
        QVERIFY(nearlyEqual(c.vy1 - c.vy0, 10));
    } else {
        QCOMPARE(s.range(), QVector<double>({ 0, 100, 0, 10 }));
    }
    QCOMPARE(s.d.coord.savedVx0, 0.0);
    QCOMPARE(s.d.coord.savedVy1, 10.0);
    QCOMPARE(s.d.coord.xRangeSet, false);

    // After the release moves only report the position.
    s.mouse(QEvent::MouseButtonRelease, QPoint(250, 60), button);
    const QVector<double> before = s.range();
    s.mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
    QCOMPARE(s.range(), before);
}

void TestChCoord::pressAndDoubleClickOnlyReport()
{
    Display s;
    QSignalSpy updated(&s.d.coord, &ChCoord::updated);
    s.mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    s.mouse(QEvent::MouseButtonDblClick, QPoint(100, 100), Qt::LeftButton);
    QCOMPARE(updated.count(), 2);
    QCOMPARE(s.range(), QVector<double>({ 0, 100, 0, 10 }));
}

void TestChCoord::pointerPositionIsReported()
{
    Display s;
    QSignalSpy pos(&s.d.coord, &ChCoord::nowPos);
    s.mouse(QEvent::MouseMove, QPoint(250, 150), Qt::NoButton);
    QCOMPARE(pos.count(), 1);
    QVERIFY(nearlyEqual(pos.at(0).at(0).toDouble(), 25));
    QVERIFY(nearlyEqual(pos.at(0).at(1).toDouble(), 2.5));
}

QTEST_MAIN(TestChCoord)
#include "tst_chcoord.moc"
