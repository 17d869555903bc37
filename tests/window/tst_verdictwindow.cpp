// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "deadtimesfile.h"
#include "fitdetails.h"
#include "le.h"
#include "simulateddetector.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using simulated::Scan;

namespace {

const QColor grey(222, 222, 222);
const QColor yellow(255, 255, 224);

QString toolTipOf(QWidget *box)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &event);
    return box->toolTip();
}

QColor backgroundOf(QWidget *box)
{
    return box->grab().toImage().pixelColor(4, box->height() / 2);
}

QString messageOf(Body &body)
{
    return body.findChild<QLabel *>(QStringLiteral("message"))->toolTip();
}

// A body that loaded the simulated detector's scan, written as a point table.
void loadScan(Body &body, const QTemporaryDir &dir, Scan scan)
{
    const QString path = dir.filePath(QStringLiteral("calibration.dat"));
    QVERIFY(testsupport::writeFileBytes(
        path, simulated::pointTable(simulated::record(scan, 1.0, 1.0, 3))));
    emit body.openFileDialog()->filesSelected({ path });
}

FitDetails *paralyzableDetails(Body &body)
{
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(2);
    return details;
}

} // namespace

class tst_VerdictWindow : public QObject
{
    Q_OBJECT
private slots:
    void resultRowAndSaveObeyTheVerdict();
    void fitDetailsMarkWhatIsNotDetermined();
    void correctionOffersTheAmplifierAlone();
    void correctionRefusesCollisions();
    void savedDeadTimesNameTheRecipe();
};

// An energy scan: the pre-amplifier boxes are greyed and say why, the
// amplifier boxes stay as they were, and Save writes no pre-amplifier dead
// time.
void tst_VerdictWindow::resultRowAndSaveObeyTheVerdict()
{
    QTemporaryDir dir;
    Body body;
    body.resize(1536, 854);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    loadScan(body, dir, Scan::EnergyDriftingI0);
    const MeasSet &set = body.measSet();
    QCOMPARE(set.tauLEs.size(), 8);
    for (int j = 0; j < 4; ++j) {
        LE *tau0 = set.tauLEs[2 * j];
        LE *tau = set.tauLEs[2 * j + 1];
        QCOMPARE(tau0->text(), QStringLiteral("n/d"));
        QCOMPARE(backgroundOf(tau0), grey);
        QCOMPARE(backgroundOf(tau), yellow);
        QVERIFY2(toolTipOf(tau0).contains(QStringLiteral("Not determined: I0 does not vary")),
                 qPrintable(tau0->toolTip()));
        QVERIFY(!toolTipOf(tau).contains(QStringLiteral("Not determined")));
    }
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    emit body.saveFileDialog()->fileSelected(path);
    const QList<QByteArray> results = testsupport::readFileBytes(path).split('\n');
    QCOMPARE(results.value(1), QByteArray("Preamp: nan nan nan nan\r"));
    const QList<QByteArray> conf = testsupport::readFileBytes(path + ".conf").split('\n');
    QVERIFY(conf.value(0).startsWith("          nan "));
    QCOMPARE(conf.value(1), QByteArray("ICR0    ") + QByteArray("  0").repeated(19));
    for (const QByteArray &field : conf.value(2).simplified().split(' ').mid(1, 4))
        QVERIFY2(field.toDouble() > 0.0, conf.value(2).constData());
    QVERIFY2(messageOf(body).contains(QStringLiteral("channel 0, 1, 2, 3 not determined")),
             qPrintable(messageOf(body)));
}

// Fit details greys the cell of a stage the data do not determine, says why,
// and saves a dead-time file with null and the reason, and the provenance the
// batch command gives.
void tst_VerdictWindow::fitDetailsMarkWhatIsNotDetermined()
{
    QTemporaryDir dir;
    Body body;
    loadScan(body, dir, Scan::BrokenElement);
    FitDetails *details = paralyzableDetails(body);
    QTableWidget *table = details->table();
    QCOMPARE(table->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        for (int column : { 2, 3 }) { // Tau0, Tau
            QTableWidgetItem *cell = table->item(row, column);
            const bool broken = row == 2;
            QCOMPARE(cell->background().color() == grey, broken);
            QCOMPARE(cell->toolTip().startsWith(QStringLiteral("Not determined: SCA above ICR")),
                     broken);
        }
    }
    const QString json = dir.filePath(QStringLiteral("dt.json"));
    emit details->deadTimesDialog()->fileSelected(json);
    const QJsonObject root = QJsonDocument::fromJson(testsupport::readFileBytes(json)).object();
    const QJsonObject provenance = root.value(QStringLiteral("provenance")).toObject();
    QCOMPARE(provenance.value(QStringLiteral("ratelensVersion")).toString(), ratelensVersion());
    QCOMPARE(provenance.value(QStringLiteral("inputs")).toArray().size(), 1);
    const DeadTimesFile read = readDeadTimesFile(testsupport::readFileBytes(json));
    QCOMPARE(read.channels.size(), 4);
    QCOMPARE(read.channels[2].standing.tau, Verdict::Broken);
    QVERIFY(std::isnan(read.channels[2].deadTimes.tau));
    QCOMPARE(read.channels[1].standing.tau, Verdict::Determined);
}

// Where the data give no pre-amplifier dead time, Correct scans... corrects
// nothing from ICR, says what would, and offers the amplifier stage alone.
void tst_VerdictWindow::correctionOffersTheAmplifierAlone()
{
    QTemporaryDir dir;
    Body intensity;
    loadScan(intensity, dir, Scan::Intensity);
    QVERIFY(paralyzableDetails(intensity)->ampOnlyBox()->isHidden());

    Body body;
    loadScan(body, dir, Scan::EnergyDriftingI0);
    FitDetails *details = paralyzableDetails(body);
    QVERIFY(!details->ampOnlyBox()->isHidden());
    const QString scan = dir.filePath(QStringLiteral("scan.txt"));
    QVERIFY(testsupport::writeFileBytes(
        scan, simulated::columnFile(simulated::record(Scan::EnergyConstantI0, 1.0, 1.0, 9))));
    emit details->correctDialog()->filesSelected({ scan });
    details->finishCorrections();
    QVERIFY2(messageOf(body).contains(
                 QStringLiteral("their dead times not determined: scan.txt element 1, 2, 3, 4")),
             qPrintable(messageOf(body)));

    details->ampOnlyBox()->setChecked(true);
    emit details->correctDialog()->filesSelected({ scan });
    details->finishCorrections();
    QCOMPARE(messageOf(body), QStringLiteral("Corrected 1 of 1 scans beside them"));
}

// As the batch command: two scans that would be corrected into one file, or a
// scan whose correction is another scan chosen, are refused before anything
// is written.
void tst_VerdictWindow::correctionRefusesCollisions()
{
    QTemporaryDir dir;
    Body body;
    loadScan(body, dir, Scan::Intensity);
    FitDetails *details = paralyzableDetails(body);
    const QByteArray scan = simulated::columnFile(simulated::record(Scan::Intensity, 1.0, 1.0, 5));
    const QString txt = dir.filePath(QStringLiteral("a.txt"));
    const QString csv = dir.filePath(QStringLiteral("a.csv"));
    const QString corrected = dir.filePath(QStringLiteral("a_dtc.tsv"));
    QVERIFY(testsupport::writeFileBytes(txt, scan) && testsupport::writeFileBytes(csv, scan));
    emit details->correctDialog()->filesSelected({ txt, csv });
    details->finishCorrections();
    QVERIFY2(messageOf(body).startsWith(QStringLiteral("Nothing corrected: ")),
             qPrintable(messageOf(body)));
    QVERIFY(!QFile::exists(corrected));

    QVERIFY(testsupport::writeFileBytes(corrected, "kept\n"));
    emit details->correctDialog()->filesSelected({ txt, corrected });
    details->finishCorrections();
    QVERIFY2(messageOf(body).contains(QStringLiteral("a scan named too")),
             qPrintable(messageOf(body)));
    QCOMPARE(testsupport::readFileBytes(corrected), QByteArray("kept\n"));
}

// A column file read through a built-in recipe: the window's dead-time file
// names that recipe, as the batch command's does.
void tst_VerdictWindow::savedDeadTimesNameTheRecipe()
{
    QTemporaryDir dir;
    // The column file with an XDI header, which the window tells by itself.
    const QByteArray columns
        = simulated::columnFile(simulated::record(Scan::Intensity, 1.0, 1.0, 6));
    QByteArray xdi = "# XDI/1.0\n";
    const QList<QByteArray> names = columns.left(columns.indexOf('\n')).mid(2).split(' ');
    for (int c = 0; c < names.size(); ++c)
        xdi += "# Column." + QByteArray::number(c + 1) + ": " + names[c] + '\n';
    xdi += "#----\n" + columns.mid(columns.indexOf('\n') + 1);
    const QString scan = dir.filePath(QStringLiteral("calibration.xdi"));
    QVERIFY(testsupport::writeFileBytes(scan, xdi));
    Body body;
    emit body.openFileDialog()->filesSelected({ scan });
    const QString json = dir.filePath(QStringLiteral("dt.json"));
    emit paralyzableDetails(body)->deadTimesDialog()->fileSelected(json);
    const QString recipe = QJsonDocument::fromJson(testsupport::readFileBytes(json))
                               .object()
                               .value(QStringLiteral("provenance"))
                               .toObject()
                               .value(QStringLiteral("recipe"))
                               .toString();
    QVERIFY2(recipe.contains(QStringLiteral("ICR{n}")), qPrintable(recipe));
    QCOMPARE(readDeadTimesFile(testsupport::readFileBytes(json)).channelElements,
             std::vector<int>({ 1, 2, 3, 4 }));
}

QTEST_MAIN(tst_VerdictWindow)
#include "tst_verdictwindow.moc"
