// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "testsupport.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
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
    void clearAndGoodLoadClearTheMessage();
    void longMessageKeepsTheRow();
    void dropLoadsInOrder();
    void removePointReestimates_data();
    void removePointReestimates();
    void removingToOnePointDropsTheResults();
    void removeThroughThePanelMenu();
    void panelToolTipNamesFileAndLine();
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(bytes);
    return path;
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
        int row, col, rs, cs;
        layout->getItemPosition(layout->indexOf(panels[p]), &row, &col, &rs, &cs);
        if (row != p || panels[p]->i0 != body.measSet().points.at(p).i0)
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
            load(body, { example(1), example(2) });
        emit body.saveFileDialog()->fileSelected(path);
    }
    QCoreApplication::removeTranslator(&translator);

    expected.replace("%1", dir.path()).replace("%2", QFileInfo(dir.path()).fileName());
    QCOMPARE(body.currentMessage(), expected);
    auto *label = body.findChild<QLabel *>("message");
    QCOMPARE(label->toolTip().isEmpty(), false);
    QCOMPARE(label->text(), body.currentMessage()); // the window is wide enough
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
    load(body, { example(1) });
    QCOMPARE(body.currentMessage(), QString());
}

void tst_BodyActions::longMessageKeepsTheRow()
{
    Body body;
    body.resize(700, 600);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    auto *field = body.findChild<QLineEdit *>("lineEdit");
    const QRect before = field->geometry();
    const int minWidth = body.minimumSizeHint().width();
    QStringList missing;
    for (int i = 0; i < 40; ++i)
        missing.append(QStringLiteral("/no/such/folder/measurement_%1.dat").arg(i));
    load(body, missing);
    QTest::qWait(20);
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
    QTRY_COMPARE(body.measSet().mcas.size(), 2);
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

QTEST_MAIN(tst_BodyActions)
#include "tst_bodyactions.moc"
