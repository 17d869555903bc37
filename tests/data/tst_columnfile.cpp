// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnfile.h"

#include <QBuffer>
#include <QtTest>

#include <cmath>

namespace {

struct Parsed
{
    ColumnHeader header;
    ColumnBlock all;
    std::vector<BadRow> bad;
    bool unended = false;
};

// Reads text whole, in blocks of blockRows, gathering the blocks.
Parsed parse(const QByteArray &text, int blockRows = 1000)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    Parsed p;
    p.header = readColumnHeader(buffer);
    if (!p.header.ok())
        return p;
    ColumnReader reader(buffer, p.header);
    ColumnBlock block;
    p.all.columns.resize(size_t(p.header.names.size()));
    while (reader.readBlock(blockRows, block)) {
        for (size_t c = 0; c < block.columns.size(); ++c)
            p.all.columns[c].insert(p.all.columns[c].end(), block.columns[c].begin(),
                                    block.columns[c].end());
        p.all.lines.insert(p.all.lines.end(), block.lines.begin(), block.lines.end());
    }
    p.bad = reader.badRows();
    p.unended = reader.lastLineUnended();
    return p;
}

} // namespace

class TestColumnFile : public QObject
{
    Q_OBJECT

private slots:
    void header_data();
    void header();
    void rows_data();
    void rows();
    void badRows_data();
    void badRows();
    void blocksGiveTheSameRows();
    void manyColumns();
    void noData();
};

void TestColumnFile::header_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("dataLine");
    QTest::addColumn<bool>("xdi");

    QTest::newRow("XDI column lines, units dropped")
        << QByteArray("# XDI/1.0\n# Column.1: energy eV\n# Column.2: I0\n# ///\n"
                      "# energy I0 ignored\n7000 5\n")
        << QStringList { "energy", "I0" } << 6 << true;
    QTest::newRow("XDI without blank, a column missing gets $N")
        << QByteArray("#XDI/1.1\n#Column.2: I0\n1 2\n") << QStringList { "$1", "I0" } << 3 << true;
    QTest::newRow("last comment line with as many fields")
        << QByteArray("# scan 12\n# I0 ICR1 OCR1\n# four words are here\n1 2 3\n")
        << QStringList { "I0", "ICR1", "OCR1" } << 4 << false;
    QTest::newRow("SPEC #L labels with blanks in them")
        << QByteArray("#S 1 ascan\n#N 3\n#L Two Theta  I0  ICR 1\n1 2 3\n")
        << QStringList { "Two Theta", "I0", "ICR 1" } << 4 << false;
    QTest::newRow("label line after dashes, tabs")
        << QByteArray("Scan of Mn\n-----------\nI0\tICR1\tOCR1\n1\t2\t3\n")
        << QStringList { "I0", "ICR1", "OCR1" } << 4 << false;
    QTest::newRow("comma-separated names, CR LF")
        << QByteArray("# I0,ICR01,OCR01\r\n1,2,3\r\n") << QStringList { "I0", "ICR01", "OCR01" }
        << 2 << false;
    QTest::newRow("no names") << QByteArray("1 2 3\n4 5 6\n") << QStringList { "$1", "$2", "$3" }
                              << 1 << false;
    QTest::newRow("blank lines before the data")
        << QByteArray("\n\n# a b\n\n  1 2  \n") << QStringList { "a", "b" } << 5 << false;
}

void TestColumnFile::header()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, names);
    QFETCH(int, dataLine);
    QFETCH(bool, xdi);
    const Parsed p = parse(text);
    QVERIFY2(p.header.ok(), qPrintable(p.header.error));
    QCOMPARE(p.header.names, names);
    QCOMPARE(p.header.dataLine, dataLine);
    QCOMPARE(p.header.xdi, xdi);
    QCOMPARE(p.all.lines.front(), dataLine);
}

void TestColumnFile::rows_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QVector<double>>("column1");
    QTest::addColumn<bool>("unended");

    QTest::newRow("blanks, tabs, commas and trailing blanks")
        << QByteArray("# a b\n1 2\n3\t4  \n5 , 6\n,7,8,\n") << QVector<double> { 2, 4, 6, 8 }
        << false;
    QTest::newRow("CR LF and a last line without line end")
        << QByteArray("# a b\r\n1 2\r\n3 4") << QVector<double> { 2, 4 } << true;
    QTest::newRow("exponents, signs, inf and nan")
        << QByteArray("# a b\n1 +2.5e3\n1 -1E-2\n1 inf\n1 nan\n")
        << QVector<double> { 2500, -0.01, qInf(), qQNaN() } << false;
    QTest::newRow("comment lines between the rows are skipped")
        << QByteArray("# a b\n1 2\n# pause\n\n3 4\n") << QVector<double> { 2, 4 } << false;
    QTest::newRow("a value beyond double range is infinite")
        << QByteArray("# a b\n1 1e999\n") << QVector<double> { qInf() } << false;
}

void TestColumnFile::rows()
{
    QFETCH(QByteArray, text);
    QFETCH(QVector<double>, column1);
    QFETCH(bool, unended);
    const Parsed p = parse(text);
    QVERIFY(p.bad.empty());
    QCOMPARE(int(p.all.columns[1].size()), column1.size());
    for (int r = 0; r < column1.size(); ++r)
        QCOMPARE(p.all.columns[1][size_t(r)], column1.at(r)); // NaN matches NaN here
    QCOMPARE(p.unended, unended);
}

void TestColumnFile::badRows_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("goodRows");

    QTest::newRow("short row") << QByteArray("# a b c\n1 2 3\n4 5\n6 7 8\n") << 3
                               << QString("2 fields where the header has 3") << 2;
    QTest::newRow("long row") << QByteArray("# a b\n1 2\n4 5 6\n") << 3
                              << QString("3 fields where the header has 2") << 1;
    QTest::newRow("text field") << QByteArray("# a b\n1 2\n1 1.2.3\n") << 3
                                << QString("field 2 \"1.2.3\" is not a number") << 1;
    QTest::newRow("hex is no number") << QByteArray("# a b\n1 2\n0x10 2\n") << 3
                                      << QString("field 1 \"0x10\" is not a number") << 1;
}

void TestColumnFile::badRows()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, reason);
    QFETCH(int, goodRows);
    const Parsed p = parse(text);
    QCOMPARE(int(p.bad.size()), 1);
    QCOMPARE(p.bad.front().line, line);
    QCOMPARE(p.bad.front().reason, reason);
    QCOMPARE(p.all.rows(), goodRows);
}

void TestColumnFile::blocksGiveTheSameRows()
{
    // Rows of several lengths so that the block and buffer boundaries fall
    // anywhere in a line.
    QByteArray text("# x y z\n");
    for (int r = 0; r < 3000; ++r)
        text += QByteArray::number(r) + ' ' + QByteArray::number(r * 1.25, 'g', 17) + "\t"
            + QByteArray(size_t(r % 7), ' ') + QByteArray::number(-r) + "\n";
    const Parsed whole = parse(text, 100000);
    for (int blockRows : { 1, 7, 1000 }) {
        const Parsed blocks = parse(text, blockRows);
        QCOMPARE(blocks.all.lines, whole.all.lines);
        QCOMPARE(blocks.all.columns, whole.all.columns);
    }
    QCOMPARE(whole.all.rows(), 3000);
    QCOMPARE(whole.all.columns[1][2999], 2999 * 1.25);
}

void TestColumnFile::manyColumns()
{
    QByteArray header("#");
    QByteArray row;
    for (int c = 0; c < 400; ++c) {
        header += " c" + QByteArray::number(c);
        row += QByteArray::number(c) + (c % 2 ? "\t" : " ");
    }
    const Parsed p = parse(header + "\n" + row + "\n" + row + "\n");
    QCOMPARE(p.header.names.size(), 400);
    QCOMPARE(p.header.names.at(399), QString("c399"));
    QCOMPARE(p.all.rows(), 2);
    QCOMPARE(p.all.columns[399][1], 399.0);
}

void TestColumnFile::noData()
{
    const Parsed p = parse("# a b\n# only comments\n");
    QVERIFY(!p.header.ok());
    QCOMPARE(p.header.error, QString("no row of numbers in 2 lines"));
}

QTEST_APPLESS_MAIN(TestColumnFile)
#include "tst_columnfile.moc"
