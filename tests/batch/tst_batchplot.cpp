// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrunner.h"
#include "chartmapping.h"
#include "deadtime.h"
#include "loader.h"
#include "plotrender.h"
#include "pointset.h"
#include "scatterplot.h"
#include "testsupport.h"

#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {

const QVector<QColor> windowColors { QColor(0, 0, 0),     QColor(255, 0, 0),
                                     QColor(0, 255, 0),   QColor(0, 0, 255),
                                     QColor(255, 255, 0), QColor(255, 0, 255),
                                     QColor(0, 255, 255), QColor(128, 255, 0),
                                     QColor(128, 0, 255), QColor(0, 128, 255),
                                     QColor(255, 128, 0), QColor(0, 255, 128),
                                     QColor(255, 0, 128) };

// Four points of a three-channel detector with counting losses.
const double i0s[4] = { 1.0e4, 4.0e4, 9.0e4, 1.6e5 };
const double icrs[4][3] = { { 9980, 11952, 8485 },
                            { 39680, 47232, 33760 },
                            { 88380, 104500, 75530 },
                            { 154900, 182000, 132300 } };
const double scas[4][3] = { { 8100, 9600, 6950 },
                            { 31200, 36800, 26700 },
                            { 65500, 76100, 56300 },
                            { 104400, 118000, 91200 } };

PointSet threeChannelSet(int points)
{
    PointSet set;
    for (int p = 0; p < points; ++p)
        set.add(i0s[p], { icrs[p][0], icrs[p][1], icrs[p][2] },
                { scas[p][0], scas[p][1], scas[p][2] });
    return set;
}

// The plot as the window's display paints it: white, then the plot drawn with
// the display's whole area as pixel rectangle, y growing upwards.
QImage displayPaint(const ScatterPlotData &d, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    ChartMapping coord;
    coord.setPixelRect(0, h, w, 0);
    drawScatterPlot(p, coord, d, windowColors);
    return image;
}

ScatterPlotData expectedI0Nin(int points, bool estimated, const DeadTimes &dt)
{
    ScatterPlotData d;
    d.points = points;
    d.chs = 3;
    for (int p = 0; p < points; ++p) {
        for (int j = 0; j < 3; ++j) {
            d.xs.append(i0s[p]);
            d.ys.append(icrs[p][j]);
        }
    }
    d.hasX = d.hasY = true;
    d.xMin = 1.0e4;
    d.xMax = i0s[points - 1];
    d.yMin = 8485;
    d.yMax = icrs[points - 1][1];
    d.estimated = estimated;
    if (estimated)
        d.fits = dt.tau0Fits;
    return d;
}

ScatterPlotData expectedNinNout(int points, bool estimated, const DeadTimes &dt)
{
    ScatterPlotData d;
    d.points = points;
    d.chs = 3;
    for (int p = 0; p < points; ++p) {
        for (int j = 0; j < 3; ++j) {
            d.xs.append(icrs[p][j]);
            d.ys.append(scas[p][j]);
        }
    }
    d.hasX = d.hasY = true;
    d.xMin = 8485;
    d.xMax = icrs[points - 1][1];
    d.yMin = 6950;
    d.yMax = scas[points - 1][1];
    d.estimated = estimated;
    if (estimated)
        d.fits = dt.tauFits;
    return d;
}

int pixelsOf(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

} // namespace

class TestBatchPlot : public QObject
{
    Q_OBJECT
private slots:
    void plotsMatchTheDisplays_data();
    void plotsMatchTheDisplays();
    void twoPointsLeaveThePlotsWhite();
    void oneCommonChannelDrawsPointsOnly();
    void axesAndTitlesUnlessBare();
    void commandWritesThePlot_data();
    void commandWritesThePlot();
};

void TestBatchPlot::plotsMatchTheDisplays_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<QSize>("size");

    QTest::newRow("three points, default size") << 3 << QSize(1500, 700);
    QTest::newRow("four points, odd height") << 4 << QSize(640, 481);
    QTest::newRow("four points, tall and narrow") << 4 << QSize(200, 900);
}

void TestBatchPlot::plotsMatchTheDisplays()
{
    QFETCH(int, points);
    QFETCH(QSize, size);

    const PointSet set = threeChannelSet(points);
    QVERIFY(set.canEstimate());
    const DeadTimes dt = estimateDeadTimes(set);
    const QImage image = renderPlots(set, &dt, size);
    QCOMPARE(image.size(), size);

    const int top = size.height() / 2;
    const QImage wantTop = displayPaint(expectedI0Nin(points, true, dt), size.width(), top);
    const QImage wantBottom = displayPaint(expectedNinNout(points, true, dt), size.width(),
                                           size.height() - top);
    QCOMPARE(image.copy(0, 0, size.width(), top), wantTop);
    QCOMPARE(image.copy(0, top, size.width(), size.height() - top), wantBottom);

    // Both plots show the discs and curves of channel 0 (black) and 1 (red).
    for (const QImage &half : { wantTop, wantBottom }) {
        QVERIFY(pixelsOf(half, qRgb(0, 0, 0)) > 30);
        QVERIFY(pixelsOf(half, qRgb(255, 0, 0)) > 30);
        QVERIFY(pixelsOf(half, qRgb(200, 200, 200)) > 30);
    }
}

void TestBatchPlot::twoPointsLeaveThePlotsWhite()
{
    const PointSet set = threeChannelSet(2);
    QVERIFY(set.canEstimate());
    const DeadTimes dt = estimateDeadTimes(set);
    const QImage image = renderPlots(set, &dt, QSize(300, 200));
    QCOMPARE(pixelsOf(image, qRgb(255, 255, 255)), 300 * 200);
}

void TestBatchPlot::oneCommonChannelDrawsPointsOnly()
{
    PointSet set = threeChannelSet(3);
    set.add(1.2e5, { 120000 }, { 90000, 1 });
    QCOMPARE(set.chs(), 1);
    QVERIFY(!set.canEstimate());

    ScatterPlotData want;
    want.points = 4;
    want.chs = 1;
    want.xs = { icrs[0][0], icrs[1][0], icrs[2][0], 120000 };
    want.ys = { scas[0][0], scas[1][0], scas[2][0], 90000 };
    want.hasX = want.hasY = true;
    // The ranges take every value of every point, channels beyond the common one too.
    want.xMin = 8485;
    want.xMax = 120000;
    want.yMin = 1;
    want.yMax = 90000;

    const QImage image = renderPlots(set, nullptr, QSize(400, 300));
    const QImage bottom = image.copy(0, 150, 400, 150);
    QCOMPARE(bottom, displayPaint(want, 400, 150));
    QVERIFY(pixelsOf(bottom, qRgb(0, 0, 0)) > 30);
    QCOMPARE(pixelsOf(bottom, qRgb(255, 0, 0)), 0);
}

void TestBatchPlot::axesAndTitlesUnlessBare()
{
    const PointSet set = threeChannelSet(4);
    const DeadTimes dt = estimateDeadTimes(set);
    const QSize size(700, 600);
    const QImage bare = renderPlots(set, &dt, size);
    const QImage axes = renderPlots(set, &dt, size, true);
    QVERIFY(axes != bare);
    for (int half = 0; half < 2; ++half) {
        const QImage plot = axes.copy(0, half * 300, 700, 300);
        // Each plot is framed: two black columns run down most of it, and
        // its title and numbers leave text above and left of the frame.
        QVector<int> frame;
        for (int x = 0; x < 700; ++x) {
            int n = 0;
            for (int y = 0; y < 300; ++y)
                n += plot.pixel(x, y) == qRgb(0, 0, 0);
            if (n > 150)
                frame << x;
        }
        QCOMPARE(frame.size(), 2);
        QVERIFY(frame[0] > 40 && frame[1] < 650);
        const QImage above = plot.copy(frame[0], 0, frame[1] - frame[0], 12);
        QVERIFY(pixelsOf(above, qRgb(255, 255, 255)) < above.width() * above.height());
        // The legend right of the frame shows every channel's colour.
        const QImage legend = plot.copy(frame[1] + 1, 0, 700 - frame[1] - 1, 300);
        QVERIFY(pixelsOf(legend, qRgb(255, 0, 0)) >= 37);
        QVERIFY(pixelsOf(legend, qRgb(0, 255, 0)) >= 37);
    }
}

void TestBatchPlot::commandWritesThePlot_data()
{
    QTest::addColumn<bool>("bare");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("with axes, the default") << false << "plots.png" << QByteArray("png");
    QTest::newRow("--bare-plot, as the window shows it") << true << "plots.png" << QByteArray("png");
    QTest::newRow("BMP by its suffix") << false << "plots.bmp" << QByteArray("bmp");
    QTest::newRow("PNG without a suffix") << false << "plots" << QByteArray("png");
}

void TestBatchPlot::commandWritesThePlot()
{
    QFETCH(bool, bare);
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QTemporaryDir dir;
    const QString png = dir.filePath(name);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const QString input = testsupport::testDataPath(
            QStringLiteral("conformance/01_spectrum_4ch_2048bins/input/"));
    QStringList args { QStringLiteral("ratelens-batch") };
    for (int k = 1; k <= 5; ++k)
        args << input + QStringLiteral("Ti_I0scan_%1.dat").arg(k);
    if (bare)
        args << QStringLiteral("--bare-plot");
    args << QStringLiteral("--plot") << png << QStringLiteral("--size") << QStringLiteral("500x400");
    QCOMPARE(runBatch(args, outStream, errStream), int(BatchOk));
    errStream.flush();
    QCOMPARE(err, QString());

    QCOMPARE(QImageReader::imageFormat(png), format);
    QImage written(png);
    QCOMPARE(written.size(), QSize(500, 400));

    PointSet set;
    loadMeasurementFiles(args.mid(1, 5), set);
    const DeadTimes dt = estimateDeadTimes(set);
    QCOMPARE(written.convertToFormat(QImage::Format_RGB32),
             renderPlots(set, &dt, QSize(500, 400), !bare));

    args.last() = QStringLiteral("500X400");
    args[args.size() - 3] = dir.filePath(QStringLiteral("missing/folder/plots.png"));
    QCOMPARE(runBatch(args, outStream, errStream), int(BatchOutputError));
    errStream.flush();
    QVERIFY2(err.contains(QStringLiteral("cannot write ")), qPrintable(err));
}

QTEST_MAIN(TestBatchPlot)
#include "tst_batchplot.moc"
