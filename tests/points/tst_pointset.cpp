// SPDX-License-Identifier: GPL-3.0-or-later
#include "pointset.h"

#include <QtTest>

Q_DECLARE_METATYPE(QVector<MeasValues>)

namespace {

QVector<double> rangeOf(const PointSet &s, int axis)
{
    const ValueRanges &r = s.ranges();
    switch (axis) {
    case 0:
        return { double(r.hasI0), r.i0Min, r.i0Max };
    case 1:
        return { double(r.hasIcr), r.icrMin, r.icrMax };
    default:
        return { double(r.hasSca), r.scaMin, r.scaMax };
    }
}

} // namespace

class TestPointSet : public QObject
{
    Q_OBJECT

private slots:
    void channelsAndRanges_data();
    void channelsAndRanges();
    void removingAPointIsAsIfItWasNeverLoaded();
    void rowsAreAddedAsPointByPoint_data();
    void rowsAreAddedAsPointByPoint();
    void everyPointKeepsItsSource_data();
    void everyPointKeepsItsSource();
};

void TestPointSet::channelsAndRanges_data()
{
    QTest::addColumn<QVector<MeasValues>>("points");
    QTest::addColumn<int>("chs");
    QTest::addColumn<QVector<double>>("icrRange");
    QTest::addColumn<QVector<double>>("scaRange");

    QTest::newRow("common channels are the fewest")
            << QVector<MeasValues> { { 1, { 3, -2, 5 }, { 1, 2, 3 } }, { 2, { 4, 6 }, { 7, 8, 9 } } }
            << 2 << QVector<double> { 1, -2, 6 } << QVector<double> { 1, 1, 9 };
    QTest::newRow("a point without values widens by -1 .. 1")
            << QVector<MeasValues> { { 1, { 30, 40 }, { 20, 25 } }, { 2, {}, {} } } << 0
            << QVector<double> { 1, -1, 40 } << QVector<double> { 1, -1, 25 };
    QTest::newRow("only the empty side widens by -1 .. 1")
            << QVector<MeasValues> { { 1, { 30, 40 }, { 20, 25 } }, { 2, {}, { 50 } } } << 0
            << QVector<double> { 1, -1, 40 } << QVector<double> { 1, 20, 50 };
}

void TestPointSet::channelsAndRanges()
{
    QFETCH(QVector<MeasValues>, points);
    QFETCH(int, chs);
    QFETCH(QVector<double>, icrRange);
    QFETCH(QVector<double>, scaRange);

    const PointSet set = pointSetOf(points);
    QCOMPARE(set.chs(), chs);
    QCOMPARE(rangeOf(set, 1), icrRange);
    QCOMPARE(rangeOf(set, 2), scaRange);
    // Every common channel is a column over all points, in load order.
    QCOMPARE(set.i0s().size(), points.size());
    for (int j = 0; j < chs; ++j) {
        for (int p = 0; p < points.size(); ++p) {
            QCOMPARE(set.icrColumn(j)[p], points[p].icrs[j]);
            QCOMPARE(set.scaColumn(j)[p], points[p].scas[j]);
        }
    }
}

void TestPointSet::removingAPointIsAsIfItWasNeverLoaded()
{
    const QVector<MeasValues> points { { 100, { 10, 20, 30 }, { 9, 18, 27 } },
                                       { 900, { 5, 6 }, { 4, 5 } },
                                       { 200, { 20, 40, 60 }, { 17, 35, 52 } } };
    const QStringList files { "a.dat", "t.dat", "b.dat" };
    PointSet set;
    for (int p = 0; p < 3; ++p)
        set.add(points[p].i0, points[p].icrs, points[p].scas, { files[p], p });
    QCOMPARE(set.chs(), 2);
    set.removeAt(1);

    const PointSet expected = pointSetOf({ points[0], points[2] });
    QCOMPARE(set.size(), 2);
    QCOMPARE(set.chs(), 3);
    for (int axis = 0; axis < 3; ++axis)
        QCOMPARE(rangeOf(set, axis), rangeOf(expected, axis));
    QCOMPARE(set.i0s(), expected.i0s());
    QCOMPARE(set.scaColumn(2), expected.scaColumn(2));
    QCOMPARE(set.source(1).file, QStringLiteral("b.dat"));
    QCOMPARE(set.source(1).line, 2);
}

void TestPointSet::rowsAreAddedAsPointByPoint_data()
{
    QTest::addColumn<QVector<MeasValues>>("before");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QVector<double>>("rows");

    // Rows of two channels: I0, ICR 1, ICR 2, SCA 1, SCA 2.
    const QVector<double> twoChannels { 100, 10, 20, 9,  18,
                                        300, -30, 60, 27, 50,
                                        200, 20, 40, 17, 35 };
    QTest::newRow("into an empty set") << QVector<MeasValues>() << 2 << twoChannels;
    QTest::newRow("as wide as the set")
            << QVector<MeasValues> { { 50, { 5, 6 }, { 4, 5 } } } << 2 << twoChannels;
    QTest::newRow("narrower than the set")
            << QVector<MeasValues> { { 50, { 5, 6, 7 }, { 4, 5, 6 } } } << 2 << twoChannels;
    QTest::newRow("wider than the set")
            << QVector<MeasValues> { { 50, { 5 }, { 4 } } } << 2 << twoChannels;
    QTest::newRow("no rows") << QVector<MeasValues> { { 50, { 5 }, { 4 } } } << 2
                             << QVector<double>();
}

// A block of table lines goes in as the same points one by one would: the
// same columns, values beyond the common channels, ranges and sources.
void TestPointSet::rowsAreAddedAsPointByPoint()
{
    QFETCH(QVector<MeasValues>, before);
    QFETCH(int, channels);
    QFETCH(QVector<double>, rows);

    const int count = rows.size() / (1 + 2 * channels);
    QVector<int> lines;
    for (int r = 0; r < count; ++r)
        lines.append(7 + 3 * r);
    PointSet set = pointSetOf(before);
    set.addRows(rows.constData(), count, channels, QStringLiteral("t.dat"), lines.constData());
    PointSet expected = pointSetOf(before);
    for (int r = 0; r < count; ++r) {
        const double *row = rows.constData() + r * (1 + 2 * channels);
        expected.add(row[0], row + 1, channels, row + 1 + channels, channels,
                     { QStringLiteral("t.dat"), lines[r] });
    }

    QCOMPARE(set.size(), before.size() + count);
    QCOMPARE(set.chs(), expected.chs());
    for (int axis = 0; axis < 3; ++axis)
        QCOMPARE(rangeOf(set, axis), rangeOf(expected, axis));
    for (int p = 0; p < set.size(); ++p) {
        QCOMPARE(set.at(p).i0, expected.at(p).i0);
        QCOMPARE(set.at(p).icrs, expected.at(p).icrs);
        QCOMPARE(set.at(p).scas, expected.at(p).scas);
        QCOMPARE(set.source(p).file, expected.source(p).file);
        QCOMPARE(set.source(p).line, expected.source(p).line);
    }
    for (int j = 0; j < set.chs(); ++j)
        QCOMPARE(set.icrColumn(j), expected.icrColumn(j));
}

void TestPointSet::everyPointKeepsItsSource_data()
{
    QTest::addColumn<QStringList>("files");

    QTest::newRow("one file") << QStringList { "a.dat", "a.dat", "a.dat" };
    QTest::newRow("files in turn") << QStringList { "a.dat", "b.dat", "b.dat", "a.dat", "c.dat" };
    QTest::newRow("no name and an empty one")
            << QStringList { QString(), QString(), QStringLiteral(""), QString(), "a.dat" };
}

// The file and line of every point, however the files follow each other,
// also after a point is removed.
void TestPointSet::everyPointKeepsItsSource()
{
    QFETCH(QStringList, files);
    PointSet set;
    for (int p = 0; p < files.size(); ++p)
        set.add(p, { 1.0 }, { 2.0 }, { files[p], 10 * p + 1 });
    for (int p = 0; p < files.size(); ++p) {
        QCOMPARE(set.source(p).file, files[p]);
        QCOMPARE(set.source(p).file.isNull(), files[p].isNull());
        QCOMPARE(set.source(p).line, 10 * p + 1);
    }
    set.removeAt(1);
    files.removeAt(1);
    for (int p = 0; p < files.size(); ++p) {
        QCOMPARE(set.source(p).file, files[p]);
        QCOMPARE(set.source(p).file.isNull(), files[p].isNull());
        QCOMPARE(set.source(p).line, p == 0 ? 1 : 10 * (p + 1) + 1);
    }
}

QTEST_APPLESS_MAIN(TestPointSet)

#include "tst_pointset.moc"
