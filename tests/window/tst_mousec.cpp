// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispa.h"
#include "mousec.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

namespace {

void send(QWidget *w, QEvent::Type type, QPointF pos, Qt::MouseButton button,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, pos, button, held, modifiers);
    QApplication::sendEvent(w, &e);
}

void wheel(QWidget *w, QPoint angle)
{
    QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestMouseC : public QObject
{
    Q_OBJECT
private slots:
    void positionsAreRounded_data();
    void positionsAreRounded();
    void pressAndReleaseRecord();
    void altMovesAreDropped();
    void doubleClickKeepsCurrentPosition();
    void wheelSteps_data();
    void wheelSteps();
};

void TestMouseC::positionsAreRounded_data()
{
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("whole pixels") << QPointF(10, 20) << 10 << 20;
    QTest::newRow("halves round up") << QPointF(2.5, 7.5) << 3 << 8;
    QTest::newRow("negative halves round up") << QPointF(-2.5, -0.5) << -2 << 0;
    QTest::newRow("below half rounds down") << QPointF(4.49, 9.2) << 4 << 9;
}

void TestMouseC::positionsAreRounded()
{
    QFETCH(QPointF, pos);
    QFETCH(int, x);
    QFETCH(int, y);
    DispA d;
    send(&d, QEvent::MouseMove, pos, Qt::NoButton);
    QCOMPARE(d.mouse.curX, x);
    QCOMPARE(d.mouse.curY, y);
}

void TestMouseC::pressAndReleaseRecord()
{
    DispA d;
    QSignalSpy moved(&d.mouse, &MouseC::mMoved);
    QSignalSpy pressedSpy(&d.mouse, &MouseC::mPressed);
    QSignalSpy released(&d.mouse, &MouseC::mReleased);

    send(&d, QEvent::MouseMove, QPointF(5, 6), Qt::NoButton, Qt::ShiftModifier);
    QCOMPARE(d.mouse.moveModifiers, int(Qt::ShiftModifier));
    send(&d, QEvent::MouseButtonPress, QPointF(11, 12), Qt::RightButton, Qt::ControlModifier);
    QCOMPARE(d.mouse.prevX, 5);
    QCOMPARE(d.mouse.prevY, 6);
    QCOMPARE(d.mouse.pressX, 11);
    QCOMPARE(d.mouse.pressY, 12);
    QCOMPARE(d.mouse.curX, 11);
    QCOMPARE(d.mouse.pressed, true);
    QCOMPARE(d.mouse.pressButton, int(Qt::RightButton));
    QCOMPARE(d.mouse.pressModifiers, int(Qt::ControlModifier));

    send(&d, QEvent::MouseButtonRelease, QPointF(30, 40), Qt::RightButton);
    QCOMPARE(d.mouse.prevX, 11);
    QCOMPARE(d.mouse.prevY, 12);
    QCOMPARE(d.mouse.releaseX, 30);
    QCOMPARE(d.mouse.releaseY, 40);
    QCOMPARE(d.mouse.curY, 40);
    QCOMPARE(d.mouse.pressed, false);
    QCOMPARE(d.mouse.releaseButton, int(Qt::RightButton));
    QCOMPARE(d.mouse.releaseModifiers, int(Qt::NoModifier));
    // The press position survives the release.
    QCOMPARE(d.mouse.pressX, 11);

    QCOMPARE(moved.count(), 1);
    QCOMPARE(pressedSpy.count(), 1);
    QCOMPARE(released.count(), 1);
}

void TestMouseC::altMovesAreDropped()
{
    DispA d;
    QSignalSpy moved(&d.mouse, &MouseC::mMoved);
    QSignalSpy relayed(&d, &DispA::mouseMoved0);
    send(&d, QEvent::MouseMove, QPointF(3, 4), Qt::NoButton);
    send(&d, QEvent::MouseMove, QPointF(50, 60), Qt::NoButton, Qt::AltModifier);
    send(&d, QEvent::MouseMove, QPointF(70, 80), Qt::NoButton, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(d.mouse.curX, 3);
    QCOMPARE(d.mouse.curY, 4);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(relayed.count(), 1);

    send(&d, QEvent::MouseMove, QPointF(9, 10), Qt::NoButton);
    QCOMPARE(d.mouse.prevX, 3);
    QCOMPARE(d.mouse.prevY, 4);
    QCOMPARE(d.mouse.curX, 9);
}

void TestMouseC::doubleClickKeepsCurrentPosition()
{
    DispA d;
    send(&d, QEvent::MouseButtonPress, QPointF(10, 10), Qt::LeftButton);
    send(&d, QEvent::MouseButtonRelease, QPointF(12, 13), Qt::LeftButton);
    send(&d, QEvent::MouseButtonDblClick, QPointF(14, 15), Qt::LeftButton, Qt::ShiftModifier);
    send(&d, QEvent::MouseButtonRelease, QPointF(16, 17), Qt::LeftButton);
    QCOMPARE(d.mouse.dclickX, 14);
    QCOMPARE(d.mouse.dclickY, 15);
    QCOMPARE(d.mouse.dclickButton, int(Qt::LeftButton));
    QCOMPARE(d.mouse.dclickModifiers, int(Qt::ShiftModifier));
    QCOMPARE(d.mouse.curX, 16);
    QCOMPARE(d.mouse.curY, 17);
    QCOMPARE(d.mouse.prevX, 12);
    QCOMPARE(d.mouse.prevY, 13);
    QCOMPARE(d.mouse.pressed, false);

    // A double click alone changes neither the current position nor the press state.
    send(&d, QEvent::MouseButtonPress, QPointF(20, 21), Qt::LeftButton);
    send(&d, QEvent::MouseButtonDblClick, QPointF(22, 23), Qt::LeftButton);
    QCOMPARE(d.mouse.curX, 20);
    QCOMPARE(d.mouse.curY, 21);
    QCOMPARE(d.mouse.pressed, true);
}

void TestMouseC::wheelSteps_data()
{
    QTest::addColumn<QPoint>("angle");
    QTest::addColumn<int>("step");
    QTest::newRow("one notch") << QPoint(0, 120) << 1;
    QTest::newRow("half notch") << QPoint(0, 60) << 0;
    QTest::newRow("one notch back") << QPoint(0, -120) << -1;
    QTest::newRow("two notches") << QPoint(0, 240) << 2;
    QTest::newRow("just short of a notch back") << QPoint(0, -119) << 0;
    QTest::newRow("horizontal wheel only") << QPoint(-240, 0) << -2;
    QTest::newRow("diagonal, mostly horizontal") << QPoint(120, 30) << 1;
    QTest::newRow("diagonal, mostly vertical") << QPoint(30, -120) << -1;
    QTest::newRow("the larger amount wins") << QPoint(360, 120) << 3;
    QTest::newRow("equal amounts take the vertical one") << QPoint(120, -120) << -1;
}

void TestMouseC::wheelSteps()
{
    QFETCH(QPoint, angle);
    QFETCH(int, step);
    DispA d;
    QSignalSpy spy(&d.mouse, &MouseC::wheelMoved);
    wheel(&d, angle);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), step);
}

QTEST_MAIN(TestMouseC)
#include "tst_mousec.moc"
