// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "channelresult.h"
#include "loader.h"
#include "pointset.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

using testsupport::nearlyEqual;
using testsupport::readFileBytes;
using testsupport::testDataPath;

namespace {

using Run = BatchRun;

// The case with a file that does not exist: the others are estimated, and the
// status says that one is missing.
BatchStatus expectedStatus(const QString &caseName)
{
    return caseName.startsWith(QLatin1String("05_")) ? BatchIncomplete : BatchOk;
}

// Runs the command in-process from the folder dir.
Run runIn(const QString &dir, const QStringList &args)
{
    return runBatchCommand(args, dir);
}

QString caseInput(const QString &name)
{
    return testDataPath(QStringLiteral("conformance/%1/input").arg(name));
}

QStringList split(const char *names)
{
    return QString::fromLatin1(names).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QStringList debugLines(const QString &text)
{
    static const QStringList starts { QStringLiteral("LINE "), QStringLiteral("ID "),
                                      QStringLiteral("bool "), QStringLiteral("Cannot open") };
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        for (const QString &s : starts) {
            if (line.startsWith(s)) {
                lines.append(line);
                break;
            }
        }
    }
    return lines;
}

// The centred R^2 of the curve c0 x + c1 x^2 through the columns.
double centredR2(const QVector<double> &x, const QVector<double> &y, double c0, double c1)
{
    double mean = 0.0;
    for (double v : y)
        mean += v / y.size();
    double rss = 0.0;
    double tss = 0.0;
    for (int i = 0; i < y.size(); ++i) {
        rss += std::pow(y[i] - c0 * x[i] - c1 * x[i] * x[i], 2);
        tss += std::pow(y[i] - mean, 2);
    }
    return 1.0 - rss / tss;
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT
private slots:
    void resultsFilesMatchTheWindow_data();
    void resultsFilesMatchTheWindow();
    void verboseTraceMatchesTheWindow_data();
    void verboseTraceMatchesTheWindow();
    void noEstimation_data();
    void noEstimation();
    void singleChannelIsEstimated_data();
    void singleChannelIsEstimated();
    void usageErrors_data();
    void usageErrors();
    void fileWithoutPointsIsNamed();
    void tableAndJsonAgree();
    void twoPointsHaveNoStandardErrors();
    void examplesGiveTheirDeadTimes_data();
    void examplesGiveTheirDeadTimes();
};

namespace {

// The cases whose whole run is one batch, the same files as the window's one
// "Read File(s)".
void addSingleBatchCases()
{
    QTest::addColumn<QString>("caseName");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");

    QTest::newRow("01 spectra, 4 channels")
            << "01_spectrum_4ch_2048bins"
            << split("Ti_I0scan_1.dat Ti_I0scan_2.dat Ti_I0scan_3.dat Ti_I0scan_4.dat "
                     "Ti_I0scan_5.dat")
            << "result_1.dat";
    QTest::newRow("02 spectra, 19 channels")
            << "02_spectrum_19ch_256bins"
            << split("ni19_run01.dat ni19_run02.dat ni19_run03.dat ni19_run04.dat ni19_run05.dat "
                     "ni19_run06.dat ni19_run07.dat ni19_run08.dat")
            << "result_1.dat";
    QTest::newRow("03 point table, header forms") << "03_table_header_forms_trace"
                                                  << split("zn_sdd5_points.dat") << "result_1.dat";
    QTest::newRow("04 point table, 22 channels")
            << "04_table_22ch" << split("as_ge22.csv.dat") << "result_1.dat";
    QTest::newRow("05 mixed batch with a missing file")
            << "05_mixed_batch_missing_file"
            << split("mix_01_mca.dat mix_02_table.dat mix_03_missing.dat mix_04_mca.dat "
                     "mix_05_mca.dat")
            << "result_1.dat";
}

} // namespace

void TestBatchRun::resultsFilesMatchTheWindow_data()
{
    addSingleBatchCases();
    QTest::newRow("06 CR LF spectra and table")
            << "06_crlf_and_late_header"
            << split("crlf_1_mca.dat crlf_2_mca.dat crlf_3_mca.dat crlf_4_table.dat")
            << "result_1.dat";
    QTest::newRow("07 first batch") << "07_accumulate_clear_saves"
                                    << split("acc_a1.dat acc_a2.dat acc_a3.dat") << "result_1.dat";
    QTest::newRow("07 both batches in one run")
            << "07_accumulate_clear_saves"
            << split("acc_a1.dat acc_a2.dat acc_a3.dat acc_b1_table.dat acc_b2.dat")
            << "result_2.dat";
    QTest::newRow("07 batch after the clear")
            << "07_accumulate_clear_saves"
            << split("acc_c1_table.dat acc_c2.dat acc_c3.dat acc_c4.dat") << "result_5.dat";
    QTest::newRow("08 single point then mixed channel counts")
            << "08_single_point_and_channel_mismatch"
            << split("one_point.dat mm_1.dat mm_2.dat mm_3.dat mm_4.dat") << "result_2.dat";
}

void TestBatchRun::resultsFilesMatchTheWindow()
{
    QFETCH(QString, caseName);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString result = out.filePath(QStringLiteral("result.dat"));
    const Run r = runIn(caseInput(caseName), files + QStringList { QStringLiteral("-o"), result });
    QCOMPARE(r.status, int(expectedStatus(caseName)));
    // A file that cannot be read is named, on a line of its own.
    if (r.status == BatchIncomplete) {
        QVERIFY2(r.err.startsWith(QStringLiteral("ratelens-batch: cannot read ")), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }

    const QString expectedDir = testDataPath(QStringLiteral("conformance/%1/expected/").arg(caseName));
    const QByteArray want = readFileBytes(expectedDir + expected);
    const QByteArray wantConf = readFileBytes(expectedDir + expected + QStringLiteral(".conf"));
    QVERIFY(!want.isEmpty());
    QCOMPARE(readFileBytes(result), want);
    QCOMPARE(readFileBytes(result + QStringLiteral(".conf")), wantConf);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2);
}

void TestBatchRun::verboseTraceMatchesTheWindow_data()
{
    addSingleBatchCases();
}

void TestBatchRun::verboseTraceMatchesTheWindow()
{
    QFETCH(QString, caseName);
    QFETCH(QStringList, files);

    const Run quiet = runIn(caseInput(caseName), files);
    QCOMPARE(debugLines(quiet.err), QStringList());

    const Run r = runIn(caseInput(caseName), files + QStringList { QStringLiteral("--verbose") });
    QCOMPARE(r.status, int(expectedStatus(caseName)));
    const QString expected = QString::fromUtf8(readFileBytes(
            testDataPath(QStringLiteral("conformance/%1/expected/debug.txt").arg(caseName))));
    QStringList want = expected.split(QLatin1Char('\n'));
    if (!want.isEmpty() && want.last().isEmpty())
        want.removeLast();
    QCOMPARE(debugLines(r.err), want);
}

void TestBatchRun::noEstimation_data()
{
    QTest::addColumn<QString>("caseName");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("message");

    QTest::newRow("one point") << "08_single_point_and_channel_mismatch" << split("one_point.dat")
                               << "no estimation: 1 measurement point(s) loaded, at least two are "
                                  "needed";
    QTest::newRow("no point at all")
            << "05_mixed_batch_missing_file" << split("mix_03_missing.dat")
            << "no estimation: 0 measurement point(s) loaded, at least two are needed";
}

void TestBatchRun::noEstimation()
{
    QFETCH(QString, caseName);
    QFETCH(QStringList, files);
    QFETCH(QString, message);

    QTemporaryDir out;
    const QString result = out.filePath(QStringLiteral("result.dat"));
    const Run r = runIn(caseInput(caseName), files + QStringList { QStringLiteral("-o"), result });
    QCOMPARE(r.status, int(BatchNoEstimate));
    QVERIFY2(r.err.contains(QStringLiteral("ratelens-batch: ") + message), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    // As "Save" without an estimation: nothing is written.
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList());
}

void TestBatchRun::singleChannelIsEstimated_data()
{
    QTest::addColumn<QStringList>("files");

    QTest::newRow("one common channel") << split("crlf_5_early_row.dat");
    QTest::newRow("early row keeps later points at one channel")
            << split("crlf_5_early_row.dat crlf_1_mca.dat crlf_2_mca.dat");
}

// A single-element detector is a detector too: its one channel is estimated
// and saved.
void TestBatchRun::singleChannelIsEstimated()
{
    QFETCH(QStringList, files);
    QTemporaryDir out;
    const QString result = out.filePath(QStringLiteral("result.dat"));
    const Run r = runIn(caseInput(QStringLiteral("06_crlf_and_late_header")),
                        files + QStringList { QStringLiteral("-o"), result });
    QCOMPARE(r.status, int(BatchOk));
    const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows.at(1).trimmed().startsWith(QLatin1String("0 ")), qPrintable(r.out));
    QVERIFY(QFile::exists(result));
}

void TestBatchRun::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("no file") << QStringList() << "no measurement file given";
    QTest::newRow("size without x") << split("a.dat --plot p.png --size 1500") << "invalid plot size";
    QTest::newRow("size zero wide") << split("a.dat --plot p.png --size 0x700")
                                    << "invalid plot size '0x700'";
    QTest::newRow("size too large") << split("a.dat --plot p.png --size 100000x100")
                                    << "invalid plot size";
    QTest::newRow("size negative") << split("a.dat --plot p.png --size -5x20")
                                   << "invalid plot size";
    QTest::newRow("empty output name") << (split("a.dat -o") << QString())
                                       << "the results file name is empty";
}

void TestBatchRun::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);

    const Run r = runIn(QDir::tempPath(), args);
    QCOMPARE(r.status, int(BatchUsageError));
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("--help")));
    QCOMPARE(r.out, QString());
}

void TestBatchRun::fileWithoutPointsIsNamed()
{
    QTemporaryDir dir;
    QVERIFY(testsupport::writeFileBytes(dir.filePath(QStringLiteral("notes.txt")),
                                        "# only a remark\n"));
    const Run r = runIn(dir.path(), split("notes.txt"));
    QCOMPARE(r.status, int(BatchNoEstimate));
    QVERIFY2(r.err.contains(QStringLiteral("ratelens-batch: no measurement point in notes.txt\n")),
             qPrintable(r.err));
}

void TestBatchRun::tableAndJsonAgree()
{
    const QString dir = caseInput(QStringLiteral("02_spectrum_19ch_256bins"));
    const QStringList files = QDir(dir).entryList({ QStringLiteral("*.dat") }, QDir::Files,
                                                  QDir::Name);
    QCOMPARE(files.size(), 8);
    const Run text = runIn(dir, files);
    const Run json = runIn(dir, files + QStringList { QStringLiteral("--json") });
    QCOMPARE(text.status, int(BatchOk));
    QCOMPARE(json.status, int(BatchOk));

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject root = doc.object();
    QCOMPARE(root.value(QStringLiteral("points")).toInt(), 8);
    QCOMPARE(root.value(QStringLiteral("channels")).toInt(), 19);
    const QJsonArray table = root.value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 19);

    QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 19);
    QStringList columns = lines.takeFirst().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(columns.takeLast(), QStringLiteral("flags"));
    QCOMPARE(columns, resultColumns());
    QCOMPARE(columns.size(), 13);

    // The results file holds the same dead times, written with six digits.
    QTemporaryDir out;
    const QString result = out.filePath(QStringLiteral("r.dat"));
    QCOMPARE(runIn(dir, files + QStringList { QStringLiteral("-o"), result }).status, int(BatchOk));
    const QStringList resultLines = QString::fromLatin1(readFileBytes(result)).split(
            QStringLiteral("\r\n"));
    const QStringList preamp = resultLines.value(1).split(QLatin1Char(' ')).mid(1);
    const QStringList amp = resultLines.value(2).split(QLatin1Char(' ')).mid(1);
    QCOMPARE(preamp.size(), 19);
    QStringList paths;
    for (const QString &file : files)
        paths.append(QDir(dir).filePath(file));
    PointSet points;
    loadMeasurementFiles(paths, points);

    for (int j = 0; j < 19; ++j) {
        const QStringList cells = lines[j].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(cells.size(), columns.size() + 1); // and the flags
        const QJsonObject row = table[j].toObject();
        QCOMPARE(row.value(QStringLiteral("channel")).toInt(), j);
        QCOMPARE(cells[0].toInt(), j);
        for (int c = 1; c < columns.size(); ++c) {
            const double fromJson = row.value(columns[c]).toDouble(qQNaN());
            QVERIFY2(std::isfinite(fromJson), qPrintable(columns[c]));
            QCOMPARE(cells[c], QString::number(fromJson, 'g', 6));
        }
        QCOMPARE(preamp[j], cells[1]);
        QCOMPARE(amp[j], cells[2]);
        // Each R^2 belongs to its own stage's curve and columns.
        const auto value = [&row](const char *key) {
            return row.value(QLatin1String(key)).toDouble();
        };
        QVERIFY(nearlyEqual(value("r2I0Icr"), centredR2(points.i0s(), points.icrColumn(j),
                                                         value("a"), value("b"))));
        QVERIFY(nearlyEqual(value("r2IcrSca"), centredR2(points.icrColumn(j),
                                                          points.scaColumn(j), value("d0"),
                                                          value("d1"))));
        QVERIFY(row.value(QStringLiteral("tau0StdErr")).toDouble() > 0.0);
        QVERIFY(row.value(QStringLiteral("tauStdErr")).toDouble() > 0.0);
    }
}

void TestBatchRun::twoPointsHaveNoStandardErrors()
{
    // Two points fit exactly, with no residual degree of freedom left: the
    // fit gives no error, and the data determine no dead time.
    const QString dir = caseInput(QStringLiteral("01_spectrum_4ch_2048bins"));
    const QStringList files = split("Ti_I0scan_1.dat Ti_I0scan_2.dat");
    const Run text = runIn(dir, files);
    const Run json = runIn(dir, files + QStringList { QStringLiteral("--json") });
    QCOMPARE(text.status, int(BatchIncomplete));
    QCOMPARE(json.status, int(BatchIncomplete));

    const QString row = text.out.section(QLatin1Char('\n'), 1, 1);
    QCOMPARE(row.count(QStringLiteral("undetermined (too-few-points)")), 2);
    QVERIFY2(text.err.contains(QStringLiteral("channel 3: tau undetermined (too-few-points)")),
             qPrintable(text.err));

    const QJsonObject first = QJsonDocument::fromJson(json.out.toUtf8())
                                      .object()
                                      .value(QStringLiteral("table"))
                                      .toArray()
                                      .at(0)
                                      .toObject();
    QVERIFY(first.value(QStringLiteral("tau0StdErr")).isNull());
    QVERIFY(first.value(QStringLiteral("tau0")).isNull());
    QCOMPARE(first.value(QStringLiteral("tau0Undetermined")).toString(),
             QStringLiteral("too-few-points"));
    QVERIFY(first.value(QStringLiteral("a")).isDouble());
}

void TestBatchRun::examplesGiveTheirDeadTimes_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<double>("tolerance");

    const QStringList spectra = split("spectrum_01.dat spectrum_02.dat spectrum_03.dat "
                                      "spectrum_04.dat spectrum_05.dat spectrum_06.dat");
    QTest::newRow("six spectrum files") << spectra << 0.05;
    QTest::newRow("point table") << split("point_table.dat") << 0.15;
    QTest::newRow("all seven files") << (spectra + split("point_table.dat")) << 0.1;
}

void TestBatchRun::examplesGiveTheirDeadTimes()
{
    QFETCH(QStringList, files);
    QFETCH(double, tolerance);

    // The dead times the example generator simulates, channel by channel.
    const double tau0s[] = { 2.0e-7, 2.5e-7, 3.0e-7, 3.5e-7 };
    const double taus[] = { 1.0e-6, 1.25e-6, 1.5e-6, 1.75e-6 };

    const Run r = runIn(QStringLiteral(RATELENS_EXAMPLES_DIR), files + QStringList {
                                                                   QStringLiteral("--json") });
    QCOMPARE(r.status, int(BatchOk));
    const QJsonArray table =
            QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 4);
    for (int j = 0; j < 4; ++j) {
        const QJsonObject row = table[j].toObject();
        const double tau0 = row.value(QStringLiteral("tau0")).toDouble();
        const double tau = row.value(QStringLiteral("tau")).toDouble();
        QVERIFY2(nearlyEqual(tau0, tau0s[j], tolerance), qPrintable(QString::number(tau0)));
        QVERIFY2(nearlyEqual(tau, taus[j], tolerance), qPrintable(QString::number(tau)));
    }
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
