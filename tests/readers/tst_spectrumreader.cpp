// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrumreader.h"

#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QByteArray exampleFile = "# I0 : 250\n"
                               "# MCA Ch Info : x x x x x 52.5 100 200\n"
                               "# MCA Ch Info : x x x x x 49 110 210\n"
                               "150 0.75 12 0.75 15\n"
                               "105 0.52 3 0.52 4\n"
                               "230 1.15 9 1.15 8\n"
                               "400 2.0 7\n";

SpectrumPoint readBytes(const QByteArray &bytes)
{
    SpectrumPoint sp;
    readSpectrumBytes(bytes, sp);
    return sp;
}

SpectrumPoint readReference(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    SpectrumPoint sp;
    readSpectrumReference(buffer, sp);
    return sp;
}


} // namespace

class TestSpectrumReader : public QObject
{
    Q_OBJECT

private slots:
    void exampleFileIsRead();
    void records_data();
    void records();
    void startsWithKey_data();
    void startsWithKey();
    void crlfFileReadsLikeLfFile();
    void unreadableFilesGiveNoPoint_data();
    void unreadableFilesGiveNoPoint();
    void fileWithoutPermissionGivesNoPoint();
    void fileMatchesBytes();
    void utf16FileWithByteOrderMarkIsDecoded();
    void turnedAwayOnlyWithoutChannelKey_data();
    void turnedAwayOnlyWithoutChannelKey();
    void unequalArraysOfCallerAreNotOverrun();
};

void TestSpectrumReader::exampleFileIsRead()
{
    const SpectrumPoint sp = readBytes(exampleFile);
    QCOMPARE(sp.ok, true);
    QCOMPARE(sp.i0, 250.0);
    QCOMPARE(sp.icrs, QVector<double>({ 52.5, 49 }));
    QCOMPARE(sp.scas, QVector<double>({ 15, 15 }));
    QCOMPARE(sp.roiLows, QVector<double>({ 100, 110 }));
    QCOMPARE(sp.roiHighs, QVector<double>({ 200, 210 }));

    const SpectrumPoint reference = readReference(exampleFile);
    QCOMPARE(reference.ok, true);
    QCOMPARE(reference.scas, sp.scas);
}

void TestSpectrumReader::records_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("i0");
    QTest::addColumn<QVector<double>>("icrs");
    QTest::addColumn<QVector<double>>("scas");

    const QByteArray channel = "# MCA Ch Info : a b c d e 50 10 20\n";
    const QVector<double> one { 50 };

    QTest::newRow("I0 with a unit does not parse")
            << QByteArray("# I0 : 250 cps\n" + channel + "15 0 4\n") << false << 0.0 << one
            << QVector<double> { 4 };
    QTest::newRow("lower-case I0 key is ignored")
            << QByteArray("# i0 : 250\n" + channel) << false << 0.0 << one << QVector<double> { 0 };
    QTest::newRow("I0 key without blanks is ignored")
            << QByteArray("# I0: 250\n#I0 : 260\n" + channel) << false << 0.0 << one
            << QVector<double> { 0 };
    QTest::newRow("I0 key with blank runs is simplified")
            << QByteArray("  #   I0\t:   250  \n" + channel) << true << 250.0 << one
            << QVector<double> { 0 };
    QTest::newRow("I0 gain line is not the I0 key")
            << QByteArray("# I0 : 250\n# I0 gain : 1e+08 V/A\n" + channel) << true << 250.0
            << one << QVector<double> { 0 };
    QTest::newRow("last I0 line wins")
            << QByteArray("# I0 : 250\n" + channel + "# I0 : 3e2\n") << true << 300.0 << one
            << QVector<double> { 0 };
    QTest::newRow("I0 of zero is not accepted")
            << QByteArray("# I0 : 0\n" + channel) << false << 0.0 << one << QVector<double> { 0 };
    QTest::newRow("negative I0 is not accepted")
            << QByteArray("# I0 : -5\n" + channel) << false << -5.0 << one
            << QVector<double> { 0 };
    QTest::newRow("I0 overflowing to infinity is accepted")
            << QByteArray("# I0 : 1e400\n" + channel) << true
            << std::numeric_limits<double>::infinity() << one << QVector<double> { 0 };
    QTest::newRow("no channel line")
            << QByteArray("# I0 : 250\n15 0 4\n") << false << 250.0 << QVector<double>()
            << QVector<double>();
    QTest::newRow("seven items are not a channel")
            << QByteArray("# I0 : 250\n# MCA Ch Info : a b c d e 50 10\n") << false << 250.0
            << QVector<double>() << QVector<double>();
    QTest::newRow("items after the eighth are not read")
            << QByteArray("# I0 : 1\n# MCA Ch Info : a b c d e 50 10 20 x y\n15 0 4\n") << true
            << 1.0 << one << QVector<double> { 4 };
    QTest::newRow("bad window bounds count as bin 0")
            << QByteArray("# I0 : 1\n# MCA Ch Info : a b c d e 5e1 x 2.0\n0 0 4\n1 0 8\n") << true
            << 1.0 << one << QVector<double> { 4 };
    QTest::newRow("window bounds are inclusive")
            << QByteArray("# I0 : 1\n" + channel + "9 0 1\n10 0 2\n20 0 4\n21 0 8\n") << true
            << 1.0 << one << QVector<double> { 6 };
    QTest::newRow("rows before the channel line add nothing")
            << QByteArray("# I0 : 1\n15 0 1\n" + channel + "15 0 2\n") << true << 1.0 << one
            << QVector<double> { 2 };
    QTest::newRow("reversed window never matches")
            << QByteArray("# I0 : 1\n# MCA Ch Info : a b c d e 50 20 10\n15 0 2\n") << true << 1.0
            << one << QVector<double> { 0 };
    QTest::newRow("row with exactly 2n fields is not used")
            << QByteArray("# I0 : 1\n" + channel + "15 0\n15 0 2\n") << true << 1.0 << one
            << QVector<double> { 2 };
    QTest::newRow("comma-separated row is one field")
            << QByteArray("# I0 : 1\n" + channel + "15,0,2\n15, 0, 3\n") << true << 1.0 << one
            << QVector<double> { 0 };
    QTest::newRow("odd fields are not read")
            << QByteArray("# I0 : 1\n" + channel + "15 x 2 y\n") << true << 1.0 << one
            << QVector<double> { 2 };
    QTest::newRow("bin that is not an integer is bin 0")
            << QByteArray("# I0 : 1\n# MCA Ch Info : a b c d e 50 0 5\n15.0 0 2\nx 0 3\n") << true
            << 1.0 << one << QVector<double> { 5 };
    QTest::newRow("count that is not a number adds 0")
            << QByteArray("# I0 : 1\n" + channel + "15 0 many\n15 0 1\n") << true << 1.0 << one
            << QVector<double> { 1 };
    QTest::newRow("tabs and blank runs separate fields")
            << QByteArray("# I0 : 1\n" + channel + " \t15\t0  \t 2 \t\n") << true << 1.0 << one
            << QVector<double> { 2 };
    QTest::newRow("infinite count")
            << QByteArray("# I0 : 1\n" + channel + "15 0 inf\n15 0 1\n") << true << 1.0 << one
            << QVector<double> { std::numeric_limits<double>::infinity() };
    QTest::newRow("last line without line end")
            << QByteArray("# I0 : 1\n" + channel + "15 0 7") << true << 1.0 << one
            << QVector<double> { 7 };
    QTest::newRow("lone carriage returns vanish")
            << QByteArray("# I0 : 1\n" + channel + "1\r5 0 \r7\r") << true << 1.0 << one
            << QVector<double> { 7 };
    QTest::newRow("empty file") << QByteArray() << false << 0.0 << QVector<double>()
                                << QVector<double>();
}

void TestSpectrumReader::records()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(double, i0);
    QFETCH(QVector<double>, icrs);
    QFETCH(QVector<double>, scas);

    const SpectrumPoint sp = readBytes(content);
    QCOMPARE(sp.ok, ok);
    QCOMPARE(sp.i0, i0);
    QCOMPARE(sp.icrs, icrs);
    QCOMPARE(sp.scas, scas);
    QCOMPARE(sp.roiLows.size(), icrs.size());
    QCOMPARE(sp.roiHighs.size(), icrs.size());

    const SpectrumPoint reference = readReference(content);
    QCOMPARE(reference.ok, ok);
    QCOMPARE(reference.i0, i0);
    QCOMPARE(reference.icrs, icrs);
    QCOMPARE(reference.scas, scas);
}

void TestSpectrumReader::startsWithKey_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("expected");

    QTest::newRow("whole key") << QStringLiteral("# I0 : 5") << QStringLiteral("# I0 : ") << true;
    QTest::newRow("line is the key") << QStringLiteral("# I0 : ") << QStringLiteral("# I0 : ")
                                     << true;
    QTest::newRow("line shorter than key") << QStringLiteral("# I0 :") << QStringLiteral("# I0 : ")
                                           << false;
    QTest::newRow("case differs") << QStringLiteral("# i0 : 5") << QStringLiteral("# I0 : ")
                                  << false;
    QTest::newRow("empty key") << QStringLiteral("abc") << QString() << true;
}

void TestSpectrumReader::startsWithKey()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(bool, expected);
    QCOMPARE(::startsWithKey(line, key), expected);
}

void TestSpectrumReader::crlfFileReadsLikeLfFile()
{
    QByteArray crlf = exampleFile;
    crlf.replace("\n", "\r\n");
    const SpectrumPoint sp = readBytes(crlf);
    QCOMPARE(sp.ok, true);
    QCOMPARE(sp.i0, 250.0);
    QCOMPARE(sp.icrs, QVector<double>({ 52.5, 49 }));
    QCOMPARE(sp.scas, QVector<double>({ 15, 15 }));

    // Without line feeds the whole file is one header line.
    QByteArray crOnly = exampleFile;
    crOnly.replace("\n", "\r");
    const SpectrumPoint single = readBytes(crOnly);
    QCOMPARE(single.ok, false);
    QCOMPARE(single.icrs.size(), 0);
}

void TestSpectrumReader::unreadableFilesGiveNoPoint_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << QStringLiteral("missing");
    QTest::newRow("directory") << QStringLiteral("directory");
}

void TestSpectrumReader::unreadableFilesGiveNoPoint()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("missing.dat"));
    if (kind == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("spectra.dat"));
        QVERIFY(QDir().mkdir(path));
    }
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QCOMPARE(sp.ok, false);
    QCOMPARE(sp.i0, 0.0);
    QCOMPARE(sp.icrs.size(), 0);
}

void TestSpectrumReader::fileWithoutPermissionGivesNoPoint()
{
    if (::geteuid() == 0)
        QSKIP("root reads every file");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.dat"));
    QVERIFY(testsupport::writeFileBytes(path, exampleFile));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QCOMPARE(sp.ok, false);
    QCOMPARE(sp.icrs.size(), 0);
}

void TestSpectrumReader::fileMatchesBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("example.dat"));
    QByteArray crlf = exampleFile;
    crlf.replace("\n", "\r\n");
    QVERIFY(testsupport::writeFileBytes(path, crlf));
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QCOMPARE(sp.ok, true);
    QCOMPARE(sp.i0, 250.0);
    QCOMPARE(sp.icrs, QVector<double>({ 52.5, 49 }));
    QCOMPARE(sp.scas, QVector<double>({ 15, 15 }));
    QCOMPARE(sp.roiLows, QVector<double>({ 100, 110 }));
    QCOMPARE(sp.roiHighs, QVector<double>({ 200, 210 }));
}

void TestSpectrumReader::utf16FileWithByteOrderMarkIsDecoded()
{
    QByteArray utf16("\xff\xfe");
    for (char c : exampleFile)
        utf16.append(c).append('\0');
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("utf16.dat"));
    QVERIFY(testsupport::writeFileBytes(path, utf16));
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QCOMPARE(sp.ok, true);
    QCOMPARE(sp.scas, QVector<double>({ 15, 15 }));

    // Without the mark the bytes are read as ASCII with NUL characters: no key matches.
    QVERIFY(testsupport::writeFileBytes(path, utf16.mid(2)));
    SpectrumPoint unmarked;
    readSpectrumFile(path, unmarked);
    QCOMPARE(unmarked.ok, false);
    QCOMPARE(unmarked.icrs.size(), 0);
}

void TestSpectrumReader::turnedAwayOnlyWithoutChannelKey_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("mayBe");
    QByteArray utf16("\xff\xfe");
    for (char c : exampleFile)
        utf16.append(c).append('\0');
    // "MCA" across the end of the first block of 256 kB: its M is the last byte.
    QByteArray across(262130, '1');
    across += "# I0 : 250\n# MCA Ch Info : x x x x x 52.5 100 200\n150 0.75 12\n";
    QTest::newRow("spectrum") << exampleFile << true;
    QTest::newRow("spectrum in UTF-16 with its mark") << utf16 << true;
    QTest::newRow("spectrum in UTF-32 BE with its mark")
        << QByteArray("\0\0\xfe\xff\0\0\0#", 8) << true;
    QTest::newRow("key across two blocks") << across << true;
    QTest::newRow("key with carriage returns between its letters, read without them")
        << QByteArray("# I0 : 250\n# M\rC\r\rA Ch Info : x x x x x 52.5 100 200\n150 0.75 12\n")
        << true;
    QTest::newRow("point table") << QByteArray("# Channels : 1\n1 2 3\n4 5 6\n") << false;
    QTest::newRow("point table that mentions MCA")
        << QByteArray("# MCA run 3\n1 2 3\n4 5 6\n") << true;
    QTest::newRow("lower-case key")
        << QByteArray("# I0 : 5\n# mca Ch Info : a b c d e 5 1 2\n") << false;
    QTest::newRow("UTF-16 without its mark") << utf16.mid(2) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

// A file is read as a spectrum only where its bytes may hold one; whatever
// is turned away must be what the spectrum reader would not accept.
void TestSpectrumReader::turnedAwayOnlyWithoutChannelKey()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, mayBe);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(mayBeSpectrum(buffer), mayBe);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.dat"));
    QVERIFY(testsupport::writeFileBytes(path, content));
    QCOMPARE(mayBeSpectrumFile(path), mayBe);
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QVERIFY(mayBe || !sp.ok);
}

void TestSpectrumReader::unequalArraysOfCallerAreNotOverrun()
{
    const QByteArray rows = "# I0 : 1\n5 0 1 0 2\n";
    SpectrumPoint sp;
    sp.icrs = { 1, 2 };
    sp.scas = { 0, 0 };
    sp.roiLows = { 0 };
    sp.roiHighs = { 9, 9 };
    SpectrumPoint reference = sp;
    readSpectrumBytes(rows, sp);
    QCOMPARE(sp.scas, QVector<double>({ 1, 0 }));

    QByteArray copy = rows;
    QBuffer buffer(&copy);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    readSpectrumReference(buffer, reference);
    QCOMPARE(reference.scas, QVector<double>({ 1, 0 }));
}

QTEST_APPLESS_MAIN(TestSpectrumReader)
#include "tst_spectrumreader.moc"
