// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "columnfile.h"
#include "correctcommand.h"
#include "simulateddetector.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using simulated::Scan;

Q_DECLARE_METATYPE(Scan)

namespace {

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

} // namespace

// ratelens-batch correct corrects with what the calibration determined, and
// with nothing else.
class TestCorrectVerdicts : public QObject
{
    Q_OBJECT
private slots:
    void onlyWhatWasDetermined_data();
    void onlyWhatWasDetermined();
    void readInputsAreNeverOutputs_data();
    void readInputsAreNeverOutputs();
};

void TestCorrectVerdicts::onlyWhatWasDetermined_data()
{
    QTest::addColumn<Scan>("scan");
    QTest::addColumn<QStringList>("fitArgs");
    QTest::addColumn<QStringList>("correctArgs");
    QTest::addColumn<QVector<int>>("refused"); // element numbers
    QTest::addColumn<QString>("why");
    const QStringList none;
    const QStringList ampOnly { QStringLiteral("--stages"), QStringLiteral("amp") };
    const QStringList fromSca { QStringLiteral("--from"), QStringLiteral("sca") };
    QTest::newRow("intensity calibration")
        << Scan::Intensity << none << none << QVector<int>() << QString();
    QTest::newRow("energy scan, from ICR")
        << Scan::EnergyDriftingI0 << none << none << QVector<int> { 1, 2, 3, 4 }
        << QStringLiteral("tau0 was not determined (not-intensity-scan");
    QTest::newRow("energy scan, --stages amp")
        << Scan::EnergyDriftingI0 << none << ampOnly << QVector<int>() << QString();
    QTest::newRow("energy scan, --tau0 typed in")
        << Scan::EnergyDriftingI0 << none
        << QStringList { QStringLiteral("--tau0"), QStringLiteral("3e-7") } << QVector<int>()
        << QString();
    // Its ICR misses events: neither rate of a broken element corrects.
    QTest::newRow("broken element, from SCA")
        << Scan::BrokenElement << none << fromSca << QVector<int> { 3 }
        << QStringLiteral("the element is broken");
    QTest::newRow("broken element, from ICR")
        << Scan::BrokenElement << none << none << QVector<int> { 3 }
        << QStringLiteral("the element is broken");
    QTest::newRow("broken element, dead times typed in")
        << Scan::BrokenElement << none
        << QStringList { QStringLiteral("--tau0"), QStringLiteral("3e-7"), QStringLiteral("--tau"),
                         QStringLiteral("6e-7") }
        << QVector<int>() << QString();
    QTest::newRow("element left out of the fit")
        << Scan::Intensity << QStringList { QStringLiteral("--exclude"), QStringLiteral("1") }
        << none << QVector<int> { 2 }
        << QStringLiteral("its channel was left out of the fit (--exclude)");
}

// The calibration corrects itself: refused elements get nan and flag 4 and
// are named with what would work; the others are corrected.
void TestCorrectVerdicts::onlyWhatWasDetermined()
{
    QFETCH(Scan, scan);
    QFETCH(QStringList, fitArgs);
    QFETCH(QStringList, correctArgs);
    QFETCH(QVector<int>, refused);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const simulated::Recording recording = simulated::record(scan, 1.0, 1.0, 21);
    const QString input = dir.filePath(QStringLiteral("scan.txt"));
    QVERIFY(testsupport::writeFileBytes(input, simulated::columnFile(recording)));
    const BatchRun fit
        = runBatchCommand(QStringList { QStringLiteral("--columns"), QStringLiteral("--model"),
                                        QStringLiteral("paralyzable"), QStringLiteral("--json") }
                          + fitArgs + QStringList { input });
    const QString json = dir.filePath(QStringLiteral("dt.json"));
    QVERIFY(testsupport::writeFileBytes(json, fit.out.toUtf8()));
    const QString output = dir.filePath(QStringLiteral("out.tsv"));
    const BatchRun run
        = runBatchCommand(QStringList { QStringLiteral("correct"), QStringLiteral("--dead-times"),
                                        json, QStringLiteral("-o"), output }
                          + correctArgs + QStringList { input });
    QCOMPARE(run.status, refused.isEmpty() ? int(CorrectOk) : int(CorrectIncomplete));

    QStringList names;
    const ColumnBlock out = readOutput(output, names);
    QCOMPARE(out.rows(), recording.i0.size());
    for (int n = 1; n <= simulated::elements; ++n) {
        const auto column
            = [&](const QString &name) { return out.columns[size_t(names.indexOf(name.arg(n)))]; };
        const std::vector<double> &k = column(QStringLiteral("dtc%1"));
        const std::vector<double> &flag = column(QStringLiteral("dtc%1_flag"));
        const std::vector<double> &nTrue = column(QStringLiteral("ntrue%1"));
        const QString element = QStringLiteral("element %1 (channel %2): ").arg(n).arg(n - 1);
        if (refused.contains(n)) {
            QVERIFY(std::all_of(flag.begin(), flag.end(), [](double f) { return f == 4.0; }));
            QVERIFY(std::all_of(k.begin(), k.end(), [](double v) { return std::isnan(v); }));
            QVERIFY2(run.err.contains(QStringLiteral("not corrected: ") + element + why),
                     qPrintable(run.err));
            continue;
        }
        QVERIFY2(!run.err.contains(element), qPrintable(run.err));
        for (int p = 0; p < out.rows(); ++p) {
            QCOMPARE(flag[size_t(p)], 0.0);
            // Counting losses only ever raise a rate; a broken element's
            // SCA lies above what its ICR allows.
            const bool broken = scan == Scan::BrokenElement && n == 3;
            QVERIFY(broken ? std::isfinite(k[size_t(p)]) : k[size_t(p)] >= 1.0);
            if (correctArgs.contains(QStringLiteral("amp"))) {
                // The amplifier alone: its input is the measured ICR, and k
                // undoes the amplifier's loss at that rate, as the law of
                // the simulated detector gives it.
                const double icr = recording.icr[n - 1][p];
                QCOMPARE(nTrue[size_t(p)], icr);
                QVERIFY(std::fabs(k[size_t(p)] / std::exp(icr * simulated::tau[n - 1]) - 1.0)
                        < 0.01);
            }
        }
    }
    if (refused.contains(1) && why.startsWith(QLatin1String("tau0")))
        QVERIFY2(run.err.contains(QStringLiteral("--stages amp")), qPrintable(run.err));
}

void TestCorrectVerdicts::readInputsAreNeverOutputs_data()
{
    QTest::addColumn<QString>("onto");
    QTest::newRow("the dead-time file") << QStringLiteral("dt.json");
    QTest::newRow("the recipe") << QStringLiteral("scan.recipe");
}

// What correct reads it never writes over: refused before anything is written.
void TestCorrectVerdicts::readInputsAreNeverOutputs()
{
    QFETCH(QString, onto);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("scan.txt"));
    QVERIFY(testsupport::writeFileBytes(
        input, simulated::columnFile(simulated::record(Scan::Intensity, 1.0, 1.0, 4))));
    const BatchRun fit
        = runBatchCommand({ QStringLiteral("--columns"), QStringLiteral("--model"),
                            QStringLiteral("paralyzable"), QStringLiteral("--json"), input });
    const QString json = dir.filePath(QStringLiteral("dt.json"));
    const QString recipe = dir.filePath(QStringLiteral("scan.recipe"));
    QVERIFY(testsupport::writeFileBytes(json, fit.out.toUtf8()));
    QVERIFY(testsupport::writeFileBytes(recipe,
                                        "elements = 1-4\ni0 = I0\nicr = ICR{n}\nsca = OCR{n}\n"));
    const QByteArray before = testsupport::readFileBytes(dir.filePath(onto));
    const BatchRun run = runBatchCommand(
        { QStringLiteral("correct"), QStringLiteral("--dead-times"), json,
          QStringLiteral("--recipe"), recipe, QStringLiteral("-o"), dir.filePath(onto), input });
    QCOMPARE(run.status, int(CorrectUsageError));
    QVERIFY2(run.err.contains(QStringLiteral("would overwrite")), qPrintable(run.err));
    QCOMPARE(testsupport::readFileBytes(dir.filePath(onto)), before);
}

QTEST_GUILESS_MAIN(TestCorrectVerdicts)
#include "tst_correctverdicts.moc"
