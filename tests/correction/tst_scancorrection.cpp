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

QByteArray correct(const QByteArray &scan, ScanCorrectionReport *report = nullptr,
                   const QStringList &roiPatterns = {}, bool oneThread = false)
{
    QByteArray input = scan;
    QBuffer in(&input);
    QByteArray output;
    QBuffer out(&output);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    ScanCorrectionSetup setup = paralyzable();
    setup.roiPatterns = roiPatterns;
    setup.oneThread = oneThread;
    const ScanCorrectionReport r = correctScan(setup, in, out);
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
    void blocksInFileOrder_data();
    void blocksInFileOrder();
    void separatorsAnywhere_data();
    void separatorsAnywhere();
    void manyElements_data();
    void manyElements();
};

void TestScanCorrection::separatorsAnywhere_data()
{
    QTest::addColumn<QByteArray>("line"); // @ for the first field
    QTest::addColumn<QByteArray>("last"); // the last field as written
    const QByteArray row = "1 50000 200000 150000 ";
    QTest::addRow("one blank") << "@ " + row + "7" << QByteArray("7");
    QTest::addRow("comma") << "@," + row + "7" << QByteArray("7");
    QTest::addRow("two blanks") << "@  " + row + "7" << QByteArray("7");
    QTest::addRow("comma after a blank") << "@ ," + row + "7" << QByteArray("7");
    QTest::addRow("tab after a tab") << "@\t\t" + row + "7" << QByteArray("7");
    QTest::addRow("a blank before the line") << " @ " + row + "7" << QByteArray("7");
    QTest::addRow("a blank after the line") << "@ " + row + "7 " << QByteArray("7");
    QTest::addRow("CR LF") << "@ " + row + "7\r" << QByteArray("7");
    // Fields as they were spelt; what not every reader takes, as its value.
    QTest::addRow("trailing zeros") << "@ " + row + "1.50" << QByteArray("1.50");
    QTest::addRow("an exponent") << "@ " + row + "-2.5E3" << QByteArray("-2.5E3");
    QTest::addRow("plus sign") << "@ " + row + "+7" << QByteArray("+7");
    QTest::addRow("negative zero") << "@ " + row + "-0.0" << QByteArray("-0.0");
    QTest::addRow("17 digits") << "@ " + row + "0.10000000000000001"
                               << QByteArray("0.10000000000000001");
    QTest::addRow("NaN as the readers write it") << "@ " + row + "NaN" << QByteArray("nan");
    QTest::addRow("Infinity") << "@ " + row + "-Infinity" << QByteArray("-inf");
    QTest::addRow("a number beyond a double") << "@ " + row + "1e999" << QByteArray("inf");
}

// The scan's own fields come out tab-separated, as they were read, whatever
// separates them and wherever in the line that is: the first field takes 1
// to 17 characters.
void TestScanCorrection::separatorsAnywhere()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, last);
    QByteArray scan = "# energy time I0 ICR1 OCR1 x\n";
    QByteArrayList expected;
    for (int width = 1; width <= 17; ++width) {
        const QByteArray first = QByteArray("12345678901234567").left(width);
        scan += QByteArray(line).replace('@', first) + '\n';
        expected.append(first + "\t1\t50000\t200000\t150000\t" + last + '\t');
    }
    ScanCorrectionReport report;
    const QList<QByteArray> lines = correct(scan, &report).split('\n');
    QVERIFY2(report.ok(), qPrintable(report.error));
    QCOMPARE(lines.size(), expected.size() + 2);
    for (int r = 0; r < expected.size(); ++r)
        QVERIFY2(lines.at(r + 1).startsWith(expected.at(r)), lines.at(r + 1).constData());
}

void TestScanCorrection::blocksInFileOrder_data()
{
    QTest::addColumn<bool>("oneThread");
    QTest::addColumn<int>("badRow"); // -1: none
    QTest::newRow("workers") << false << -1;
    QTest::newRow("one thread") << true << -1;
    QTest::newRow("workers, bad row in the sixth block") << false << 5 * correctionBlockRows + 9;
    QTest::newRow("one thread, bad row in the sixth block") << true << 5 * correctionBlockRows + 9;
}

// Blocks are corrected on several threads, or in turn on one; their rows come
// out once each, in the order of the file, with each row's own correction. A
// bad row stops the scan after the blocks before its own.
void TestScanCorrection::blocksInFileOrder()
{
    QFETCH(bool, oneThread);
    QFETCH(int, badRow);
    const int rows = 9 * correctionBlockRows + 17;
    QByteArray scan = "# row time I0 ICR1 OCR1\n";
    for (int r = 0; r < rows; ++r) {
        const double n = 1e3 * (r % 300 + 1);
        const double icr = n * std::exp(-n * 1e-6);
        scan += QByteArray::number(r) + (r == badRow ? " 1 1e4 x " : " 1 1e4 ")
                + QByteArray::number(icr, 'g', 17) + " " + QByteArray::number(0.5 * icr) + '\n';
    }
    ScanCorrectionReport report;
    const QByteArray out = correct(scan, &report, {}, oneThread);
    const int written = badRow < 0 ? rows : badRow / correctionBlockRows * correctionBlockRows;
    QCOMPARE(report.ok(), badRow < 0);
    if (badRow >= 0)
        QVERIFY2(report.error.contains(QString::number(badRow + 2)), qPrintable(report.error));
    QCOMPARE(report.rows, qint64(written));
    const QList<QByteArray> first = firstFields(out);
    QCOMPARE(first.size(), written);
    const QList<QByteArray> lines = out.split('\n');
    for (int r = 0; r < written; ++r) {
        QCOMPARE(first.at(r).toInt(), r);
        const double n = lines.at(r + 1).split('\t').at(5).toDouble();
        QVERIFY(std::fabs(n / (1e3 * (r % 300 + 1)) - 1.0) < 1e-9);
    }
}

void TestScanCorrection::manyElements_data()
{
    QTest::addColumn<QString>("roiPattern");
    QTest::addColumn<QString>("roiName"); // the ROI column corrected, %1 for n
    QTest::addColumn<double>("roiShare"); // that column's share of the OCR
    QTest::addRow("names as in the file") << "Fe_Ka{n}" << "Fe_Ka%1" << 0.3;
    QTest::addRow("names in another case: the first such column")
            << "FE_KA{n}" << "Fe_Ka%1" << 0.3;
    QTest::addRow("the exact name before one in another case") << "fe_ka{n}" << "fe_ka%1" << 0.1;
}

// A detector of thousands of elements: every element is corrected with its
// own columns, and each ROI pattern finds the column it names.
void TestScanCorrection::manyElements()
{
    QFETCH(QString, roiPattern);
    QFETCH(QString, roiName);
    QFETCH(double, roiShare);
    const int elements = 2000;
    const int rows = 3;
    auto trueRate = [](int e, int r) { return 50.0 * e * (r + 1); };
    QByteArray names = "# time I0";
    for (const char *stem : { " ICR", " OCR", " Fe_Ka", " fe_ka" }) {
        for (int e = 1; e <= elements; ++e)
            names += stem + QByteArray::number(e);
    }
    QByteArray scan = names + '\n';
    for (int r = 0; r < rows; ++r) {
        QByteArray icr, ocr, fe, feLower;
        for (int e = 1; e <= elements; ++e) {
            const double icrRate = trueRate(e, r) * std::exp(-trueRate(e, r) * 1e-6);
            icr += ' ' + QByteArray::number(icrRate, 'g', 17);
            ocr += ' ' + QByteArray::number(0.5 * icrRate, 'g', 17);
            fe += ' ' + QByteArray::number(0.3 * 0.5 * icrRate, 'g', 17);
            feLower += ' ' + QByteArray::number(0.1 * 0.5 * icrRate, 'g', 17);
        }
        scan += "1 1e4" + icr + ocr + fe + feLower + '\n';
    }
    ScanCorrectionReport report;
    const QList<QByteArray> lines = correct(scan, &report, { roiPattern }).split('\n');
    QVERIFY2(report.ok(), qPrintable(report.error));
    QCOMPARE(lines.size(), rows + 2);
    const QList<QByteArray> header = lines.at(0).split('\t');
    const int own = 2 + 4 * elements;
    QCOMPARE(header.size(), own + 5 * elements);
    for (int e = 1; e <= elements; ++e) {
        const int first = own + 5 * (e - 1);
        QCOMPARE(QString::fromLatin1(header.at(first)), QStringLiteral("ntrue%1").arg(e));
        QCOMPARE(QString::fromLatin1(header.at(first + 4)), roiName.arg(e) + QStringLiteral("_corr"));
    }
    for (int r = 0; r < rows; ++r) {
        const QList<QByteArray> fields = lines.at(r + 1).split('\t');
        for (int e = 1; e <= elements; ++e) {
            const int first = own + 5 * (e - 1);
            const double n = trueRate(e, r);
            QVERIFY(std::fabs(fields.at(first).toDouble() / n - 1.0) < 1e-9);
            QVERIFY(std::fabs(fields.at(first + 4).toDouble() / (roiShare * n) - 1.0) < 1e-9);
        }
    }
}

QTEST_GUILESS_MAIN(TestScanCorrection)
#include "tst_scancorrection.moc"
