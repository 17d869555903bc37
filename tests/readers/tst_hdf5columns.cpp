// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5columns.h"
#include "hdf5reply.h"

#include "h5scan.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <cmath>

using h5scan::Layout;
using h5scan::Type;

Q_DECLARE_METATYPE(h5scan::Layout)
Q_DECLARE_METATYPE(h5scan::Type)

namespace {

QString helperPath;

std::vector<Hdf5Request> scanRequests(const h5scan::Spec &spec, Layout layout)
{
    std::vector<Hdf5Request> r
        = { { QStringLiteral("I0"), QStringLiteral("/entry/scaler/I0"), -1 },
            { QStringLiteral("TSCALER"), QStringLiteral("/entry/scaler/TSCALER"), -1 } };
    for (int j = 0; j < spec.elements; ++j) {
        for (const char *what : { "OutputCounts", "DTFactor", "Clock" }) {
            const QString name = QStringLiteral("%1_mca%2").arg(QLatin1String(what)).arg(j + 1);
            if (layout == Layout::TwoD)
                r.push_back({ name, QStringLiteral("/entry/xspress3/") + QLatin1String(what), j });
            else
                r.push_back({ name,
                              QString::fromStdString(h5scan::elementGroup(j)) + QLatin1Char('/')
                                  + QLatin1String(what),
                              -1 });
        }
    }
    return r;
}

} // namespace

class TestHdf5Columns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void signature_data();
    void signature();
    void scanReadsBackAsWritten_data();
    void scanReadsBackAsWritten();
    void everyNumericType_data();
    void everyNumericType();
    void rowRange_data();
    void rowRange();
    void slices_data();
    void slices();
    void badFileOrRequest_data();
    void badFileOrRequest();
    void misbehavingHelper_data();
    void misbehavingHelper();
    void libraryCrashCostsOneMessage();
    void replyDecoderRefusesDamage_data();
    void replyDecoderRefusesDamage();
    void messagesInJapanese();

private:
    QTemporaryDir dir;
};

void TestHdf5Columns::initTestCase()
{
    QVERIFY(dir.isValid());
    helperPath = QStringLiteral(RATELENS_H5READ_BUILT);
    // A helper built with AddressSanitizer reports a deadly signal and then
    // exits with status 1; told to abort after its report, it ends by a
    // signal, as a crash does in a build without the sanitizer.
    const QByteArray asan = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "abort_on_error=1");
}

void TestHdf5Columns::init()
{
    qputenv("RATELENS_H5READ", helperPath.toLocal8Bit());
}

void TestHdf5Columns::signature_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("hdf5");
    const QByteArray sig("\x89HDF\r\n\x1a\n", 8);
    QTest::newRow("at the start") << sig + QByteArray(100, '\0') << true;
    QTest::newRow("after a user block of 512") << QByteArray(512, ' ') + sig << true;
    QTest::newRow("after a user block of 2048") << QByteArray(2048, 'u') + sig << true;
    QTest::newRow("at an offset that is no user block") << QByteArray(100, ' ') + sig << false;
    QTest::newRow("cut short") << sig.left(7) << false;
    QTest::newRow("PNG image") << QByteArray("\x89PNG\r\n\x1a\n", 8) << false;
    QTest::newRow("point table") << QByteArray("# Channels : 4\n1 2 3\n") << false;
}

void TestHdf5Columns::signature()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, hdf5);
    QCOMPARE(looksLikeHdf5(head), hdf5);
}

void TestHdf5Columns::scanReadsBackAsWritten_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<Type>("countType");
    QTest::addColumn<unsigned>("chunkRows");
    QTest::addColumn<int>("deflate");
    QTest::newRow("points x elements, u32, contiguous") << Layout::TwoD << Type::UInt32 << 0u << 0;
    QTest::newRow("points x elements, f32, chunks of 7 rows, gzip")
        << Layout::TwoD << Type::Float32 << 7u << 6;
    QTest::newRow("per element, i64, contiguous") << Layout::OneD << Type::Int64 << 0u << 0;
    QTest::newRow("per element, big-endian f64, chunks of 5")
        << Layout::OneD << Type::Float64BE << 5u << 0;
}

// The columns are the generator's values exactly, and the rates a recipe makes
// of them (ICR = OutputCounts x DTFactor / time) are the simulated input rates.
void TestHdf5Columns::scanReadsBackAsWritten()
{
    QFETCH(Layout, layout);
    QFETCH(Type, countType);
    QFETCH(unsigned, chunkRows);
    QFETCH(int, deflate);
    h5scan::Spec spec;
    spec.elements = 5, spec.points = 23, spec.layout = Layout::Both;
    spec.countType = countType, spec.chunkRows = chunkRows, spec.deflate = deflate;
    const h5scan::Scan scan = h5scan::simulate(spec);
    const QString path = dir.filePath(QStringLiteral("scan.h5"));
    QVERIFY(h5scan::writeScan(path.toStdString(), spec, scan));

    const std::vector<Hdf5Request> requests = scanRequests(spec, layout);
    const Hdf5Columns got = readHdf5Columns(path, requests);
    QVERIFY2(got.ok(), qPrintable(got.error));
    QCOMPARE(got.names.size(), int(requests.size()));
    QCOMPARE(got.names.at(2), QStringLiteral("OutputCounts_mca1"));
    QCOMPARE(got.columns.size(), requests.size());
    QCOMPARE(got.columns[0], scan.i0);
    QCOMPARE(got.columns[1], scan.tscaler);
    for (int j = 0; j < spec.elements; ++j) {
        const auto &counts = got.columns[2 + 3 * j];
        const auto &factor = got.columns[3 + 3 * j];
        const auto &clock = got.columns[4 + 3 * j];
        QCOMPARE(counts, scan.outputCounts[j]);
        QCOMPARE(factor, scan.dtFactor[j]);
        QCOMPARE(clock, scan.clock[j]);
        const int p = spec.points - 1;
        const double input = scan.gain[j] * got.columns[0][p] / (got.columns[1][p] / 50e6);
        const double icr = counts[p] * factor[p] / (clock[p] / 80e6);
        QVERIFY(testsupport::nearlyEqual(icr, input * std::exp(-input * scan.tau0[j]), 1e-4));
    }
}

void TestHdf5Columns::everyNumericType_data()
{
    QTest::addColumn<Type>("type");
    QTest::addColumn<std::vector<double>>("values");
    QTest::newRow("i8") << Type::Int8 << std::vector<double> { -128, 0, 127 };
    QTest::newRow("u8") << Type::UInt8 << std::vector<double> { 0, 1, 255 };
    QTest::newRow("i16") << Type::Int16 << std::vector<double> { -32768, 5, 32767 };
    QTest::newRow("u16") << Type::UInt16 << std::vector<double> { 0, 7, 65535 };
    QTest::newRow("i32") << Type::Int32 << std::vector<double> { -2147483648.0, 0, 2147483647.0 };
    QTest::newRow("u32") << Type::UInt32 << std::vector<double> { 0, 1, 4294967295.0 };
    QTest::newRow("i64 to 2^53") << Type::Int64
                                 << std::vector<double> { -9007199254740992.0, 3,
                                                          9007199254740992.0 };
    QTest::newRow("u64 to 2^53") << Type::UInt64
                                 << std::vector<double> { 0, 1, 9007199254740992.0 };
    QTest::newRow("big-endian i32") << Type::Int32BE << std::vector<double> { -5, 0, 70000 };
    QTest::newRow("f32") << Type::Float32 << std::vector<double> { -0.5, 1.5e-30, 3.25e38 };
    QTest::newRow("f64 with infinity and NaN")
        << Type::Float64 << std::vector<double> { -1e300, qInf(), qQNaN() };
    QTest::newRow("big-endian f64")
        << Type::Float64BE << std::vector<double> { 1e-300, -0.0, 42.125 };
}

// Each value comes back exactly, from a 1-D dataset and from both columns of a
// 2-D one (values and their negatives or halves, as stored).
void TestHdf5Columns::everyNumericType()
{
    QFETCH(Type, type);
    QFETCH(std::vector<double>, values);
    std::vector<double> other, rowMajor;
    for (double v : values)
        other.push_back(h5scan::stored(type, v >= 0 ? v / 2 : v + 1));
    for (std::size_t i = 0; i < values.size(); ++i)
        rowMajor.insert(rowMajor.end(), { values[i], other[i] });
    const QString path = dir.filePath(QStringLiteral("types.h5"));
    {
        h5scan::Writer w(path.toStdString());
        QVERIFY(w.dataset("/v", type, { values.size() }, values));
        QVERIFY(w.dataset("/m", type, { values.size(), 2 }, rowMajor));
    }
    const Hdf5Columns got = readHdf5Columns(path,
                                            { { QStringLiteral("v"), QStringLiteral("/v"), -1 },
                                              { QStringLiteral("m1"), QStringLiteral("/m"), 1 },
                                              { QStringLiteral("m0"), QStringLiteral("m"), 0 } });
    QVERIFY2(got.ok(), qPrintable(got.error));
    QCOMPARE(got.columns.size(), std::size_t(3));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double value = h5scan::stored(type, values[i]);
        QCOMPARE(got.columns[0][i], value);
        QCOMPARE(got.columns[1][i], other[i]);
        QCOMPARE(got.columns[2][i], value);
    }
    QCOMPARE(std::signbit(got.columns[0].back()), std::signbit(values.back()));
}

void TestHdf5Columns::rowRange_data()
{
    QTest::addColumn<QList<int>>("columns"); // of /wide; -1: the 1-D /one
    QTest::addColumn<unsigned>("chunkRows");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("count");
    QTest::addColumn<int>("rows");
    const QList<int> few { -1, 4 }; // read column by column
    const QList<int> most { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 }; // in whole rows
    const quint64 all = ~quint64(0);
    QTest::newRow("all rows") << few << 16u << quint64(0) << all << 1000;
    QTest::newRow("one of 12, contiguous") << QList<int> { 11 } << 0u << quint64(0) << all << 1000;
    QTest::newRow("three of 12 out of order") << QList<int> { 4, 0, 9 } << 16u << quint64(0) << all
                                              << 1000;
    QTest::newRow("all 12 and one twice") << most + QList<int> { 3 } << 16u << quint64(0) << all
                                          << 1000;
    QTest::newRow("a block within, few columns") << few << 16u << quint64(333) << quint64(100)
                                                 << 100;
    QTest::newRow("a block within, whole rows") << most << 16u << quint64(333) << quint64(100)
                                                << 100;
    QTest::newRow("a block within, contiguous") << most << 0u << quint64(333) << quint64(100)
                                                << 100;
    QTest::newRow("the last rows, cut short") << few << 16u << quint64(990) << quint64(50) << 10;
    QTest::newRow("the last rows of whole rows") << most << 16u << quint64(990) << quint64(50)
                                                 << 10;
    QTest::newRow("at the end: none") << few << 16u << quint64(1000) << quint64(5) << 0;
    QTest::newRow("past the end: none") << most << 16u << quint64(5000) << quint64(5) << 0;
}

// A range of rows of 1-D and 2-D datasets, read column by column or in blocks
// of whole rows that cross chunk and block boundaries: the rows there are,
// each with its own numbers, and no more.
void TestHdf5Columns::rowRange()
{
    QFETCH(QList<int>, columns);
    QFETCH(unsigned, chunkRows);
    QFETCH(quint64, first);
    QFETCH(quint64, count);
    QFETCH(int, rows);
    const std::size_t all = 1000, width = 12;
    std::vector<double> wide(all * width), one(all);
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = double(i % width) * 1e6 + double(i / width);
    for (std::size_t r = 0; r < all; ++r)
        one[r] = -double(r);
    const QString path = dir.filePath(QStringLiteral("range.h5"));
    {
        h5scan::Writer w(path.toStdString());
        QVERIFY(w.dataset("/wide", Type::Float64, { all, width }, wide, chunkRows));
        QVERIFY(w.dataset("/one", Type::Int32, { all }, one, chunkRows));
    }
    std::vector<Hdf5Request> requests;
    for (int c : columns)
        requests.push_back({ QStringLiteral("c%1").arg(c),
                             c < 0 ? QStringLiteral("/one") : QStringLiteral("/wide"), c });
    const Hdf5Columns got = readHdf5Columns(path, requests, Hdf5Limits(), { first, count });
    QVERIFY2(got.ok(), qPrintable(got.error));
    for (int i = 0; i < columns.size(); ++i) {
        QCOMPARE(int(got.columns[i].size()), rows);
        for (int r = 0; r < rows; ++r) {
            const double row = double(first) + r;
            QCOMPARE(got.columns[i][size_t(r)], columns[i] < 0 ? -row : columns[i] * 1e6 + row);
        }
    }
}

void TestHdf5Columns::slices_data()
{
    QTest::addColumn<QList<quint64>>("dims");
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<quint64>("first");
    QTest::addColumn<quint64>("count");
    QTest::addColumn<int>("rows");
    const quint64 all = ~quint64(0);
    const QList<quint64> map { 4, 3, 5 }; // elements x rows x columns
    QTest::newRow("a map, every element") << map << QList<int> { 0, 1, 2, 3 } << quint64(0) << all
                                          << 15;
    QTest::newRow("a map, one element") << map << QList<int> { 2 } << quint64(0) << all << 15;
    QTest::newRow("points across lines") << map << QList<int> { 3, 1 } << quint64(3)
                                         << quint64(9) << 9;
    QTest::newRow("the last point") << map << QList<int> { 1 } << quint64(14) << quint64(5) << 1;
    QTest::newRow("four dimensions") << QList<quint64> { 2, 2, 3, 4 } << QList<int> { 1 }
                                     << quint64(5) << quint64(13) << 13;
}

// A slice along the first axis of a dataset of three or more dimensions is
// one element's values in row-major order, as many points as it has values:
// a map's pixels line by line, also a part of them that crosses lines.
void TestHdf5Columns::slices()
{
    QFETCH(QList<quint64>, dims);
    QFETCH(QList<int>, slices);
    QFETCH(quint64, first);
    QFETCH(quint64, count);
    QFETCH(int, rows);
    std::vector<hsize_t> shape(dims.cbegin(), dims.cend());
    quint64 total = 1;
    for (quint64 d : dims)
        total *= d;
    const quint64 perSlice = total / dims.first();
    std::vector<double> values(total);
    for (quint64 i = 0; i < total; ++i)
        values[i] = double(i / perSlice) * 1000 + double(i % perSlice);
    const QString path = dir.filePath(QStringLiteral("map.h5"));
    {
        h5scan::Writer w(path.toStdString());
        QVERIFY(w.dataset("/MAPS_RAW/inputcounts", Type::Float32, shape, values));
    }
    std::vector<Hdf5Request> requests;
    for (int c : slices)
        requests.push_back(
            { QStringLiteral("icr%1").arg(c), QStringLiteral("/MAPS_RAW/inputcounts"), c });
    const Hdf5Columns got = readHdf5Columns(path, requests, Hdf5Limits(), { first, count });
    QVERIFY2(got.ok(), qPrintable(got.error));
    for (int i = 0; i < slices.size(); ++i) {
        QCOMPARE(int(got.columns[size_t(i)].size()), rows);
        for (int r = 0; r < rows; ++r)
            QCOMPARE(got.columns[size_t(i)][size_t(r)], slices[i] * 1000.0 + double(first) + r);
    }
}

void TestHdf5Columns::badFileOrRequest_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("dataset");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("message");
    const QString f = QStringLiteral("%FILE%");
    QTest::newRow("missing file") << QStringLiteral("none") << QStringLiteral("/entry/scaler/I0")
                                  << -1
                                  << QStringLiteral(
                                         "Cannot open %FILE%: No such file or directory");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("/entry/scaler/I0") << -1
                            << QStringLiteral("Cannot open %FILE%: file to open is a directory");
    QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("/entry/scaler/I0")
                                << -1 << f + QStringLiteral(": not an HDF5 file");
    QTest::newRow("text file") << QStringLiteral("text") << QStringLiteral("/entry/scaler/I0") << -1
                               << f + QStringLiteral(": not an HDF5 file");
    QTest::newRow("truncated file")
        << QStringLiteral("truncated") << QStringLiteral("/entry/scaler/I0") << -1
        << f
            + QStringLiteral(": cannot be opened as HDF5; the file is truncated or damaged "
                             "(truncated file: eof = 4096");
    QTest::newRow("damaged object header")
        << QStringLiteral("damaged") << QStringLiteral("/entry/xspress3/Clock") << 0
        << f
            + QStringLiteral(": dataset /entry/xspress3/Clock cannot be read; the file is damaged "
                             "(bad object header version number)");
    QTest::newRow("numbers 32 bytes wide")
        << QStringLiteral("scan") << QStringLiteral("/entry/wide") << -1
        << f
            + QStringLiteral(
                ": dataset /entry/wide cannot be read; the file is damaged (numbers of 32 bytes)");
    QTest::newRow("no such dataset")
        << QStringLiteral("scan") << QStringLiteral("/entry/scaler/I1") << -1
        << f + QStringLiteral(": no dataset /entry/scaler/I1; /entry/scaler holds I0");
    QTest::newRow("no such group")
        << QStringLiteral("scan") << QStringLiteral("/entry/nope/I0") << -1
        << f
            + QStringLiteral(": no dataset /entry/nope/I0; /entry holds cube, scaler, short, "
                             "title, wide, xspress3");
    QTest::newRow("below a dataset")
        << QStringLiteral("scan") << QStringLiteral("/entry/short/I0") << -1
        << f
            + QStringLiteral(": no dataset /entry/short/I0; /entry holds cube, scaler, short, "
                             "title, wide, xspress3");
    QTest::newRow("a group") << QStringLiteral("scan") << QStringLiteral("/entry/xspress3") << -1
                             << f + QStringLiteral(": /entry/xspress3 is not a dataset");
    QTest::newRow("strings")
        << QStringLiteral("scan") << QStringLiteral("/entry/title") << -1
        << f
            + QStringLiteral(
                ": dataset /entry/title holds values of HDF5 class string, not numbers");
    QTest::newRow("2-D without a column")
        << QStringLiteral("scan") << QStringLiteral("/entry/xspress3/Clock") << -1
        << f
            + QStringLiteral(": dataset /entry/xspress3/Clock has 2 dimensions (points x "
                             "elements): name one of its columns, as in /entry/xspress3/Clock[0]");
    QTest::newRow("a column of 1-D")
        << QStringLiteral("scan") << QStringLiteral("/entry/scaler/I0") << 0
        << f
            + QStringLiteral(": dataset /entry/scaler/I0 has 1 dimensions, so it has no column 0: "
                             "columns are read from datasets of 2 (points x elements), slices "
                             "from those of 3 or more (elements x rows x columns)");
    QTest::newRow("3-D without a slice")
        << QStringLiteral("scan") << QStringLiteral("/entry/cube") << -1
        << f
            + QStringLiteral(": dataset /entry/cube has 3 dimensions (elements x rows x "
                             "columns): name one of its slices along the first axis, as in "
                             "/entry/cube[0]");
    QTest::newRow("3-D slice of other length")
        << QStringLiteral("scan") << QStringLiteral("/entry/cube") << 1
        << f + QStringLiteral(": dataset /entry/cube has 4 points, but /entry/scaler/I0 has 20");
    QTest::newRow("column past the last")
        << QStringLiteral("scan") << QStringLiteral("/entry/xspress3/Clock") << 4
        << f
            + QStringLiteral(
                ": dataset /entry/xspress3/Clock has 4 columns (0 to 3), so it has no column 4");
    QTest::newRow("one point short")
        << QStringLiteral("scan") << QStringLiteral("/entry/short") << -1
        << f + QStringLiteral(": dataset /entry/short has 19 points, but /entry/scaler/I0 has 20");
}

// Every bad file or request gives one message naming the file, the dataset
// and the cause. The request is I0 first, then the row's dataset.
void TestHdf5Columns::badFileOrRequest()
{
    QFETCH(QString, file);
    QFETCH(QString, dataset);
    QFETCH(int, column);
    QFETCH(QString, message);
    h5scan::Spec spec;
    const QString scan = dir.filePath(QStringLiteral("bad.h5"));
    QVERIFY(h5scan::writeScan(scan.toStdString(), spec, h5scan::simulate(spec)));
    // A name with a place holder and a non-ASCII letter: messages and paths keep it.
    const QString odd = dir.filePath(QStringLiteral("odd %2 \u00fc.h5"));
    {
        h5scan::Writer w(odd.toStdString());
        QVERIFY(w.dataset("/entry/scaler/I0", Type::UInt32, { 20 }, std::vector<double>(20, 1.0)));
        QVERIFY(w.dataset("/entry/xspress3/Clock", Type::Int64, { 20, 4 },
                          std::vector<double>(80, 2.0)));
        QVERIFY(w.strings("/entry/title", { "energy scan", "x" }));
        QVERIFY(
            w.dataset("/entry/cube", Type::Float32, { 20, 2, 2 }, std::vector<double>(80, 0.5)));
        QVERIFY(w.dataset("/entry/short", Type::Float64, { 19 }, std::vector<double>(19, 0.5)));
        const hid_t wide = H5Tcopy(H5T_STD_U32LE);
        H5Tset_size(wide, 32);
        QVERIFY(w.dataset("/entry/wide", wide, { 20 }, std::vector<double>(20, 1.0)));
        H5Tclose(wide);
    }
    QString path = odd;
    if (file == QLatin1String("none")) {
        path = dir.filePath(QStringLiteral("none.h5"));
    } else if (file == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("folder.h5"));
        QVERIFY(QDir().mkpath(path));
    } else if (file == QLatin1String("empty")) {
        path = dir.filePath(QStringLiteral("empty.h5"));
        QVERIFY(testsupport::writeFileBytes(path, QByteArray()));
    } else if (file == QLatin1String("text")) {
        path = dir.filePath(QStringLiteral("table.dat"));
        QVERIFY(testsupport::writeFileBytes(path, "# Channels : 1\n1 2 3\n"));
    } else if (file == QLatin1String("damaged")) {
        path = dir.filePath(QStringLiteral("damaged.h5"));
        const long long at = h5scan::objectAddress(scan.toStdString(), "/entry/xspress3/Clock");
        QVERIFY(at > 0);
        const QByteArray damaged
                = testsupport::readFileBytes(scan).replace(int(at), 16, QByteArray(16, '\xff'));
        QVERIFY(testsupport::writeFileBytes(path, damaged));
    } else if (file == QLatin1String("truncated")) {
        path = dir.filePath(QStringLiteral("cut.h5"));
        QVERIFY(testsupport::writeFileBytes(path, testsupport::readFileBytes(scan).left(4096)));
    }
    const Hdf5Columns got
        = readHdf5Columns(path,
                          { { QStringLiteral("I0"), QStringLiteral("/entry/scaler/I0"), -1 },
                            { QStringLiteral("x"), dataset, column } });
    QVERIFY(!got.ok());
    QVERIFY(got.columns.empty());
    const QString expected = QString(message).replace(QStringLiteral("%FILE%"), path);
    QVERIFY2(got.error.startsWith(expected), qPrintable(got.error));
}

void TestHdf5Columns::misbehavingHelper_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("message");
    // Only the helper that hangs meets its time limit: the others have the
    // default minute, which no load or sanitizer comes near, so that a crash
    // is told by how the helper ended, never by how long it took to end.
    const int minute = Hdf5Limits().timeoutMs;
    const QString crashed
        = QStringLiteral(": the HDF5 reader crashed on this file; it may be damaged");
    QTest::newRow("aborts") << QStringLiteral("abort") << minute << crashed;
    QTest::newRow("segmentation fault") << QStringLiteral("segv") << minute << crashed;
    QTest::newRow("hangs") << QStringLiteral("hang") << 3000
                           << QStringLiteral(
                                  ": the HDF5 reader gave no answer within 3 s and was stopped");
    QTest::newRow("fails") << QStringLiteral("status") << minute
                           << QStringLiteral(": the HDF5 reader failed (exit status 3)");
    QTest::newRow("answers garbage") << QStringLiteral("garbage") << minute
                                     << QStringLiteral(": the HDF5 reader's answer is malformed: ");
    QTest::newRow("floods") << QStringLiteral("flood") << minute
                            << QStringLiteral(": the HDF5 reader's answer is malformed: it does "
                                              "not start with the reply signature");
    QTest::newRow("is missing")
        << QStringLiteral("missing") << minute
        << QStringLiteral(": HDF5 files cannot be read: the helper program ");
}

// A helper that crashes, hangs, fails or lies costs the caller one read with a
// message naming the file; the next read with the real helper works.
void TestHdf5Columns::misbehavingHelper()
{
    QFETCH(QString, mode);
    QFETCH(int, timeoutMs);
    QFETCH(QString, message);
    h5scan::Spec spec;
    const QString scan = dir.filePath(QStringLiteral("ok.h5"));
    QVERIFY(h5scan::writeScan(scan.toStdString(), spec, h5scan::simulate(spec)));
    const std::vector<Hdf5Request> requests = scanRequests(spec, Layout::TwoD);

    qputenv("RATELENS_H5READ",
            mode == QLatin1String("missing")
                ? dir.filePath(QStringLiteral("no-such-helper")).toLocal8Bit()
                : QByteArray(RATELENS_FAKE_H5READ));
    qputenv("RATELENS_FAKE_H5READ", mode.toLatin1());
    Hdf5Limits limits;
    limits.timeoutMs = timeoutMs;
    limits.maxValues = 1000;
    const Hdf5Columns got = readHdf5Columns(scan, requests, limits);
    QVERIFY(!got.ok());
    QVERIFY2(got.error.startsWith(scan + message), qPrintable(got.error));

    qputenv("RATELENS_H5READ", helperPath.toLocal8Bit());
    const Hdf5Columns again = readHdf5Columns(scan, requests);
    QVERIFY2(again.ok(), qPrintable(again.error));
    QCOMPARE(again.columns.size(), requests.size());
}

namespace {

// A file the HDF5 library (1.10.8) dies on with a division by zero when it
// opens a dataset: the layout message of the chunked /entry/scaler/I0 claims
// version 2 while it is written in the form of version 3. Found by fuzz_hdf5file.
QByteArray crashingScan(const QString &scan)
{
    QByteArray bytes = testsupport::readFileBytes(scan);
    const long long header = h5scan::objectAddress(scan.toStdString(), "/entry/scaler/I0");
    // message type 8 (layout), flags and reserved 0, then version 3, class 2 (chunked)
    const QByteArray layout("\x08\x00", 2);
    for (int at = bytes.indexOf(layout, int(header)); at >= 0 && at < header + 512;
         at = bytes.indexOf(layout, at + 1)) {
        if (bytes.mid(at + 4, 6) == QByteArray("\0\0\0\0\x03\x02", 6)) {
            bytes[at + 8] = 2;
            return bytes;
        }
    }
    return QByteArray();
}

} // namespace

// The real helper on a file that crashes the HDF5 library: the caller gets one
// message naming the file, and the next file reads.
void TestHdf5Columns::libraryCrashCostsOneMessage()
{
    h5scan::Spec spec;
    spec.elements = 2, spec.points = 3, spec.chunkRows = 1;
    const QString scan = dir.filePath(QStringLiteral("seed.h5"));
    QVERIFY(h5scan::writeScan(scan.toStdString(), spec, h5scan::simulate(spec)));
    const QByteArray crafted = crashingScan(scan);
    QVERIFY(!crafted.isEmpty());
    const QString path = dir.filePath(QStringLiteral("crafted.h5"));
    QVERIFY(testsupport::writeFileBytes(path, crafted));

    const std::vector<Hdf5Request> requests = scanRequests(spec, Layout::TwoD);
    const Hdf5Columns got = readHdf5Columns(path, requests);
    unsigned major = 0, minor = 0, release = 0;
    H5get_libversion(&major, &minor, &release);
    const QString crashed
        = path + QStringLiteral(": the HDF5 reader crashed on this file; it may be damaged");
    if (major == 1 && minor == 10 && release == 8)
        QCOMPARE(got.error, crashed);
    else // a library that has mended the fault refuses the file instead
        QVERIFY2(got.error == crashed
                     || got.error.startsWith(
                         path + QStringLiteral(": dataset /entry/scaler/I0 cannot be read")),
                 qPrintable(got.error));
    QVERIFY(got.columns.empty());

    const Hdf5Columns again = readHdf5Columns(scan, requests);
    QVERIFY2(again.ok(), qPrintable(again.error));
}

void TestHdf5Columns::replyDecoderRefusesDamage_data()
{
    QTest::addColumn<int>("cut"); // bytes cut off the end (negative: appended)
    QTest::addColumn<int>("at"); // byte set to 0xff (-1: none)
    QTest::addColumn<int>("columns"); // expected
    QTest::addColumn<bool>("ok");
    QTest::newRow("intact") << 0 << -1 << 2 << true;
    QTest::newRow("one value byte short") << 1 << -1 << 2 << false;
    QTest::newRow("a stray byte after") << -1 << -1 << 2 << false;
    QTest::newRow("cut in the column count") << 57 << -1 << 2 << false;
    QTest::newRow("signature damaged") << 0 << 3 << 2 << false;
    QTest::newRow("unknown fault code") << 0 << 8 << 2 << false;
    QTest::newRow("column count damaged") << 0 << 9 << 2 << false;
    QTest::newRow("row count past the limit") << 0 << 20 << 2 << false;
    QTest::newRow("one column fewer than asked for") << 0 << -1 << 3 << false;
    QTest::newRow("one column more than asked for") << 0 << -1 << 1 << false;
}

// The reply comes from a process a crafted file may have taken over: every
// damage to it is refused, never read past or allocated for.
void TestHdf5Columns::replyDecoderRefusesDamage()
{
    QFETCH(int, cut);
    QFETCH(int, at);
    QFETCH(int, columns);
    QFETCH(bool, ok);
    const auto cutOrLengthen = [cut](const QByteArray &b) {
        return cut >= 0 ? b.left(b.size() - cut) : b + QByteArray(-cut, '\0');
    };
    Hdf5Reply sent;
    sent.columns = { { 1.0, 2.0, 3.0 }, { -4.0, qInf(), 6.5 } };
    QByteArray bytes = encodeHdf5Reply(sent);
    QCOMPARE(bytes.size(), 8 + 1 + 4 + 8 + 48);
    bytes = cutOrLengthen(bytes);
    if (at >= 0)
        bytes[at] = char(0xff);
    Hdf5Reply got;
    const QString why = decodeHdf5Reply(bytes, std::size_t(columns), 1000, got);
    QCOMPARE(why.isEmpty(), ok);
    // Byte by byte, as a slow pipe may bring it: the same verdict.
    Hdf5ReplyReader reader(std::size_t(columns), 1000);
    for (char c : qAsConst(bytes))
        reader.feed(&c, 1);
    Hdf5Reply slow;
    QCOMPARE(reader.finish(slow), why);
    QCOMPARE(slow.columns, got.columns);
    QCOMPARE(got.columns, ok ? sent.columns : std::vector<std::vector<double>>());
    if (!ok)
        QVERIFY(got.fault != Hdf5Fault::None);

    Hdf5Reply fault;
    fault.fault = Hdf5Fault::LengthMismatch;
    fault.dataset = QStringLiteral("/a"), fault.otherDataset = QStringLiteral("/b");
    fault.found = 3, fault.limit = 4;
    // A fault report cut short or followed by stray bytes is no report of
    // that fault, whatever it says.
    const QString whyNot = decodeHdf5Reply(cutOrLengthen(encodeHdf5Reply(fault)), 1, 1000, got);
    QCOMPARE(whyNot.isEmpty(), cut == 0);
    QCOMPARE(got.fault, cut == 0 ? Hdf5Fault::LengthMismatch : Hdf5Fault::CannotRead);
}

// The messages reach the window's message line in the user's language.
void TestHdf5Columns::messagesInJapanese()
{
    QTranslator japanese;
    QVERIFY(japanese.load(QStringLiteral(":Ratelens_ja_JP")));
    QCoreApplication::installTranslator(&japanese);
    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(testsupport::writeFileBytes(text, "not HDF5\n"));
    const Hdf5Columns got
        = readHdf5Columns(text, { { QStringLiteral("I0"), QStringLiteral("/I0"), -1 } });
    QCoreApplication::removeTranslator(&japanese);
    QCOMPARE(got.error, text + QStringLiteral(": HDF5 ファイルではありません"));
}

QTEST_GUILESS_MAIN(TestHdf5Columns)
#include "tst_hdf5columns.moc"
