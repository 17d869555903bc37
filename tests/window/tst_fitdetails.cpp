// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "columnsdialog.h"
#include "columnfile.h"
#include "deadtimesfile.h"
#include "fitdetails.h"
#include "le.h"
#include "modelcomparison.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

namespace {

QString highRate()
{
    return QStringLiteral(RATELENS_EXAMPLES_DIR "/highrate/point_table.dat");
}

void load(Body &body, const QStringList &files)
{
    emit body.openFileDialog()->filesSelected(files);
}

// What a user sees on resting the mouse on the box.
QString toolTipOf(QWidget *box)
{
    QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &event);
    return box->toolTip();
}

// One column of a corrected scan as the column reader reads it; empty when
// the file or the column is missing.
std::vector<double> correctedColumn(const QString &path, const QString &name)
{
    QFile out(path);
    if (!out.open(QIODevice::ReadOnly))
        return {};
    const ColumnHeader header = readColumnHeader(out);
    const int column = int(header.names.indexOf(name));
    ColumnReader reader(out, header);
    ColumnBlock block;
    if (column < 0 || !reader.readBlock(100, block))
        return {};
    return block.columns[size_t(column)];
}

const DeadTimeModel models[]
    = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable };

} // namespace

class tst_FitDetails : public QObject
{
    Q_OBJECT
private slots:
    void toolTipsGiveEveryModel_data();
    void toolTipsGiveEveryModel();
    void shortcutOpensOneWindow();
    void keysCloseIt_data();
    void keysCloseIt();
    void fitsItsScreenAndShowsEveryCell();
    void ctrlQQuits();
    void csvHasEveryRow_data();
    void csvHasEveryRow();
    void clearEmptiesTheWindow();
    void toolTipShowsTheStagesOwnFlags_data();
    void toolTipShowsTheStagesOwnFlags();
    void unitScaleOption();
    void deadTimesSavedAndScansCorrected();
    void correctionNeedsAnExactModel();
    void correctionReadsScansThroughTheFitsRecipe();
};

void tst_FitDetails::toolTipsGiveEveryModel_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("stage");
    QTest::newRow("channel 0, Tau0") << 0 << int(FitStage::PreAmp);
    QTest::newRow("channel 5, Tau") << 5 << int(FitStage::Amp);
}

void tst_FitDetails::toolTipsGiveEveryModel()
{
    QFETCH(int, channel);
    QFETCH(int, stage);

    Body body;
    load(body, { highRate() });
    const QVector<LE *> &boxes = body.measSet().tauLEs;
    QCOMPARE(boxes.size(), 2 * 8);
    // The result row itself is the quadratic's, as always.
    const QString shown = boxes[2 * channel + stage]->text();
    const QString tip = toolTipOf(boxes[2 * channel + stage]);
    QCOMPARE(boxes[2 * channel + stage]->text(), shown);

    const QVector<ChannelComparison> expected = compareChannels(body.measSet().points);
    const StageComparison &s
        = stage == int(FitStage::PreAmp) ? expected[channel].preAmp : expected[channel].amp;
    for (DeadTimeModel model : models) {
        const StageFit &f = s.fit(model);
        QVERIFY(f.ok);
        QVERIFY2(tip.contains(formatDeadTime(f.tau, s.uncertainty(model).total, true)),
                 qPrintable(tip));
    }
    QVERIFY2(tip.contains(QStringLiteral("quadratic-biased")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("Preferred model: Paralyzable")), qPrintable(tip));
}

void tst_FitDetails::shortcutOpensOneWindow()
{
    Body body;
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    load(body, { highRate() });
    QVERIFY(!body.fitDetails());

    QTest::keyClick(&body, Qt::Key_D, Qt::ControlModifier);
    FitDetails *details = body.fitDetails();
    QVERIFY(details);
    QVERIFY(details->isVisible());
    QCOMPARE(details->parent(), &body);
    QVERIFY(details->isWindow());

    QTableWidget *table = details->table();
    QCOMPARE(table->rowCount(), 3 * 8);
    details->modelChooser()->setCurrentIndex(2); // paralyzable alone
    QCOMPARE(table->rowCount(), 8);
    for (int row = 0; row < 8; ++row)
        QCOMPARE(table->item(row, 0)->text(), QString::number(row));
    QCOMPARE(table->item(3, 1)->text(), QStringLiteral("Paralyzable"));

    // Selecting a channel draws its residuals.
    table->selectRow(3);
    const QImage before = details->residualView()->pixmap(Qt::ReturnByValue).toImage();
    table->selectRow(6);
    QVERIFY(details->residualView()->pixmap(Qt::ReturnByValue).toImage() != before);

    // Again: the same window comes back.
    details->close();
    QTest::keyClick(&body, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(body.fitDetails(), details);
    QVERIFY(details->isVisible());
}

void tst_FitDetails::keysCloseIt_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier);
    QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+D, which opened it") << int(Qt::Key_D) << int(Qt::ControlModifier);
}

void tst_FitDetails::keysCloseIt()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Body body;
    body.show();
    load(body, { highRate() });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    QVERIFY(QTest::qWaitForWindowExposed(details, 60000));
    QApplication::setActiveWindow(details);
    QVERIFY(QTest::qWaitForWindowActive(details, 60000));
    QTest::keyClick(details->table(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(!details->isVisible());
    QVERIFY(body.isVisible());
}

// On the screen it opens on, the window shows every column whole and every
// row, or scrolls to it.
void tst_FitDetails::fitsItsScreenAndShowsEveryCell()
{
    Body body;
    body.show();
    load(body, { highRate() });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    QVERIFY(QTest::qWaitForWindowExposed(details, 60000));
    const QRect screen = details->screen()->availableGeometry();
    QVERIFY2(screen.contains(details->geometry()),
             qPrintable(QStringLiteral("%1x%2").arg(details->width()).arg(details->height())));
    QTableWidget *table = details->table();
    const QHeaderView *header = table->horizontalHeader();
    // No text is cut: every cell and every title is narrower than its column.
    const QFontMetrics fm = table->fontMetrics();
    for (int col = 0; col < table->columnCount(); ++col) {
        const QString title = table->horizontalHeaderItem(col)->text();
        QVERIFY2(header->sectionSize(col) >= header->sectionSizeHint(col), qPrintable(title));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QString text = table->item(row, col)->text();
            QVERIFY2(fm.horizontalAdvance(text) < header->sectionSize(col), qPrintable(text));
        }
    }
    const int last = table->rowCount() - 1;
    QVERIFY(last > 0);
    table->scrollToBottom();
    table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum());
    const QRect lastCell = table->visualRect(table->model()->index(last, table->columnCount() - 1));
    QVERIFY(table->viewport()->rect().contains(lastCell));
    details->close();
}

void tst_FitDetails::ctrlQQuits()
{
    Body body;
    QSignalSpy quit(&body, &Body::quit);
    body.show();
    QApplication::setActiveWindow(&body);
    QVERIFY(QTest::qWaitForWindowActive(&body, 60000));
    QTest::keyClick(&body, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quit.count(), 1);
}

void tst_FitDetails::csvHasEveryRow_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("rows");
    QTest::newRow("all models") << 0 << 3 * 8;
    QTest::newRow("non-paralyzable") << 3 << 8;
}

void tst_FitDetails::csvHasEveryRow()
{
    QFETCH(int, choice);
    QFETCH(int, rows);

    Body body;
    load(body, { highRate() });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(choice);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fits.csv"));
    emit details->saveDialog()->fileSelected(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines
        = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + rows);
    const QStringList header = lines[0].split(QLatin1Char(','));
    QCOMPARE(header.mid(0, 6),
             QStringList({ "channel", "model", "tau0", "tau0StdErr", "tau", "tauStdErr" }));

    const QVector<ChannelComparison> expected = compareChannels(body.measSet().points);
    for (int r = 1; r <= rows; ++r) {
        const QStringList cells = lines[r].split(QLatin1Char(','));
        QCOMPARE(cells.size(), header.size());
        const int channel = cells[0].toInt();
        const std::optional<DeadTimeModel> model = parseDeadTimeModel(cells[1]);
        QVERIFY(model);
        QCOMPARE(cells[2].toDouble(), expected[channel].preAmp.fit(*model).tau);
        QCOMPARE(cells[5].toDouble(), expected[channel].amp.uncertainty(*model).total);
        QCOMPARE(cells[8], QStringLiteral("paralyzable"));
    }

    details->copyTable();
    QCOMPARE(QGuiApplication::clipboard()->text().count(QLatin1Char('\n')), 1 + rows);
}

void tst_FitDetails::clearEmptiesTheWindow()
{
    Body body;
    load(body, { highRate() });
    body.showFitDetails();
    QCOMPARE(body.fitDetails()->table()->rowCount(), 3 * 8);
    QMetaObject::invokeMethod(&body, "clearMcas");
    QCOMPARE(body.fitDetails()->table()->rowCount(), 0);
    QCOMPARE(body.fitDetails()->tableText(QLatin1Char(',')).count(QLatin1Char('\n')), 1);
}

void tst_FitDetails::toolTipShowsTheStagesOwnFlags_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("undetermined");
    QTest::newRow("Tau0 of an energy scan") << int(FitStage::PreAmp)
                                            << QStringLiteral("not-intensity-scan")
                                            << QStringLiteral("broken") << true;
    QTest::newRow("Tau of a broken element") << int(FitStage::Amp) << QStringLiteral("broken")
                                             << QStringLiteral("not-intensity-scan") << true;
}

void tst_FitDetails::toolTipShowsTheStagesOwnFlags()
{
    QFETCH(int, stage);
    QFETCH(QString, own);
    QFETCH(QString, other);
    QFETCH(bool, undetermined);
    // The high-rate channel 0, with each stage judged undetermined for a
    // reason of its own.
    Body body;
    load(body, { highRate() });
    ChannelComparison c = compareChannels(body.measSet().points).value(0);
    c.preAmp.verdict = Verdict::NotIntensityScan;
    c.preAmp.flags = verdictFlag(c.preAmp.verdict);
    c.amp.verdict = Verdict::Broken;
    c.amp.flags = verdictFlag(c.amp.verdict);
    const QString tip = resultBoxToolTip(c, FitStage(stage));
    QVERIFY2(tip.contains(own), qPrintable(tip));
    QVERIFY2(!tip.contains(other), qPrintable(tip));
    QCOMPARE(tip.contains(QStringLiteral("not determined")), undetermined);
    QCOMPARE(tip.contains(QStringLiteral("total, in quadrature")), !undetermined);
    QVERIFY2(tip.contains(stage == int(FitStage::PreAmp) ? QStringLiteral("a = ")
                                                         : QStringLiteral("d0 = ")),
             qPrintable(tip));
}

namespace {

// A point table of three paralyzable channels whose SCA column is their total
// output count, of which 5 % is lost at every rate (d0 = 0.95); Poisson-drawn.
QString unitScaleTable(const QString &path)
{
    std::mt19937 rng(17);
    auto draw = [&rng](double mean) {
        return double(std::poisson_distribution<long long>(mean)(rng));
    };
    QString text = QStringLiteral("# Channels : 3\n");
    for (int i = 0; i < 14; ++i) {
        const double i0 = 2e4 + 3e4 * i;
        QVector<double> icr, sca;
        for (int j = 0; j < 3; ++j) {
            icr << draw(countedRate(DeadTimeModel::Paralyzable, i0 * (1.0 + 0.1 * j), 8e-7));
            sca << draw(0.95 * countedRate(DeadTimeModel::Paralyzable, icr[j], 1.1e-6));
        }
        text += QString::number(i0, 'g', 10);
        for (double v : icr + sca)
            text += QLatin1Char(' ') + QString::number(v, 'g', 10);
        text += QLatin1Char('\n');
    }
    return testsupport::writeFileBytes(path, text.toLatin1()) ? path : QString();
}

} // namespace

// "Amplifier with d0 = 1" fits the amplifier again with its scale held; the
// pre-amplifier stays as it was.
void tst_FitDetails::unitScaleOption()
{
    QTemporaryDir dir;
    Body body;
    load(body, { unitScaleTable(dir.filePath(QStringLiteral("t.dat"))) });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(2); // paralyzable
    QTableWidget *table = details->table();
    auto column = [table](const QString &title) {
        for (int c = 0; c < table->columnCount(); ++c) {
            if (table->horizontalHeaderItem(c)->text() == title)
                return c;
        }
        return -1;
    };
    const int d0 = column(QStringLiteral("d0 ± σ"));
    const int tau = column(QStringLiteral("Tau ± σ"));
    const int tau0 = column(QStringLiteral("Tau0 ± σ"));
    QVERIFY(d0 >= 0 && tau >= 0 && tau0 >= 0);
    const QString freeD0 = table->item(0, d0)->text();
    const QString freeTau = table->item(0, tau)->text();
    const QString freeTau0 = table->item(0, tau0)->text();
    QVERIFY2(freeD0.startsWith(QStringLiteral("0.9")), qPrintable(freeD0));
    QVERIFY2(table->item(0, column(QStringLiteral("Flags (Tau)")))->text().contains(
                     QStringLiteral("scale-loss")),
             qPrintable(table->item(0, column(QStringLiteral("Flags (Tau)")))->text()));

    details->fixD0Box()->setChecked(true);
    QCOMPARE(table->item(0, d0)->text(), QStringLiteral("1 (fixed)"));
    QVERIFY(table->item(0, tau)->text() != freeTau);
    QCOMPARE(table->item(0, tau0)->text(), freeTau0);
    details->fixD0Box()->setChecked(false);
    QCOMPARE(table->item(0, d0)->text(), freeD0);
}

// Save dead times... writes the file the batch command reads; Correct scans...
// corrects a scan simulated from the fits themselves back to its true rates,
// beside it, and says so in the message line.
void tst_FitDetails::deadTimesSavedAndScansCorrected()
{
    Body body;
    load(body, { highRate() });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(2); // paralyzable
    auto *messageLine = body.findChild<QLabel *>(QStringLiteral("message"));

    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("deadtimes.json"));
    emit details->deadTimesDialog()->fileSelected(json);
    QFile file(json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const DeadTimesFile read = readDeadTimesFile(file.readAll());
    QCOMPARE(read.error, QString());
    QCOMPARE(read.channels.size(), 8);
    QCOMPARE(messageLine->toolTip(), QStringLiteral("Saved the dead times in %1").arg(json));

    QByteArray scan = "# I0";
    for (int e = 1; e <= 8; ++e)
        scan += " ICR" + QByteArray::number(e) + " OCR" + QByteArray::number(e);
    scan += '\n';
    const double rates[] = { 1e4, 5e4, 1.2e5 };
    for (double n : rates) {
        scan += "1";
        for (const ChannelDeadTimes &c : read.channels) {
            const double icr = countedRate(DeadTimeModel::Paralyzable, n, c.deadTimes.tau0);
            const double sca = c.deadTimes.d0
                    * countedRate(DeadTimeModel::Paralyzable, icr, c.deadTimes.tau);
            scan += ' ' + QByteArray::number(icr, 'g', 17) + ' ' + QByteArray::number(sca, 'g', 17);
        }
        scan += '\n';
    }
    const QString scanPath = dir.filePath(QStringLiteral("scan.dat"));
    QVERIFY(testsupport::writeFileBytes(scanPath, scan));
    emit details->correctDialog()->filesSelected({ scanPath });
    // The correction runs beside the event loop; its button waits for it.
    QPushButton *correct = nullptr;
    for (QPushButton *b : details->findChildren<QPushButton *>())
        if (b->text() == QStringLiteral("Correct scans..."))
            correct = b;
    QVERIFY(correct && !correct->isEnabled());
    QCOMPARE(messageLine->toolTip(), QStringLiteral("Correcting 1 scan(s)..."));
    details->finishCorrections();
    QVERIFY(correct->isEnabled());
    QCOMPARE(messageLine->toolTip(), QStringLiteral("Corrected 1 of 1 scans beside them"));

    const std::vector<double> ntrue8 =
            correctedColumn(dir.filePath(QStringLiteral("scan_dtc.tsv")), QStringLiteral("ntrue8"));
    QCOMPARE(ntrue8.size(), size_t(3));
    for (int r = 0; r < 3; ++r)
        QVERIFY(std::fabs(ntrue8[size_t(r)] / rates[r] - 1.0) < 1e-9);
}

void tst_FitDetails::correctionNeedsAnExactModel()
{
    Body body;
    load(body, { highRate() });
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(0); // all models
    QTemporaryDir dir;
    emit details->deadTimesDialog()->fileSelected(dir.filePath(QStringLiteral("dt.json")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("dt.json"))));
    QCOMPARE(body.findChild<QLabel *>(QStringLiteral("message"))->toolTip(),
             QStringLiteral("Choose the paralyzable or the non-paralyzable model first"));

    // A scan whose columns no recipe maps is named with what the window needs.
    details->modelChooser()->setCurrentIndex(2); // paralyzable
    QVERIFY(testsupport::writeFileBytes(dir.filePath(QStringLiteral("scan.txt")),
                                        "# I0 in1 out1\n1 2 3\n"));
    emit details->correctDialog()->filesSelected({ dir.filePath(QStringLiteral("scan.txt")) });
    details->finishCorrections();
    QCOMPARE(body.findChild<QLabel *>(QStringLiteral("message"))->toolTip(),
             QStringLiteral("Corrected 0 of 1 scans beside them; not corrected: scan.txt (no recipe "
                            "reads its columns; set one in the Columns window)"));
}

// A detector recorded in columns no built-in recipe maps: the scans are read
// through the recipe the calibration was loaded with.
void tst_FitDetails::correctionReadsScansThroughTheFitsRecipe()
{
    const double tau0 = 2e-7, tau = 1e-6;
    auto table = [&](const std::vector<double> &rates) {
        QByteArray text = "# I0 in1 out1 in2 out2\n";
        for (double n : rates) {
            const double icr = countedRate(DeadTimeModel::Paralyzable, n, tau0);
            const double sca = countedRate(DeadTimeModel::Paralyzable, icr, tau);
            text += QByteArray::number(n / 2, 'g', 17);
            for (int e = 0; e < 2; ++e)
                text += ' ' + QByteArray::number(icr, 'g', 17) + ' '
                        + QByteArray::number(sca, 'g', 17);
            text += '\n';
        }
        return text;
    };
    QTemporaryDir dir;
    auto write = [&](const QString &name, const QByteArray &bytes) {
        return testsupport::writeFileBytes(dir.filePath(name), bytes);
    };
    QVERIFY(write(QStringLiteral("cal.txt"), table({ 2e4, 5e4, 1e5, 2e5, 3e5, 4e5, 5e5, 6e5 })));
    QVERIFY(write(QStringLiteral("scan.txt"), table({ 3e4, 2.5e5, 4.5e5 })));

    Body body;
    load(body, { dir.filePath(QStringLiteral("cal.txt")) });
    QVERIFY(!body.readAsColumnsButton()->isHidden());
    body.readAsColumnsButton()->click();
    auto *columns = body.findChild<ColumnsDialog *>();
    QVERIFY(columns);
    emit columns->loadRequested(dir.filePath(QStringLiteral("cal.txt")),
                                QStringLiteral("elements = 1-2\ni0 = 2 * I0\nicr = in{n}\n"
                                               "sca = out{n}\n"));
    body.showFitDetails();
    FitDetails *details = body.fitDetails();
    details->modelChooser()->setCurrentIndex(2); // paralyzable
    emit details->correctDialog()->filesSelected({ dir.filePath(QStringLiteral("scan.txt")) });
    details->finishCorrections();
    QCOMPARE(body.findChild<QLabel *>(QStringLiteral("message"))->toolTip(),
             QStringLiteral("Corrected 1 of 1 scans beside them"));
    const std::vector<double> ntrue2 =
            correctedColumn(dir.filePath(QStringLiteral("scan_dtc.tsv")), QStringLiteral("ntrue2"));
    QCOMPARE(ntrue2.size(), size_t(3));
    QVERIFY(std::fabs(ntrue2[2] / 4.5e5 - 1.0) < 1e-6);
}

QTEST_MAIN(tst_FitDetails)
#include "tst_fitdetails.moc"
