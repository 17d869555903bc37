// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispa.h"
#include "testsupport.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

namespace {

int countNonWhite(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                ++n;
        }
    }
    return n;
}

} // namespace

class TestDispA : public QObject
{
    Q_OBJECT
private slots:
    void unconnectedDisplayIsPlainWhite_data();
    void unconnectedDisplayIsPlainWhite();
    void paintHandsOutPainterAfterSettingPixels();
    void everyRecordedEventRepaints_data();
    void everyRecordedEventRepaints();
};

void TestDispA::unconnectedDisplayIsPlainWhite_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("wide") << QSize(300, 90);
    QTest::newRow("tall") << QSize(40, 120);
}

void TestDispA::unconnectedDisplayIsPlainWhite()
{
    QFETCH(QSize, size);
    DispA d;
    d.resize(size);
    const QImage img = d.grab().toImage();
    QCOMPARE(img.size(), size);
    // The styled frame would leave lines along the border.
    QCOMPARE(countNonWhite(img), 0);
}

void TestDispA::paintHandsOutPainterAfterSettingPixels()
{
    DispA d;
    d.resize(200, 100);
    QStringList order;
    QPainter *first = nullptr;
    QPainter *second = nullptr;
    connect(&d, &DispA::drawImage1, [&](QPainter *p) {
        order << QStringLiteral("1");
        first = p;
        QCOMPARE(d.coord.wx0, 0.0);
        QCOMPARE(d.coord.wy0, 100.0);
        QCOMPARE(d.coord.wx1, 200.0);
        QCOMPARE(d.coord.wy1, 0.0);
        QCOMPARE(d.coord.px1, 200.0);
        QCOMPARE(d.coord.py0, 100.0);
    });
    connect(&d, &DispA::drawImage2, [&](QPainter *p) {
        order << QStringLiteral("2");
        second = p;
        p->fillRect(10, 20, 5, 4, Qt::red);
    });
    const QImage img = d.grab().toImage();
    QCOMPARE(order, QStringList({ QStringLiteral("1"), QStringLiteral("2") }));
    QVERIFY(first);
    QCOMPARE(second, first);
    QCOMPARE(img.pixel(12, 22), qRgb(255, 0, 0));
    QCOMPARE(countNonWhite(img), 20);
}

void TestDispA::everyRecordedEventRepaints_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("repaints");
    QTest::newRow("move") << 0 << true;
    QTest::newRow("move with Alt") << 1 << false;
    QTest::newRow("press") << 2 << true;
    QTest::newRow("release") << 3 << true;
    QTest::newRow("double click") << 4 << true;
    QTest::newRow("wheel") << 5 << true;
}

void TestDispA::everyRecordedEventRepaints()
{
    QFETCH(int, kind);
    QFETCH(bool, repaints);
    DispA d;
    QVERIFY(d.hasMouseTracking());
    d.resize(100, 60);
    int paints = 0;
    connect(&d, &DispA::drawImage2, [&](QPainter *) { ++paints; });
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d, 60000));
    QTRY_VERIFY_WITH_TIMEOUT(paints > 0, 60000);
    testsupport::settle();
    paints = 0;

    const QPointF pos(30, 20);
    switch (kind) {
    case 0:
    case 1: {
        QMouseEvent e(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton,
                      kind == 1 ? Qt::AltModifier : Qt::NoModifier);
        QApplication::sendEvent(&d, &e);
        break;
    }
    case 2:
    case 3:
    case 4: {
        const QEvent::Type type = kind == 2 ? QEvent::MouseButtonPress
                : kind == 3                 ? QEvent::MouseButtonRelease
                                            : QEvent::MouseButtonDblClick;
        QMouseEvent e(type, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&d, &e);
        break;
    }
    default: {
        QWheelEvent e(pos, pos, QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(&d, &e);
        break;
    }
    }
    if (repaints) {
        testsupport::settle();
        QVERIFY(paints > 0);
    } else {
        testsupport::settle();
        QCOMPARE(paints, 0);
    }
}

QTEST_MAIN(TestDispA)
#include "tst_dispa.moc"
