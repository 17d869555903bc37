// SPDX-License-Identifier: GPL-3.0-or-later
#include "recipe.h"
#include "scanbatch.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ScanCorrectionSetup paralyzable()
{
    ScanCorrectionSetup s;
    s.model = DeadTimeModel::Paralyzable;
    s.source = CorrectionSource::Icr;
    s.oneForAll = true;
    s.deadTimes.append({ 1e-6, 1e-8, 2e-6, 2e-8, 0.5, 1e-3, 0.0 });
    return s;
}

// The scans of the tests, written into dir: "mapped", "unmapped", "other"
// (mapped too) and "missing", which is never written.
QString writeScan(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name + QStringLiteral(".dat"));
    // A built-in recipe maps ICR1 and OCR1; none maps in1 and out1.
    const QByteArray rows = "1 50000 20000\n1 120000 40000\n";
    if (name == QLatin1String("unmapped"))
        testsupport::writeFileBytes(path, "# I0 in1 out1\n" + rows);
    else if (name != QLatin1String("missing"))
        testsupport::writeFileBytes(path, "# I0 ICR1 OCR1\n" + rows);
    return path;
}

Recipe inOutRecipe()
{
    return parseRecipe(QStringLiteral("elements = 1\ni0 = I0\nicr = in{n}\nsca = out{n}\n")).recipe;
}

} // namespace

class TestScanBatch : public QObject
{
    Q_OBJECT
private slots:
    void scansInTurn_data();
    void scansInTurn();
    void runnerReportsEachBatchOnce();
};

void TestScanBatch::scansInTurn_data()
{
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<bool>("fallback");
    QTest::addColumn<int>("cancelAfter"); // scans begun before cancelling; -1: never
    // Per scan begun: "ok", "needs recipe" or "error".
    QTest::addColumn<QStringList>("outcomes");
    const QStringList three { "mapped", "unmapped", "other" };
    QTest::newRow("a refused scan does not stop the next")
            << three << false << -1 << QStringList { "ok", "needs recipe", "ok" };
    QTest::newRow("the fallback recipe reads what none built in maps")
            << three << true << -1 << QStringList { "ok", "ok", "ok" };
    QTest::newRow("cancelled after the first scan")
            << three << true << 1 << QStringList { "ok" };
    QTest::newRow("a scan that cannot be opened")
            << QStringList { "missing", "mapped" } << true << -1 << QStringList { "error", "ok" };
}

// Each scan begun is corrected beside itself, or refused with its reason, in
// the order given; the observer sees them in that order, and a scan after a
// cancel is left alone.
void TestScanBatch::scansInTurn()
{
    QFETCH(QStringList, scans);
    QFETCH(bool, fallback);
    QFETCH(int, cancelAfter);
    QFETCH(QStringList, outcomes);
    QTemporaryDir dir;
    ScanBatch batch;
    batch.setup = paralyzable();
    for (const QString &name : scans)
        batch.scans.append(writeScan(dir, name));
    if (fallback)
        batch.fallbackRecipe = inOutRecipe();
    QStringList seen;
    ScanBatchObserver observer;
    observer.scanDone = [&seen](const CorrectedScan &s) { seen.append(s.scan); };
    observer.cancelled = [&seen, cancelAfter] { return seen.size() == cancelAfter; };

    const QVector<CorrectedScan> done = correctScanBatch(batch, observer);
    QCOMPARE(done.size(), outcomes.size());
    QCOMPARE(seen, batch.scans.mid(0, outcomes.size()));
    for (int i = 0; i < batch.scans.size(); ++i) {
        const QString output = dir.filePath(scans.at(i) + QStringLiteral("_dtc.tsv"));
        if (i >= done.size()) {
            QVERIFY2(!QFile::exists(output), qPrintable(output));
            continue;
        }
        const ScanCorrectionReport &r = done.at(i).report;
        QCOMPARE(done.at(i).scan, batch.scans.at(i));
        QCOMPARE(QDir::cleanPath(done.at(i).output), QDir::cleanPath(output));
        const QString outcome = r.ok() ? QStringLiteral("ok")
                : r.needsRecipe        ? QStringLiteral("needs recipe")
                                       : QStringLiteral("error");
        QCOMPARE(outcome, outcomes.at(i));
        QCOMPARE(QFile::exists(output), r.ok());
        if (r.ok())
            QCOMPARE(r.rows, qint64(2));
    }
}

// The runner reports a batch once, whether the event loop or wait() sees it
// end, takes one batch at a time, and writes where the batch says.
void TestScanBatch::runnerReportsEachBatchOnce()
{
    QTemporaryDir dir;
    ScanBatch batch;
    batch.setup = paralyzable();
    batch.scans = QStringList { writeScan(dir, QStringLiteral("mapped")) };
    batch.outputs = QStringList { dir.filePath(QStringLiteral("named.tsv")) };
    ScanBatchRunner runner;
    QVector<QVector<CorrectedScan>> reports;
    connect(&runner, &ScanBatchRunner::finished, this,
            [&reports](const QVector<CorrectedScan> &scans) { reports.append(scans); });

    QVERIFY(runner.start(batch));
    QVERIFY(runner.isRunning());
    QVERIFY(!runner.start(batch));
    runner.wait();
    QVERIFY(!runner.isRunning());
    QCOMPARE(reports.size(), 1);
    // The thread's own end, queued behind wait(), is no second report.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports.at(0).size(), 1);
    QVERIFY2(reports.at(0).at(0).report.ok(), qPrintable(reports.at(0).at(0).report.error));
    QCOMPARE(reports.at(0).at(0).output, batch.outputs.at(0));
    QVERIFY(QFile::exists(batch.outputs.at(0)));

    // Left to the event loop; the limit is one only a hang reaches.
    batch.outputs = QStringList { dir.filePath(QStringLiteral("again.tsv")) };
    QVERIFY(runner.start(batch));
    QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 2, 300000);
    QVERIFY(!runner.isRunning());
    QVERIFY(reports.at(1).at(0).report.ok());
    QVERIFY(QFile::exists(batch.outputs.at(0)));
}

QTEST_GUILESS_MAIN(TestScanBatch)
#include "tst_scanbatch.moc"
