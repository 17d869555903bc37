// SPDX-License-Identifier: GPL-3.0-or-later
#include "deadtimesfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <cmath>

namespace {

// Both stages of a channel under both laws, from noise-free rates.
ChannelComparison simulatedChannel(int channel)
{
    const double tau0 = (1.0 + 0.1 * channel) * 1e-6;
    const double tau = 2e-6;
    const double d0 = 0.4;
    QVector<double> i0, icr, sca;
    for (int i = 0; i < 12; ++i) {
        i0.append(2e4 * (1 + i));
        icr.append(countedRate(DeadTimeModel::Paralyzable, i0.last(), tau0));
        sca.append(d0 * countedRate(DeadTimeModel::Paralyzable, icr.last(), tau));
    }
    return compareChannel(channel, i0, icr, sca);
}

QByteArray fileWith(const QVector<DeadTimeModel> &models, int channels)
{
    QVector<ChannelComparison> list;
    for (int j = 0; j < channels; ++j)
        list.append(simulatedChannel(j));
    QJsonObject root;
    addDeadTimesFileKeys(root, models, list, provenanceOf({}, QString(), QStringLiteral("t")));
    return QJsonDocument(root).toJson();
}

QByteArray edited(const QByteArray &bytes, const QString &key, const QJsonValue &value)
{
    QJsonObject root = QJsonDocument::fromJson(bytes).object();
    root.insert(key, value);
    return QJsonDocument(root).toJson();
}

} // namespace

class TestDeadTimesFile : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip();
    void rejected_data();
    void rejected();
};

void TestDeadTimesFile::roundTrip()
{
    const QVector<ChannelComparison> channels { simulatedChannel(0), simulatedChannel(1) };
    const QJsonObject json = deadTimesFileJson(DeadTimeModel::Paralyzable, 12, channels,
                                               provenanceOf({}, QStringLiteral("i0 = I0"),
                                                            QStringLiteral("9.9")));
    QCOMPARE(json.value(QStringLiteral("provenance")).toObject().value("recipe").toString(),
             QStringLiteral("i0 = I0"));
    const DeadTimesFile f = readDeadTimesFile(QJsonDocument(json).toJson());
    QCOMPARE(f.error, QString());
    QCOMPARE(f.model, DeadTimeModel::Paralyzable);
    QCOMPARE(f.channels.size(), 2);
    for (int j = 0; j < 2; ++j) {
        const StageFit &pre = channels[j].preAmp.paralyzable;
        const StageFit &amp = channels[j].amp.paralyzable;
        const ElementDeadTimes &d = f.channels[j].deadTimes;
        QCOMPARE(f.channels[j].channel, j);
        // The errors a correction uses are the totals the report gives, and
        // d0 and tau keep the correlation their fit found.
        QCOMPARE(d.tau0, pre.tau);
        QCOMPARE(d.tau0StdErr, channels[j].preAmp.paralyzableError.total);
        QCOMPARE(d.tau, amp.tau);
        QCOMPARE(d.tauStdErr, channels[j].amp.paralyzableError.total);
        QCOMPARE(d.d0, amp.scale);
        QCOMPARE(d.d0TauCovariance / (d.d0StdErr * d.tauStdErr),
                 amp.scaleTauCovariance / (amp.scaleStdErr * amp.tauStdErr));
        QVERIFY(std::fabs(d.tau0 / ((1.0 + 0.1 * j) * 1e-6) - 1.0) < 1e-6);
    }
}

void TestDeadTimesFile::rejected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray both = fileWith({ DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable }, 3);
    QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not JSON: unterminated object at byte 11";
    QTest::newRow("another JSON")
            << QByteArray("{\"model\": \"paralyzable\"}")
            << "not a dead-time file (no \"format\": \"ratelens-dead-times\"); write one with "
               "ratelens-batch --model paralyzable --json";
    QTest::newRow("newer version") << edited(both, QStringLiteral("version"), 2)
                                   << "version 2 of the dead-time file is newer than this "
                                      "Ratelens reads (1)";
    QTest::newRow("no version") << edited(both, QStringLiteral("version"), QStringLiteral("1"))
                                << "the file has no valid \"version\"";
    QTest::newRow("quadratic fit")
            << edited(fileWith({ DeadTimeModel::Quadratic }, 3), QStringLiteral("model"),
                      QStringLiteral("quadratic"))
            << "the file holds no paralyzable or nonparalyzable dead times (fitted with --model "
               "quadratic)";
    QTest::newRow("both laws, none chosen")
            << both << "the file holds the dead times of nonparalyzable and paralyzable; choose "
                       "one with --model";
    QJsonObject root = QJsonDocument::fromJson(both).object();
    QJsonObject dt = root.value(QStringLiteral("deadTimes")).toObject();
    QJsonArray list = dt.value(QStringLiteral("paralyzable")).toArray();
    list.removeAt(0);
    dt.insert(QStringLiteral("paralyzable"), list);
    dt.remove(QStringLiteral("nonparalyzable"));
    QTest::newRow("channel missing")
            << edited(both, QStringLiteral("deadTimes"), dt)
            << "channel 1 is listed in place 0";
}

void TestDeadTimesFile::rejected()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QCOMPARE(readDeadTimesFile(bytes).error, error);
}

QTEST_APPLESS_MAIN(TestDeadTimesFile)
#include "tst_deadtimesfile.moc"
