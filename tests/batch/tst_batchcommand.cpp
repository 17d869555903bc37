// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using testsupport::readFileBytes;
using testsupport::testDataPath;

namespace {

struct Result
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the installed-to-be executable as a shell would; env entries NAME=VALUE
// are added, bare NAME entries removed.
Result run(const QString &dir, const QStringList &args, const QStringList &env = QStringList())
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : env) {
        const int eq = entry.indexOf(QLatin1Char('='));
        if (eq < 0)
            e.remove(entry);
        else
            e.insert(entry.left(eq), entry.mid(eq + 1));
    }
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(RATELENS_BATCH_EXE), args);
    Result r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.status = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString case01()
{
    return testDataPath(QStringLiteral("conformance/01_spectrum_4ch_2048bins/input"));
}

QStringList case01Files()
{
    QStringList files;
    for (int k = 1; k <= 5; ++k)
        files << QStringLiteral("Ti_I0scan_%1.dat").arg(k);
    return files;
}

} // namespace

class TestBatchCommand : public QObject
{
    Q_OBJECT
private slots:
    void exitStatusAndMessages_data();
    void exitStatusAndMessages();
    void helpExplainsTheStatistics();
    void versionLine();
    void writesWhatSaveWrites();
    void plotsWithoutADisplay();
};

void TestBatchCommand::exitStatusAndMessages_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errContains");
    QTest::addColumn<int>("tableRows"); // 0: no table

    QTest::newRow("five spectra") << case01Files() << 0 << QString() << 4;
    QTest::newRow("one spectrum") << QStringList(case01Files().mid(0, 1)) << 1
                                  << "no estimation: 1 measurement point(s)" << 0;
    QTest::newRow("no arguments") << QStringList() << 2 << "no measurement file given" << 0;
    // A value left out: the option takes the file after it.
    QTest::newRow("model without its value")
            << QStringList { "--model", "Ti_I0scan_1.dat", "-o", "out.dat" } << 2
            << "unknown model 'Ti_I0scan_1.dat'" << 0;
    QTest::newRow("correct: model without its value")
            << QStringList { "correct", "--tau0", "1e-6", "--model", "scan.xdi" } << 2
            << "correct: unknown model 'scan.xdi'" << 0;
    QTest::newRow("correct: tau0 not a finite number")
            << QStringList { "correct", "--model", "paralyzable", "--tau0", "1e-6,-nan", "s.xdi" }
            << 2 << "correct: --tau0: '-nan' is not a finite number" << 0;
    QTest::newRow("correct: d0 infinite")
            << QStringList { "correct", "--model", "paralyzable", "--tau0", "1e-6", "--d0", "inf",
                             "s.xdi" }
            << 2 << "correct: --d0: 'inf' is not a finite number" << 0;
    QTest::newRow("unknown option") << (case01Files() << QStringLiteral("--bogus")) << 2
                                    << "Unknown option 'bogus'" << 0;
    QTest::newRow("bad size") << (case01Files() << QStringLiteral("--plot") << QStringLiteral("p.png")
                                                << QStringLiteral("--size")
                                                << QStringLiteral("wide"))
                              << 2 << "invalid plot size 'wide'" << 0;
    QTest::newRow("missing file among good ones")
            << (QStringList { QStringLiteral("gone.dat") } + case01Files()) << 3
            << "ratelens-batch: cannot read gone.dat: " << 4;
    QTest::newRow("bad channel list") << (case01Files() << QStringLiteral("--exclude")
                                                        << QStringLiteral("3,x"))
                                      << 2 << "invalid channel list '3,x'" << 0;
    QTest::newRow("results into a missing folder")
            << (case01Files() << QStringLiteral("-o") << QStringLiteral("no/such/dir/r.dat")) << 3
            << "ratelens-batch: cannot write no/such/dir/r.dat" << 4;
    // %t is a scratch folder holding the folders taken.dat.conf and blocked.dat.
    QTest::newRow("results written, companion not")
            << (case01Files() << QStringLiteral("-o") << QStringLiteral("%t/taken.dat")) << 3
            << "ratelens-batch: cannot write %t/taken.dat.conf\n" << 4;
    QTest::newRow("results over a folder")
            << (case01Files() << QStringLiteral("-o") << QStringLiteral("%t/blocked.dat")) << 2
            << "ratelens-batch: -o %t/blocked.dat is a folder, not a results file\n" << 0;
    // %t also holds rec.dat, a recording, with hard.dat a second name of it;
    // old.dat, a results file; one.dat, a point table of one channel.
    QTest::newRow("results over a recording's other name")
            << (case01Files() << QStringLiteral("%t/rec.dat") << QStringLiteral("-o")
                              << QStringLiteral("%t/hard.dat"))
            << 2 << "the results file %t/hard.dat would overwrite the input %t/rec.dat\n" << 0;
    QTest::newRow("plot over the companion")
            << (case01Files() << QStringLiteral("-o") << QStringLiteral("%t/r.dat")
                              << QStringLiteral("--plot") << QStringLiteral("%t/r.dat.conf"))
            << 2 << "the plot %t/r.dat.conf would overwrite its companion %t/r.dat.conf\n" << 0;
    QTest::newRow("an earlier results file among the inputs, written anew")
            << (case01Files() << QStringLiteral("%t/old.dat") << QStringLiteral("-o")
                              << QStringLiteral("%t/old.dat"))
            << 0 << "%t/old.dat is a results file (\"# Deadtime data\"), not a measurement: left out\n"
            << 4;
    QTest::newRow("a file of fewer channels")
            << (case01Files() << QStringLiteral("%t/one.dat")) << 0
            << "channel counts differ: Ti_I0scan_1.dat has 4, %t/one.dat has 1; only the 1 "
               "channel(s) all points have are estimated\n"
            << 1;
}

void TestBatchCommand::exitStatusAndMessages()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, errContains);
    QFETCH(int, tableRows);

    QTemporaryDir scratch;
    const QDir folder(scratch.path());
    QVERIFY(folder.mkdir("taken.dat.conf") && folder.mkdir("blocked.dat"));
    const QString rec = folder.filePath(QStringLiteral("rec.dat"));
    QVERIFY(QFile::copy(case01() + QStringLiteral("/Ti_I0scan_1.dat"), rec));
    QCOMPARE(::link(QFile::encodeName(rec).constData(),
                    QFile::encodeName(folder.filePath(QStringLiteral("hard.dat"))).constData()),
             0);
    QVERIFY(testsupport::writeFileBytes(folder.filePath(QStringLiteral("old.dat")),
                                        "# Deadtime data\r\nPreamp: 1e-07\r\nAmp: 1e-06\r\n"));
    QVERIFY(testsupport::writeFileBytes(folder.filePath(QStringLiteral("one.dat")),
                                        "# Channels : 1\n1000 990 900\n2000 1960 1700\n"));
    args.replaceInStrings(QStringLiteral("%t"), scratch.path());
    errContains.replace(QStringLiteral("%t"), scratch.path());

    const Result r = run(case01(), args);
    QCOMPARE(r.status, status);
    if (errContains.isEmpty())
        QCOMPARE(r.err, QByteArray());
    else
        QVERIFY2(r.err.contains(errContains.toUtf8()), r.err.constData());
    if (tableRows > 0) {
        QVERIFY(r.out.startsWith("channel "));
        QCOMPARE(r.out.count('\n'), 1 + tableRows);
    } else {
        QCOMPARE(r.out, QByteArray());
    }
}

void TestBatchCommand::helpExplainsTheStatistics()
{
    const Result r = run(case01(), { QStringLiteral("--help") });
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    for (const char *text : { "Usage:", "--output <FILE>", "--json", "--plot <FILE>", "--bare-plot",
                              "--size <WxH>", "--verbose", "--version", "RSS/(n-2)",
                              "s^2 (X^T X)^-1", "delta method", "tau0 = -b/a^2", "tau = -d1/d0",
                              "centred", "uncentred", "Exit status", "--model <MODEL>",
                              "--residuals", "m = n*exp(-n*tau)", "m = n/(1 + n*tau)",
                              "proportional to the value", "reduced chi^2", "covariance",
                              "\"failed\"", "quadratic-biased" })
        QVERIFY2(r.out.contains(text), text);
}

void TestBatchCommand::versionLine()
{
    const Result r = run(case01(), { QStringLiteral("--version") });
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QByteArray("ratelens-batch " RATELENS_VERSION "\n"));
}

void TestBatchCommand::writesWhatSaveWrites()
{
    QTemporaryDir out;
    const QString result = out.filePath(QStringLiteral("dead times.dat"));
    const Result r = run(case01(), case01Files() << QStringLiteral("--json")
                                                 << QStringLiteral("--output") << result);
    QCOMPARE(r.status, 0);
    QVERIFY(QJsonDocument::fromJson(r.out).isObject());
    const QString expected =
            testDataPath(QStringLiteral("conformance/01_spectrum_4ch_2048bins/expected/"));
    QCOMPARE(readFileBytes(result), readFileBytes(expected + QStringLiteral("result_1.dat")));
    QCOMPARE(readFileBytes(result + QStringLiteral(".conf")),
             readFileBytes(expected + QStringLiteral("result_1.dat.conf")));
}

void TestBatchCommand::plotsWithoutADisplay()
{
    QTemporaryDir out;
    const QString png = out.filePath(QStringLiteral("plots.png"));
    // No platform chosen and no display to find: the command must still draw.
    const Result r = run(case01(),
                         case01Files() << QStringLiteral("--plot") << png << QStringLiteral("--size")
                                       << QStringLiteral("320x240"),
                         { QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"),
                           QStringLiteral("WAYLAND_DISPLAY") });
    QCOMPARE(r.status, 0);
    const QImage image(png);
    QCOMPARE(image.size(), QSize(320, 240));
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            coloured += image.pixel(x, y) != qRgb(255, 255, 255);
    QVERIFY(coloured > 500);
}

QTEST_GUILESS_MAIN(TestBatchCommand)
#include "tst_batchcommand.moc"
