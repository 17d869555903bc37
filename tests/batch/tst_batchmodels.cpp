// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "loader.h"
#include "modelcomparison.h"
#include "pointset.h"
#include "resultsfile.h"
#include "testsupport.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

using testsupport::readFileBytes;
using testsupport::testDataPath;

namespace {

using Run = BatchRun;

Run run(const QStringList &args)
{
    return runBatchCommand(args);
}

QString highRate()
{
    return QStringLiteral(RATELENS_EXAMPLES_DIR "/highrate/point_table.dat");
}

QStringList twoPoints()
{
    const QString dir = testDataPath(QStringLiteral("conformance/01_spectrum_4ch_2048bins/input/"));
    return { dir + QStringLiteral("Ti_I0scan_1.dat"), dir + QStringLiteral("Ti_I0scan_2.dat") };
}

QJsonArray tableOf(const Run &r, const QString &model)
{
    const QJsonObject root = QJsonDocument::fromJson(r.out.toUtf8()).object();
    if (root.value(QStringLiteral("model")).toString() != model)
        return {};
    return root.value(QStringLiteral("table")).toArray();
}

// The simulated detector of the high-rate example, both stages paralyzable.
const double trueTau0s[]
    = { 0.80e-6, 0.85e-6, 0.90e-6, 0.95e-6, 0.80e-6, 0.85e-6, 0.90e-6, 0.95e-6 };
const double trueTaus[] = { 1.0e-6, 1.1e-6, 1.2e-6, 1.0e-6, 1.1e-6, 1.2e-6, 1.0e-6, 1.1e-6 };

// Distance of row's dead times from the truth in their own standard errors.
double worstPull(const QJsonObject &row, int j)
{
    const double p0 = (row.value(QStringLiteral("tau0")).toDouble(qQNaN()) - trueTau0s[j])
        / row.value(QStringLiteral("tau0StdErr")).toDouble(qQNaN());
    const double p = (row.value(QStringLiteral("tau")).toDouble(qQNaN()) - trueTaus[j])
        / row.value(QStringLiteral("tauStdErr")).toDouble(qQNaN());
    return std::fmax(std::fabs(p0), std::fabs(p));
}

} // namespace

class TestBatchModels : public QObject
{
    Q_OBJECT
private slots:
    void exactFitsFindTheHighRateTruth();
    void compareNestsEveryModel();
    void stageFlagsUnderTheirOwnKeys();
    void failedFitsShowAsFailed();
    void unusableQuadraticShowsAsFailed();
    void outputWritesTheModelsDeadTimes();
    void usageErrors_data();
    void usageErrors();
    void residualPanelsBelowThePlots_data();
    void residualPanelsBelowThePlots();
    void excludedChannelsLeaveTheConfFile_data();
    void excludedChannelsLeaveTheConfFile();
    void fixD0HoldsTheScale();
};

void TestBatchModels::exactFitsFindTheHighRateTruth()
{
    // The quadratic is the default: naming it changes nothing.
    QCOMPARE(run({ QStringLiteral("--model"), QStringLiteral("quadratic"), highRate() }).out,
             run({ highRate() }).out);
    const QJsonArray quadratic
        = tableOf(run({ QStringLiteral("--json"), highRate() }), QStringLiteral("quadratic"));
    const QJsonArray paralyzable
        = tableOf(run({ QStringLiteral("--model"), QStringLiteral("paralyzable"),
                        QStringLiteral("--json"), highRate() }),
                  QStringLiteral("paralyzable"));
    QCOMPARE(quadratic.size(), 8);
    QCOMPARE(paralyzable.size(), 8);
    for (const char *key :
         { "channel", "tau0", "tau", "a", "b", "tau0StdErr", "r2I0Icr", "d0", "d1", "tauStdErr",
           "r2IcrSca", "reducedChi2I0Icr", "reducedChi2IcrSca", "flags" })
        QVERIFY2(quadratic[0].toObject().contains(QLatin1String(key)), key);
    for (int j = 0; j < 8; ++j) {
        // The quadratic is some 20 % low with errors near 1 %; the law the
        // detector follows lands within a few of its standard errors.
        QVERIFY2(worstPull(quadratic[j].toObject(), j) > 20.0, qPrintable(QString::number(j)));
        QVERIFY2(worstPull(paralyzable[j].toObject(), j) < 4.0, qPrintable(QString::number(j)));
        for (const QJsonArray &table : { quadratic, paralyzable })
            QVERIFY(table[j].toObject().value(QStringLiteral("flags")).toArray().contains(
                    QStringLiteral("quadratic-biased")));
    }
}

void TestBatchModels::compareNestsEveryModel()
{
    const Run r = run({ QStringLiteral("--model"), QStringLiteral("compare"),
                        QStringLiteral("--json"), highRate() });
    QCOMPARE(r.status, int(BatchOk));
    const QJsonArray table = tableOf(r, QStringLiteral("compare"));
    QCOMPARE(table.size(), 8);
    for (int j = 0; j < 8; ++j) {
        const QJsonObject row = table[j].toObject();
        QCOMPARE(row.value(QStringLiteral("channel")).toInt(), j);
        QCOMPARE(row.value(QStringLiteral("preferredI0Icr")).toString(),
                 QStringLiteral("paralyzable"));
        QCOMPARE(row.value(QStringLiteral("preferredIcrSca")).toString(),
                 QStringLiteral("paralyzable"));
        for (const char *model : { "quadratic", "paralyzable", "nonparalyzable" }) {
            const QJsonObject fit = row.value(QLatin1String(model)).toObject();
            for (const char *key : { "tau0", "tau0StdErr", "tau", "tauStdErr", "reducedChi2I0Icr",
                                     "reducedChi2IcrSca", "a", "d0" })
                QVERIFY2(fit.value(QLatin1String(key)).toDouble() > 0.0,
                         qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(model),
                                                                QLatin1String(key))));
            QVERIFY(fit.value(QStringLiteral("flags")).isArray());
        }
    }

    // The text shows the same, one line per channel and stage.
    const Run text = run({ QStringLiteral("--model"), QStringLiteral("compare"), highRate() });
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 2 * 8);
    const QStringList cells = lines[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(cells.value(1), QStringLiteral("tau0"));
    const double tau0 = table[0]
                            .toObject()
                            .value(QStringLiteral("paralyzable"))
                            .toObject()
                            .value(QStringLiteral("tau0"))
                            .toDouble();
    QCOMPARE(cells.value(5), QString::number(tau0, 'g', 6));
    // After the three models' dead times their scales, a or d0 with its error.
    QCOMPARE(cells.value(13), QString::number(table[0]
                                                      .toObject()
                                                      .value(QStringLiteral("paralyzable"))
                                                      .toObject()
                                                      .value(QStringLiteral("a"))
                                                      .toDouble(),
                                              'g', 6));
    QCOMPARE(cells.value(17), QStringLiteral("paralyzable"));
    QCOMPARE(cells.value(18), QStringLiteral("quadratic-biased"));
}

// The example spectra flag their two stages differently, so that flags given
// to the wrong stage show.
void TestBatchModels::stageFlagsUnderTheirOwnKeys()
{
    QStringList spectra;
    for (int k = 1; k <= 6; ++k)
        spectra << QStringLiteral(RATELENS_EXAMPLES_DIR "/spectrum_0%1.dat").arg(k);
    PointSet points;
    loadMeasurementFiles(spectra, points);
    const QVector<ChannelComparison> channels = compareChannels(points);
    const QJsonArray table = tableOf(
        run(QStringList { QStringLiteral("--model"), QStringLiteral("compare"),
                          QStringLiteral("--json") } + spectra),
        QStringLiteral("compare"));
    QCOMPARE(table.size(), channels.size());
    const auto names = [](const QJsonValue &flags) {
        QStringList list;
        for (const QJsonValue &name : flags.toArray())
            list.append(name.toString());
        return list;
    };
    int differing = 0;
    for (int j = 0; j < table.size(); ++j) {
        const QJsonObject row = table[j].toObject();
        QCOMPARE(names(row.value(QStringLiteral("flagsI0Icr"))),
                 deadTimeFlagNames(channels[j].preAmp.flags));
        QCOMPARE(names(row.value(QStringLiteral("flagsIcrSca"))),
                 deadTimeFlagNames(channels[j].amp.flags));
        differing += channels[j].preAmp.flags != channels[j].amp.flags;
    }
    QVERIFY(differing > 0);
}

void TestBatchModels::failedFitsShowAsFailed()
{
    // Two points leave no degree of freedom: no exact fit can give an error,
    // and the data determine no dead time.
    const Run text = run(QStringList { QStringLiteral("--model"), QStringLiteral("paralyzable") }
                         + twoPoints());
    QCOMPARE(text.status, int(BatchIncomplete));
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 4);
    QVERIFY2(lines[1].startsWith(QStringLiteral("      0 undetermined (too-few-points) "
                                                "undetermined (too-few-points)")),
             qPrintable(lines[1]));
    QVERIFY(lines[1].endsWith(QStringLiteral(" tau0:too-few-points;tau:too-few-points")));
    QVERIFY2(text.err.contains(QStringLiteral(
                 "ratelens-batch: channel 0, I0 -> ICR, paralyzable: fewer than 3 points\n")),
             qPrintable(text.err));

    const Run json = run(QStringList { QStringLiteral("--model"), QStringLiteral("compare"),
                                       QStringLiteral("--json") }
                         + twoPoints());
    const QJsonObject row = tableOf(json, QStringLiteral("compare"))[0].toObject();
    const QJsonObject fit = row.value(QStringLiteral("nonparalyzable")).toObject();
    QVERIFY(fit.value(QStringLiteral("tau0")).isNull());
    QVERIFY(fit.value(QStringLiteral("tauStdErr")).isNull());
    QCOMPARE(fit.value(QStringLiteral("tauUndetermined")).toString(),
             QStringLiteral("too-few-points"));
    QCOMPARE(fit.value(QStringLiteral("failureIcrSca")).toString(),
             QStringLiteral("fewer than 3 points"));
    QCOMPARE(row.value(QStringLiteral("preferredI0Icr")).toString(), QStringLiteral("undecided"));
}

// The fuzz finding fuzz/corpus/batch/negative_icr_chi2.dat: channel 0 counts
// negative rates, which the quadratic followed with a positive dead time and
// a finite error but an infinite reduced chi^2. No law takes a negative rate:
// every point of channel 0 is left out, and named, and channel 1 stands.
void TestBatchModels::unusableQuadraticShowsAsFailed()
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("negative.dat"));
    QVERIFY(testsupport::writeFileBytes(table, "# Channels : 2\n1000 -900 900 850 850\n"
                                               "2000 -1804 1797 1690 1694\n"
                                               "3000 -2707 2693 2510 2520\n"
                                               "4000 -3613 3587 3320 3340\n"
                                               "5000 -4520 4481 4110 4150\n"));

    const Run text = run({ QStringLiteral("--model"), QStringLiteral("compare"), table });
    QCOMPARE(text.status, int(BatchIncomplete));
    const QStringList lines = text.out.split(QLatin1Char('\n'));
    QVERIFY2(lines.value(1).startsWith(
                     QStringLiteral("      0  tau0 undetermined (too-few-points)")),
             qPrintable(text.out));
    QVERIFY2(text.err.contains(QStringLiteral(
                     "channel 0, I0 -> ICR: 5 points left out of the fits, a rate negative or "
                     "not finite: %1 line 2, %1 line 3, %1 line 4, %1 line 5, %1 line 6\n")
                                       .arg(table)),
             qPrintable(text.err));
    QVERIFY2(!text.out.contains(QStringLiteral("inf")), qPrintable(text.out));
    QVERIFY2(!lines.value(3).contains(QStringLiteral("undetermined")), qPrintable(text.out));

    const QJsonObject quadratic = tableOf(run({ QStringLiteral("--model"),
                                                QStringLiteral("compare"),
                                                QStringLiteral("--json"), table }),
                                          QStringLiteral("compare"))[0]
                                          .toObject()
                                          .value(QStringLiteral("quadratic"))
                                          .toObject();
    QVERIFY(quadratic.value(QStringLiteral("tau0")).isNull());
    QCOMPARE(quadratic.value(QStringLiteral("tau0Undetermined")).toString(),
             QStringLiteral("too-few-points"));
}

void TestBatchModels::outputWritesTheModelsDeadTimes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dt.dat"));
    const Run r = run({ QStringLiteral("--model"), QStringLiteral("nonparalyzable"),
                        QStringLiteral("--json"), QStringLiteral("-o"), path, highRate() });
    QCOMPARE(r.status, int(BatchOk));
    QVector<double> tau0s;
    QVector<double> taus;
    for (const QJsonValue &v : tableOf(r, QStringLiteral("nonparalyzable"))) {
        tau0s.append(v.toObject().value(QStringLiteral("tau0")).toDouble());
        taus.append(v.toObject().value(QStringLiteral("tau")).toDouble());
    }
    QCOMPARE(tau0s.size(), 8);
    QCOMPARE(readFileBytes(path), formatResultsFile(tau0s, taus));
    QCOMPARE(readFileBytes(path + QStringLiteral(".conf")), formatConfFile(tau0s, taus));
}

void TestBatchModels::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown model")
        << QStringList { QStringLiteral("--model"), QStringLiteral("exact"), highRate() }
        << QStringLiteral("unknown model 'exact'");
    QTest::newRow("output of three models")
        << QStringList { QStringLiteral("--model"), QStringLiteral("compare"), QStringLiteral("-o"),
                         QStringLiteral("x.dat"), highRate() }
        << QStringLiteral("not of --model compare");
    QTest::newRow("residuals without a plot")
        << QStringList { QStringLiteral("--residuals"), highRate() }
        << QStringLiteral("--residuals needs --plot");
    QTest::newRow("bare plot without a plot")
        << QStringList { QStringLiteral("--bare-plot"), highRate() }
        << QStringLiteral("--bare-plot needs --plot");
    QTest::newRow("a plot named .svg")
        << QStringList { QStringLiteral("--plot"), QStringLiteral("plots.SVG"), highRate() }
        << QStringLiteral("an SVG image is saved from the window");
}

void TestBatchModels::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = run(args);
    QCOMPARE(r.status, int(BatchUsageError));
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

void TestBatchModels::residualPanelsBelowThePlots_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("residuals");
    QTest::addColumn<int>("height");

    QTest::newRow("plots only") << QStringLiteral("paralyzable") << false << 400;
    QTest::newRow("one model") << QStringLiteral("paralyzable") << true << 400 + 200;
    QTest::newRow("compare: three rows") << QStringLiteral("compare") << true << 400 + 3 * 200;
}

void TestBatchModels::residualPanelsBelowThePlots()
{
    QFETCH(QString, model);
    QFETCH(bool, residuals);
    QFETCH(int, height);

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    QStringList args { QStringLiteral("--model"),
                       model,
                       QStringLiteral("--plot"),
                       png,
                       QStringLiteral("--size"),
                       QStringLiteral("600x400"),
                       highRate() };
    if (residuals)
        args << QStringLiteral("--residuals");
    QCOMPARE(run(args).status, int(BatchOk));
    const QImage image(png);
    QCOMPARE(image.size(), QSize(600, height));
    if (!residuals)
        return;
    // Every residual row holds points in channel colours, not only frame and text.
    for (int top = 400; top < height; top += 200) {
        int coloured = 0;
        for (int y = top; y < top + 200; ++y) {
            for (int x = 0; x < 600; ++x) {
                const QColor c = image.pixelColor(x, y);
                coloured += c.saturation() > 128 ? 1 : 0;
            }
        }
        QVERIFY2(coloured > 200, qPrintable(QString::number(coloured)));
    }
}

void TestBatchModels::excludedChannelsLeaveTheConfFile_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("quadratic") << QStringLiteral("quadratic");
    QTest::newRow("paralyzable") << QStringLiteral("paralyzable");
}

void TestBatchModels::excludedChannelsLeaveTheConfFile()
{
    QFETCH(QString, model);
    QTemporaryDir dir;
    const QString all = dir.filePath(QStringLiteral("all.dat"));
    const QString masked = dir.filePath(QStringLiteral("masked.dat"));
    const Run plain = run({ QStringLiteral("--model"), model, highRate(), QStringLiteral("-o"), all });
    const Run r = run({ QStringLiteral("--model"), model, highRate(), QStringLiteral("-o"), masked,
                        QStringLiteral("--exclude"), QStringLiteral("3,7"), QStringLiteral("--json") });
    QCOMPARE(plain.status, int(BatchOk));
    QCOMPARE(r.status, int(BatchOk));
    // The results file keeps every value.
    QCOMPARE(readFileBytes(masked), readFileBytes(all));

    const QList<QByteArray> kept = readFileBytes(all + QStringLiteral(".conf")).split('\n');
    const QList<QByteArray> lines = readFileBytes(masked + QStringLiteral(".conf")).split('\n');
    QCOMPARE(lines.size(), 4);
    for (int line : { 1, 2 }) {
        const QList<QByteArray> want = kept[line].split(' ');
        const QList<QByteArray> got = lines[line].split(' ');
        QCOMPARE(got.size(), want.size());
        for (int i = 0; i < got.size(); ++i) {
            // Fields are "  value" after the name and four blanks: channel j at
            // position 6 + 2 j of the split.
            const bool masked3or7 = i == 6 + 2 * 3 || i == 6 + 2 * 7;
            QCOMPARE(got[i], masked3or7 ? QByteArray("0") : want[i]);
        }
    }
    // The mean line: the mean of the six channels left.
    const QJsonArray table = tableOf(r, model);
    double sum = 0.0;
    for (int j : { 0, 1, 2, 4, 5, 6 })
        sum += table[j].toObject().value(QStringLiteral("tau0")).toDouble();
    QCOMPARE(lines[0].split(' ').value(10).toDouble(), formatStreamDouble(sum / 6 * 1e6).toDouble());
    QCOMPARE(table[3].toObject().value(QStringLiteral("excluded")).toBool(), true);
    QCOMPARE(table[4].toObject().value(QStringLiteral("excluded")).toBool(), false);
}

// The high-rate detector has d0 of 3 to 3.6 (SCA counted over 10 s); held at 1
// the amplifier fit must say so in every row and give other dead times.
void TestBatchModels::fixD0HoldsTheScale()
{
    const QJsonArray free = tableOf(run({ QStringLiteral("--json"), QStringLiteral("--model"),
                                          QStringLiteral("paralyzable"), highRate() }),
                                    QStringLiteral("paralyzable"));
    const QJsonArray held = tableOf(run({ QStringLiteral("--json"), QStringLiteral("--model"),
                                          QStringLiteral("paralyzable"), QStringLiteral("--fix-d0"),
                                          highRate() }),
                                    QStringLiteral("paralyzable"));
    QCOMPARE(held.size(), 8);
    for (int j = 0; j < 8; ++j) {
        const QJsonObject f = free[j].toObject();
        const QJsonObject h = held[j].toObject();
        QCOMPARE(h.value(QStringLiteral("d0Fixed")).toBool(), true);
        QCOMPARE(f.value(QStringLiteral("d0Fixed")).toBool(), false);
        QVERIFY(f.value(QStringLiteral("d0")).toDouble() > 2.5);
        QVERIFY(f.value(QStringLiteral("d0StdErr")).toDouble() > 0.0);
        // The pre-amplifier is not touched.
        QCOMPARE(h.value(QStringLiteral("tau0")).toDouble(), f.value(QStringLiteral("tau0")).toDouble());
        QVERIFY(h.value(QStringLiteral("tau")).toDouble() != f.value(QStringLiteral("tau")).toDouble());
    }
}

QTEST_MAIN(TestBatchModels)
#include "tst_batchmodels.moc"
