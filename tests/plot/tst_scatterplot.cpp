// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartmapping.h"
#include "scatterplot.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(ScatterPlotData)

namespace {

const QRgb white = qRgb(255, 255, 255);
const QRgb grey = qRgb(200, 200, 200);
const double infinity = std::numeric_limits<double>::infinity();
const double notNumber = std::numeric_limits<double>::quiet_NaN();

QVector<QColor> colorTable()
{
    return { QColor(0, 0, 0),     QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(0, 0, 255),
             QColor(255, 255, 0), QColor(255, 0, 255), QColor(0, 255, 255), QColor(128, 255, 0),
             QColor(128, 0, 255), QColor(0, 128, 255), QColor(255, 128, 0), QColor(0, 255, 128),
             QColor(255, 0, 128) };
}

QRgb channelRgb(int j)
{
    return colorTable()[j % 13].rgb();
}

// Points given as x, y per point and channel; the ranges span the values.
ScatterPlotData plotData(int chs, const QVector<double> &xy)
{
    ScatterPlotData d;
    d.chs = chs;
    d.points = xy.size() / 2 / chs;
    for (int i = 0; i < xy.size(); i += 2) {
        const double x = xy[i];
        const double y = xy[i + 1];
        d.xs << x;
        d.ys << y;
        d.hasX = d.hasY = true;
        d.xMin = qMin(d.xMin, x);
        d.xMax = qMax(d.xMax, x);
        d.yMin = qMin(d.yMin, y);
        d.yMax = qMax(d.yMax, y);
    }
    return d;
}

void setRanges(ScatterPlotData &d, double x0, double x1, double y0, double y1)
{
    d.xMin = x0;
    d.xMax = x1;
    d.yMin = y0;
    d.yMax = y1;
}

struct Rendered
{
    QImage image;
    ChartMapping coord;
    QColor pen;
};

void render(Rendered &r, const ScatterPlotData &d, QSize size = QSize(440, 220),
            bool reference = false, QImage::Format format = QImage::Format_RGB32)
{
    r.image = QImage(size, format);
    r.image.fill(white);
    r.coord.setPixelRect(0, size.height(), size.width(), 0);
    QPainter p(&r.image);
    if (reference)
        drawScatterPlotReference(p, r.coord, d, colorTable());
    else
        drawScatterPlot(p, r.coord, d, colorTable());
    r.pen = p.pen().color();
}

QImage renderImage(const ScatterPlotData &d, bool reference = false,
                   QSize size = QSize(440, 220), QImage::Format format = QImage::Format_RGB32)
{
    Rendered r;
    render(r, d, size, reference, format);
    return r.image;
}

int countColor(const QImage &img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == c)
                ++n;
        }
    }
    return n;
}

QVector<int> greyColumnsInRow(const QImage &img, int y)
{
    QVector<int> xs;
    for (int x = 0; x < img.width(); ++x) {
        if (img.pixel(x, y) == grey)
            xs << x;
    }
    return xs;
}

QVector<int> greyRowsInColumn(const QImage &img, int x)
{
    QVector<int> ys;
    for (int y = 0; y < img.height(); ++y) {
        if (img.pixel(x, y) == grey)
            ys << y;
    }
    return ys;
}

ScatterPlotData randomData(quint32 seed, QSize size)
{
    QRandomGenerator g(seed);
    // Past 13 channels the colours repeat with other marker shapes.
    const int chs = g.bounded(1, 70);
    const int points = g.bounded(3, 60);
    QVector<double> xy;
    for (int p = 0; p < points; ++p) {
        // Coarse values make discs of a channel and of different channels meet.
        const double x = g.bounded(40) * 25.0;
        for (int j = 0; j < chs; ++j)
            xy << x << g.bounded(30) * (size.height() > 100 ? 10.0 : 40.0);
    }
    ScatterPlotData d = plotData(chs, xy);
    if (g.bounded(2)) {
        // Narrower scales than the data put discs across and beyond every edge.
        setRanges(d, 100 + g.bounded(200), 500 + g.bounded(200), 50 + g.bounded(50),
                  150 + g.bounded(50));
    }
    d.estimated = g.bounded(3) > 0;
    for (int j = 0; j < chs; ++j)
        d.fits << QVector<double> { g.bounded(3.0), -g.bounded(0.003) };
    return d;
}

} // namespace

class TestScatterPlot : public QObject
{
    Q_OBJECT
private slots:
    void fewPointsStayWhite_data();
    void fewPointsStayWhite();
    void valueRangeHasMargins();
    void discShapeAtMappedCentres();
    void laterChannelsCoverEarlier_data();
    void laterChannelsCoverEarlier();
    void gridLines_data();
    void gridLines();
    void curveFollowsFit_data();
    void curveFollowsFit();
    void fastDrawingMatchesReference_data();
    void fastDrawingMatchesReference();
    void markersTellChannelsApart();
    void repeatedColoursGetOtherShapes();
    void degenerateData_data();
    void degenerateData();
    void tinySpanDrawnAsItIs();
};

void TestScatterPlot::fewPointsStayWhite_data()
{
    QTest::addColumn<int>("points");
    QTest::newRow("no points") << 0;
    QTest::newRow("one point") << 1;
    QTest::newRow("two points") << 2;
}

void TestScatterPlot::fewPointsStayWhite()
{
    QFETCH(int, points);
    QVector<double> xy;
    for (int p = 0; p < points; ++p)
        xy << 10.0 * p << 20.0 * p;
    ScatterPlotData d = plotData(1, xy);
    d.points = points;
    d.estimated = true;
    d.fits << QVector<double> { 1, 0 };
    Rendered r;
    render(r, d);
    QCOMPARE(countColor(r.image, white), r.image.width() * r.image.height());
    // Nothing was scaled either.
    QCOMPARE(r.coord.vx1, 1.0);
    QCOMPARE(r.coord.xRangeSet, false);
}

void TestScatterPlot::valueRangeHasMargins()
{
    ScatterPlotData d = plotData(1, { 0, 100, 100, 300, 200, 500 });
    Rendered r;
    render(r, d);
    QCOMPARE(r.coord.vx0, -10.0);
    QCOMPARE(r.coord.vx1, 210.0);
    QCOMPARE(r.coord.vy0, 80.0);
    QCOMPARE(r.coord.vy1, 520.0);

    d.hasX = false;
    d.hasY = false;
    render(r, d);
    QCOMPARE(r.coord.vx0, -1.1);
    QCOMPARE(r.coord.vx1, 1.1);
    QCOMPARE(r.coord.vy0, -1.1);
    QCOMPARE(r.coord.vy1, 1.1);
}

void TestScatterPlot::discShapeAtMappedCentres()
{
    // Scales -10..210 on 440 x 220 pixels: column 2x + 20, row 210 - y. The
    // grid lies on columns 20 + 40k and rows 210 - 20k, clear of the discs.
    ScatterPlotData d = plotData(2, { 10, 190, 50, 150, 110, 90, 150, 50, 190, 10, 130, 30 });
    setRanges(d, 0, 200, 0, 200);
    const QImage img = renderImage(d);
    const QVector<QPoint> centres[2] = { { { 40, 20 }, { 240, 120 }, { 400, 200 } },
                                         { { 120, 60 }, { 320, 160 }, { 280, 180 } } };
    for (int j = 0; j < 2; ++j) {
        for (const QPoint &c : centres[j]) {
            for (int dy = -5; dy <= 5; ++dy) {
                for (int dx = -5; dx <= 5; ++dx) {
                    // Pixels whose centres lie inside the circle of radius 3.5
                    // around the centre of the 7 x 7 square.
                    const QRgb expected = dx * dx + dy * dy <= 12 ? channelRgb(j) : white;
                    QCOMPARE(img.pixel(c.x() + dx, c.y() + dy), expected);
                }
            }
        }
    }
    QCOMPARE(countColor(img, channelRgb(0)), 3 * 37);
    QCOMPARE(countColor(img, channelRgb(1)), 3 * 37);
}

void TestScatterPlot::laterChannelsCoverEarlier_data()
{
    QTest::addColumn<int>("chs");
    QTest::addColumn<double>("shift");
    QTest::addColumn<QPoint>("probe");
    QTest::addColumn<int>("channel");
    QTest::newRow("second over first") << 2 << 0.0 << QPoint(240, 120) << 1;
    QTest::newRow("thirteen channels") << 13 << 0.0 << QPoint(240, 120) << 12;
    QTest::newRow("fourteenth channel reuses the first colour") << 14 << 0.0 << QPoint(240, 120)
                                                                 << 0;
    QTest::newRow("overlap goes to the later channel") << 2 << 2.0 << QPoint(242, 120) << 1;
    QTest::newRow("earlier channel shows outside the overlap") << 2 << 2.0 << QPoint(238, 120)
                                                                << 0;
}

void TestScatterPlot::laterChannelsCoverEarlier()
{
    QFETCH(int, chs);
    QFETCH(double, shift);
    QFETCH(QPoint, probe);
    QFETCH(int, channel);
    QVector<double> xy;
    for (int p = 0; p < 3; ++p) {
        for (int j = 0; j < chs; ++j)
            xy << 110 + j * shift << 90;
    }
    ScatterPlotData d = plotData(chs, xy);
    setRanges(d, 0, 200, 0, 200);
    const QImage img = renderImage(d);
    QCOMPARE(img.pixel(probe), channelRgb(channel));
}

void TestScatterPlot::gridLines_data()
{
    QTest::addColumn<bool>("hasRanges");
    QTest::addColumn<QVector<double>>("ranges"); // xMin, xMax, yMin, yMax
    QTest::addColumn<int>("vertical");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<QVector<int>>("columns");
    QTest::addColumn<QVector<int>>("rows");

    QTest::newRow("limits of 100: ten lines")
            << true << QVector<double> { 0, 100, 0, 100 } << 10 << 10
            << QVector<int> { 20, 60, 100, 140, 180, 220, 260, 300, 340, 380 }
            << QVector<int> { 30, 50, 70, 90, 110, 130, 150, 170, 190, 210 };
    QTest::newRow("limits of 1 and 3: eleven lines, the last just below the limit")
            << true << QVector<double> { 0, 1, 0, 3 } << 11 << 11 << QVector<int>()
            << QVector<int>();
    QTest::newRow("no ranges: eleven lines up to 1")
            << false << QVector<double> { 0, 1, 0, 1 } << 11 << 11 << QVector<int>()
            << QVector<int>();
    QTest::newRow("range far from 0: only lines inside it show")
            << true << QVector<double> { 9000, 10000, 0, 100 } << 1 << 10 << QVector<int> { 20 }
            << QVector<int>();
    QTest::newRow("negative values: lines start at 0")
            << true << QVector<double> { -100, 100, -100, 100 } << 10 << 10
            << QVector<int> { 220, 240, 260, 280, 300, 320, 340, 360, 380, 400 }
            << QVector<int> { 110, 100, 90, 80, 70, 60, 50, 40, 30, 20 };
    QTest::newRow("maximum not above 0: no lines")
            << true << QVector<double> { -50, 0, -10, -1 } << 0 << 0 << QVector<int>()
            << QVector<int>();
}

void TestScatterPlot::gridLines()
{
    QFETCH(bool, hasRanges);
    QFETCH(QVector<double>, ranges);
    QFETCH(int, vertical);
    QFETCH(int, horizontal);
    QFETCH(QVector<int>, columns);
    QFETCH(QVector<int>, rows);

    // Discs at the corners and the middle keep clear of the top row and left column.
    ScatterPlotData d = plotData(1,
                                 { ranges[0], ranges[2], (ranges[0] + ranges[1]) / 2,
                                   (ranges[2] + ranges[3]) / 2, ranges[1], ranges[3] });
    d.hasX = d.hasY = hasRanges;
    const QImage img = renderImage(d);
    const QVector<int> xs = greyColumnsInRow(img, 0);
    const QVector<int> ys = greyRowsInColumn(img, 0);
    QCOMPARE(xs.size(), vertical);
    QCOMPARE(ys.size(), horizontal);
    if (!columns.isEmpty())
        QCOMPARE(xs, columns);
    if (!rows.isEmpty()) {
        QVector<int> sorted = rows;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(ys, sorted);
    }
    // Each line crosses the whole picture.
    for (int x : xs)
        QCOMPARE(greyRowsInColumn(img, x).size() >= img.height() - 7 * 3, true);
}

void TestScatterPlot::curveFollowsFit_data()
{
    QTest::addColumn<bool>("estimated");
    QTest::newRow("estimated") << true;
    QTest::newRow("not estimated") << false;
}

void TestScatterPlot::curveFollowsFit()
{
    QFETCH(bool, estimated);
    // y = 2x - 0.005x^2 on scales -10..210 (column 2x + 20) and -120..320
    // (row 220 - (y + 120) / 2): a gentle arc across the whole width.
    auto f = [](double x) { return 2 * x - 0.005 * x * x; };
    ScatterPlotData d = plotData(2, { 0, f(0), 0, 0, 100, f(100), 100, 0, 200, f(200), 200, 0 });
    setRanges(d, 0, 200, -100, 300);
    d.estimated = estimated;
    d.fits = { { 2, -0.005 }, { 0, 0 } };
    Rendered r;
    render(r, d);

    int checked = 0;
    for (int c = 0; c < r.image.width(); ++c) {
        if (c % 200 >= 14 && c % 200 <= 26)
            continue; // disc columns
        const double x = (c + 0.5 - 20) / 2;
        const double row = 220 - (f(x) + 120) / 2;
        int found = 0;
        for (int y = 0; y < r.image.height(); ++y) {
            if (r.image.pixel(c, y) == channelRgb(0)) {
                QVERIFY2(std::fabs(y + 0.5 - row) <= 1.5, qPrintable(QString::number(c)));
                ++found;
            }
        }
        QCOMPARE(found, estimated ? 1 : 0);
        ++checked;
    }
    QVERIFY(checked > 400);
    // The second channel's flat fit lies along y = 0, row 160.
    QCOMPARE(r.image.pixel(100, 160), estimated ? channelRgb(1) : grey);
    QCOMPARE(r.pen.rgb(), estimated ? channelRgb(1) : grey);
}

void TestScatterPlot::fastDrawingMatchesReference_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("format");
    QTest::addColumn<quint32>("firstSeed");
    QTest::newRow("display size") << QSize(1500, 350) << int(QImage::Format_RGB32) << 1u;
    QTest::newRow("small picture, discs cut at the edges")
            << QSize(37, 23) << int(QImage::Format_RGB32) << 1000u;
    QTest::newRow("medium, premultiplied pixels")
            << QSize(300, 160) << int(QImage::Format_ARGB32_Premultiplied) << 2000u;
    QTest::newRow("medium, plain alpha pixels")
            << QSize(301, 161) << int(QImage::Format_ARGB32) << 3000u;
    QTest::newRow("16-bit pixels") << QSize(200, 100) << int(QImage::Format_RGB16) << 4000u;
}

void TestScatterPlot::fastDrawingMatchesReference()
{
    QFETCH(QSize, size);
    QFETCH(int, format);
    QFETCH(quint32, firstSeed);
    for (quint32 seed = firstSeed; seed < firstSeed + 40; ++seed) {
        const ScatterPlotData d = randomData(seed, size);
        Rendered fast, reference;
        render(fast, d, size, false, QImage::Format(format));
        render(reference, d, size, true, QImage::Format(format));
        QVERIFY2(fast.image == reference.image, qPrintable(QString::number(seed)));
        QCOMPARE(fast.pen, reference.pen);
    }
}

namespace {

// The pixels a filled path covers, as a picture of its own.
QImage filled(const QPainterPath &path)
{
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.fillPath(path, QBrush(Qt::black, Qt::SolidPattern));
    return img;
}

} // namespace

// The channels of the first round of colours are the discs they always were;
// each later round, whose colours repeat, has a shape of its own.
void TestScatterPlot::markersTellChannelsApart()
{
    QPainterPath disc;
    disc.addEllipse(QRectF(10 - 3, 10 - 3, 7, 7));
    const QImage discPixels = filled(disc);
    for (int j = 0; j < 13; ++j)
        QCOMPARE(filled(channelMarker(QPoint(10, 10), j, 13)), discPixels);
    QVector<QImage> shapes { discPixels };
    for (int round = 1; round < 5; ++round) {
        const QImage shape = filled(channelMarker(QPoint(10, 10), 13 * round + 4, 13));
        for (const QImage &other : shapes)
            QVERIFY2(shape != other, qPrintable(QString::number(round)));
        shapes.append(shape);
        // Every channel of a round has its round's shape.
        QCOMPARE(filled(channelMarker(QPoint(10, 10), 13 * round, 13)), shape);
    }
}

// In a plot of 26 channels, channel 13 has channel 0's colour but not its
// marker.
void TestScatterPlot::repeatedColoursGetOtherShapes()
{
    // Three points; channel 0 and 13 far apart, the others out of the way.
    QVector<double> xy;
    for (int p = 0; p < 3; ++p) {
        for (int j = 0; j < 26; ++j)
            xy << 100.0 * p << (j == 0 ? 100.0 : j == 13 ? 300.0 : 1000.0);
    }
    ScatterPlotData d = plotData(26, xy);
    setRanges(d, -50, 250, 0, 400);
    Rendered r;
    render(r, d, QSize(300, 400));
    const auto maskAround = [&r](double x, double y) {
        const QPoint c(int(r.coord.xToPixel(x)), int(r.coord.yToPixel(y)));
        QVector<bool> mask;
        for (int dy = -5; dy <= 5; ++dy)
            for (int dx = -5; dx <= 5; ++dx)
                mask << (r.image.pixel(c.x() + dx, c.y() + dy) == channelRgb(0));
        return mask;
    };
    const QVector<bool> first = maskAround(100, 100);
    const QVector<bool> repeat = maskAround(100, 300);
    QVERIFY(first.count(true) > 20);
    QVERIFY(repeat.count(true) > 20);
    QVERIFY(first != repeat);
}

void TestScatterPlot::degenerateData_data()
{
    QTest::addColumn<ScatterPlotData>("data");
    QTest::addColumn<QPoint>("disc"); // a pixel that must show channel 0, or (-1, -1)

    ScatterPlotData sameX = plotData(1, { 500, 10, 500, 20, 500, 30 });
    QTest::newRow("all points at one I0") << sameX << QPoint(220, 110);

    ScatterPlotData same = plotData(2, { 7, 3, 7, 3, 7, 3, 7, 3, 7, 3, 7, 3 });
    QTest::newRow("all values equal") << same << QPoint(220, 110);

    ScatterPlotData zeros = plotData(1, { 0, 0, 0, 0, 0, 0 });
    QTest::newRow("all values 0") << zeros << QPoint(220, 110);

    ScatterPlotData nanFit = plotData(1, { 0, 0, 100, 100, 200, 200 });
    nanFit.estimated = true;
    nanFit.fits = { { notNumber, notNumber } };
    QTest::newRow("fit is NaN") << nanFit << QPoint(220, 110);

    ScatterPlotData infFit = nanFit;
    infFit.fits = { { infinity, -infinity } };
    QTest::newRow("fit is infinite") << infFit << QPoint(220, 110);

    ScatterPlotData hugeFit = nanFit;
    hugeFit.fits = { { 1e300, 1e300 } };
    QTest::newRow("fit overflows") << hugeFit << QPoint(220, 110);

    ScatterPlotData huge = plotData(1, { 1e300, 1e300, 2e300, 2e300, 3e300, 3e300 });
    huge.estimated = true;
    huge.fits = { { 1, 0 } };
    QTest::newRow("values near 1e300") << huge << QPoint(220, 110);

    ScatterPlotData extreme = plotData(1, { -1.7e308, 0, 0, 1.7e308, 1.7e308, -1.7e308 });
    QTest::newRow("values near the largest double") << extreme << QPoint(-1, -1);

    ScatterPlotData far = plotData(1, { 0, 0, 0.5, 0.5, 1, 1, 1e12, -1e12, -1e15, 1e15 });
    setRanges(far, 0, 1, 0, 1);
    QTest::newRow("points far outside the scales") << far << QPoint(220, 110);

    ScatterPlotData close = plotData(1, { 1e17, 1e17, 1e17 + 16, 1e17 + 16, 1e17 + 32, 1e17 + 32 });
    close.estimated = true;
    close.fits = { { 1, 0 } };
    QTest::newRow("I0 values near 1e17 a step apart") << close << QPoint(220, 110);

    ScatterPlotData tiny = plotData(1, { 0, 0, 5e-324, 5e-324, 1e-323, 1e-323 });
    QTest::newRow("grid step underflows") << tiny << QPoint(-1, -1);

    ScatterPlotData nanPoints = plotData(1, { notNumber, 1, 0, 0, 100, infinity, 200, 200, 100, 100 });
    setRanges(nanPoints, 0, infinity, 0, infinity);
    QTest::newRow("NaN and infinite measurements") << nanPoints << QPoint(220, 110);

    ScatterPlotData nothingFinite = plotData(1, { notNumber, notNumber, infinity, infinity, -infinity, -infinity });
    setRanges(nothingFinite, 1e300, -1e300, -infinity, infinity);
    QTest::newRow("no finite measurement") << nothingFinite << QPoint(-1, -1);
}

void TestScatterPlot::degenerateData()
{
    QFETCH(ScatterPlotData, data);
    QFETCH(QPoint, disc);
    Rendered fast, reference;
    render(fast, data);
    render(reference, data, QSize(440, 220), true);
    QVERIFY(fast.image == reference.image);

    const ChartMapping &c = fast.coord;
    QVERIFY(std::isfinite(c.vx0) && std::isfinite(c.vx1) && c.vx0 < c.vx1);
    QVERIFY(std::isfinite(c.vy0) && std::isfinite(c.vy1) && c.vy0 < c.vy1);
    if (disc.x() >= 0)
        QCOMPARE(fast.image.pixel(disc), channelRgb(data.chs - 1));
    QVERIFY(greyColumnsInRow(fast.image, 0).size() <= 11);
    QVERIFY(greyRowsInColumn(fast.image, fast.image.width() - 1).size() <= 11);

    if (data.estimated && !std::isfinite(data.fits[0][0])) {
        // A curve that cannot be computed is left out.
        ScatterPlotData plain = data;
        plain.estimated = false;
        QVERIFY(renderImage(plain) == fast.image);
    }
}

void TestScatterPlot::tinySpanDrawnAsItIs()
{
    // Values around 1e-260 span far less than any count rate, but the scale
    // of the mapping stays finite: the points stand apart as usual.
    ScatterPlotData d = plotData(1, { 1e-260, 1e-260, 2e-260, 3e-260, 3e-260, 2e-260 });
    Rendered r;
    render(r, d);
    QVERIFY(qFuzzyCompare(r.coord.vx0, 0.9e-260));
    QVERIFY(qFuzzyCompare(r.coord.vx1, 3.1e-260));
    QVERIFY(qFuzzyCompare(r.coord.vy1, 3.1e-260));
    QCOMPARE(countColor(r.image, channelRgb(0)), 3 * 37);
    // Scales 0.9..3.1 (x 1e-260) on 440 x 220: column 200 x - 180, row 310 - 100 y.
    QCOMPARE(r.image.pixel(20, 210), channelRgb(0));
    QCOMPARE(r.image.pixel(220, 10), channelRgb(0));
    QCOMPARE(r.image.pixel(420, 110), channelRgb(0));
}

QTEST_MAIN(TestScatterPlot)
#include "tst_scatterplot.moc"
