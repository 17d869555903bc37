// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "pointset.h"
#include "testsupport.h"

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
};

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

QTEST_APPLESS_MAIN(TestLoader)

#include "tst_loader.moc"
