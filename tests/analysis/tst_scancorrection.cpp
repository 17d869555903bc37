// SPDX-License-Identifier: GPL-3.0-or-later
#include "correction.h"
#include "scancorrection.h"

#include <QBuffer>
#include <QtTest>

#include <cmath>

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

QByteArray correct(const QByteArray &scan, ScanCorrectionReport *report = nullptr)
{
    QByteArray input = scan;
    QBuffer in(&input);
    QByteArray output;
    QBuffer out(&output);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    const ScanCorrectionReport r = correctScan(paralyzable(), in, out);
    if (report)
        *report = r;
    return output;
}

// The first field of each output line after the line of names.
QList<QByteArray> firstFields(const QByteArray &output)
{
    QList<QByteArray> fields;
    const QList<QByteArray> lines = output.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            fields.append(lines.at(i).left(lines.at(i).indexOf('\t')));
    }
    return fields;
}

} // namespace

class TestScanCorrection : public QObject
{
    Q_OBJECT
private slots:
    void ownValues_data();
    void ownValues();
    void blocksInFileOrder();
};

void TestScanCorrection::ownValues_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("written");
    QTest::addRow("trailing zeros kept") << QByteArray("1.50") << QByteArray("1.50");
    QTest::addRow("exponent kept") << QByteArray("2E3") << QByteArray("2E3");
    QTest::addRow("plus sign kept") << QByteArray("+7") << QByteArray("+7");
    QTest::addRow("negative zero") << QByteArray("-0.0") << QByteArray("-0.0");
    QTest::addRow("17 digits") << QByteArray("0.10000000000000001")
                               << QByteArray("0.10000000000000001");
    QTest::addRow("NaN as the readers write it") << QByteArray("NaN") << QByteArray("nan");
    QTest::addRow("Infinity") << QByteArray("-Infinity") << QByteArray("-inf");
    QTest::addRow("beyond a double") << QByteArray("1e999") << QByteArray("inf");
}

// The scan's own values come out as they were read, tab-separated, whatever
// separated them; what not every reader takes is written as its value. The
// field is tried in a line with stray blanks and a CR, and in a tidy one
// with single separators.
void TestScanCorrection::ownValues()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, written);
    const QByteArray scan = "# energy time I0 ICR1 OCR1\n"
                            " " + field + " , 1\t5e4 200000  150000 \r\n"
                            "7112 1 50000 100000 80000\n"
                          + field + ",1\t5e4 200000 150000\n";
    ScanCorrectionReport report;
    const QByteArray out = correct(scan, &report);
    QVERIFY2(report.ok(), qPrintable(report.error));
    const QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), QByteArray("energy\ttime\tI0\tICR1\tOCR1\tntrue1\tdtc1\tdtc1_err\tdtc1_flag"));
    QVERIFY2(lines.at(1).startsWith(written + "\t1\t5e4\t200000\t150000\t"), lines.at(1));
    QVERIFY2(lines.at(2).startsWith("7112\t1\t50000\t100000\t80000\t"), lines.at(2));
    QVERIFY2(lines.at(3).startsWith(written + "\t1\t5e4\t200000\t150000\t"), lines.at(3));
    QCOMPARE(lines.at(4), QByteArray());
}

// Blocks are corrected on several threads; their rows come out once each, in
// the order of the file, with each row's own correction.
void TestScanCorrection::blocksInFileOrder()
{
    const int rows = 9 * correctionBlockRows + 17;
    QByteArray scan = "# row time I0 ICR1 OCR1\n";
    for (int r = 0; r < rows; ++r) {
        const double n = 1e3 * (r % 300 + 1);
        const double icr = n * std::exp(-n * 1e-6);
        scan += QByteArray::number(r) + " 1 1e4 " + QByteArray::number(icr, 'g', 17) + " "
                + QByteArray::number(0.5 * icr) + '\n';
    }
    ScanCorrectionReport report;
    const QByteArray out = correct(scan, &report);
    QVERIFY2(report.ok(), qPrintable(report.error));
    QCOMPARE(report.rows, qint64(rows));
    const QList<QByteArray> first = firstFields(out);
    QCOMPARE(first.size(), rows);
    const QList<QByteArray> lines = out.split('\n');
    for (int r = 0; r < rows; ++r) {
        QCOMPARE(first.at(r).toInt(), r);
        const double n = lines.at(r + 1).split('\t').at(5).toDouble();
        QVERIFY(std::fabs(n / (1e3 * (r % 300 + 1)) - 1.0) < 1e-9);
    }
}

QTEST_GUILESS_MAIN(TestScanCorrection)
#include "tst_scancorrection.moc"
