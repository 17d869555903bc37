// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnfile.h"

#include <QBuffer>
#include <QtTest>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

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
    void decimals_data();
    void decimals();
    void blocksGiveTheSameRows();
    void manyColumns();
    void noData();
    void hugeLines();
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
    // Dashes under each label, as wide as its column: the labels are framed,
    // not right above the data, and the lines of dashes hold no names.
    QTest::newRow("labels framed by dashes with blanks between the columns")
        << QByteArray("Scan of Mn\n------ ------ ------\n  I0    ICR1   OCR1\n"
                      "------ ------ ------\n1 2 3\n")
        << QStringList { "I0", "ICR1", "OCR1" } << 5 << false;
    QTest::newRow("comma-separated names, CR LF")
        << QByteArray("# I0,ICR01,OCR01\r\n1,2,3\r\n") << QStringList { "I0", "ICR01", "OCR01" }
        << 2 << false;
    QTest::newRow("no names") << QByteArray("1 2 3\n4 5 6\n") << QStringList { "$1", "$2", "$3" }
                              << 1 << false;
    QTest::newRow("blank lines before the data")
        << QByteArray("\n\n# a b\n\n  1 2  \n") << QStringList { "a", "b" } << 5 << false;
    QTest::newRow("a date line after the names names nothing")
        << QByteArray("# I0 ICR1 OCR1\n# 2026-01-01 12:00:00 UTC\n1 2 3\n")
        << QStringList { "I0", "ICR1", "OCR1" } << 3 << false;
    QTest::newRow("nor one of day and month names")
        << QByteArray("# a b c d e\n# Thu Jan 01 00:00:00 2026\n1 2 3 4 5\n")
        << QStringList { "a", "b", "c", "d", "e" } << 3 << false;
    QTest::newRow("a numeric preamble line is no row")
        << QByteArray("1700000000\n# a b c\n1 2 3\n4 5 6\n") << QStringList { "a", "b", "c" }
        << 3 << false;
    QTest::newRow("an empty name between commas")
        << QByteArray("a,,c\n1,2,3\n") << QStringList { "a", "$2", "c" } << 2 << false;
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
        << QByteArray("# a b\n1 2\n3\t4  \n5 , 6\n 7,8,\n") << QVector<double> { 2, 4, 6, 8 }
        << false;
    QTest::newRow("fields left empty between commas are missing values")
        << QByteArray("# a,b,c\n1,,3\n,5,6\n7,8,\n9, ,10\n")
        << QVector<double> { qQNaN(), 5, 8, qQNaN() } << false;
    QTest::newRow("a comma ending every line adds no field")
        << QByteArray("# a,b,\n1,2,\n3,4,\n") << QVector<double> { 2, 4 } << false;
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
    QTest::newRow("long first row: the names' count holds")
            << QByteArray("# a b\n1 2 3\n4 5\n6 7\n") << 2
            << QString("3 fields where the header has 2") << 2;
    QTest::newRow("XDI, short first row")
            << QByteArray("# XDI/1.0\n# Column.1: a\n# Column.2: b\n# Column.3: c\n1 2\n3 4 5\n")
            << 5 << QString("2 fields where the header has 3") << 1;
    QTest::newRow("text field") << QByteArray("# a b\n1 2\n1 1.2.3\n") << 3
                                << QString("field 2 \"1.2.3\" is not a number") << 1;
    // With a long comment after them, the rows are read as inside a long file.
    const QByteArray after = "#" + QByteArray(64, ' ') + '\n';
    QTest::newRow("digits and then letters") << QByteArray("# a b\n1 2\n1 12a\n") + after << 3
                                             << QString("field 2 \"12a\" is not a number") << 1;
    QTest::newRow("two points") << QByteArray("# a b\n1 2\n-1.5.2 2\n") + after << 3
                                << QString("field 1 \"-1.5.2\" is not a number") << 1;
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

void TestColumnFile::decimals_data()
{
    QTest::addColumn<QByteArrayList>("fields");
    QTest::newRow("signs and zeros") << QByteArrayList { "0", "-0", "-0.0", "+0.5", "-7", "000.250" };
    QTest::newRow("tenths and their neighbours, which no double holds")
            << QByteArrayList { "0.1", "0.3", "4.35", "2.675", "1234.500", "-99999.99999" };
    QTest::newRow("digits at the edge of a double's 53 bits")
            << QByteArrayList { "9007199254740992", "9007199254740993", "900719925474099.3",
                                "9007199254740995", "18014398509481985", "1234567890123456789",
                                "12345678901234567890" };
    QTest::newRow("many decimals") << QByteArrayList { "0.0000000000000000000001",
                                                       "0.00000000000000000000001",
                                                       "1.0000000000000000000001" };
    QTest::newRow("seven digits before and after the point, and eight")
            << QByteArrayList { "1234567.7654321", "-9999999.9999999", "12345678",
                                "1234567.12345678", "0000001.0000001", "7.0" };
    QTest::newRow("numbers that are not plain decimals")
            << QByteArrayList { "1.", ".5", "-.5", "1e5", "2.5E-3", "+7.25", "inf", "-nan" };
    // Plain decimals as data-collection programs write them: 1 to 20
    // digits, the point anywhere.
    std::mt19937_64 rng(22);
    QByteArrayList random;
    for (int i = 0; i < 20000; ++i) {
        const int digits = 1 + int(rng() % 20);
        const int point = int(rng() % size_t(digits));
        QByteArray f = rng() % 4 == 0 ? "-" : "";
        for (int d = 0; d < digits; ++d)
            f += QByteArray(d == point && d > 0 ? "." : "") + char('0' + rng() % 10);
        random.append(f);
    }
    QTest::newRow("20,000 random ones") << random;
}

// Each number reads as the double nearest to it, as the C library's strtod
// gives it, bit for bit (the sign of a zero too).
void TestColumnFile::decimals()
{
    QFETCH(QByteArrayList, fields);
    // A comment after the rows, so that the last of them are read as inside
    // a long file, with text after them.
    const Parsed p = parse("# a\n" + fields.join('\n') + "\n#" + QByteArray(64, ' ') + '\n');
    QVERIFY(p.bad.empty());
    QCOMPARE(p.all.rows(), fields.size());
    auto bits = [](double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    for (int r = 0; r < fields.size(); ++r) {
        const double expected = std::strtod(fields.at(r).constData(), nullptr);
        QVERIFY2(bits(p.all.columns[0][size_t(r)]) == bits(expected), fields.at(r).constData());
    }
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

// A line of a hundred megabytes, as a hostile or broken file has, must not
// become a header of millions of columns.
void TestColumnFile::hugeLines()
{
    const Parsed longLine = parse("# a\n1" + QByteArray(" 7").repeated(3 << 20) + "\n");
    QCOMPARE(longLine.header.error, QString("line 2 is longer than 4194304 bytes"));
    const Parsed wide = parse(QByteArray("1").append(QByteArray(",7").repeated(100000)) + "\n");
    QCOMPARE(wide.header.error, QString("line 1 has more than 100000 fields"));
}

QTEST_APPLESS_MAIN(TestColumnFile)
#include "tst_columnfile.moc"
