// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "pointset.h"
#include "pointtable.h"
#include "spectrumreader.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestLoader : public QObject
{
    Q_OBJECT

private slots:
    void whatBecameOfAFile_data();
    void whatBecameOfAFile();
    void traceOfATableAndAMissingFile();
    void bytesLoadAsTheFileDoes();
    void remarksOfTheOnePass_data();
    void remarksOfTheOnePass();
    void spectrumKeyOnTheTextCheck_data();
    void spectrumKeyOnTheTextCheck();
    void longTableAsTheReaderGivesIt_data();
    void longTableAsTheReaderGivesIt();
};

namespace {

QString writeFile(const QTemporaryDir &dir, const QByteArray &content)
{
    const QString path = dir.filePath(QStringLiteral("m.dat"));
    return testsupport::writeFileBytes(path, content) ? path : QString();
}

QString passedOver(const QString &what)
{
    return QStringLiteral("read as a point table with %1; if it is a column file, read it with "
                          "a recipe")
            .arg(what);
}

} // namespace

void TestLoader::whatBecameOfAFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("problem");

    const QByteArray spectrum("# I0 : 250\n# MCA Ch Info : x x x x x 52.5 1 2\n"
                              "# MCA Ch Info : x x x x x 60 1 2\n1 0 3 0 4\n2 0 5 0 6\n");
    QTest::newRow("missing file") << QStringLiteral("missing") << QByteArray() << 0
                                  << QStringLiteral("No such file or directory");
    QTest::newRow("folder") << QStringLiteral("folder") << QByteArray() << 0
                            << QStringLiteral("not a regular file");
    QTest::newRow("comments only") << QStringLiteral("file") << QByteArray("# a\n# b\n") << 0
                                   << QStringLiteral("no measurement point in it");
    QTest::newRow("rows too short for the header")
            << QStringLiteral("file") << QByteArray("# Channels : 2\n1 2 3 4\n") << 0
            << QStringLiteral("no measurement point in it");
    QTest::newRow("spectrum file") << QStringLiteral("file") << spectrum << 1 << QString();
    QTest::newRow("point table") << QStringLiteral("file") << QByteArray("1 2 3\n4 5 6\n") << 2
                                 << QString();
    QTest::newRow("table naming MCA in a comment")
            << QStringLiteral("file") << QByteArray("# MCA counts\n1 2 3\n4 5 6\n") << 2
            << QString();
    QTest::newRow("spectrum with its channel lines last")
            << QStringLiteral("file")
            << QByteArray("# I0 : 250\n1 0 3 0 4\n# MCA Ch Info : x x x x x 52.5 1 2\n") << 1
            << QString();
}

void TestLoader::whatBecameOfAFile()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, points);
    QFETCH(QString, problem);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("m.dat"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == QLatin1String("file")) {
        QVERIFY(testsupport::writeFileBytes(path, content));
    }

    PointSet set;
    set.add(1, { 2 }, { 3 });
    const QVector<FileReport> reports = loadMeasurementFiles({ path }, set);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].path, path);
    QCOMPARE(reports[0].points, points);
    QCOMPARE(set.size(), 1 + points);
    QCOMPARE(problemText(reports[0]), problem);
}

void TestLoader::traceOfATableAndAMissingFile()
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("t.dat"));
    QVERIFY(testsupport::writeFileBytes(table, "#  channels :  2 \n1, 2 3 4 5\n"));
    const QString missing = dir.filePath(QStringLiteral("gone.dat"));

    QStringList trace;
    PointSet set;
    const QVector<FileReport> reports = loadMeasurementFiles(
            { missing, table }, set, [&trace](const QString &line) { trace << line; });
    const QStringList expected {
        QStringLiteral("Cannot open \"%1\"").arg(missing),
        QStringLiteral("LINE \"# channels : 2\""),
        QStringLiteral("ID \"# Channels :\""),
        QStringLiteral("bool true"),
    };
    QCOMPARE(trace, expected);
    QCOMPARE(reports[1].points, 1);
    QCOMPARE(set.source(0).file, table);
    QCOMPARE(set.source(0).line, 2);
    QCOMPARE(set.at(0).icrs, (QVector<double> { 2, 3 }));
    QCOMPARE(set.at(0).scas, (QVector<double> { 4, 5 }));
}

void TestLoader::bytesLoadAsTheFileDoes()
{
    const QString input = testsupport::testDataPath(
            QStringLiteral("conformance/05_mixed_batch_missing_file/input/"));
    const QStringList names = QDir(input).entryList(QDir::Files, QDir::Name);
    QVERIFY(names.size() >= 2);
    for (const QString &name : names) {
        const QString path = input + name;
        PointSet fromFile, fromBytes;
        QStringList fileTrace, bytesTrace;
        loadMeasurementFiles({ path }, fromFile, [&](const QString &l) { fileTrace << l; });
        const int n = loadMeasurementBytes(testsupport::readFileBytes(path), fromBytes,
                                           [&](const QString &l) { bytesTrace << l; });
        QCOMPARE(n, fromFile.size());
        QCOMPARE(bytesTrace, fileTrace);
        for (int p = 0; p < n; ++p) {
            QCOMPARE(fromBytes.at(p).i0, fromFile.at(p).i0);
            QCOMPARE(fromBytes.at(p).icrs, fromFile.at(p).icrs);
            QCOMPARE(fromBytes.at(p).scas, fromFile.at(p).scas);
        }
    }
}

void TestLoader::remarksOfTheOnePass_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("warning");

    const QString wider(
            "up to %1 fields per line, of which a point table of %2 channel(s) uses %3");
    QTest::newRow("lines as wide as the table")
            << QByteArray("# Channels : 3\n100.5 2000.25 3000.75 4.5 5.5 6.5 7.5\n") << QString();
    QTest::newRow("wide line past sixteen bytes")
            << QByteArray("# Channels : 1\n10 20 30 40 50 60 70 80 90 100 110 120\n")
            << passedOver(wider.arg(12).arg(1).arg(3));
    QTest::newRow("text in the second sixteen bytes")
            << QByteArray("# Channels : 1\n1 2 3\n1.000000000000 2 x3\n")
            << passedOver(QStringLiteral("1 line(s) that are not numbers (the first is line 3)"));
    QTest::newRow("point before the header: one channel")
            << QByteArray("1 2 3\n# Channels : 2\n1 2 3 4 5\n")
            << passedOver(wider.arg(5).arg(1).arg(3));
    QTest::newRow("no point: every line against one channel")
            << QByteArray("# Channels : 3\n1 2 3 4 5\n") << passedOver(wider.arg(5).arg(1).arg(3));
    QTest::newRow("lines after a header of no channels")
            << QByteArray("1 2 3\n# Channels : 0\n1 2 3 4\n")
            << passedOver(wider.arg(4).arg(1).arg(3));
    // No point at all: the header that stopped the read is named instead.
    QTest::newRow("no point after a header of no channels")
            << QByteArray("# Comment\n#  channels :  0 # none\n1000 990 900 5\n")
            << "line 2: the channel header gives no channel count ('0'), so no later line is read";
    QTest::newRow("no point after a header that is no count, past a byte order mark")
            << QByteArray("\xef\xbb\xbf# Channels : 2.5\n1 2 3 4 5\n")
            << "line 1: the channel header gives no channel count ('2.5'), so no later line is "
               "read";
    QTest::newRow("carriage returns between fields before the first point")
            << QByteArray("# Channels : 2\n1\r2\r3\r4\r5\r6\r7\n1 2 3 4 5\n")
            << passedOver(wider.arg(7).arg(2).arg(5));
    QTest::newRow("CR LF line ends") << QByteArray("# Channels : 1\r\n1 2 3\r\n4 5 6 7\r\n")
                                     << passedOver(wider.arg(4).arg(1).arg(3));
    QTest::newRow("last line without line feed")
            << QByteArray("# Channels : 1\n1 2 3\n1 2 3 four")
            << passedOver(wider.arg(4).arg(1).arg(3)
                          + " and 1 line(s) that are not numbers (the first is line 3)");
    QTest::newRow("text that is not plain ASCII")
            << QByteArray("# Channels : 1\n1 2 3 \xc3\xa9\n")
            << passedOver(wider.arg(4).arg(1).arg(3)
                          + " and 1 line(s) that are not numbers (the first is line 2)");
    // The reader's text decoding takes a UTF-8 byte order mark off the first
    // line: its comment stays a comment.
    QTest::newRow("byte order mark before a comment")
            << QByteArray("\xef\xbb\xbf# an example table of 1 channel\n1 2 3\n") << QString();
}

// What a table read passes over is said the same way whether the reader saw it
// on its own pass or a look of its own had to find it.
void TestLoader::remarksOfTheOnePass()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, warning);
    QTemporaryDir dir;
    PointSet set;
    const QVector<FileReport> r = loadMeasurementFiles({ writeFile(dir, content) }, set);
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].warnings, warning.isEmpty() ? QStringList() : QStringList(warning));
}

void TestLoader::spectrumKeyOnTheTextCheck_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("mayBeSpectrum");
    QTest::addColumn<int>("points");

    QTest::newRow("spectrum") << QByteArray("# I0 : 250\n# MCA Ch Info : x x x x x 52.5 1 2\n"
                                            "1 0 3 0 4\n")
                              << true << 0;
    QTest::newRow("table") << QByteArray("1 2 3\n4 5 6\n") << false << 2;
    QTest::newRow("key at the very end") << QByteArray("1 2 3\nMCA") << true << 0;
    QTest::newRow("part of the key at the end") << QByteArray("1 2 3\nMC") << false << 1;
    QTest::newRow("key in a data line") << QByteArray("1 2 3\n4 5 6 MCA\n") << true << 0;
    QTest::newRow("key with a carriage return in it") << QByteArray("1 2 3\nM\r\rCA\n") << true << 0;
    QTest::newRow("key broken by another byte") << QByteArray("1 2 3\nMC\nA\n") << false << 1;
    QTest::newRow("text that is not plain ASCII")
            << QByteArray("1 2 3 \xc3\xa9\n") << true << 0;
}

// A file that may be a spectrum is not read as a table at all, wherever the
// blocks of the first pass cut the key; any other file is read.
void TestLoader::spectrumKeyOnTheTextCheck()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, mayBeSpectrum);
    QFETCH(int, points);
    QTemporaryDir dir;
    const QString path = writeFile(dir, content);
    for (qint64 block : { 1, 2, 3, 5, 1 << 18 }) {
        int seen = 0;
        PointTableSink sink;
        sink.onPoint = [&seen](double, const QVector<double> &, const QVector<double> &, int) {
            ++seen;
        };
        bool mayBe = !mayBeSpectrum;
        QVERIFY(readPointTableFileUnless(path, spectrumKey, sink, mayBe, block).opened());
        QCOMPARE(mayBe, mayBeSpectrum);
        QCOMPARE(seen, points);
    }
}

void TestLoader::longTableAsTheReaderGivesIt_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("lines");

    QTest::newRow("two channels") << QByteArray("# Channels : 2\n") << 2 << 4000;
    QTest::newRow("one-channel points, then two")
            << QByteArray("1 2 3\n4 5 6\n# Channels : 2\n") << 2 << 4000;
    QTest::newRow("wide lines") << QByteArray("# Channels : 900\n") << 900 << 30;
}

// The points of a table longer than the blocks the loader gathers its lines
// in are those the reader gives, line by line, in order.
void TestLoader::longTableAsTheReaderGivesIt()
{
    QFETCH(QByteArray, head);
    QFETCH(int, channels);
    QFETCH(int, lines);
    QByteArray content = head;
    for (int line = 0; line < lines; ++line) {
        content += QByteArray::number(1000 + line);
        for (int k = 0; k < 2 * channels; ++k)
            content += ' ' + QByteArray::number((line * 31 + k * 7) % 1009 + 0.5);
        content += '\n';
    }
    PointSet expected;
    PointTableSink sink;
    sink.onPoint = [&expected](double i0, const QVector<double> &icrs,
                               const QVector<double> &scas, int line) {
        expected.add(i0, icrs, scas, { QString(), line });
    };
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    readPointTableReference(buffer, sink);

    QTemporaryDir dir;
    PointSet set;
    loadMeasurementFiles({ writeFile(dir, content) }, set);
    QCOMPARE(set.size(), expected.size());
    QCOMPARE(set.chs(), expected.chs());
    for (int p = 0; p < set.size(); ++p) {
        QCOMPARE(set.source(p).line, expected.source(p).line);
        QCOMPARE(set.at(p).icrs, expected.at(p).icrs);
        QCOMPARE(set.at(p).scas, expected.at(p).scas);
    }
    QCOMPARE(set.i0s(), expected.i0s());
}

QTEST_APPLESS_MAIN(TestLoader)

#include "tst_loader.moc"
