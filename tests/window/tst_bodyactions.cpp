// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "fitdetails.h"
#include "le.h"
#include "panelrow.h"
#include "testsupport.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// What the window says about a load or a save, files dropped on it, and
// removing one point from its panel.
class tst_BodyActions : public QObject
{
    Q_OBJECT
private slots:
    void messages_data();
    void messages();
    void pointMessages_data();
    void pointMessages();
    void staleResultsSayWhatTheyAre();
    void clearAndGoodLoadClearTheMessage();
    void longMessageKeepsTheRow();
    void dropLoadsInOrder();
    void removePointReestimates_data();
    void removePointReestimates();
    void removingToOnePointDropsTheResults();
    void removeThroughThePanelMenu();
    void panelToolTipNamesFileAndLine();
    void leaveChannelOutThroughTheResultMenu();
    void notANumberLeavesTheMeanLine();
};

namespace {

const QString examples = QStringLiteral(RATELENS_EXAMPLES_DIR);

QString example(int i)
{
    return examples + QStringLiteral("/spectrum_%1.dat").arg(i, 2, 10, QLatin1Char('0'));
}

void load(Body &body, const QStringList &files)
{
    emit body.openFileDialog()->filesSelected(files);
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    return testsupport::writeFileBytes(path, bytes) ? path : QString();
}

QVector<double> i0s(const Body &body)
{
    QVector<double> values;
    for (const MeasValues &p : body.measSet().points.points())
        values.append(p.i0);
    return values;
}

QStringList rowsInOrder(Body &body)
{
    QStringList problems;
    auto *layout = body.findChild<QGridLayout *>("MCALayout");
    const QVector<AMeasP *> &panels = body.measSet().mcas;
    for (int p = 0; p < panels.size(); ++p) {
        if (panels[p] && (panelRow(layout, panels[p]) != p
                          || panels[p]->i0 != body.measSet().points.at(p).i0))
            problems.append(QString::number(p));
    }
    return problems;
}

} // namespace

void tst_BodyActions::messages_data()
{
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("action"); // load or save
    QTest::addColumn<QString>("file");   // below a fresh temporary folder
    QTest::addColumn<QString>("expected"); // %1 is the temporary folder, %2 its name

    const QString gone = QStringLiteral("No such file or directory");
    QTest::newRow("missing file") << false << "load" << "gone.dat"
                                  << "Not loaded: gone.dat (" + gone + ")";
    QTest::newRow("missing file, Japanese")
            << true << "load" << "gone.dat"
            << QString::fromUtf8("読み込めませんでした: gone.dat（") + gone
                    + QString::fromUtf8("）");
    QTest::newRow("file without points") << false << "load" << "empty.dat"
                                         << "Not loaded: empty.dat (no measurement point in it)";
    QTest::newRow("file without points, Japanese")
            << true << "load" << "empty.dat"
            << QString::fromUtf8("読み込めませんでした: empty.dat（測定点がありません）");
    QTest::newRow("folder") << false << "load" << "." << "Not loaded: %2 (not a regular file)";
    QTest::newRow("save before estimation")
            << false << "save nothing" << "r.dat" << "Nothing saved: no dead times estimated yet";
    QTest::newRow("save before estimation, Japanese")
            << true << "save nothing" << "r.dat"
            << QString::fromUtf8("保存していません: デッドタイムがまだ推定されていません");
    QTest::newRow("save into missing folder")
            << false << "save" << "no/such/r.dat"
            << "Nothing saved: the folder %1/no/such does not exist";
    QTest::newRow("save into missing folder, Japanese")
            << true << "save" << "no/such/r.dat"
            << QString::fromUtf8("保存していません: フォルダ %1/no/such がありません");
    QTest::newRow("saved") << false << "save" << "r.dat" << "Saved %1/r.dat and %1/r.dat.conf";
    // taken.dat.conf and blocked.dat are folders: the file written is named first.
    QTest::newRow("companion name is a folder")
            << false << "save" << "taken.dat"
            << "Saved %1/taken.dat, but cannot write %1/taken.dat.conf";
    QTest::newRow("results name is a folder")
            << false << "save" << "blocked.dat"
            << "Saved %1/blocked.dat.conf, but cannot write %1/blocked.dat";
    QTest::newRow("saved, Japanese") << true << "save" << "r.dat"
                                     << QString::fromUtf8("%1/r.dat と %1/r.dat.conf を保存しました");
}

void tst_BodyActions::messages()
{
    QFETCH(bool, japanese);
    QFETCH(QString, action);
    QFETCH(QString, file);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    writeFile(dir.filePath("empty.dat"), QByteArray());
    QVERIFY(QDir(dir.path()).mkdir("taken.dat.conf") && QDir(dir.path()).mkdir("blocked.dat"));
    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP")));
        QCoreApplication::installTranslator(&translator);
    }
    Body body;
    body.resize(1400, 800);
    body.show();
    testsupport::DebugCapture debug;
    const QString path = file == "." ? dir.path() : dir.filePath(file);
    if (action == "load") {
        load(body, { path });
    } else {
        if (action == "save")
            load(body, { example(1), example(2), example(3) });
        emit body.saveFileDialog()->fileSelected(path);
    }
    QCoreApplication::removeTranslator(&translator);

    expected.replace("%1", dir.path()).replace("%2", QFileInfo(dir.path()).fileName());
    QCOMPARE(body.currentMessage(), expected);
    auto *label = body.findChild<QLabel *>("message");
    QCOMPARE(label->toolTip().isEmpty(), false);
    QCOMPARE(label->text(), body.currentMessage()); // the window is wide enough
}

namespace {

// Bytes of no text format: a table reader sees lines of one channel whose
// fields are no numbers.
const QByteArray strayBytes("\x01\x02 \x7f\x03 \x10\n\x05\x06 \x06\x07 \x08\n\x0e \x0f \x11\n");

} // namespace

void tst_BodyActions::pointMessages_data()
{
    QTest::addColumn<int>("spectra"); // example spectra loaded first
    QTest::addColumn<QByteArrayList>("files"); // then these, as f0.dat, f1.dat...
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("japanese");

    QTest::newRow("one spectrum") << 1 << QByteArrayList()
                                  << "No dead times: they need at least two measurement points"
                                  << false;
    QTest::newRow("two spectra") << 2 << QByteArrayList() << QString() << false;
    QByteArray eight = "# Channels : 8\n";
    for (int p = 1; p <= 3; ++p) {
        eight += QByteArray::number(1e4 * p);
        for (int j = 0; j < 16; ++j)
            eight += ' ' + QByteArray::number(9e3 * p + j);
        eight += '\n';
    }
    QTest::newRow("spectra of 4 channels and a table of 8")
            << 2 << QByteArrayList { eight }
            << "Channel counts differ: f0.dat has 8, spectrum_01.dat has 4; the 4 channels all "
               "points have are used"
            << false;
    QTest::newRow("a stray binary file after an estimation")
            << 3 << QByteArrayList { strayBytes }
            << "f0.dat: binary file, not a text recording; f0.dat: read as a point table with 3 "
               "line(s) that are not numbers (the first is line 1); if it is a column file, read "
               "it with a recipe; Dead times not updated: "
               "the points share fewer than two channels, f0.dat has 1; the results shown are "
               "of the earlier points"
            << false;
    QTest::newRow("a table of one channel")
            << 0 << QByteArrayList { "1 2 3\n2 3 4\n3 4 5\n" }
            << "One channel in common: the result row needs two, so it stays empty; Fit details "
               "shows this channel's dead times"
            << false;
    QTest::newRow("a word among the numbers")
            << 0 << QByteArrayList { "# Channels : 2\n1 2 2 3 3\n2 3 n/a 4 4\n3 4 4 5 5\n" }
            << "f0.dat: read as a point table with 1 line(s) that are not numbers (the first is "
               "line 3); if it is a column file, read it with a recipe"
            << false;
    QTest::newRow("a table of one channel, Japanese")
            << 0 << QByteArrayList { "1 2 3\n2 3 4\n3 4 5\n" }
            << QString::fromUtf8("共通チャンネルは1つです: 結果行には2つ必要なため空のままです。"
                                 "このチャンネルのデッドタイムはフィットの詳細に表示されます")
            << true;
}

// The message line says what a load left to be wished for the dead times.
void tst_BodyActions::pointMessages()
{
    QFETCH(int, spectra);
    QFETCH(QByteArrayList, files);
    QFETCH(QString, expected);
    QFETCH(bool, japanese);

    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP")));
        QCoreApplication::installTranslator(&translator);
    }
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 1; i <= spectra; ++i)
        paths.append(example(i));
    for (int i = 0; i < files.size(); ++i)
        paths.append(writeFile(dir.filePath(QStringLiteral("f%1.dat").arg(i)), files[i]));
    Body body;
    testsupport::DebugCapture debug;
    // One load for the spectra, one for the files after them.
    load(body, paths.mid(0, spectra));
    load(body, paths.mid(spectra));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(body.currentMessage(), expected);
}

// A load that leaves too few common channels keeps the earlier results, as
// it always has; they must then be told apart from results of the loaded
// points wherever they show.
void tst_BodyActions::staleResultsSayWhatTheyAre()
{
    QTemporaryDir dir;
    Body body;
    body.resize(1536, 854);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    testsupport::DebugCapture debug;
    load(body, { example(1), example(2), example(3) });
    const QString before = dir.filePath("before.dat");
    emit body.saveFileDialog()->fileSelected(before);
    const MeasSet &set = body.measSet();
    const QVector<double> tau0s = set.tau0s;
    LE *box = set.tauLEs.first();
    const QColor yellow = box->grab().toImage().pixelColor(4, box->height() / 2);
    QCOMPARE(yellow, QColor(255, 255, 224));

    load(body, { writeFile(dir.filePath("stray.bin"), strayBytes) });
    QCOMPARE(set.chs(), 1);
    QVERIFY(set.estimated);
    QCOMPARE(set.tau0s, tau0s);
    QCOMPARE(set.tauLEs.size(), 2 * tau0s.size());
    QVERIFY(body.currentMessage().contains("Dead times not updated"));
    QVERIFY(body.currentMessage().contains("stray.bin has 1"));
    // Greyed, and its tooltip says why before it gives the fits.
    box = set.tauLEs.first();
    const QColor grey = box->grab().toImage().pixelColor(4, box->height() / 2);
    QVERIFY2(grey.red() == grey.blue() && grey != yellow, qPrintable(grey.name()));
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &help);
    QVERIFY2(box->toolTip().startsWith("Not the dead times of the loaded points: the points "
                                       "share fewer than two channels"),
             qPrintable(box->toolTip()));
    QVERIFY(box->toolTip().contains("Channel 0, Tau0 (preAmp)"));
    // The exact fits are of the points the row shows: all four channels.
    body.showFitDetails();
    QCOMPARE(body.fitDetails()->table()->rowCount(), 4 * 3);

    // Save writes the earlier results, and says so.
    const QString after = dir.filePath("after.dat");
    emit body.saveFileDialog()->fileSelected(after);
    QCOMPARE(testsupport::readFileBytes(after), testsupport::readFileBytes(before));
    QCOMPARE(testsupport::readFileBytes(after + ".conf"),
             testsupport::readFileBytes(before + ".conf"));
    QCOMPARE(body.currentMessage(),
             QStringLiteral("Saved %1 and %1.conf (the earlier results: the points share fewer "
                            "than two channels, stray.bin has 1)")
                     .arg(QDir::toNativeSeparators(after)));
    body.fitDetails()->hide();
}

void tst_BodyActions::clearAndGoodLoadClearTheMessage()
{
    Body body;
    load(body, { example(1) + ".missing" });
    QVERIFY(!body.currentMessage().isEmpty());
    QTest::mouseClick(body.findChild<QPushButton *>("Clear"), Qt::LeftButton);
    QCOMPARE(body.currentMessage(), QString());
    QCOMPARE(body.findChild<QLabel *>("message")->text(), QString());

    load(body, { example(1) + ".missing" });
    load(body, { example(1), example(2) });
    QCOMPARE(body.currentMessage(), QString());
}

void tst_BodyActions::longMessageKeepsTheRow()
{
    Body body;
    body.resize(700, 600);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    auto *field = body.findChild<QLineEdit *>("lineEdit");
    const QRect before = field->geometry();
    const int minWidth = body.minimumSizeHint().width();
    QStringList missing;
    for (int i = 0; i < 40; ++i)
        missing.append(QStringLiteral("/no/such/folder/measurement_%1.dat").arg(i));
    load(body, missing);
    testsupport::settle();
    QCOMPARE(body.width(), 700);
    QCOMPARE(body.minimumSizeHint().width(), minWidth);
    QCOMPARE(field->geometry(), before);
    auto *label = body.findChild<QLabel *>("message");
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    QVERIFY(label->toolTip().contains("/no/such/folder/measurement_39.dat"));
}

void tst_BodyActions::dropLoadsInOrder()
{
    Body dropped;
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(example(3)), QUrl(QStringLiteral("https://example.org/x.dat")),
                   QUrl::fromLocalFile(example(1)), QUrl::fromLocalFile(example(2)) });
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dropped, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dropped, &drop);

    Body chosen;
    load(chosen, { example(3), example(1), example(2) });
    QCOMPARE(i0s(dropped), i0s(chosen));
    QCOMPARE(dropped.measSet().tau0s, chosen.measSet().tau0s);
    QCOMPARE(dropped.measSet().points.source(0).file, example(3));

    QMimeData text;
    text.setText("not a file");
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&dropped, &refused);
    QVERIFY(!refused.isAccepted());
}

void tst_BodyActions::removePointReestimates_data()
{
    QTest::addColumn<int>("removed");
    QTest::newRow("first") << 0;
    QTest::newRow("middle") << 2;
    QTest::newRow("last") << 5;
}

void tst_BodyActions::removePointReestimates()
{
    QFETCH(int, removed);
    QStringList files;
    for (int i = 1; i <= 6; ++i)
        files.append(example(i));
    Body body;
    load(body, files);
    body.removePoint(removed);

    files.removeAt(removed);
    Body direct;
    load(direct, files);
    QCOMPARE(i0s(body), i0s(direct));
    QCOMPARE(body.measSet().tau0s, direct.measSet().tau0s);
    QCOMPARE(body.measSet().taus, direct.measSet().taus);
    QCOMPARE(body.measSet().tauLEs.size(), direct.measSet().tauLEs.size());
    QCOMPARE(rowsInOrder(body), QStringList());
    // Points added after a removal take the rows that follow.
    load(body, { example(6) });
    QCOMPARE(rowsInOrder(body), QStringList());
}

void tst_BodyActions::removingToOnePointDropsTheResults()
{
    Body body;
    load(body, { example(1), example(2) });
    QVERIFY(body.measSet().estimated);
    body.removePoint(1);
    const MeasSet &s = body.measSet();
    QVERIFY(!s.estimated);
    QVERIFY(s.tau0s.isEmpty() && s.taus.isEmpty() && s.tauLEs.isEmpty());
    QVERIFY(s.tau0Fits.isEmpty() && s.tauFits.isEmpty());
    QCOMPARE(s.mcas.size(), 1);
    body.removePoint(5); // out of range: nothing happens
    QCOMPARE(s.mcas.size(), 1);
}

void tst_BodyActions::removeThroughThePanelMenu()
{
    Body body;
    body.show();
    load(body, { example(1), example(2), example(3) });
    AMeasP *panel = body.measSet().mcas[1];
    QVERIFY(panel->hasForm());
    QLineEdit *box = panel->findChildren<QLineEdit *>().last();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QAction *remove = nullptr;
    for (QAction *a : menu->actions())
        remove = a->text() == "Remove this point" ? a : remove;
    QVERIFY(remove);
    remove->trigger();
    menu->close();
    QTRY_COMPARE_WITH_TIMEOUT(body.measSet().mcas.size(), 2, 60000);
    QCOMPARE(body.measSet().points.source(0).file, example(1));
    QCOMPARE(body.measSet().points.source(1).file, example(3));
}

void tst_BodyActions::panelToolTipNamesFileAndLine()
{
    QTemporaryDir dir;
    const QString table = writeFile(dir.filePath("t.dat"), "# Channels : 2\n"
                                                           "1 0.9 0.9 0.8595 0.8595\n"
                                                           "# a remark\n"
                                                           "2 1.6 1.6 1.472 1.472\n");
    Body body;
    body.show();
    load(body, { example(1), table });
    const QVector<AMeasP *> &panels = body.measSet().mcas;
    QCOMPARE(panels.size(), 3);
    QCOMPARE(panels[0]->toolTip(), QDir::toNativeSeparators(example(1)));
    QCOMPARE(panels[1]->toolTip(), QDir::toNativeSeparators(table) + ", line 2");
    QCOMPARE(panels[2]->toolTip(), QDir::toNativeSeparators(table) + ", line 4");
}

namespace {

// Right-clicks result box i (pre-amplifier of channel i / 2, then its amplifier)
// and triggers the entry named text; false when the menu has none.
bool triggerResultMenu(Body &body, int i, const QString &text)
{
    LE *box = body.measSet().tauLEs.value(i);
    if (!box)
        return false;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    QAction *found = nullptr;
    for (QAction *a : menu->actions())
        found = a->text() == text ? a : found;
    if (found)
        found->trigger();
    menu->close();
    return found;
}

QByteArray saveAndRead(Body &body, const QString &path)
{
    emit body.saveFileDialog()->fileSelected(path);
    return testsupport::readFileBytes(path + QStringLiteral(".conf"));
}

} // namespace

void tst_BodyActions::leaveChannelOutThroughTheResultMenu()
{
    Body body;
    body.show();
    load(body, { example(1), example(2), example(3), example(4), example(5), example(6) });
    QTemporaryDir dir;
    const QByteArray before = saveAndRead(body, dir.filePath("before.dat"));
    const QString text = body.measSet().tauLEs[3]->text();

    QVERIFY(triggerResultMenu(body, 3, "Leave this channel out")); // the amplifier box of channel 1
    QVERIFY(body.measSet().isLeftOut(1));
    QVERIFY(!body.measSet().tauLEs[2]->styleSheet().isEmpty());
    QVERIFY(!body.measSet().tauLEs[3]->styleSheet().isEmpty());
    QVERIFY(body.measSet().tauLEs[4]->styleSheet().isEmpty());
    QCOMPARE(body.measSet().tauLEs[3]->text(), text);
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), body.measSet().tauLEs[3]->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(body.measSet().tauLEs[3], &help);
    QVERIFY2(body.measSet().tauLEs[3]->toolTip().endsWith("Left out of the .conf file and its mean line"),
             qPrintable(body.measSet().tauLEs[3]->toolTip()));

    const QByteArray masked = saveAndRead(body, dir.filePath("masked.dat"));
    QCOMPARE(testsupport::readFileBytes(dir.filePath("masked.dat")),
             testsupport::readFileBytes(dir.filePath("before.dat")));
    const QList<QByteArray> lines = masked.split('\n');
    QVERIFY(lines[1].startsWith("ICR0      "));
    QCOMPARE(lines[1].split(' ').value(8), QByteArray("0"));
    QCOMPARE(lines[2].split(' ').value(8), QByteArray("0"));
    const QVector<double> &t = body.measSet().tau0s;
    QCOMPARE(lines[0].split(' ').value(10).toDouble(),
             QString::number((t[0] + t[2] + t[3]) / 3 * 1e6, 'g', 6).toDouble());

    // A new load keeps the choice; taking the channel back restores the file.
    load(body, { example(1) });
    QVERIFY(!body.measSet().tauLEs[2]->styleSheet().isEmpty());
    QVERIFY(triggerResultMenu(body, 2, "Take this channel back"));
    QVERIFY(body.measSet().tauLEs[2]->styleSheet().isEmpty());
    QVERIFY(!body.measSet().isLeftOut(1));
    QMetaObject::invokeMethod(&body, "clearMcas");
    load(body, { example(1), example(2), example(3), example(4), example(5), example(6) });
    QCOMPARE(saveAndRead(body, dir.filePath("after.dat")), before);
}

// An unconnected channel (all zero) has no dead time: the .conf writes 0 for
// it, as for a channel the detector does not have, the mean line leaves it
// out and the message line names it.
void tst_BodyActions::notANumberLeavesTheMeanLine()
{
    QTemporaryDir dir;
    const QString table = writeFile(dir.filePath("t.dat"), "# Channels : 3\n"
                                                           "1 0.9 0 0.9 0.8595 0 0.8595\n"
                                                           "2 1.6 0 1.6 1.472 0 1.472\n"
                                                           "3 2.1 0 2.1 1.9 0 1.9\n");
    Body body;
    body.show();
    load(body, { table });
    const QByteArray conf = saveAndRead(body, dir.filePath("r.dat"));
    QVERIFY2(!conf.split('\n')[0].contains("nan"), conf.constData());
    QCOMPARE(conf.split('\n')[1].simplified().split(' ').value(2), QByteArray("0"));
    const QByteArray results = testsupport::readFileBytes(dir.filePath("r.dat"));
    QCOMPARE(results.split('\n').value(1).split(' ').value(2), QByteArray("nan"));
    QVERIFY2(body.currentMessage().contains("channel 1 not determined"),
             qPrintable(body.currentMessage()));
}

QTEST_MAIN(tst_BodyActions)
#include "tst_bodyactions.moc"
