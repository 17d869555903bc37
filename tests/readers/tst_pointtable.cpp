// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointtable.h"

#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Point
{
    double i0;
    QVector<double> icrs;
    QVector<double> scas;
    bool operator==(const Point &o) const { return i0 == o.i0 && icrs == o.icrs && scas == o.scas; }
};

struct Trace
{
    QString line;
    bool isHeader;
    bool operator==(const Trace &o) const { return line == o.line && isHeader == o.isHeader; }
};

struct Recorder
{
    QVector<Point> points;
    QVector<int> lines; // of the points, from 1
    QVector<Trace> traces;
    QVector<int> notNumbers; // lines with a field that is not a number

    PointTableSink sink()
    {
        PointTableSink s;
        s.onPoint = [this](double i0, const QVector<double> &icrs, const QVector<double> &scas,
                           int line) {
            points.append(Point { i0, icrs, scas });
            lines.append(line);
        };
        s.onTrace = [this](const QString &line, bool isHeader) {
            traces.append(Trace { line, isHeader });
        };
        s.onNotNumber = [this](int line) { notNumbers.append(line); };
        return s;
    }
};

Recorder readBytes(const QByteArray &bytes)
{
    Recorder r;
    readPointTableBytes(bytes, r.sink());
    return r;
}

Recorder readReference(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    Recorder r;
    readPointTableReference(buffer, r.sink());
    return r;
}

} // namespace

Q_DECLARE_METATYPE(Point)
Q_DECLARE_METATYPE(QVector<Point>)

class TestPointTable : public QObject
{
    Q_OBJECT

private slots:
    void exampleFileIsRead();
    void headerForms_data();
    void headerForms();
    void dataLines_data();
    void dataLines();
    void linesThatAreNotNumbers_data();
    void linesThatAreNotNumbers();
    void headerIsLookedForOnlyWhileCountIsOne();
    void traceCoversEveryLineUntilTheHeader();
    void crlfFileReadsLikeLfFile();
    void fileResult_data();
    void fileResult();
};

void TestPointTable::exampleFileIsRead()
{
    const QByteArray file = "# Channels : 2\n"
                            "1000, 950, 980, 900, 910\n"
                            "2000 1800 1900 1600 1700 7\n"
                            "3000 2500 2600 2200\n";
    const QVector<Point> expected {
        { 1000, { 950, 980 }, { 900, 910 } },
        { 2000, { 1800, 1900 }, { 1600, 1700 } },
    };
    QCOMPARE(readBytes(file).points, expected);
    QCOMPARE(readReference(file).points, expected);
}

void TestPointTable::headerForms_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("isHeader");
    QTest::addColumn<int>("channels"); // of the point from 11 numbers; -1: no point

    QTest::newRow("plain") << QByteArray("# Channels : 4") << true << 4;
    QTest::newRow("upper case") << QByteArray("# CHANNELS : 4") << true << 4;
    QTest::newRow("lower case with blank runs") << QByteArray("#   channels   : 4") << true << 4;
    QTest::newRow("tabs, no blank after colon") << QByteArray("#\tChannels \t:5") << true << 5;
    QTest::newRow("no blanks around colon") << QByteArray("#Channels: 4") << false << 1;
    QTest::newRow("no blank before colon") << QByteArray("# Channels: 5") << false << 1;
    QTest::newRow("singular") << QByteArray("# Channel : 5") << false << 1;
    QTest::newRow("comment after second number sign")
            << QByteArray("# Channels : 4 # four detectors") << true << 4;
    QTest::newRow("value glued to comment") << QByteArray("# Channels : 3#x") << true << 3;
    QTest::newRow("not a number") << QByteArray("# Channels : x") << true << -1;
    QTest::newRow("no value") << QByteArray("# Channels :") << true << -1;
    QTest::newRow("zero") << QByteArray("# Channels : 0") << true << -1;
    QTest::newRow("negative") << QByteArray("# Channels : -5") << true << -1;
    QTest::newRow("two numbers") << QByteArray("# Channels : 4 5") << true << -1;
    QTest::newRow("largest int, no line long enough")
            << QByteArray("# Channels : 2147483647") << true << -1;
    QTest::newRow("beyond int is no number") << QByteArray("# Channels : 2147483648") << true << -1;
    QTest::newRow("plus sign") << QByteArray("# Channels : +2") << true << 2;
    QTest::newRow("leading on blank line") << QByteArray("   # Channels : 2") << true << 2;
}

void TestPointTable::headerForms()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, isHeader);
    QFETCH(int, channels);

    const QByteArray file = header + "\n1 2 3 4 5 6 7 8 9 10 11\n";
    for (const Recorder &r : { readBytes(file), readReference(file) }) {
        QVERIFY(!r.traces.isEmpty());
        QCOMPARE(r.traces.first().isHeader, isHeader);
        if (channels < 0) {
            QCOMPARE(r.points.size(), 0);
        } else {
            QCOMPARE(r.points.size(), 1);
            QCOMPARE(r.points.first().icrs.size(), channels);
            QCOMPARE(r.points.first().scas.first(), double(channels + 2));
        }
    }
}

void TestPointTable::dataLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QVector<Point>>("points");

    const QVector<Point> plain { { 1000, { 950 }, { 900 } } };
    QTest::newRow("blanks") << QByteArray("1000 950 900") << plain;
    QTest::newRow("commas") << QByteArray("1000,950,900") << plain;
    QTest::newRow("commas and blanks") << QByteArray("1000, 950 ,900") << plain;
    QTest::newRow("doubled commas make no field") << QByteArray("1000,,950, ,900") << plain;
    QTest::newRow("tabs and surrounding blanks") << QByteArray("  1000\t950 \t 900  ") << plain;
    QTest::newRow("leading comma gives empty first field")
            << QByteArray(",1000,950,900") << QVector<Point> { { 0, { 1000 }, { 950 } } };
    QTest::newRow("leading comma after blanks")
            << QByteArray("  , 1000 950 900") << QVector<Point> { { 0, { 1000 }, { 950 } } };
    QTest::newRow("trailing comma completes a line")
            << QByteArray("1000 950,") << QVector<Point> { { 1000, { 950 }, { 0 } } };
    QTest::newRow("trailing comma before blanks")
            << QByteArray("1000 950 , \t") << QVector<Point> { { 1000, { 950 }, { 0 } } };
    QTest::newRow("commas only give two empty fields") << QByteArray(" , , ") << QVector<Point>();
    QTest::newRow("three commas around two") << QByteArray(",5,")
                                             << QVector<Point> { { 0, { 5 }, { 0 } } };
    QTest::newRow("exactly two fields") << QByteArray("1000 950") << QVector<Point>();
    QTest::newRow("extra fields ignored") << QByteArray("1000 950 900 x y") << plain;
    QTest::newRow("text counts as 0") << QByteArray("1000 n/a 900")
                                      << QVector<Point> { { 1000, { 0 }, { 900 } } };
    QTest::newRow("exponent and sign") << QByteArray("1.0e3 +950 9E2") << plain;
    QTest::newRow("comment line") << QByteArray("# 1000 950 900") << QVector<Point>();
    QTest::newRow("number sign later is data")
            << QByteArray("1000 950 #") << QVector<Point> { { 1000, { 950 }, { 0 } } };
    QTest::newRow("empty line") << QByteArray("") << QVector<Point>();
    QTest::newRow("overflow is infinite")
            << QByteArray("1e400 -1e400 1e-400")
            << QVector<Point> { { qInf(), { -qInf() }, { 0 } } };
}

void TestPointTable::dataLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QVector<Point>, points);
    QCOMPARE(readBytes(line + "\n").points, points);
    QCOMPARE(readBytes(line).points, points);
    QCOMPARE(readReference(line + "\n").points, points);
}

void TestPointTable::linesThatAreNotNumbers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QVector<int>>("lines");
    const QByteArray header = "# Channels : 1\n";
    QTest::newRow("numbers, zeros among them") << header + "1 0 0.0\n2 -0 0e5\n" << QVector<int> {};
    QTest::newRow("a word in one line") << header + "1 2 3\n4 five 6\n" << QVector<int> { 3 };
    QTest::newRow("number glued to a unit") << header + "1 2ms 3\n" << QVector<int> { 2 };
    QTest::newRow("empty field of a leading comma") << header + ",2 3\n" << QVector<int> {};
    QTest::newRow("a line too short is no point") << header + "x y\n" << QVector<int> {};
    QTest::newRow("bytes of a binary file") << QByteArray("\x01\x02 \x7f\x03 \x10\n\x05 6 \x06\n")
                                            << QVector<int> { 1, 2 };
    QTest::newRow("non-ASCII text") << header + QByteArray("1 2 3\n4 \xc3\xa9 6\n")
                                    << QVector<int> { 3 };
    QTest::newRow("fields beyond the channels are not read") << header + "1 2 3 x\n"
                                                             << QVector<int> {};
}

// A file whose fields are not numbers still gives points (with zeros), but
// the reader says which lines they came from, for both of its paths.
void TestPointTable::linesThatAreNotNumbers()
{
    QFETCH(QByteArray, text);
    QFETCH(QVector<int>, lines);
    QCOMPARE(readBytes(text).notNumbers, lines);
    QCOMPARE(readReference(text).notNumbers, lines);
}

void TestPointTable::headerIsLookedForOnlyWhileCountIsOne()
{
    const QByteArray file = "1 2 3 4 5\n"
                            "# Channels : 1\n"
                            "6 7 8\n"
                            "# Channels : 2\n"
                            "9 10 11 12 13\n"
                            "# Channels : 3\n"
                            "14 15 16 17 18\n";
    const QVector<Point> expected {
        { 1, { 2 }, { 3 } },
        { 6, { 7 }, { 8 } },
        { 9, { 10, 11 }, { 12, 13 } },
        { 14, { 15, 16 }, { 17, 18 } },
    };
    const Recorder r = readBytes(file);
    QCOMPARE(r.points, expected);
    QCOMPARE(r.traces.size(), 4);
    QCOMPARE(r.traces.last(), (Trace { QStringLiteral("# Channels : 2"), true }));
    QCOMPARE(readReference(file).points, expected);
}

void TestPointTable::traceCoversEveryLineUntilTheHeader()
{
    const QByteArray file = "  # title \"quoted\"\t \n"
                            "\n"
                            "SDD5,  run-0042\n"
                            "# channels\t:\t2 \n"
                            "1 2 3 4 5\n";
    const QVector<Trace> expected {
        { QStringLiteral("# title \"quoted\""), false },
        { QString(), false },
        { QStringLiteral("SDD5, run-0042"), false },
        { QStringLiteral("# channels : 2"), true },
    };
    QCOMPARE(readBytes(file).traces, expected);
    QCOMPARE(readReference(file).traces, expected);
    // The point names the line of the file it came from, blank lines counted.
    QCOMPARE(readBytes(file).lines, QVector<int> { 5 });
    QCOMPARE(readReference(file).lines, QVector<int> { 5 });
}

void TestPointTable::crlfFileReadsLikeLfFile()
{
    const QByteArray lf = "# Channels : 2\n1 2 3 4 5\n6 7 8 9 10";
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    const Recorder fromLf = readBytes(lf);
    const Recorder fromCrlf = readBytes(crlf);
    QCOMPARE(fromCrlf.points.size(), 2);
    QCOMPARE(fromCrlf.points, fromLf.points);
    QCOMPARE(fromCrlf.traces, fromLf.traces);
    QCOMPARE(fromCrlf.lines, (QVector<int> { 2, 3 }));
}

void TestPointTable::fileResult_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("points");

    const int opened = OpenStatus::Opened;
    QTest::newRow("missing file") << QStringLiteral("missing") << QByteArray()
                                  << int(OpenStatus::CannotOpen)
                                  << QStringLiteral("No such file or directory") << 0;
    QTest::newRow("directory") << QStringLiteral("directory") << QByteArray()
                               << int(OpenStatus::NotRegularFile) << QString() << 0;
    QTest::newRow("empty file") << QStringLiteral("file") << QByteArray() << opened << QString()
                                << 0;
    QTest::newRow("comments only") << QStringLiteral("file") << QByteArray("# a\n# b\n")
                                   << opened << QString() << 0;
    QTest::newRow("two points") << QStringLiteral("file") << QByteArray("1 2 3\r\n4 5 6\r\n")
                                << opened << QString() << 2;
}

void TestPointTable::fileResult()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(int, points);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("table.dat"));
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == QLatin1String("file")) {
        QVERIFY(testsupport::writeFileBytes(path, content));
    }
    Recorder r;
    const OpenStatus open = readPointTableFile(path, r.sink());
    QCOMPARE(int(open.kind), status);
    QCOMPARE(open.reason, reason);
    QCOMPARE(r.points.size(), points);
}

QTEST_APPLESS_MAIN(TestPointTable)
#include "tst_pointtable.moc"
