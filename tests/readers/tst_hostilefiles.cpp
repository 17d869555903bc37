// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointtable.h"
#include "spectrumreader.h"
#include "testsupport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("hostile.dat"));
    return testsupport::writeFileBytes(path, bytes) ? path : QString();
}

// A line of about size bytes: start, then " 1" repeated.
QByteArray longLine(const QByteArray &start, int size)
{
    QByteArray line = start;
    line.reserve(size);
    while (line.size() + 2 <= size)
        line += " 1";
    return line;
}

struct Counts
{
    int points = 0;
    int traces = 0;
    int longestTrace = 0;
    QVector<double> firstIcrs;
    QVector<double> firstScas;
    double firstI0 = 0.0;

    PointTableSink sink()
    {
        PointTableSink s;
        s.onPoint = [this](double i0, const QVector<double> &icrs, const QVector<double> &scas,
                           int) {
            if (points++ == 0) {
                firstI0 = i0;
                firstIcrs = icrs;
                firstScas = scas;
            }
        };
        s.onTrace = [this](const QString &line, bool) {
            ++traces;
            longestTrace = qMax(longestTrace, line.size());
        };
        return s;
    }
};

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void hundredMegabyteSpectrumRow();
    void hundredMegabyteTracedTableLine();
    void channelCountNoLineReaches_data();
    void channelCountNoLineReaches();
    void largeChannelCountReached_data();
    void largeChannelCountReached();
};

void TestHostileFiles::hundredMegabyteSpectrumRow()
{
    QTemporaryDir dir;
    const QByteArray bytes = "# I0 : 2\n# MCA Ch Info : a b c d e 5 0 10\n"
            + longLine("5 0 7", 100 * 1000 * 1000);
    const QString path = writeFile(dir, bytes);
    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QCOMPARE(sp.ok, true);
    QCOMPARE(sp.scas, QVector<double> { 7 });
}

void TestHostileFiles::hundredMegabyteTracedTableLine()
{
    QTemporaryDir dir;
    const QByteArray line = longLine("\t1, 2 ,3", 100 * 1000 * 1000);
    const QString path = writeFile(dir, line + "\r\n");
    Counts counts;
    QVERIFY(readPointTableFile(path, counts.sink()).opened());
    QCOMPARE(counts.traces, 1);
    QCOMPARE(counts.longestTrace, line.size() - 1); // without the tab
    QCOMPARE(counts.points, 1);
    QCOMPARE(counts.firstI0, 1.0);
    QCOMPARE(counts.firstIcrs, QVector<double> { 2 });
    QCOMPARE(counts.firstScas, QVector<double> { 3 });
}

void TestHostileFiles::channelCountNoLineReaches_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("largest int") << QByteArray("# Channels : 2147483647");
    QTest::newRow("fifty million") << QByteArray("# Channels : 50000000");
}

void TestHostileFiles::channelCountNoLineReaches()
{
    QFETCH(QByteArray, header);
    QTemporaryDir dir;
    const QString path = writeFile(dir, header + '\n' + longLine("1", 20 * 1000 * 1000) + '\n');
    Counts counts;
    QVERIFY(readPointTableFile(path, counts.sink()).opened());
    QCOMPARE(counts.traces, 1);
    QCOMPARE(counts.points, 0);
}

void TestHostileFiles::largeChannelCountReached_data()
{
    QTest::addColumn<int>("fields");
    QTest::addColumn<int>("points");
    QTest::newRow("2N + 1 fields") << 6001 << 1;
    QTest::newRow("2N fields") << 6000 << 0;
    QTest::newRow("2N fields and a trailing comma") << -6000 << 1;
}

void TestHostileFiles::largeChannelCountReached()
{
    QFETCH(int, fields);
    QFETCH(int, points);
    QByteArray bytes = "# Channels : 3000\n";
    for (int k = 0; k < qAbs(fields); ++k)
        bytes += (k == 0 ? "" : k % 7 ? " " : ", ") + QByteArray::number(k);
    if (fields < 0)
        bytes += ',';
    bytes += '\n';

    Counts fast;
    readPointTableBytes(bytes, fast.sink());
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    Counts reference;
    readPointTableReference(buffer, reference.sink());
    QCOMPARE(fast.points, points);
    QCOMPARE(reference.points, points);
    if (points) {
        QCOMPARE(fast.firstIcrs.size(), 3000);
        QCOMPARE(fast.firstIcrs, reference.firstIcrs);
        QCOMPARE(fast.firstScas, reference.firstScas);
        QCOMPARE(fast.firstScas.last(), fields < 0 ? 0.0 : 6000.0);
        QCOMPARE(fast.firstScas.first(), 3001.0);
    }
}

QTEST_APPLESS_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
