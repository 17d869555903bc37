// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "resultsfile.h"
#include "simulateddetector.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using simulated::Scan;

Q_DECLARE_METATYPE(Scan)

namespace {

// The reasons of the undetermined stages, per channel; empty for determined.
using Reasons = QVector<QString>;

QJsonArray tableOf(const BatchRun &r)
{
    return QJsonDocument::fromJson(r.out.toUtf8())
        .object()
        .value(QStringLiteral("table"))
        .toArray();
}

// The values of a results file's line ("Preamp:" or "Amp:") or a .conf line.
QStringList fieldsOf(const QByteArray &file, int line)
{
    return QString::fromLatin1(file)
        .split(QRegularExpression(QStringLiteral("\r?\n")))
        .value(line)
        .split(QLatin1Char(' '), Qt::SkipEmptyParts)
        .mid(1);
}

} // namespace

class TestVerdictOutputs : public QObject
{
    Q_OBJECT
private slots:
    void everyOutputObeysTheVerdict_data();
    void everyOutputObeysTheVerdict();
    void leftOutChannelsNeedNoDeadTime();
};

void TestVerdictOutputs::everyOutputObeysTheVerdict_data()
{
    QTest::addColumn<Scan>("scan");
    QTest::addColumn<QString>("model");
    QTest::addColumn<Reasons>("tau0");
    QTest::addColumn<Reasons>("tau");
    const Reasons none(4);
    const Reasons energy(4, QStringLiteral("not-intensity-scan"));
    const Reasons broken { {}, {}, QStringLiteral("broken"), {} };
    for (const char *model : { "quadratic", "paralyzable" }) {
        QTest::addRow("intensity scan, %s", model) << Scan::Intensity << model << none << none;
        QTest::addRow("energy scan, I0 drifting x3, %s", model)
            << Scan::EnergyDriftingI0 << model << energy << none;
        QTest::addRow("energy scan, I0 steady, %s", model)
            << Scan::EnergyConstantI0 << model << energy << none;
        QTest::addRow("broken element, %s", model)
            << Scan::BrokenElement << model << broken << broken;
        QTest::addRow("all OCR zero, %s", model)
            << Scan::ZeroOcr << model << none << Reasons(4, QStringLiteral("no-counts"));
        QTest::addRow("constant ICR and OCR, %s", model)
            << Scan::ConstantRates << model << Reasons(4, QStringLiteral("one-rate"))
            << Reasons(4, QStringLiteral("one-rate"));
    }
}

// The text table, the JSON report, the results file, the .conf, standard
// error and the exit status all say the same of every stage.
void TestVerdictOutputs::everyOutputObeysTheVerdict()
{
    QFETCH(Scan, scan);
    QFETCH(QString, model);
    QFETCH(Reasons, tau0);
    QFETCH(Reasons, tau);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("scan.dat"));
    const QString output = dir.filePath(QStringLiteral("dt.dat"));
    QVERIFY(testsupport::writeFileBytes(
        input, simulated::pointTable(simulated::record(scan, 1.0, 1.0, 5))));
    const BatchRun json
        = runBatchCommand({ QStringLiteral("--model"), model, QStringLiteral("--json"),
                            QStringLiteral("-o"), output, input });
    const BatchRun text = runBatchCommand({ QStringLiteral("--model"), model, input });
    const bool allDetermined = tau0 == Reasons(4) && tau == Reasons(4);
    QCOMPARE(json.status, allDetermined ? int(BatchOk) : int(BatchIncomplete));
    QCOMPARE(text.status, json.status);

    const QJsonArray table = tableOf(json);
    QCOMPARE(table.size(), 4);
    const QByteArray results = testsupport::readFileBytes(output);
    const QByteArray conf = testsupport::readFileBytes(output + QStringLiteral(".conf"));
    const QStringList textLines = text.out.split(QLatin1Char('\n'));
    for (int j = 0; j < 4; ++j) {
        const QJsonObject row = table[j].toObject();
        for (int stage = 0; stage < 2; ++stage) {
            const QString key = stage == 0 ? QStringLiteral("tau0") : QStringLiteral("tau");
            const QString reason = (stage == 0 ? tau0 : tau).at(j);
            const QString where = QStringLiteral("channel %1 %2").arg(j).arg(key);
            const QString written = fieldsOf(results, 1 + stage).value(j);
            const QString inConf = fieldsOf(conf, 1 + stage).value(j);
            if (reason.isEmpty()) {
                QVERIFY2(row.value(key).isDouble(), qPrintable(where));
                QVERIFY2(!row.contains(key + QStringLiteral("Undetermined")), qPrintable(where));
                QVERIFY2(std::isfinite(written.toDouble()) && written.toDouble() > 0.0,
                         qPrintable(where + written));
                QVERIFY2(inConf.toDouble() > 0.0, qPrintable(where + inConf));
                continue;
            }
            QVERIFY2(row.value(key).isNull(), qPrintable(where));
            QVERIFY2(row.value(key + QStringLiteral("StdErr")).isNull(), qPrintable(where));
            QCOMPARE(row.value(key + QStringLiteral("Undetermined")).toString(), reason);
            QCOMPARE(written, QStringLiteral("nan"));
            QCOMPARE(inConf, QStringLiteral("0"));
            QVERIFY2(
                textLines.value(1 + j).contains(QStringLiteral("undetermined (%1)").arg(reason)),
                qPrintable(text.out));
            QVERIFY2(
                json.err.contains(
                    QStringLiteral("channel %1: %2 undetermined (%3): ").arg(j).arg(key, reason)),
                qPrintable(json.err));
        }
    }
    // The mean line takes the determined dead times alone.
    const QStringList means = QString::fromLatin1(conf)
                                  .section(QLatin1Char('\n'), 0, 0)
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int stage = 0; stage < 2; ++stage) {
        const QString key = stage == 0 ? QStringLiteral("tau0") : QStringLiteral("tau");
        double sum = 0.0;
        int n = 0;
        for (const QJsonValue &row : table) {
            if (row.toObject().value(key).isDouble()) {
                sum += row.toObject().value(key).toDouble();
                ++n;
            }
        }
        QCOMPARE(means.value(stage),
                 n > 0 ? formatStreamDouble(sum / n * 1e6) : QStringLiteral("nan"));
    }
}

// A channel left out of the .conf needs no dead time: the broken element,
// left out, leaves the answer complete.
void TestVerdictOutputs::leftOutChannelsNeedNoDeadTime()
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("scan.dat"));
    QVERIFY(testsupport::writeFileBytes(
        input, simulated::pointTable(simulated::record(Scan::BrokenElement, 1.0, 1e3, 8))));
    const BatchRun kept = runBatchCommand({ input });
    QCOMPARE(kept.status, int(BatchIncomplete));
    QVERIFY2(kept.err.contains(QStringLiteral("channel 2: tau undetermined (broken)")),
             qPrintable(kept.err));
    const BatchRun leftOut
        = runBatchCommand({ QStringLiteral("--exclude"), QStringLiteral("2"), input });
    QCOMPARE(leftOut.status, int(BatchOk));
    QVERIFY2(!leftOut.err.contains(QStringLiteral("undetermined")), qPrintable(leftOut.err));
}

QTEST_GUILESS_MAIN(TestVerdictOutputs)
#include "tst_verdictoutputs.moc"
