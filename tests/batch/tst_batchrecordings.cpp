// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "h5scan.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The recordings of scripts/make_recordings.py, written afresh for the test,
// each read by the batch command as a user would: the dead times of the four
// elements must come back as the generator made them, and every kind of bad
// input must give its one message and a failing exit status.
class TestBatchRecordings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deadTimesComeBack_data();
    void deadTimesComeBack();
    void badInput_data();
    void badInput();
    void layouts_data();
    void layouts();
    void builtinRecipeIsPrintedWithVerbose();
    void builtinRecipeInProvenance();

private:
    void writeMap();
    QString file(const QString &name) const { return dir.filePath(name); }
    void writeFile(const QString &name, const QByteArray &bytes);
    QTemporaryDir dir;
};

void TestBatchRecordings::initTestCase()
{
    QVERIFY(dir.isValid());
    QProcess p;
    p.start(QStringLiteral("python3"),
            { QStringLiteral(RATELENS_SCRIPTS_DIR "/make_recordings.py"), QStringLiteral("--out"),
              dir.path() });
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 0);
    p.start(QStringLiteral("python3"),
            { QStringLiteral(RATELENS_SCRIPTS_DIR "/make_recordings.py"),
              QStringLiteral("--layouts"), QStringLiteral("--out"), dir.path() });
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitCode(), 0);
    qputenv("RATELENS_H5READ", RATELENS_H5READ_BUILT);
    writeMap();
    writeFile(QStringLiteral("h5.recipe"),
              "elements = 1-4\ni0 = I0 / (TSCALER / 50e6)\n"
              "icr = OutputCounts_mca{n} * DTFactor_mca{n} / (Clock_mca{n} / 80e6)\n"
              "sca = OutputCounts_mca{n} / (Clock_mca{n} / 80e6)\n[datasets]\n"
              "I0 = /entry/scaler/I0\nTSCALER = /entry/scaler/TSCALER\n"
              "OutputCounts_mca{n} = /entry/xspress3/OutputCounts[{i}]\n"
              "DTFactor_mca{n} = /entry/xspress3/DTFactor[{i}]\n"
              "Clock_mca{n} = /entry/xspress3/mca{n:02}/Clock\n");
}

// The simulated HDF5 scan of 20 points as a map of 4 x 5 pixels: every
// quantity stored as slices x rows x columns, the scalers I0 and TSCALER
// as the two slices of one dataset.
void TestBatchRecordings::writeMap()
{
    h5scan::Spec spec;
    const h5scan::Scan scan = h5scan::simulate(spec);
    auto slices = [](const std::vector<std::vector<double>> &perElement) {
        std::vector<double> v;
        for (const std::vector<double> &e : perElement)
            v.insert(v.end(), e.begin(), e.end());
        return v;
    };
    const hsize_t e = hsize_t(spec.elements);
    h5scan::Writer w(file(QStringLiteral("map.h5")).toStdString());
    QVERIFY(w.dataset("/MAPS_RAW/scalers", h5scan::Type::Float64, { 2, 4, 5 },
                      slices({ scan.i0, scan.tscaler })));
    QVERIFY(w.dataset("/MAPS_RAW/OutputCounts", h5scan::Type::UInt32, { e, 4, 5 },
                      slices(scan.outputCounts)));
    QVERIFY(w.dataset("/MAPS_RAW/DTFactor", h5scan::Type::Float64, { e, 4, 5 },
                      slices(scan.dtFactor)));
    QVERIFY(w.dataset("/MAPS_RAW/Clock", h5scan::Type::Int64, { e, 4, 5 }, slices(scan.clock)));
    writeFile(QStringLiteral("map.recipe"),
              "elements = 1-4\ni0 = I0 / (TSCALER / 50e6)\n"
              "icr = OutputCounts{n} * DTFactor{n} / (Clock{n} / 80e6)\n"
              "sca = OutputCounts{n} / (Clock{n} / 80e6)\n[datasets]\n"
              "I0 = /MAPS_RAW/scalers[0]\nTSCALER = /MAPS_RAW/scalers[1]\n"
              "OutputCounts{n} = /MAPS_RAW/OutputCounts[{i}]\n"
              "DTFactor{n} = /MAPS_RAW/DTFactor[{i}]\nClock{n} = /MAPS_RAW/Clock[{i}]\n");
}

void TestBatchRecordings::writeFile(const QString &name, const QByteArray &bytes)
{
    QVERIFY(testsupport::writeFileBytes(file(name), bytes));
}

void TestBatchRecordings::deadTimesComeBack_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<double>("tolerance");

    QTest::newRow("XDI, built-in ICR/OCR recipe") << QStringList { "scan_icr_ocr.xdi" } << 2e-5;
    QTest::newRow("SPEC #L labels, dead-time factor recipe")
        << QStringList { "--recipe", "xspress.recipe", "scan_xspress.spec" } << 2e-5;
    QTest::newRow("dashed labels, tabs, trailing blanks")
        << QStringList { "--columns", "scan_dashed.txt" } << 2e-5;
    QTest::newRow("comma-separated, CR LF, zero-padded names")
        << QStringList { "--columns", "scan_comma.csv" } << 2e-5;
    // Paralyzable electronics, counts rounded to whole counts.
    QTest::newRow("HDF5 through [datasets], columns of points x elements")
        << QStringList { "--model", "paralyzable", "--recipe", "h5.recipe",
                         RATELENS_EXAMPLES_DIR "/xspress3_scan.h5" }
        << 5e-4;
    QTest::newRow("HDF5 map, slices of elements x rows x columns")
        << QStringList { "--model", "paralyzable", "--recipe", "map.recipe", "map.h5" } << 5e-4;
    QStringList mca { "--recipe", "mca.recipe" };
    for (int k = 1; k <= 6; ++k)
        mca << QStringLiteral("mca_%1.mca").arg(k, 2, 10, QLatin1Char('0'));
    // Whole counts in the bins.
    QTest::newRow("multi-element MCA files") << mca << 1e-3;
}

void TestBatchRecordings::deadTimesComeBack()
{
    QFETCH(QStringList, args);
    QFETCH(double, tolerance);
    const BatchRun r = runBatchCommand(args, dir.path());
    QCOMPARE(r.status, int(BatchOk));
    QCOMPARE(r.err, QString());
    const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 5);
    for (int j = 0; j < 4; ++j) {
        const QStringList f = rows.at(j + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const double tau0 = (2.0 + 0.5 * j) * 1e-7;
        const double tau = (1.0 + 0.25 * j) * 1e-6;
        // The text files hold 12 digits; the table prints 6.
        QVERIFY2(qAbs(f.at(1).toDouble() / tau0 - 1) < tolerance, qPrintable(rows.at(j + 1)));
        QVERIFY2(qAbs(f.at(2).toDouble() / tau - 1) < tolerance, qPrintable(rows.at(j + 1)));
    }
}

void TestBatchRecordings::badInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QByteArray recipe("elements = 1-4\ni0 = I0 / count_time\n"
                            "icr = ICR_mca{n} / count_time\nsca = OCR_mca{n} / count_time\n");
    QTest::newRow("unknown column")
        << "unknown.recipe" << QByteArray(recipe).replace("OCR_mca{n} /", "Out{n} /")
        << QStringList { "--recipe", "unknown.recipe", "scan_icr_ocr.xdi" }
        << "scan_icr_ocr.xdi: unknown names Out1, Out2, Out3, Out4; the columns are energy "
           "I0 count_time ICR_mca1 ICR_mca2 ICR_mca3 ICR_mca4 OCR_mca1 OCR_mca2 OCR_mca3 "
           "OCR_mca4";
    QTest::newRow("recipe that does not parse")
        << "bad.recipe" << QByteArray(recipe).replace("elements = 1-4", "elements = 1-x")
        << QStringList { "--recipe", "bad.recipe", "scan_icr_ocr.xdi" }
        << "bad.recipe: line 1: \"1-x\" is not an element number or a range a-b of them";
    QTest::newRow("expression that does not parse")
        << "paren.recipe" << QByteArray(recipe).replace("i0 = I0", "i0 = (I0")
        << QStringList { "--recipe", "paren.recipe", "scan_icr_ocr.xdi" }
        << "scan_icr_ocr.xdi: the expression \"(I0 / count_time\" does not parse: Missing "
           "parenthesis";
    QTest::newRow("division by zero on one row")
        << "zero.xdi" << QByteArray() << QStringList { "zero.xdi" }
        << "zero.xdi: line 25: i0 of element 1 = I0 / count_time is not finite (division by "
           "zero)";
    QTest::newRow("field that is not a number")
        << "text.xdi" << QByteArray() << QStringList { "text.xdi" }
        << "text.xdi: line 24: field 2 \"n/a\" is not a number";
    QTest::newRow("truncated MCA file")
        << "cut.mca" << QByteArray() << QStringList { "--recipe", "mca.recipe", "cut.mca" }
        << "cut.mca: truncated: 1000 rows of data where CHANNELS: says 1024";
    QTest::newRow("MCA without recipe")
        << "" << QByteArray() << QStringList { "mca_01.mca" }
        << "mca_01.mca: an MCA file needs a recipe with window = first-last bin and i0";
    QTest::newRow("missing HDF5 dataset")
        << "h5bad.recipe"
        << QByteArray("i0 = I0\nicr = I0\nsca = I0\n[datasets]\nI0 = /entry/scaler/I1\n")
        << QStringList { "--recipe", "h5bad.recipe", RATELENS_EXAMPLES_DIR "/xspress3_scan.h5" }
        << RATELENS_EXAMPLES_DIR "/xspress3_scan.h5: no dataset /entry/scaler/I1; /entry/scaler "
           "holds I0, TSCALER";
    QTest::newRow("column file no built-in recipe fits")
        << "odd.xdi" << QByteArray("# XDI/1.0\n# Column.1: a\n# Column.2: b\n1 2\n")
        << QStringList { "odd.xdi" }
        << "odd.xdi: no built-in recipe fits the columns a b; give a recipe";
}

void TestBatchRecordings::badInput()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QByteArray xdi = testsupport::readFileBytes(file(QStringLiteral("scan_icr_ocr.xdi")));
    QList<QByteArray> lines = xdi.split('\n');
    if (name == QLatin1String("zero.xdi")) {
        lines[24].replace("  2  ", "  0  ");
        content = lines.join('\n');
    } else if (name == QLatin1String("text.xdi")) {
        QList<QByteArray> fields = lines[23].split(' ');
        fields[2] = "n/a";
        lines[23] = fields.join(' ');
        content = lines.join('\n');
    } else if (name == QLatin1String("cut.mca")) {
        const QList<QByteArray> mca
            = testsupport::readFileBytes(file(QStringLiteral("mca_01.mca"))).split('\n');
        content = mca.mid(0, 11 + 1000).join('\n') + '\n';
    }
    if (!name.isEmpty())
        writeFile(name, content);
    const BatchRun r = runBatchCommand(args, dir.path());
    QCOMPARE(r.status, int(BatchInputError));
    QVERIFY2(r.err.contains(QStringLiteral("ratelens-batch: ") + message + QLatin1Char('\n')),
             qPrintable(r.err));
}

namespace {

// Whether the table printed holds the generator's dead times for the first
// channels (all four unless fewer are asked for).
void checkDeadTimes(const QString &out, double tolerance, int channels = 4)
{
    const QStringList rows = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), channels + 1);
    for (int j = 0; j < channels; ++j) {
        const QStringList f = rows.at(j + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const double tau0 = (2.0 + 0.5 * j) * 1e-7;
        const double tau = (1.0 + 0.25 * j) * 1e-6;
        QVERIFY2(qAbs(f.at(1).toDouble() / tau0 - 1) < tolerance, qPrintable(rows.at(j + 1)));
        QVERIFY2(qAbs(f.at(2).toDouble() / tau - 1) < tolerance, qPrintable(rows.at(j + 1)));
    }
}

} // namespace

void TestBatchRecordings::layouts_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("channels"); // whose dead times come back; 0: none printed
    QTest::addColumn<double>("tolerance");

    const QString refused = QStringLiteral("ratelens-batch: %1: not read: %2\n");
    const QString advice = QStringLiteral("; give a recipe with --recipe, or --point-table to "
                                          "read it as a point table");
    QTest::newRow("one label line, rates")
        << QStringList { "labels_icr_ocr.dat" } << int(BatchOk)
        << "ratelens-batch: labels_icr_ocr.dat: built-in recipe ICR{n}/OCR{n}; no counting-time "
           "column, so the values are taken as rates\n"
        << 4 << 2e-5;
    QTest::newRow("running suffixes, counts over CountTime")
        << QStringList { "suffix_counts.dat" } << int(BatchOk) << QString() << 4 << 2e-5;
    QTest::newRow("scan 2 of a SPEC file") << QStringList { "--scan", "2", "multi_scan.spec" }
                                           << int(BatchOk) << QString() << 4 << 2e-5;
    QTest::newRow("gzip-compressed column file")
        << QStringList { "headed_scan.txt.gz" } << int(BatchOk) << QString() << 4 << 2e-5;
    QTest::newRow("one-channel point table") << QStringList { "plain_table.dat" } << int(BatchOk)
                                             << QString() << 1 << 2e-5;
    QTest::newRow("SPEC file of three scans")
        << QStringList { "multi_scan.spec" } << int(BatchInputError)
        << refused.arg("multi_scan.spec",
                       "a SPEC file of 3 scans: 1 (ascan energy 6900 7100 4 1), 2 (timescan "
                       "attenuators), 3 (ascan energy 7100 6900 4 1); choose one by its number "
                       "(scan = N in a recipe, or --scan N)")
        << 0 << 2e-5;
    QTest::newRow("PNG image") << QStringList { "image.png" } << int(BatchInputError)
                               << refused.arg("image.png", "binary file, not a text recording")
                               << 0 << 2e-5;
    QTest::newRow("binary dump") << QStringList { "binary.dat" } << int(BatchInputError)
                                 << refused.arg("binary.dat", "binary file, not a text recording")
                                 << 0 << 2e-5;
    QTest::newRow("names no recipe maps")
        << QStringList { "unnamed_wide.dat" } << int(BatchInputError)
        << refused.arg("unnamed_wide.dat",
                       "a column file of 9 fields per row (line 2) without a \"# Channels :\" "
                       "header, and no built-in recipe fits the columns A B C D E F G H K"
                               + advice)
        << 0 << 2e-5;
    QTest::newRow("a refused file among good ones")
        << QStringList { "suffix_counts.dat", "image.png" } << int(BatchIncomplete)
        << refused.arg("image.png", "binary file, not a text recording") << 4 << 2e-5;
    QTest::newRow("the dead-time file given as a measurement")
        << QStringList { "deadtimes.json" } << int(BatchInputError)
        << refused.arg("deadtimes.json", "a dead-time file: give it to `correct --dead-times`")
        << 0 << 2e-5;
    QStringList singles;
    for (int k = 1; k <= 6; ++k)
        singles << QStringLiteral("single_%1.txt").arg(k, 2, 10, QLatin1Char('0'));
    // Whole counts in the channels.
    QTest::newRow("single spectra, one per intensity") << singles << int(BatchOk) << QString()
                                                       << 1 << 1e-3;
    QTest::newRow("single spectra through a window")
        << QStringList { "--recipe", "window.recipe" } + singles << int(BatchOk) << QString() << 1
        << 1e-3;
}

// Each layout is read as it comes, with the dead times the generator made,
// or refused by name with exit status 4; none is read as a point table of
// one channel unless it is one.
void TestBatchRecordings::layouts()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    QFETCH(int, channels);
    QFETCH(double, tolerance);
    writeFile(QStringLiteral("window.recipe"), "window = 420-580\ni0 = I0\n");
    if (args.contains(QStringLiteral("deadtimes.json"))) {
        const BatchRun fit = runBatchCommand({ "--json", "suffix_counts.dat" }, dir.path());
        QCOMPARE(fit.status, int(BatchOk));
        writeFile(QStringLiteral("deadtimes.json"), fit.out.toUtf8());
    }
    const BatchRun r = runBatchCommand(args, dir.path());
    QCOMPARE(r.err, err);
    QCOMPARE(r.status, status);
    if (channels > 0)
        checkDeadTimes(r.out, tolerance, channels);
    else
        QCOMPARE(r.out, QString());
}

void TestBatchRecordings::builtinRecipeIsPrintedWithVerbose()
{
    const BatchRun r = runBatchCommand({ "--verbose", "scan_icr_ocr.xdi" }, dir.path());
    QCOMPARE(r.status, int(BatchOk));
    QCOMPARE(r.err,
             QString("ratelens-batch: scan_icr_ocr.xdi: built-in recipe ICR{n}/OCR{n}, counts over "
                     "the counting time count_time\n"
                     "elements = 1-4\ni0 = I0 / count_time\nicr = ICR_mca{n} / count_time\n"
                     "sca = OCR_mca{n} / count_time\n"));
}

// The dead-time file records the recipe the scan was read through, also when
// it was a built-in one that no file holds.
void TestBatchRecordings::builtinRecipeInProvenance()
{
    const BatchRun r = runBatchCommand({ "--model", "paralyzable", "--json", "scan_icr_ocr.xdi" },
                                       dir.path());
    QCOMPARE(r.status, int(BatchOk));
    const QJsonObject provenance =
        QJsonDocument::fromJson(r.out.toUtf8()).object().value("provenance").toObject();
    QCOMPARE(provenance.value("recipe").toString(),
             QString("elements = 1-4\ni0 = I0 / count_time\nicr = ICR_mca{n} / count_time\n"
                     "sca = OCR_mca{n} / count_time\n"));
}

QTEST_GUILESS_MAIN(TestBatchRecordings)
#include "tst_batchrecordings.moc"
