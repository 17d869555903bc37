// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "hostilefiles.h"
#include "testsupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace hostile;
using testsupport::writeFileBytes;

// Hundreds of load-and-clear cycles through the window: every clear must give
// back every widget the load made, and memory must not creep up.
class tst_Soak : public QObject
{
    Q_OBJECT
private slots:
    void loadAndClearCycles();
    void liveHeapSteady();

private:
    // The live heap after each cycle that follows the warm-up.
    QVector<qint64> liveHeap;
};

namespace {

// The toolkit's caches (style sheets, fonts, the grabs' backing store) fill
// over the first hundred and fifty cycles or so; the growth is measured after.
constexpr int warmUpCycles = 200;
constexpr int cycles = 500;
// The growth is read from the lowest live heap of a window of cycles at the
// start and at the end of the measurement: a cycle's transient allocations
// (the grab of every tenth cycle, a buffer not yet shrunk) come and go, while
// a leak raises every cycle's floor.
constexpr int floorWindow = 30;
// Live-heap growth per cycle that counts as a leak. What bounded caches and
// containers that grow by doubling still add after the warm-up stays far
// below it (a few kB in all); a kilobyte per cycle, a point's numbers or a
// panel's strings, is well above it.
constexpr qint64 allowedGrowthPerCycle = 256;

qint64 lowest(const QVector<qint64> &v, int from, int count)
{
    return *std::min_element(v.begin() + from, v.begin() + from + count);
}

} // namespace

void tst_Soak::loadAndClearCycles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A batch of both kinds: three spectrum files of four channels and a
    // point table of five points.
    QStringList batch;
    for (int i = 1; i <= 3; ++i) {
        const double i0 = 1000.0 * i;
        const QString file = dir.filePath(QStringLiteral("spectrum_%1.dat").arg(i));
        QVERIFY(writeFileBytes(file, spectrumText(i0, { 0.9 * i0, 0.8 * i0, 0.85 * i0, 0.7 * i0 },
                                             { 0.7 * i0, 0.6 * i0, 0.65 * i0, 0.5 * i0 })));
        batch.append(file);
    }
    const QString table = dir.filePath(QStringLiteral("table.dat"));
    QByteArray rows = "# Channels : 4\n";
    for (int i = 4; i <= 8; ++i)
        rows += QByteArray::number(1000 * i) + " " + QByteArray::number(880 * i) + " "
                + QByteArray::number(790 * i) + " " + QByteArray::number(840 * i) + " "
                + QByteArray::number(690 * i) + " " + QByteArray::number(690 * i) + " "
                + QByteArray::number(590 * i) + " " + QByteArray::number(640 * i) + " "
                + QByteArray::number(490 * i) + "\n";
    QVERIFY(writeFileBytes(table, rows));
    batch.append(table);

    Body body;
    body.resize(900, 700);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    testsupport::DebugCapture capture;
    const int baseline = QApplication::allWidgets().size();

    for (int cycle = 0; cycle < cycles; ++cycle) {
        loadBatch(body, batch);
        QCOMPARE(body.measSet().mcas.size(), 8);
        QVERIFY(body.measSet().estimated);
        QVERIFY(QApplication::allWidgets().size() > baseline);
        if (cycle % 10 == 0)
            QVERIFY(!body.grab().isNull());
        QVERIFY(clickClear(body));
        QCOMPARE(body.measSet().mcas.size(), 0);
        QCOMPARE(body.measSet().tauLEs.size(), 0);
        QCOMPARE(QApplication::allWidgets().size(), baseline);
        capture.clear();
        // Between a user's clicks the event loop delivers what the load and
        // the clear posted (layout requests, deferred deletions); without it
        // they would pile up and look like a leak. Timers are left alone:
        // what they do depends on the time, not on the cycle.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (cycle + 1 >= warmUpCycles)
            liveHeap.append(liveHeapBytes());
    }
}

// Measured over the cycles above, after the warm-up. The live heap is what
// the allocator has handed out; the resident size would also follow the
// allocator's free lists, arenas and returned pages, which move with the
// timing of the machine rather than with what the program keeps.
void tst_Soak::liveHeapSteady()
{
    if (liveHeap.size() != cycles - warmUpCycles + 1 || liveHeap.first() < 0)
        QSKIP("No live-heap figures: the C library does not give them or the cycles did not "
              "finish");
    if (underAddressSanitizer())
        QSKIP("AddressSanitizer has its own allocator (LeakSanitizer checks for leaks there)");
    // The whole series, to see where a growth starts.
    if (qEnvironmentVariableIsSet("RATELENS_SOAK_TRACE")) {
        QStringList v;
        for (qint64 b : liveHeap)
            v << QString::number(b);
        qInfo("%s", qPrintable(v.join(QLatin1Char(' '))));
    }
    const int span = liveHeap.size() - floorWindow;
    const qint64 start = lowest(liveHeap, 0, floorWindow);
    const qint64 end = lowest(liveHeap, span, floorWindow);
    qInfo("live heap %lld kB after warm-up, %lld kB at the end; %lld bytes per cycle over %d "
          "cycles",
          start >> 10, end >> 10, (end - start) / span, span);
    QVERIFY2(end - start <= allowedGrowthPerCycle * span,
             qPrintable(QStringLiteral("live heap grew by %1 bytes per cycle over %2 cycles "
                                       "(%3 kB)")
                                .arg((end - start) / span)
                                .arg(span)
                                .arg((end - start) >> 10)));
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
