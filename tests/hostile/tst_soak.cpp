// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "hostilefiles.h"
#include "testsupport.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace hostile;

// Hundreds of load-and-clear cycles through the window: every clear must give
// back every widget the load made, and memory must not creep up.
class tst_Soak : public QObject
{
    Q_OBJECT
private slots:
    void loadAndClearCycles();
    void residentSizeSteady();

private:
    qint64 warmResident = -1;
    qint64 endResident = -1;
};

namespace {

constexpr int warmUpCycles = 30;
constexpr int cycles = 300;
// What the allocator and the toolkit's caches may still move after warm-up;
// a single leaked panel per cycle would add far more over 300 cycles.
constexpr qint64 allowedGrowth = 2 << 20;


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
        QVERIFY(writeFile(file, spectrumText(i0, { 0.9 * i0, 0.8 * i0, 0.85 * i0, 0.7 * i0 },
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
    QVERIFY(writeFile(table, rows));
    batch.append(table);

    Body body;
    body.resize(900, 700);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
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
        if (cycle + 1 == warmUpCycles)
            warmResident = residentBytes();
    }

    endResident = residentBytes();
}

// Measured over the cycles above, from the end of the warm-up to the end.
void tst_Soak::residentSizeSteady()
{
    if (warmResident < 0 || endResident < 0)
        QSKIP("No resident size: /proc/self/status is missing or the cycles did not finish");
    qInfo("resident size %lld kB after warm-up, %lld kB after %d cycles", warmResident >> 10,
          endResident >> 10, cycles);
    if (underAddressSanitizer())
        QSKIP("Under AddressSanitizer freed memory is held in quarantine, so the resident "
              "size says nothing about leaks (LeakSanitizer checks those)");
    QVERIFY2(endResident - warmResident < allowedGrowth,
             qPrintable(QStringLiteral("resident size grew by %1 kB over %2 cycles")
                                .arg((endResident - warmResident) >> 10)
                                .arg(cycles - warmUpCycles)));
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
