// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "columnfile.h"
#include "correctcommand.h"
#include "deadtimemodel.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include <unistd.h>

Q_DECLARE_METATYPE(DeadTimeModel)

namespace {

// Per element number n, at n - 1.
const double tau0s[] = { 1.0e-6, 1.2e-6, 0.9e-6 };
const double taus[] = { 2.0e-6, 1.7e-6, 2.2e-6 };
const double d0s[] = { 0.5, 0.65, 0.6 };

double trueRateAt(int row)
{
    return 2e4 * (row + 1);
}

// A scan of the given elements (by default 1 and 2) from known true rates:
// ICR{n} and OCR{n} counted over count_time = 2 s, and the counts of a fluorescence
// line Fe_Ka_mca{n}, 30 % of the SCA's.
QByteArray scanText(DeadTimeModel model, int rows, const QVector<int> &elements = { 1, 2 })
{
    QByteArray text = "# count_time I0";
    QByteArray roiNames;
    for (int n : elements) {
        text += " ICR" + QByteArray::number(n) + " OCR" + QByteArray::number(n);
        roiNames += " Fe_Ka_mca" + QByteArray::number(n);
    }
    text += roiNames + '\n';
    for (int r = 0; r < rows; ++r) {
        const double n = trueRateAt(r);
        QByteArray line = "2 " + QByteArray::number(n / 1e4, 'g', 17);
        QByteArray rois;
        for (int element : elements) {
            const int e = element - 1;
            const double icr = countedRate(model, n, tau0s[e]);
            const double sca = d0s[e] * countedRate(model, icr, taus[e]);
            line += ' ' + QByteArray::number(2 * icr, 'g', 17) + ' '
                    + QByteArray::number(2 * sca, 'g', 17);
            rois += ' ' + QByteArray::number(0.6 * sca, 'g', 17);
        }
        text += line + rois + '\n';
    }
    return text;
}

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    if (!testsupport::writeFileBytes(dir.filePath(name), bytes))
        qFatal("cannot write %s", qPrintable(dir.filePath(name)));
    return dir.filePath(name);
}

// The output read back through the column reader.
ColumnBlock readOutput(const QString &path, QStringList &names)
{
    QFile f(path);
    ColumnBlock block;
    if (!f.open(QIODevice::ReadOnly))
        return block;
    const ColumnHeader header = readColumnHeader(f);
    names = header.names;
    ColumnReader reader(f, header);
    reader.readBlock(1000000, block);
    return block;
}

QStringList typed(DeadTimeModel model)
{
    return { QStringLiteral("--model"), deadTimeModelName(model), QStringLiteral("--tau0"),
             QStringLiteral("1e-6,1.2e-6"), QStringLiteral("--tau"), QStringLiteral("2e-6,1.7e-6"),
             QStringLiteral("--d0"), QStringLiteral("0.5,0.65") };
}

} // namespace

class TestCorrect : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void deadTimeFileFromFit();
    void unusable_data();
    void unusable();
    void beyondReach();
    void severalScans_data();
    void severalScans();
    void outputFolderMadeWhereMissing();
    void outputCollision_data();
    void outputCollision();
    void recipeWithoutIcr_data();
    void recipeWithoutIcr();
    void deadTimesByElement_data();
    void deadTimesByElement();
};

void TestCorrect::roundTrip_data()
{
    QTest::addColumn<DeadTimeModel>("model");
    QTest::addColumn<QString>("from");
    for (DeadTimeModel m : { DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }) {
        for (const char *from : { "icr", "sca" })
            QTest::addRow("%s from %s", qPrintable(deadTimeModelName(m)), from) << m << from;
    }
}

// Written, read back by the column reader, the true rates to 1e-9 and the
// fluorescence line's counts corrected to 30 % of theirs.
void TestCorrect::roundTrip()
{
    QFETCH(DeadTimeModel, model);
    QFETCH(QString, from);
    QTemporaryDir dir;
    const QString scan = write(dir, QStringLiteral("scan.dat"), scanText(model, 40));
    const BatchRun run = runBatchCommand(QStringList { QStringLiteral("correct") } + typed(model)
                                         + QStringList { QStringLiteral("--from"), from,
                                                         QStringLiteral("--roi"),
                                                         QStringLiteral("Fe_Ka_mca{n}"), scan });
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, int(CorrectOk));
    QStringList names;
    const ColumnBlock out = readOutput(dir.filePath(QStringLiteral("scan_dtc.tsv")), names);
    QCOMPARE(names.mid(8, 5), QStringList({ "ntrue1", "dtc1", "dtc1_err", "dtc1_flag",
                                            "Fe_Ka_mca1_corr" }));
    QCOMPARE(out.rows(), 40);
    for (int r = 0; r < 40; ++r) {
        for (int e = 0; e < 2; ++e) {
            const double n = out.columns[size_t(8 + 5 * e)][size_t(r)];
            QVERIFY2(std::fabs(n / trueRateAt(r) - 1.0) < 1e-9, qPrintable(QString::number(n)));
            const double roi = out.columns[size_t(12 + 5 * e)][size_t(r)];
            QVERIFY(std::fabs(roi / (0.3 * 2 * trueRateAt(r)) - 1.0) < 1e-9);
            QVERIFY(std::isnan(out.columns[size_t(10 + 5 * e)][size_t(r)]));
        }
    }
}

// The whole path: fit a calibration scan with --json, correct with that file.
void TestCorrect::deadTimeFileFromFit()
{
    QTemporaryDir dir;
    const QString calibration =
            write(dir, QStringLiteral("calib.dat"), scanText(DeadTimeModel::Paralyzable, 20));
    const BatchRun fit = runBatchCommand({ QStringLiteral("--columns"), QStringLiteral("--model"),
                                           QStringLiteral("paralyzable"), QStringLiteral("--json"),
                                           calibration });
    QCOMPARE(fit.status, int(BatchOk));
    const QString json = write(dir, QStringLiteral("dt.json"), fit.out.toUtf8());
    const BatchRun run = runBatchCommand({ QStringLiteral("correct"), QStringLiteral("--dead-times"),
                                           json, QStringLiteral("-o"), dir.filePath("out.tsv"),
                                           calibration });
    QCOMPARE(run.status, int(CorrectOk));
    QStringList names;
    const ColumnBlock out = readOutput(dir.filePath(QStringLiteral("out.tsv")), names);
    QCOMPARE(out.rows(), 20);
    for (int r = 0; r < 20; ++r) {
        QVERIFY(std::fabs(out.columns[8][size_t(r)] / trueRateAt(r) - 1.0) < 1e-9);
        // A noise-free fit: the error is the file's total, which the floor
        // on underdispersed fits keeps from vanishing, and stays small.
        const double err = out.columns[10][size_t(r)];
        QVERIFY(err >= 0.0 && err < 1e-3 * out.columns[9][size_t(r)]);
    }

    // The same file with only its first channel: the scan has two elements.
    QJsonObject root = QJsonDocument::fromJson(fit.out.toUtf8()).object();
    QJsonObject deadTimes = root.value(QStringLiteral("deadTimes")).toObject();
    QJsonArray channels = deadTimes.value(QStringLiteral("paralyzable")).toArray();
    channels.removeLast();
    deadTimes.insert(QStringLiteral("paralyzable"), channels);
    root.insert(QStringLiteral("deadTimes"), deadTimes);
    const QString shortFile =
            write(dir, QStringLiteral("short.json"), QJsonDocument(root).toJson());
    const BatchRun shortRun = runBatchCommand({ QStringLiteral("correct"),
                                                QStringLiteral("--dead-times"), shortFile,
                                                calibration });
    QCOMPARE(shortRun.status, int(CorrectUnusable));
    QCOMPARE(shortRun.err, QStringLiteral("ratelens-batch: %1: the dead times cover 1 channel(s), "
                                          "the scan has 2 elements, and the file does not say "
                                          "which element each channel was\n")
                                   .arg(calibration));
}

void TestCorrect::unusable_data()
{
    QTest::addColumn<QByteArray>("scan");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QByteArray scan = scanText(DeadTimeModel::Paralyzable, 10);
    const QStringList typedArgs = typed(DeadTimeModel::Paralyzable);
    QTest::newRow("truncated scan") << scan.left(scan.size() - 30) << typedArgs
                                    << "line 11: 7 fields where the header has 8";
    QTest::newRow("tau0 zero")
            << scan << QStringList { "--model", "paralyzable", "--tau0", "0" }
            << "element 1 (channel 0): tau0 must be positive, not 0";
    QTest::newRow("tau negative")
            << scan << QStringList { "--model", "nonparalyzable", "--tau0", "1e-6", "--tau", "-2e-6",
                                     "--from", "sca" }
            << "element 1 (channel 0): tau must be positive, not -2e-06";
    QTest::newRow("more dead times than elements: which is whose unknown")
            << scan << QStringList { "--model", "paralyzable", "--tau0", "1e-6,1e-6,1e-6", "--tau",
                                     "2e-6,2e-6,2e-6" }
            << "3 dead times for 2 elements: give one for all, or one per element";
    QTest::newRow("output onto the scan") << scan << typedArgs + QStringList { "-o", "scan.dat" }
                                          << "the output would overwrite the scan";
    QTest::newRow("output onto a second name of the scan")
            << scan << typedArgs + QStringList { "-o", "linked.dat" }
            << "the output would overwrite the scan";
    QTest::newRow("missing ROI") << scan << typedArgs + QStringList { "--roi", "Cu_Ka{n}" }
                                 << "no column Cu_Ka1 for --roi Cu_Ka{n}";
    QTest::newRow("ROI of one element for two: one name written twice")
            << scan << typedArgs + QStringList { "--roi", "Fe_Ka_mca1" }
            << "--roi Fe_Ka_mca1 names one column for 2 elements: write the element number as "
               "{n}, as in --roi D{n}_MgKa_c*";
    QTest::newRow("ROI pattern matching two columns")
            << scan << typedArgs + QStringList { "--roi", "Fe_Ka_mca{n}*", "--roi", "*{n}" }
            << "--roi *{n}: *1 matches the columns ICR1, OCR1, Fe_Ka_mca1; make it match one";
    QTest::newRow("ROI pattern matching one column each")
            << scan << typedArgs + QStringList { "--roi", "fe_ka_MCA{n}*" } << QString();
}

// Each gets one message naming the scan, exit status 1, no output file, and
// the scan as it was.
void TestCorrect::unusable()
{
    QFETCH(QByteArray, scan);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = write(dir, QStringLiteral("scan.dat"), scan);
    QCOMPARE(::link(QFile::encodeName(path).constData(),
                    QFile::encodeName(dir.filePath(QStringLiteral("linked.dat"))).constData()),
             0);
    const BatchRun run = runBatchCommand(QStringList { QStringLiteral("correct") } + args
                                                 + QStringList { path },
                                         dir.path());
    if (message.isEmpty()) {
        QCOMPARE(run.status, int(CorrectOk));
        return;
    }
    QCOMPARE(run.err, QStringLiteral("ratelens-batch: %1: %2\n").arg(path, message));
    QCOMPARE(run.status, int(CorrectUnusable));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("scan_dtc.tsv"))));
    QFile kept(path);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), scan);
}

// A dead time too long for the scan's rates: every point beyond 1/(e tau0)
// is nan with flag 1, counted on standard error, and the exit status is 3.
void TestCorrect::beyondReach()
{
    QTemporaryDir dir;
    const QString path =
            write(dir, QStringLiteral("scan.dat"), scanText(DeadTimeModel::Paralyzable, 10));
    // Element 1's ICR passes 1/(e * 5e-6) = 73576 between rows 2 and 3;
    // element 2's stays below 1/(e * 1e-6).
    const BatchRun run = runBatchCommand({ "correct", "--model", "paralyzable", "--tau0",
                                           "5e-6,1e-6", "--from", "icr", path });
    QCOMPARE(run.status, int(CorrectIncomplete));
    QCOMPARE(run.err, QStringLiteral("ratelens-batch: %1: element 1: 7 of 10 points left "
                                     "uncorrected\n").arg(path));
    QStringList names;
    const ColumnBlock out = readOutput(dir.filePath(QStringLiteral("scan_dtc.tsv")), names);
    QCOMPARE(out.columns[11][2], 0.0);
    QVERIFY(std::isnan(out.columns[8][3]) && std::isnan(out.columns[9][3]));
    QCOMPARE(out.columns[11][3], 1.0);
    QCOMPARE(out.columns[15][9], 0.0);
}

void TestCorrect::severalScans_data()
{
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<int>("status");
    QTest::newRow("an unusable scan, then a good one")
        << QStringList { "bad", "good" } << int(CorrectUnusable);
    QTest::newRow("a good scan, then an unusable one")
        << QStringList { "good", "bad" } << int(CorrectUnusable);
    QTest::newRow("points left uncorrected, then a good scan")
        << QStringList { "far", "good" } << int(CorrectIncomplete);
    QTest::newRow("an unusable scan, then one with points left uncorrected")
        << QStringList { "bad", "far" } << int(CorrectUnusable);
}

// The status over several scans is the worst of theirs, wherever that scan
// stands, and each usable scan is corrected whatever came before it.
void TestCorrect::severalScans()
{
    QFETCH(QStringList, scans);
    QFETCH(int, status);
    QTemporaryDir dir;
    // As in beyondReach: element 1 of "far" passes the law's reach, "good" stays below it.
    const QByteArray far = scanText(DeadTimeModel::Paralyzable, 10);
    write(dir, QStringLiteral("far.dat"), far);
    write(dir, QStringLiteral("good.dat"), scanText(DeadTimeModel::Paralyzable, 2));
    write(dir, QStringLiteral("bad.dat"), far.left(far.size() - 30));
    QStringList args {
        "correct", "--model", "paralyzable", "--tau0", "5e-6,1e-6", "--from", "icr"
    };
    for (const QString &scan : scans)
        args.append(dir.filePath(scan + QStringLiteral(".dat")));
    const BatchRun run = runBatchCommand(args);
    QCOMPARE(run.status, status);
    // One message for each scan but the good one.
    QCOMPARE(run.err.count(QLatin1Char('\n')), scans.size() - scans.count(QStringLiteral("good")));
    for (const QString &scan : scans) {
        const QString output = dir.filePath(scan + QStringLiteral("_dtc.tsv"));
        QStringList names;
        if (scan == QLatin1String("bad"))
            QVERIFY(!QFile::exists(output));
        else
            QCOMPARE(readOutput(output, names).rows(), scan == QLatin1String("far") ? 10 : 2);
    }
}

// --output-dir names a folder that need not exist yet, as mkdir -p makes it;
// a file in its place is no folder.
void TestCorrect::outputFolderMadeWhereMissing()
{
    QTemporaryDir dir;
    const QString scan = write(dir, QStringLiteral("scan.dat"),
                               scanText(DeadTimeModel::Paralyzable, 2));
    QStringList args = QStringList { "correct" } + typed(DeadTimeModel::Paralyzable);
    const BatchRun run = runBatchCommand(args + QStringList { "--output-dir", "new/deeper", scan },
                                         dir.path());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, int(CorrectOk));
    QStringList names;
    QCOMPARE(readOutput(dir.filePath(QStringLiteral("new/deeper/scan_dtc.tsv")), names).rows(), 2);

    write(dir, QStringLiteral("plain"), "a file");
    const BatchRun onFile
        = runBatchCommand(args + QStringList { "--output-dir", "plain/sub", scan }, dir.path());
    QCOMPARE(onFile.err, QStringLiteral("ratelens-batch: cannot create the folder plain/sub\n"));
    QCOMPARE(onFile.status, int(CorrectUnusable));
}

void TestCorrect::outputCollision_data()
{
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<QStringList>("outputArgs");
    QTest::addColumn<QString>("message");
    const QString both = QStringLiteral("%1 and %2 would both be corrected into %3; correct them "
                                        "into different folders");
    QTest::newRow("one name in two folders, --output-dir")
            << QStringList { "d1/scan.dat", "d2/scan.dat" } << QStringList { "--output-dir", "out" }
            << both.arg("d1/scan.dat", "d2/scan.dat", "out/scan_dtc.tsv");
    QTest::newRow("one base name side by side")
            << QStringList { "d1/scan.dat", "d1/scan.csv" } << QStringList()
            << both.arg("d1/scan.dat", "d1/scan.csv", "d1/scan_dtc.tsv");
    QTest::newRow("the output is another scan named")
            << QStringList { "d1/a.dat", "d1/a_dtc.tsv" } << QStringList()
            << "the correction of d1/a.dat would overwrite d1/a_dtc.tsv, a scan named too";
}

// Scans whose corrections would go into one file, or over another scan of the
// run: refused as a usage error, before anything is written.
void TestCorrect::outputCollision()
{
    QFETCH(QStringList, scans);
    QFETCH(QStringList, outputArgs);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("d1") && QDir(dir.path()).mkpath("d2")
            && QDir(dir.path()).mkpath("out"));
    const QByteArray text = scanText(DeadTimeModel::Paralyzable, 5);
    for (const QString &scan : scans)
        write(dir, scan, text);
    const BatchRun run = runBatchCommand(QStringList { "correct" }
                                                 + typed(DeadTimeModel::Paralyzable) + outputArgs
                                                 + scans,
                                         dir.path());
    QCOMPARE(run.status, int(CorrectUsageError));
    QCOMPARE(run.err, QStringLiteral("ratelens-batch: correct: %1\n").arg(message));
    QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files), QStringList());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("d1/scan_dtc.tsv"))));
    for (const QString &scan : scans)
        QCOMPARE(testsupport::readFileBytes(dir.filePath(scan)), text);
}

void TestCorrect::recipeWithoutIcr_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QStringList>("from");
    QTest::addColumn<QString>("message"); // empty: corrected
    const QString scaOnly = QStringLiteral("elements = 1-2\ni0 = I0 / count_time\nsca = OCR{n} / count_time\n");
    QTest::newRow("SCA by default") << scaOnly << QStringList() << QString();
    QTest::newRow("--from sca") << scaOnly << QStringList { "--from", "sca" } << QString();
    QTest::newRow("--from icr: nothing to correct from")
            << scaOnly << QStringList { "--from", "icr" }
            << "no icr expression to correct from with --from icr; leave --from out, or give "
               "--from sca";
    QTest::newRow("no sca: about the whole recipe, no line")
            << "i0 = I0\nicr = ICR{n}\n" << QStringList() << "no sca expression";
}

// A recipe of the SCA alone, as for electronics that count only their
// output, corrects from the SCA; asking for the ICR it lacks is refused.
void TestCorrect::recipeWithoutIcr()
{
    QFETCH(QString, recipe);
    QFETCH(QStringList, from);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString scan =
            write(dir, QStringLiteral("scan.dat"), scanText(DeadTimeModel::Paralyzable, 10));
    const QString recipePath = write(dir, QStringLiteral("sca.recipe"), recipe.toUtf8());
    const BatchRun run = runBatchCommand(QStringList { "correct", "--recipe", recipePath }
                                         + typed(DeadTimeModel::Paralyzable) + from
                                         + QStringList { scan });
    if (!message.isEmpty()) {
        QCOMPARE(run.err, QStringLiteral("ratelens-batch: %1: %2\n").arg(recipePath, message));
        QCOMPARE(run.status, int(CorrectUnusable));
        return;
    }
    QCOMPARE(run.err, QString());
    QStringList names;
    const ColumnBlock out = readOutput(dir.filePath(QStringLiteral("scan_dtc.tsv")), names);
    QCOMPARE(out.rows(), 10);
    for (int r = 0; r < 10; ++r)
        QVERIFY(std::fabs(out.columns[12][size_t(r)] / trueRateAt(r) - 1.0) < 1e-9);
}

void TestCorrect::deadTimesByElement_data()
{
    QTest::addColumn<QVector<int>>("elements");
    // The file's provenance recipe: the fit's own ("" keeps it), none ("-"),
    // or another text in its place.
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QString>("message"); // empty: corrected
    const QString noGuess = QStringLiteral("the dead times cover 2 channel(s), the scan has 1 "
                                           "elements, and the file does not say which element "
                                           "each channel was");
    QTest::newRow("scan without element 1: element 2 by its number")
            << QVector<int> { 2 } << QString() << QString();
    QTest::newRow("an element the fit had not")
            << QVector<int> { 2, 3 } << QString()
            << "element 3 has no dead times: they were measured on elements 1, 2";
    QTest::newRow("no recipe in the file: no guess") << QVector<int> { 2 } << "-" << noGuess;
    QTest::newRow("two recipes of one fit, one after the other: no guess")
            << QVector<int> { 2 }
            << "elements = 1-2\ni0 = I0\nsca = OCR{n}\nelements = 2-3\ni0 = I0\nsca = OCR{n}\n"
            << noGuess;
}

// The dead times fitted on elements 1 and 2 correct each element of a scan
// with its own channel's, whatever elements the scan lacks.
void TestCorrect::deadTimesByElement()
{
    QFETCH(QVector<int>, elements);
    QFETCH(QString, recipe);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString calibration =
            write(dir, QStringLiteral("calib.dat"), scanText(DeadTimeModel::Paralyzable, 20));
    const BatchRun fit = runBatchCommand({ "--columns", "--model", "paralyzable", "--json",
                                           calibration });
    QJsonObject root = QJsonDocument::fromJson(fit.out.toUtf8()).object();
    QJsonObject provenance = root.value(QStringLiteral("provenance")).toObject();
    if (recipe == QLatin1String("-"))
        provenance.remove(QStringLiteral("recipe"));
    else if (!recipe.isEmpty())
        provenance.insert(QStringLiteral("recipe"), recipe);
    root.insert(QStringLiteral("provenance"), provenance);
    const QString json = write(dir, QStringLiteral("dt.json"), QJsonDocument(root).toJson());
    const QString scan = write(dir, QStringLiteral("scan.dat"),
                               scanText(DeadTimeModel::Paralyzable, 10, elements));
    const BatchRun run = runBatchCommand({ "correct", "--dead-times", json, scan });
    if (!message.isEmpty()) {
        QCOMPARE(run.err, QStringLiteral("ratelens-batch: %1: %2\n").arg(scan, message));
        QCOMPARE(run.status, int(CorrectUnusable));
        return;
    }
    QCOMPARE(run.status, int(CorrectOk));
    QStringList names;
    const ColumnBlock out = readOutput(dir.filePath(QStringLiteral("scan_dtc.tsv")), names);
    QCOMPARE(names.at(5), QStringLiteral("ntrue2"));
    for (int r = 0; r < 10; ++r)
        QVERIFY(std::fabs(out.columns[5][size_t(r)] / trueRateAt(r) - 1.0) < 1e-9);
}

QTEST_MAIN(TestCorrect)
#include "tst_correct.moc"
