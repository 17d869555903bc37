// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5scan.h"
#include "loader.h"
#include "mcafile.h"
#include "pointset.h"
#include "recipe.h"
#include "singlespectrum.h"
#include "tableremarks.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "hdf5columns.h"
#include "testsupport.h"

namespace {

const QByteArray xdi("# XDI/1.0\n# Column.1: I0\n# Column.2: count_time s\n# Column.3: ICR1\n"
                     "# Column.4: ICR2\n# Column.5: OCR1\n# Column.6: OCR2\n# ///\n"
                     "100 2 90 80 70 60\n200 2 170 150 130 110\n");

// An MCA file of two elements with 8 bins each; counts 1..8 in element 1,
// twice that in element 2.
QByteArray mcaText(const QByteArray &extra = QByteArray(), int rows = 8)
{
    QByteArray t("VERSION: 3.1\nELEMENTS: 2\nCHANNELS: 8\nREAL_TIME: 10 10\n"
                 "LIVE_TIME: 5 8\nENVIRONMENT: I0=\"250.5\" (ion chamber)\n");
    t += extra + "DATA:\n";
    for (int b = 0; b < rows; ++b)
        t += QByteArray::number(b + 1) + ' ' + QByteArray::number(2 * (b + 1)) + '\n';
    return t;
}

ScanRead mcaScan(const QByteArray &text, const QString &recipe)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    const RecipeParse p = parseRecipe(recipe);
    return readMcaScan(buffer, p.ok() ? &p.recipe : nullptr);
}

} // namespace

class TestRecordings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void xdiGoesToTheColumnReader();
    void badRecordingKeepsWhatWasLoaded();
    void plainTableIsReadAsBeforeWithRemarks();
    void emptyCsvFieldsAreMissingValues();
    void singleSpectrum_data();
    void singleSpectrum();
    void remarksAlikeInBlocks_data();
    void remarksAlikeInBlocks();
    void remarksOfGeneratedLines_data();
    void remarksOfGeneratedLines();
    void mca();
    void mcaErrors_data();
    void mcaErrors();
    void hdf5Requests_data();
    void hdf5Requests();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        return testsupport::writeFileBytes(path, bytes) ? path : QString();
    }
    QTemporaryDir dir;
};

void TestRecordings::xdiGoesToTheColumnReader()
{
    PointSet points;
    const QVector<FileReport> r = loadMeasurementFiles({ write("a.xdi", xdi) }, points);
    QCOMPARE(r.size(), 1);
    QVERIFY2(r[0].error.isEmpty(), qPrintable(r[0].error));
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.chs(), 2);
    QCOMPARE(points.at(1).i0, 100.0);
    QCOMPARE(points.at(1).icrs, QVector<double>({ 85, 75 }));
    QCOMPARE(points.at(0).scas, QVector<double>({ 35, 30 }));
    QCOMPARE(points.source(1).line, 10);
    QVERIFY(r[0].notes.join(' ').contains("built-in recipe ICR{n}/OCR{n}"));
}

void TestRecordings::badRecordingKeepsWhatWasLoaded()
{
    PointSet points;
    loadMeasurementFiles({ write("good.xdi", xdi) }, points);
    QByteArray bad = xdi;
    bad.replace("200 2 170", "200 0 170");
    const QVector<FileReport> r = loadMeasurementFiles({ write("bad.xdi", bad) }, points);
    QCOMPARE(
        r[0].error,
        QString("line 10: i0 of element 1 = I0 / count_time is not finite (division by zero)"));
    QCOMPARE(r[0].points, 0);
    QCOMPARE(problemText(r[0]), r[0].error);
    QCOMPARE(points.size(), 2);
}

void TestRecordings::plainTableIsReadAsBeforeWithRemarks()
{
    // Without the XDI line the same rows are still a column file by their
    // names; read as a point table on request, they are one channel, and the
    // report says what was passed over.
    QByteArray plain = xdi.mid(xdi.indexOf("# Column.1"));
    plain.insert(0, "Energy scan\n");
    const QString path = write("plain.dat", plain);
    PointSet byNames;
    QVector<FileReport> r = loadMeasurementFiles({ path }, byNames);
    QCOMPARE(byNames.chs(), 2);
    QCOMPARE(byNames.at(1).icrs, QVector<double>({ 85, 75 }));

    LoadOptions asTable;
    asTable.pointTable = true;
    PointSet points;
    r = loadMeasurementFiles({ path }, points, TraceSink(), asTable);
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.chs(), 1);
    QCOMPARE(points.at(0).icrs, QVector<double>({ 2 }));
    QCOMPARE(r[0].warnings,
             QStringList("read as a point table with up to 6 fields per line, of which a point "
                         "table of 1 channel(s) uses 3 and 1 line(s) that are not numbers (the "
                         "first is line 1); if it is a column file, read it with a recipe"));

    PointSet same;
    const QVector<FileReport> fitting
        = loadMeasurementFiles({ write("fits.dat", "# Channels : 2\n1 2 3 4 5\n") }, same);
    QVERIFY(fitting[0].warnings.isEmpty());
}

// A CSV file of one label line, as spreadsheets and pandas write it, with a
// value missing: the row is read with not-a-number there, and the report
// says where, as it names text fields.
void TestRecordings::emptyCsvFieldsAreMissingValues()
{
    const QByteArray csv("I0,IntTime,ICR1,ICR2,OCR1,OCR2\r\n200,2,180,,140,120\r\n"
                         "400,2,340,300,260,220\r\n");
    PointSet points;
    const FileReport r = loadMeasurementFiles({ write("missing.csv", csv) }, points).first();
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.at(0).i0, 100.0);
    QCOMPARE(points.at(0).icrs.at(0), 90.0);
    QVERIFY(qIsNaN(points.at(0).icrs.at(1)));
    QCOMPARE(points.at(1).icrs, QVector<double>({ 170, 150 }));
    QCOMPARE(r.warnings, QStringList("1 row(s) with fields left empty, read as missing values "
                                     "(nan), the first in line 2, field 4"));
}

void TestRecordings::singleSpectrum_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<double>("icr"); // of the one point; 0: an error
    QTest::addColumn<QString>("error");
    const QByteArray header("# RealTime = 10\n# Live time (s): 8\nI0: 250\n");
    const QByteArray rows("0 1\n1 4\n2 10\n3 4\n4 1\n");
    QTest::newRow("all counts over the live time") << header + rows << QString() << 20 / 8.0
                                                   << QString();
    QTest::newRow("a window of channels") << header + rows << "window = 1-3\ni0 = I0\n"
                                          << 18 / 8.0 << QString();
    QTest::newRow("no live time") << QByteArray("# RealTime: 10\n# I0: 250\n") + rows << QString()
                                  << 0.0 << "no real time or no live time in the header";
    QTest::newRow("a row of three") << header + "0 1\n1 4 5\n" << QString() << 0.0
                                    << "line 5: not a channel and a count";
    QTest::newRow("no I0 to take")
        << QByteArray("# RealTime: 10\n# LiveTime: 8\n") + rows << QString() << 0.0
        << "a spectrum of channel and count: no entry I0 in its header; give a recipe with i0 = "
           "one of LiveTime, RealTime";
}

// A spectrum of one element in two columns is one point: its counts over the
// live time the ICR, over the real time the SCA, I0 from its header.
void TestRecordings::singleSpectrum()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, recipe);
    QFETCH(double, icr);
    QFETCH(QString, error);
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    const RecipeParse parsed = parseRecipe(recipe);
    const ScanRead scan
        = readSingleSpectrumScan(buffer, recipe.isEmpty() ? nullptr : &parsed.recipe);
    QCOMPARE(scan.error, error);
    QCOMPARE(scan.points.size(), icr > 0 ? 1 : 0);
    if (icr > 0) {
        QCOMPARE(scan.points.at(0).i0, 250.0);
        QCOMPARE(scan.points.at(0).icrs, QVector<double>({ icr }));
        QCOMPARE(scan.points.at(0).scas, QVector<double>({ icr * 8 / 10 }));
    }
}

void TestRecordings::remarksAlikeInBlocks_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("channels");
    const QByteArray mixed = "# Channels : 2\n1 2 3 4 5\n  \n# note\n1 2 3 4 5 6 7\n"
                             "1 n/a 3 4 5\r\n1,2,3,4,5,6\n\n7 8 9 x y z\n";
    QTest::newRow("wide and text lines") << mixed << 2;
    QTest::newRow("no newline at the end") << QByteArray(mixed + "1 2 3 4 5 six") << 2;
    QTest::newRow("one channel, every line wider") << mixed << 1;
    QTest::newRow("one long line") << QByteArray(300, 'x') << 1;
    QTest::newRow("newlines only") << QByteArray("\n\n\n") << 1;
    QTest::newRow("byte order mark, cut by small blocks")
            << QByteArray("\xef\xbb\xbf# table\n1 2 3 4\n\xef\xbb\xbf") << 1;
    QTest::newRow("empty") << QByteArray() << 3;
}

// The remarks of a file read in blocks, whatever their size and wherever they
// cut a line, are those of the file read at once: the same counts, the same
// first line of text.
void TestRecordings::remarksAlikeInBlocks()
{
    QFETCH(QByteArray, text);
    QFETCH(int, channels);
    const PointTableRemarks whole = pointTableRemarks(text, channels);
    for (qint64 block : { 1, 2, 3, 7, 64, 4096 }) {
        QBuffer device(&text);
        QVERIFY(device.open(QIODevice::ReadOnly));
        const PointTableRemarks r = pointTableRemarks(device, channels, block);
        const QString at = QStringLiteral("blocks of %1").arg(block);
        QVERIFY2(r.widestLine == whole.widestLine && r.widerLines == whole.widerLines
                     && r.textLines == whole.textLines && r.firstTextLine == whole.firstTextLine,
                 qPrintable(at));
    }
}

void TestRecordings::remarksOfGeneratedLines_data()
{
    QTest::addColumn<QByteArray>("separators");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("blanks") << QByteArray(" ") << 1u;
    QTest::newRow("blank runs and tabs") << QByteArray("  \t") << 2u;
    QTest::newRow("commas, form feeds, carriage returns") << QByteArray(", \f\r\v") << 3u;
}

// Lines of known fields, some of them text, of every length up to a few
// blocks of sixteen bytes: the widest line, the lines with text and the first
// of them are what the lines were made of.
void TestRecordings::remarksOfGeneratedLines()
{
    QFETCH(QByteArray, separators);
    QFETCH(quint32, seed);
    // Numbers (also "1e5" and "nan", whose letters make the look convert
    // them) and text, some of it made of the bytes of numbers only.
    const QList<QByteArray> numbers { "12", "-3.5", "+7", "1e5", "nan", "0.000001", "42.", "-.5",
                                      "+.25", "-0" };
    const QList<QByteArray> words { "abc", "x1", "1e", "e5", "1.2.3", "-", ".", "+.", "-.",
                                    "5-3", "7.-", "..", "1..2", ".5.", "--5", "12.5." };
    QRandomGenerator random(seed);
    const auto separator = [&] {
        QByteArray run;
        for (int k = 1 + int(random.bounded(3)); k > 0; --k)
            run += separators.at(int(random.bounded(separators.size())));
        return run;
    };
    QByteArray text;
    int widest = 0;
    int textLines = 0;
    int firstText = 0;
    for (int line = 1; line <= 400; ++line) {
        const int fields = int(random.bounded(12));
        bool hasText = false;
        if (random.bounded(2))
            text += separator();
        for (int f = 0; f < fields; ++f) {
            if (f > 0)
                text += separator();
            const bool word = random.bounded(10) == 0;
            text += word ? words.at(int(random.bounded(words.size())))
                         : numbers.at(int(random.bounded(numbers.size())));
            hasText = hasText || word;
        }
        text += '\n';
        widest = qMax(widest, fields);
        if (hasText && textLines++ == 0)
            firstText = line;
    }
    const PointTableRemarks r = pointTableRemarks(text, 1);
    QCOMPARE(r.widestLine, widest);
    QCOMPARE(r.textLines, textLines);
    QCOMPARE(r.firstTextLine, firstText);
}

void TestRecordings::mca()
{
    const ScanRead s = mcaScan(mcaText(), "window = 2-4\ni0 = I0 * 2");
    QVERIFY2(s.ok(), qPrintable(s.error));
    QCOMPARE(s.points.size(), 1);
    const ScanPoint &p = s.points.front();
    QCOMPARE(p.i0, 501.0);
    // Bins 2..4 hold 3+4+5 = 12 and 24 counts: SCA over the real time, ICR
    // over the live time.
    QCOMPARE(p.scas, QVector<double>({ 1.2, 2.4 }));
    QCOMPARE(p.icrs, QVector<double>({ 12.0 / 5, 24.0 / 8 }));

    const ScanRead one = mcaScan(mcaText(), "elements = 2\nwindow = 0-7\ni0 = I0\nicr = counts{n}");
    QCOMPARE(one.points.front().icrs, QVector<double>({ 72 }));
}

void TestRecordings::mcaErrors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QString>("error");

    QTest::newRow("truncated") << mcaText(QByteArray(), 5) << "window = 1-2\ni0 = I0"
                               << "truncated: 5 rows of data where CHANNELS: says 8";
    QTest::newRow("more rows than channels") << mcaText(QByteArray(), 11) << "window = 1-2\ni0 = I0"
                                             << "11 rows of data where CHANNELS: says 8";
    QTest::newRow("cut inside a row")
        << mcaText().left(mcaText().size() - 3) << "window = 1-2\ni0 = I0"
        << "line 15: 1 fields where the file has 2 elements";
    QTest::newRow("no DATA") << mcaText().left(40) << "window = 1-2\ni0 = I0"
                             << "no DATA: line (truncated file?)";
    QTest::newRow("live times missing")
        << mcaText().replace("LIVE_TIME: 5 8", "LIVE_TIME: 5") << "window = 1-2\ni0 = I0"
        << "REAL_TIME: and LIVE_TIME: need 2 values each, one per element";
    QTest::newRow("no window") << mcaText() << "i0 = I0\nicr = 1\nsca = 1"
                               << "an MCA file needs a recipe with window = first-last bin and i0";
    QTest::newRow("window beyond the bins")
        << mcaText() << "window = 2-8\ni0 = I0"
        << "the window 2-8 goes beyond the 8 bins of the spectra";
    QTest::newRow("unknown environment entry") << mcaText() << "window = 1-2\ni0 = I1"
                                               << "unknown name I1";
    QTest::newRow("environment entry not a number")
        << mcaText("ENVIRONMENT: I1=\"abc\" (ion chamber 2)\n") << "window = 1-2\ni0 = I1"
        << "ENVIRONMENT: I1=\"abc\" is not a number";
    QTest::newRow("live time zero")
        << mcaText().replace("LIVE_TIME: 5 8", "LIVE_TIME: 5 0") << "window = 1-2\ni0 = I0"
        << "icr of element 2 = counts2 / live_time2 is not finite "
           "(division by zero)";
}

void TestRecordings::mcaErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, recipe);
    QFETCH(QString, error);
    const ScanRead s = mcaScan(text, recipe);
    QCOMPARE(s.error, error);
    QVERIFY(s.points.isEmpty());
}

void TestRecordings::hdf5Requests_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QStringList>("requests"); // name dataset column
    QTest::addColumn<QString>("error");

    QTest::newRow("per element columns of one dataset, a 1-D I0")
        << "elements = 3-4\ni0 = I0\nicr = O{n}\nsca = O{n}\n[datasets]\nI0 = /e/I0\n"
           "O{n} = /e/x/Out[{i}]"
        << QStringList { "I0 /e/I0 -1", "O3 /e/x/Out 0", "O4 /e/x/Out 1" } << QString();
    QTest::newRow("one dataset per element")
        << "elements = 1,2\ni0 = 1\nicr = c{n:02}\nsca = 1\n[datasets]\nc{n:02} = /c{n}"
        << QStringList { "c01 /c1 -1", "c02 /c2 -1" } << QString();
    QTest::newRow("not a path") << "i0 = a\nicr = a\nsca = a\n[datasets]\na = entry/a"
                                << QStringList {}
                                << "dataset \"entry/a\" for a: expected /path or /path[column]";
}

void TestRecordings::hdf5Requests()
{
    QFETCH(QString, recipe);
    QFETCH(QStringList, requests);
    QFETCH(QString, error);
    const RecipeParse p = parseRecipe(recipe);
    QVERIFY2(p.ok(), qPrintable(p.error));
    std::vector<Hdf5Request> got;
    QString why;
    QCOMPARE(::hdf5Requests(p.recipe, got, why), error.isEmpty());
    QCOMPARE(why, error);
    QStringList texts;
    for (const Hdf5Request &r : got)
        texts << QStringLiteral("%1 %2 %3").arg(r.name, r.dataset).arg(r.column);
    QCOMPARE(texts, requests);
}

QTEST_APPLESS_MAIN(TestRecordings)
#include "tst_recordings.moc"
