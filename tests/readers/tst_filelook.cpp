// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelook.h"
#include "loader.h"
#include "pointset.h"
#include "recipe.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <zlib.h>

#include "testsupport.h"

// Files are told by what they are before any reader runs: a column file, a
// SPEC file, a gzip file, a binary file or a JSON document is never read as
// a point table of one channel without a word, while the spectrum files and
// point tables read exactly as they always did.
class TestFileLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void recognised_data();
    void recognised();
    void nativeReadsAsEver_data();
    void nativeReadsAsEver();
    void gzipFaults_data();
    void gzipFaults();
    void specScanChoice_data();
    void specScanChoice();
    void saidInJapanese();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        return testsupport::writeFileBytes(path, bytes) ? path : QString();
    }
    QTemporaryDir dir;
};

namespace {

// gzip's own format, as the gzip program writes it, of bytes in memory.
QByteArray gzipped(const QByteArray &bytes)
{
    z_stream z {};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(bytes.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

// Rows of I0 and per element ICR and OCR, the rates of a detector.
QByteArray rows(int elements, int count, const char *separator = " ")
{
    QByteArray text;
    for (int r = 1; r <= count; ++r) {
        QList<QByteArray> f { QByteArray::number(1000 * r) };
        for (int e = 1; e <= elements; ++e)
            f << QByteArray::number(900 * r - e);
        for (int e = 1; e <= elements; ++e)
            f << QByteArray::number(800 * r - e);
        text += f.join(separator) + '\n';
    }
    return text;
}

QByteArray deadTimesJson()
{
    return "{\n    \"channels\": [],\n    \"format\": \"ratelens-dead-times\",\n"
           "    \"version\": 1\n}\n";
}

QByteArray specFile(int scans)
{
    QByteArray text = "#F x.spec\n#E 1700000000\n\n";
    for (int s = 1; s <= scans; ++s) {
        text += "#S " + QByteArray::number(s) + (s == 2 ? "  timescan" : "  ascan") + "\n";
        text += "#L I0  Seconds  ICR1  ICR2  OCR1  OCR2\n";
        text += "1000 1 900 899 800 799\n2000 1 1800 1799 1600 1599\n";
        if (s == 2)
            text += "3000 1 2700 2699 2400 2399\n";
        text += "\n";
    }
    return text;
}

} // namespace

void TestFileLook::recognised_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("channels"); // of the points read; 0: refused
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("looksLike");

    const QString wide = QStringLiteral("a column file of %1 fields per row (line %2) without a "
                                        "\"# Channels :\" header, and no built-in recipe fits "
                                        "the columns %3");
    QTest::newRow("one label line of ICR{n} and OCR{n}")
        << "# I0 ICR1 ICR2 ICR3 ICR4 OCR1 OCR2 OCR3 OCR4\n" + rows(4, 3) << 4 << 3 << QString();
    QTest::newRow("running suffixes after the kind")
        << "# I0 D1_ICR_c2 D2_ICR_c3 D1_OCR_c4 D2_OCR_c5\n" + rows(2, 3, "\t") << 2 << 3
        << QString();
    QTest::newRow("a SPEC file of one scan") << specFile(1) << 2 << 2 << QString();
    QTest::newRow("a SPEC file of two scans, none chosen")
        << specFile(2) << 0 << 0
        << "a SPEC file of 2 scans: 1 (ascan), 2 (timescan); choose one by its number (scan = N "
           "in a recipe, or --scan N)";
    QTest::newRow("names no recipe maps")
        << "# A B C D E\n" + rows(2, 3) << 0 << 0 << wide.arg(5).arg(2).arg("A B C D E");
    QTest::newRow("rows without names")
        << rows(2, 3) << 0 << 0 << wide.arg(5).arg(1).arg("$1 $2 $3 $4 $5");
    QTest::newRow("PNG image") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x08", 20) << 0
                               << 0 << "binary file, not a text recording";
    QTest::newRow("binary dump") << QByteArray(
        "DC01\x01\x02\x03\x04\x05\x06\x07\x08\x0e\x0f\x10\x11\x12\x13"
        "\x14\x15\x16 1 2 3\n") << 0
                                 << 0 << "binary file, not a text recording";
    QTest::newRow("the program's dead-time file")
        << deadTimesJson() << 0 << 0 << "a dead-time file: give it to `correct --dead-times`";
    QTest::newRow("another JSON document")
        << QByteArray("[1, 2, 3]\n") << 0 << 0 << "a JSON document, not a measurement";
    // Genuine point tables.
    QTest::newRow("one channel without a header")
        << "# I0 ICR SCA\n" + rows(1, 3) << 1 << 3 << QString();
    // The rows before a header are points of one channel, as ever.
    QTest::newRow("header after wide rows")
        << "31000 30974 23083 32410 14270 11547 15882\n# Channels : 3\n" + rows(3, 2) << 1 << 3
        << QString();
    QTest::newRow("header beyond the first MiB")
        << "# A B C D E\n" + rows(2, 50000) + "# Channels : 2\n" + rows(2, 1) << 1 << 50001
        << QString();
    QTest::newRow("one-channel table in UTF-16") << QByteArray("\xFF\xFE"
                                                               "1\0 \0"
                                                               "2\0 \0"
                                                               "3\0\n\0",
                                                               14)
                                                 << 1 << 1 << QString();
}

// In the batch command's mode a file that is not what it could be read as is
// refused, saying what it looks like; in the window's it is read as a point
// table, as the window reads every file, and says the same.
void TestFileLook::recognised()
{
    QFETCH(QByteArray, content);
    QFETCH(int, channels);
    QFETCH(int, points);
    QFETCH(QString, looksLike);
    const QString path = write(QStringLiteral("file.dat"), content);
    LoadOptions refuse;
    refuse.unrecognised = LoadOptions::Unrecognised::Refuse;
    PointSet strict;
    const FileReport r = loadMeasurementFiles({ path }, strict, TraceSink(), refuse).first();
    QCOMPARE(r.looksLike, looksLike);
    QCOMPARE(r.refused, channels == 0);
    QCOMPARE(r.error, looksLike);
    QCOMPARE(strict.size(), points);
    if (channels > 0)
        QCOMPARE(strict.chs(), channels);

    PointSet lenient;
    const FileReport w = loadMeasurementFiles({ path }, lenient).first();
    QCOMPARE(w.looksLike, looksLike);
    QVERIFY(!w.refused);
    PointSet asTable;
    loadPointTable(path, asTable);
    if (channels == 0)
        QCOMPARE(lenient.size(), asTable.size());
}

void TestFileLook::nativeReadsAsEver_data()
{
    QTest::addColumn<QString>("path");
    const QDir conformance(testsupport::testDataPath(QStringLiteral("conformance")));
    for (const QString &c : conformance.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir input(conformance.filePath(c + QStringLiteral("/input")));
        for (const QString &f : input.entryList(QDir::Files))
            QTest::newRow(qPrintable(c + '/' + f)) << input.filePath(f);
    }
}

// Every file of the recorded cases, as it is and compressed with gzip, gives
// the points and the debug lines of the native readers alone.
void TestFileLook::nativeReadsAsEver()
{
    QFETCH(QString, path);
    auto load = [](const QString &file, const LoadOptions &options, QStringList &trace) {
        PointSet points;
        loadMeasurementFiles(
            { file }, points, [&trace](const QString &line) { trace.append(line); }, options);
        return points;
    };
    LoadOptions refuse;
    refuse.unrecognised = LoadOptions::Unrecognised::Refuse;
    LoadOptions native;
    native.pointTable = true;
    QStringList expectedTrace, trace, gzTrace;
    const PointSet expected = load(path, native, expectedTrace);
    const PointSet points = load(path, refuse, trace);
    const QString gz
        = write(QStringLiteral("native.dat.gz"), gzipped(testsupport::readFileBytes(path)));
    const PointSet fromGzip = load(gz, refuse, gzTrace);
    QVERIFY(expected.size() > 0);
    QCOMPARE(trace, expectedTrace);
    QCOMPARE(gzTrace, expectedTrace);
    QCOMPARE(points.size(), expected.size());
    QCOMPARE(fromGzip.size(), expected.size());
    for (int p = 0; p < expected.size(); ++p) {
        for (const PointSet *other : { &points, &fromGzip }) {
            QCOMPARE(other->at(p).i0, expected.at(p).i0);
            QCOMPARE(other->at(p).icrs, expected.at(p).icrs);
            QCOMPARE(other->at(p).scas, expected.at(p).scas);
            QCOMPARE(other->source(p).line, expected.source(p).line);
        }
    }
}

void TestFileLook::gzipFaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    const QByteArray whole = gzipped("# Channels : 1\n" + rows(1, 2000));
    QTest::newRow("cut short") << whole.left(whole.size() / 2)
                               << "the gzip data end early: the file is truncated";
    QByteArray damaged = whole;
    damaged[20] = char(~damaged.at(20));
    damaged[21] = char(~damaged.at(21));
    QTest::newRow("damaged") << damaged << "damaged gzip data (";
    QTest::newRow("HDF5 inside")
        << gzipped(QByteArray("\x89HDF\r\n\x1a\n", 8) + QByteArray(64, '\0'))
        << "an HDF5 file compressed with gzip: decompress it first (gunzip)";
}

void TestFileLook::gzipFaults()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    PointSet points;
    const FileReport r = loadMeasurementFiles({ write("bad.gz", content) }, points).first();
    QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
    QCOMPARE(points.size(), 0);
}

void TestFileLook::specScanChoice_data()
{
    QTest::addColumn<int>("optionScan");
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<int>("points"); // 0: error
    QTest::addColumn<int>("firstLine");
    QTest::addColumn<QString>("error");

    QTest::newRow("--scan 2") << 2 << QString() << 3 << 11 << QString();
    QTest::newRow("scan = 1 in the recipe")
        << 0 << "scan = 1\nelements = 1-2\ni0 = I0\nicr = ICR{n}\nsca = OCR{n}\n"
        << 2 << 6 << QString();
    QTest::newRow("--scan over the recipe's")
        << 3 << "scan = 1\nelements = 1-2\ni0 = I0\nicr = ICR{n}\nsca = OCR{n}\n"
        << 2 << 17 << QString();
    QTest::newRow("no such scan") << 4 << QString() << 0 << 0
                                  << "no scan 4 in the file; its scans are 1 (ascan), 2 "
                                     "(timescan), 3 (ascan)";
}

void TestFileLook::specScanChoice()
{
    QFETCH(int, optionScan);
    QFETCH(QString, recipe);
    QFETCH(int, points);
    QFETCH(int, firstLine);
    QFETCH(QString, error);
    LoadOptions options;
    options.scan = optionScan;
    const RecipeParse parsed = parseRecipe(recipe);
    if (!recipe.isEmpty())
        options.recipe = &parsed.recipe;
    PointSet set;
    const FileReport r
        = loadMeasurementFiles({ write("three.spec", specFile(3)) }, set, TraceSink(), options)
              .first();
    QCOMPARE(r.error, error);
    QCOMPARE(set.size(), points);
    if (points > 0) {
        QCOMPARE(set.source(0).line, firstLine);
        QVERIFY2(r.recipeText.startsWith(
                     QStringLiteral("scan = %1\n").arg(optionScan > 0 ? optionScan : 1)),
                 qPrintable(r.recipeText));
    }
}

// What a file looks like is said in the language of the interface.
void TestFileLook::saidInJapanese()
{
    QTranslator japanese;
    QVERIFY(japanese.load(QStringLiteral(":Ratelens_ja_JP")));
    QCoreApplication::installTranslator(&japanese);
    PointSet points;
    LoadOptions refuse;
    refuse.unrecognised = LoadOptions::Unrecognised::Refuse;
    const FileReport spec
        = loadMeasurementFiles({ write("two.spec", specFile(2)) }, points, TraceSink(), refuse)
              .first();
    const FileReport json
        = loadMeasurementFiles({ write("dt.json", deadTimesJson()) }, points, TraceSink(), refuse)
              .first();
    QCoreApplication::removeTranslator(&japanese);
    QCOMPARE(spec.error,
             QString::fromUtf8("スキャンが 2 個ある SPEC ファイルです: 1 (ascan), 2 (timescan)。"
                               "番号で 1 つ選んでください (レシピの scan = N、または --scan N)"));
    QCOMPARE(json.error,
             QString::fromUtf8("不感時間ファイルです: `correct --dead-times` に指定してください"));
}

QTEST_GUILESS_MAIN(TestFileLook)
#include "tst_filelook.moc"
