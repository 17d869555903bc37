// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartmapping.h"
#include "plotaxes.h"
#include "plotdata.h"
#include "scatterplot.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

const QRgb white = qRgb(255, 255, 255);
const QRgb black = qRgb(0, 0, 0);
const QRgb grey = qRgb(200, 200, 200);

// Three points of three channels, the fits drawn: ICR about 0.9 I0.
ScatterPlotData threeChannels()
{
    ScatterPlotData d;
    d.points = 3;
    d.chs = 3;
    const double i0s[3] = { 1000, 2000, 3000 };
    for (double i0 : i0s) {
        for (int j = 0; j < 3; ++j) {
            d.xs << i0;
            d.ys << i0 * (0.9 - 0.1 * j);
        }
    }
    d.hasX = d.hasY = true;
    d.xMin = 1000, d.xMax = 3000;
    d.yMin = 700, d.yMax = 2700;
    d.estimated = true;
    d.fits = { { 0.9, 0 }, { 0.8, 0 }, { 0.7, 0 } };
    return d;
}

struct Drawn
{
    QImage image;
    ChartMapping coord;
};

Drawn draw(const ScatterPlotData &d, QSize size, bool axes)
{
    Drawn r;
    r.image = QImage(size, QImage::Format_RGB32);
    r.image.fill(white);
    r.coord.setPixelRect(0, size.height(), size.width(), 0);
    QPainter p(&r.image);
    QFont font;
    font.setPixelSize(12);
    p.setFont(font);
    setScatterPlotRange(r.coord, d);
    if (axes)
        drawScatterPlotWithAxes(p, r.coord, d, plotChannelColors(), plotLabels(PlotKind::I0Nin));
    else
        drawScatterPlotInRange(p, r.coord, d, plotChannelColors());
    return r;
}

// Columns of the image that are black over at least half its height: the
// vertical lines of a frame.
QVector<int> blackColumns(const QImage &img)
{
    QVector<int> xs;
    for (int x = 0; x < img.width(); ++x) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            n += img.pixel(x, y) == black;
        if (n > img.height() / 2)
            xs << x;
    }
    return xs;
}

int countIn(const QImage &img, const QRect &r, QRgb c)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixel(x, y) == c;
    return n;
}

} // namespace

class TestPlotAxes : public QObject
{
    Q_OBJECT
private slots:
    void ticks_data();
    void ticks();
    void labels_data();
    void labels();
    void pointUnderPointer_data();
    void pointUnderPointer();
    void axesOnlyWhenAsked();
    void gridFollowsTheTicks();
    void tooSmallForAxesDrawsBare();
};

void TestPlotAxes::ticks_data()
{
    QTest::addColumn<double>("v0");
    QTest::addColumn<double>("v1");
    QTest::addColumn<double>("pixels");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("tenths of one") << 0.0 << 1.0 << 400.0
                                   << QVector<double> { 0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8,
                                                        0.9, 1 };
    QTest::newRow("fewer pixels, steps of two tenths")
            << 0.0 << 1.0 << 200.0 << QVector<double> { 0, 0.2, 0.4, 0.6, 0.8, 1 };
    QTest::newRow("steps of five") << -12.0 << 12.0 << 250.0
                                   << QVector<double> { -10, -5, 0, 5, 10 };
    QTest::newRow("a range running downwards") << 12.0 << -12.0 << 250.0
                                                << QVector<double> { -10, -5, 0, 5, 10 };
    QTest::newRow("count rates") << 2000.0 << 170000.0 << 200.0
                                 << QVector<double> { 50000, 100000, 150000 };
    QTest::newRow("far from zero, a few ulps apart: steps the doubles can count")
            << 1e17 << 1e17 + 64 << 400.0 << QVector<double> { 1e17, 1e17 + 50 };
    QTest::newRow("empty range") << 5.0 << 5.0 << 400.0 << QVector<double>();
    QTest::newRow("infinite range") << 0.0 << std::numeric_limits<double>::infinity() << 400.0
                                    << QVector<double>();
    QTest::newRow("a tiny span counts as well as any")
            << 0.0 << 4e-260 << 400.0
            << QVector<double> { 0, 5e-261, 1e-260, 1.5e-260, 2e-260, 2.5e-260, 3e-260, 3.5e-260,
                                 4e-260 };
}

void TestPlotAxes::ticks()
{
    QFETCH(double, v0);
    QFETCH(double, v1);
    QFETCH(double, pixels);
    QFETCH(QVector<double>, expected);
    const QVector<double> got = axisTicks(v0, v1, pixels, 40);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(qFuzzyCompare(got[i], expected[i]) || (got[i] == 0 && expected[i] == 0),
                 qPrintable(QString::number(got[i], 'g', 17)));
}

void TestPlotAxes::labels_data()
{
    QTest::addColumn<QVector<double>>("ticks");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("tenths, with the rounding of 3 x 0.1")
            << QVector<double> { 0, 0.1, 0.2, 0.30000000000000004 }
            << QStringList { "0", "0.1", "0.2", "0.3" };
    QTest::newRow("whole numbers") << QVector<double> { 50000, 100000, 150000 }
                                   << QStringList { "50000", "100000", "150000" };
    QTest::newRow("millions, one mantissa digit for all")
            << QVector<double> { 5e6, 1e7, 1.5e7 }
            << QStringList { "5.0e+06", "1.0e+07", "1.5e+07" };
    QTest::newRow("dead times") << QVector<double> { 1e-7, 2e-7, 3e-7 }
                                << QStringList { "1e-07", "2e-07", "3e-07" };
    QTest::newRow("negative") << QVector<double> { -0.5, 0, 0.5 }
                              << QStringList { "-0.5", "0", "0.5" };
}

void TestPlotAxes::labels()
{
    QFETCH(QVector<double>, ticks);
    QFETCH(QStringList, expected);
    QCOMPARE(tickLabels(ticks), expected);
}

void TestPlotAxes::pointUnderPointer_data()
{
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("channel");
    // Values 0..100 on 0..100 pixels, y upwards: value (x, y) at pixel (x, 100 - y).
    QTest::newRow("on a disc centre") << QPointF(20, 80) << 0 << 0;
    QTest::newRow("at the disc's edge") << QPointF(23, 78) << 0 << 0;
    QTest::newRow("beside it") << QPointF(26, 80) << -1 << -1;
    QTest::newRow("two channels on one spot: the later one is on top") << QPointF(60, 40) << 1 << 1;
    QTest::newRow("nearer of two discs") << QPointF(57, 40) << 1 << 1;
    QTest::newRow("empty place") << QPointF(90, 90) << -1 << -1;
}

void TestPlotAxes::pointUnderPointer()
{
    QFETCH(QPointF, pos);
    QFETCH(int, point);
    QFETCH(int, channel);
    ScatterPlotData d;
    d.points = 2;
    d.chs = 2;
    d.xs = { 20, 40, 60, 60 };
    d.ys = { 20, 50, 60, 60 };
    ChartMapping c;
    c.setPixelRect(0, 100, 100, 0);
    c.setValueRange(0, 0, 100, 100);
    const PlotHit hit = plotPointAt(c, d, pos);
    QCOMPARE(hit.point, point);
    QCOMPARE(hit.channel, channel);
}

void TestPlotAxes::axesOnlyWhenAsked()
{
    const ScatterPlotData d = threeChannels();
    const Drawn bare = draw(d, QSize(600, 300), false);
    const Drawn axes = draw(d, QSize(600, 300), true);

    // The bare drawing is the plot that sets its range from the data.
    QImage plain(600, 300, QImage::Format_RGB32);
    plain.fill(white);
    {
        QPainter p(&plain);
        ChartMapping c;
        c.setPixelRect(0, 300, 600, 0);
        drawScatterPlot(p, c, d, plotChannelColors());
    }
    QCOMPARE(bare.image, plain);
    QCOMPARE(bare.coord.px0, 0.0);
    QVERIFY(blackColumns(bare.image).isEmpty());

    // With axes the plot area shrinks inside a frame, leaving room on every side.
    const ChartMapping &c = axes.coord;
    QVERIFY(c.px0 > 20 && c.px1 < 560 && c.py0 < 270 && c.py1 > 10);
    const QVector<int> frame = blackColumns(axes.image);
    QCOMPARE(frame, QVector<int>({ int(c.px0) - 1, int(c.px1) }));
    // Nothing of the plot but the frame is left of it: numbers and titles are
    // text, antialiased, never the pure channel colours.
    const QRect leftMargin(0, 0, int(c.px0) - 2, 300);
    QCOMPARE(countIn(axes.image, leftMargin, qRgb(255, 0, 0)), 0);
    QVERIFY(countIn(axes.image, leftMargin, white) < leftMargin.width() * 300);
    // The legend, right of the frame, shows a disc and a line in each channel's colour.
    const QRect legend(int(c.px1) + 1, 0, 600 - int(c.px1) - 1, 300);
    for (int j = 0; j < 3; ++j)
        QVERIFY2(countIn(axes.image, legend, plotChannelColors()[j].rgb()) >= 37 + 10,
                 qPrintable(QString::number(j)));
}

void TestPlotAxes::gridFollowsTheTicks()
{
    const Drawn axes = draw(threeChannels(), QSize(600, 300), true);
    const ChartMapping &c = axes.coord;
    const QVector<double> ticks = axisTicks(c.vx0, c.vx1, c.px1 - c.px0, 1);
    int onTicks = 0;
    const int row = int(c.py1) + 2;
    for (int x = int(c.px0); x < int(c.px1); ++x) {
        if (axes.image.pixel(x, row) != grey)
            continue;
        // Every grey column of the plot area's top row sits on a tick value.
        const double v = c.pixelToX(x + 0.5);
        const double pixel = c.pixelsToXLength(1);
        bool onTick = false;
        for (double t : ticks)
            onTick = onTick || std::fabs(v - t) <= pixel;
        QVERIFY2(onTick, qPrintable(QString::number(v)));
        ++onTicks;
    }
    QVERIFY(onTicks >= 3);
}

void TestPlotAxes::tooSmallForAxesDrawsBare()
{
    const ScatterPlotData d = threeChannels();
    QCOMPARE(draw(d, QSize(90, 50), true).image, draw(d, QSize(90, 50), false).image);
}

QTEST_MAIN(TestPlotAxes)
#include "tst_plotaxes.moc"
