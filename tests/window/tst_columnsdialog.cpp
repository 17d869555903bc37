// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "columnsdialog.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// Recordings in the window: a column file that no built-in recipe maps is
// offered to the Columns window by "Read as columns..." (no window opens by
// itself on a load), whose recipe loads it; the message line says what a file
// looks like, which recipe read it, what a point-table read passed over, and
// why a single channel leaves the result row empty.
class tst_ColumnsDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unmappedColumnFileIsOffered();
    void noWindowOpensByItselfOnALoad_data();
    void noWindowOpensByItselfOnALoad();
    void loadThroughTheRecipeAndRememberIt();
    void builtinRecipeIsNamedInTheMessageLine();
    void messageLine_data();
    void messageLine();
    void japanese();
    void mcaAndHdf5WithoutRecipe();
    void tableReadReplacedByTheRecipe();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir dir;
    QTemporaryDir config;
};

namespace {

// Two elements under names no built-in recipe knows; counts over tick
// seconds. Element n has ICR = (n + 1) I0 (1 - 1e-6 n I0) and SCA =
// ICR (1 - 2e-6 ICR).
QByteArray unmappedScan()
{
    QByteArray t("# XDI/1.0\n# Column.1: IC0\n# Column.2: tick\n# Column.3: fluo1\n"
                 "# Column.4: fluo2\n# Column.5: out1\n# Column.6: out2\n# ///\n");
    for (int k = 1; k <= 6; ++k) {
        const double i0 = 1000.0 * k;
        QByteArray row = QByteArray::number(2 * i0, 'g', 12) + " 2";
        QByteArray outs;
        for (int n = 1; n <= 2; ++n) {
            const double icr = (n + 1) * i0 * (1 - 1e-6 * n * i0);
            row += ' ' + QByteArray::number(2 * icr, 'g', 15);
            outs += ' ' + QByteArray::number(2 * icr * (1 - 2e-6 * icr), 'g', 15);
        }
        t += row + outs + '\n';
    }
    return t;
}

void load(Body &body, const QStringList &files)
{
    emit body.openFileDialog()->filesSelected(files);
}

// The top-level windows shown besides the main window.
QStringList otherWindows(const Body &body)
{
    QStringList shown;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != &body && w->isVisible())
            shown << QString::fromLatin1(w->metaObject()->className());
    }
    return shown;
}

// The Columns window as the user opens it after a load: by "Read as
// columns..." beside the message line, which the load showed.
ColumnsDialog *openOffered(Body &body)
{
    if (body.readAsColumnsButton()->isHidden() || !otherWindows(body).isEmpty())
        return nullptr;
    QTest::mouseClick(body.readAsColumnsButton(), Qt::LeftButton);
    ColumnsDialog *d = body.columnsDialog();
    return d && d->isVisible() ? d : nullptr;
}

const char *const goodRecipe = "elements = 1-2\ni0 = IC0 / tick\nicr = fluo{n} / tick\n"
                               "sca = out{n} / tick\n";

} // namespace

QString tst_ColumnsDialog::write(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    return testsupport::writeFileBytes(path, bytes) ? path : QString();
}

void tst_ColumnsDialog::initTestCase()
{
    // Remembered recipes go to a settings folder of the test's own.
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QVERIFY(dir.isValid() && config.isValid());
}

void tst_ColumnsDialog::unmappedColumnFileIsOffered()
{
    Body body;
    body.show();
    const QString path = write(QStringLiteral("unmapped.xdi"), unmappedScan());
    load(body, { path });
    QCOMPARE(body.measSet().points.size(), 0);
    QVERIFY(!body.columnsDialog());
    QCOMPARE(body.readAsColumnsButton()->text(), QString("Read as columns..."));
    ColumnsDialog *d = openOffered(body);
    QVERIFY(d);
    QVERIFY(!d->isModal());
    QCOMPARE(d->windowTitle(), QString("Columns"));
    auto *preview = d->findChild<QTableWidget *>(QStringLiteral("preview"));
    QCOMPARE(preview->columnCount(), 6);
    QCOMPARE(preview->horizontalHeaderItem(2)->text(), QString("fluo1"));
    QCOMPARE(preview->rowCount(), 6);
    QCOMPARE(preview->item(0, 0)->text(), QString("2000"));
    // The start is made from the names: I0 found, the rest to be written.
    QVERIFY2(d->recipeText().contains("i0 = IC0"), qPrintable(d->recipeText()));
    QCOMPARE(d->checkText(), QString("Missing or wrong: unknown names ICR1, OCR1"));
    QVERIFY(!d->loadButton()->isEnabled());
    QVERIFY(body.currentMessage().contains("no built-in recipe fits the columns IC0 tick"));
}

void tst_ColumnsDialog::noWindowOpensByItselfOnALoad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("offered");
    QByteArray spectrum("# I0 : 1000 counts\n# MCA Ch Info : SDD1 1 0 1 1 900 1 2\n");
    for (int b = 0; b < 4; ++b)
        spectrum += QByteArray::number(b) + " 0.1 5\n";
    QTest::newRow("a table whose header has commas")
        << QByteArray("# Channels : 2\n# I0, ICR0, ICR1, SCA0, SCA1\n1,2,3,4,5\n2,3,4,5,6\n"
                      "3,4,5,6,7\n")
        << false;
    QTest::newRow("a table with its header after the data")
        << QByteArray("31000 30974 23083 32410 14270 11547 15882\n# Channels : 3\n"
                      "54000 54196 40673 55904 23849 19484 26796\n")
        << false;
    QTest::newRow("a spectrum whose I0 line carries a unit") << spectrum << false;
    QTest::newRow("a column file no recipe maps")
        << QByteArray("# A B C D E\n1 2 3 4 5\n2 3 4 5 6\n3 4 5 6 7\n") << true;
    QTest::newRow("a SPEC file of two scans")
        << QByteArray("#S 1 a\n#L I0  ICR1  OCR1  x\n1 2 3 4\n#S 2 b\n#L I0  ICR1  OCR1  x\n"
                      "1 2 3 4\n")
        << true;
}

// Whatever a load meets, the window stays the only one shown: a file that
// needs a recipe is offered by "Read as columns...", a point table or a
// spectrum file not even that, so that the first paint after it is the one
// of the window alone.
void tst_ColumnsDialog::noWindowOpensByItselfOnALoad()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, offered);
    Body body;
    body.show();
    load(body, { write(QStringLiteral("load.dat"), content) });
    QCOMPARE(otherWindows(body), QStringList());
    QCOMPARE(!body.readAsColumnsButton()->isHidden(), offered);
}

void tst_ColumnsDialog::loadThroughTheRecipeAndRememberIt()
{
    Body body;
    body.show();
    const QString path = write(QStringLiteral("unmapped.xdi"), unmappedScan());
    load(body, { path });
    ColumnsDialog *d = openOffered(body);
    QVERIFY(d);
    d->setRecipeText(QString::fromLatin1(goodRecipe));
    QCOMPARE(d->checkText(), QString("The recipe fits: 2 element(s)"));
    QTest::mouseClick(d->loadButton(), Qt::LeftButton);

    const MeasSet &m = body.measSet();
    QCOMPARE(m.points.size(), 6);
    QCOMPARE(m.chs(), 2);
    QVERIFY(m.estimated);
    // Element 2: ICR = 3 I0 - 6e-6 I0^2, so tau0 = 6e-6 / 3^2.
    QVERIFY(qAbs(m.tau0s.at(1) / (6e-6 / 9) - 1) < 1e-6);
    QVERIFY(qAbs(m.taus.at(0) / 2e-6 - 1) < 1e-6);
    QCOMPARE(body.currentMessage(), QString("unmapped.xdi: the recipe of the Columns window"));
    QVERIFY(body.readAsColumnsButton()->isHidden());

    // The same names another time start from the recipe loaded last.
    ColumnsDialog again;
    again.setFile(path);
    QCOMPARE(again.recipeText(), QString::fromLatin1(goodRecipe));
    QVERIFY(again.loadButton()->isEnabled());
}

void tst_ColumnsDialog::builtinRecipeIsNamedInTheMessageLine()
{
    Body body;
    const QString path = write(QStringLiteral("mapped.xdi"),
                               "# XDI/1.0\n# Column.1: I0\n# Column.2: ICR1\n# Column.3: ICR2\n"
                               "# Column.4: OCR1\n# Column.5: OCR2\n# ///\n1 1 1 1 1\n2 2 2 2 2\n");
    load(body, { path });
    QCOMPARE(body.measSet().points.size(), 2);
    QVERIFY(!body.columnsDialog());
    QCOMPARE(body.currentMessage(),
             QString("mapped.xdi: built-in recipe ICR{n}/OCR{n}; no counting-time column, so the "
                     "values are taken as rates"));
}

void tst_ColumnsDialog::messageLine_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("message");

    QTest::newRow("native table that fits: nothing to say")
        << QByteArray("# Channels : 2\n1 2 3 4 5\n2 3 4 5 6\n") << QString();
    QTest::newRow("single channel")
        << QByteArray("1 2 3\n2 3 4\n")
        << QString("One channel in common: the result row needs two, so it stays empty; Fit "
                   "details shows this channel's dead times");
    QTest::newRow("column file read as a point table")
        << QByteArray("# Channels : 1\n1 2 3 4\n2 3 4 5\n")
        << QString("table.dat: read as a point table with up to 4 fields per line, of which a "
                   "point table of 1 channel(s) uses 3; if it is a column file, read it with a "
                   "recipe; One channel in common: the result row needs two, so it stays "
                   "empty; Fit details shows this channel's dead times");
}

void tst_ColumnsDialog::messageLine()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, message);
    Body body;
    load(body, { write(QStringLiteral("table.dat"), table) });
    QCOMPARE(body.measSet().points.size(), 2);
    QCOMPARE(body.currentMessage(), message);
}

void tst_ColumnsDialog::japanese()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP")));
    QCoreApplication::installTranslator(&translator);
    Body body;
    body.show();
    load(body, { write(QStringLiteral("unmapped2.xdi"), unmappedScan()) });
    QCOMPARE(body.readAsColumnsButton()->text(), QString("列として読む..."));
    ColumnsDialog *d = openOffered(body);
    QVERIFY(d);
    QCOMPARE(d->windowTitle(), QString("列"));
    QCOMPARE(d->loadButton()->text(), QString("読み込み"));
    d->setRecipeText(QStringLiteral("i0 = IC0\nicr = ICR{n}\nsca = OCR{n}"));
    QCOMPARE(d->checkText(), QString("不足または誤り: 不明な名前 ICR1, OCR1"));
    d->setRecipeText(QString::fromLatin1(goodRecipe));
    QCOMPARE(d->checkText(), QString("レシピは適合します: 2 素子"));
    Body single;
    load(single, { write(QStringLiteral("one.dat"), "1 2 3\n2 3 4\n") });
    QVERIFY2(single.currentMessage().startsWith("共通チャンネルは1つです"),
             qPrintable(single.currentMessage()));
    QCoreApplication::removeTranslator(&translator);
}

// Files that need a recipe by their kind open the same window: an MCA file
// offers its ENVIRONMENT entries and times, an HDF5 file the [datasets].
void tst_ColumnsDialog::mcaAndHdf5WithoutRecipe()
{
    qputenv("RATELENS_H5READ", RATELENS_H5READ_BUILT);
    Body body;
    body.show();
    QByteArray mca("VERSION: 3.1\nELEMENTS: 2\nREAL_TIME: 10 10\nLIVE_TIME: 5 8\n"
                   "ENVIRONMENT: I0=\"250\" (ion chamber)\nDATA:\n");
    for (int b = 1; b <= 8; ++b)
        mca += QByteArray::number(b) + ' ' + QByteArray::number(2 * b) + '\n';
    load(body, { write(QStringLiteral("one.mca"), mca) });
    ColumnsDialog *d = openOffered(body);
    QVERIFY(d);
    auto *preview = d->findChild<QTableWidget *>(QStringLiteral("preview"));
    QCOMPARE(preview->horizontalHeaderItem(0)->text(), QString("I0"));
    QCOMPARE(preview->item(0, 4)->text(), QString("72")); // counts2 over all bins
    d->setRecipeText(QStringLiteral("i0 = I0"));
    QCOMPARE(d->checkText(), QString("Missing or wrong: no window = first-last bin of the counts"));
    d->setRecipeText(QStringLiteral("window = 1-2\ni0 = I1"));
    QCOMPARE(d->checkText(), QString("Missing or wrong: unknown name I1"));
    d->setRecipeText(QStringLiteral("window = 1-2\ni0 = I0"));
    QTest::mouseClick(d->loadButton(), Qt::LeftButton);
    QCOMPARE(body.measSet().points.size(), 1);
    QCOMPARE(body.measSet().points.at(0).scas, QVector<double>({ 0.5, 1.0 }));

    load(body, { QStringLiteral(RATELENS_EXAMPLES_DIR "/xspress3_scan.h5") });
    d->hide();
    QCOMPARE(openOffered(body), d);
    QCOMPARE(d->file(), QStringLiteral(RATELENS_EXAMPLES_DIR "/xspress3_scan.h5"));
    d->setRecipeText(QStringLiteral("i0 = I0\nicr = I0\nsca = I0\n"));
    QCOMPARE(d->checkText(),
             QString("Missing or wrong: no [datasets] section naming the HDF5 datasets"));
    d->setRecipeText(
        QStringLiteral("elements = 1-4\ni0 = I0 / (T / 50e6)\n"
                       "icr = O{n} * F{n} / (C{n} / 80e6)\nsca = O{n} / (C{n} / 80e6)\n"
                       "[datasets]\nI0 = /entry/scaler/I0\nT = /entry/scaler/TSCALER\n"
                       "O{n} = /entry/xspress3/OutputCounts[{i}]\n"
                       "F{n} = /entry/xspress3/DTFactor[{i}]\n"
                       "C{n} = /entry/xspress3/Clock[{i}]\n"));
    QVERIFY2(d->loadButton()->isEnabled(), qPrintable(d->checkText()));
    QTest::mouseClick(d->loadButton(), Qt::LeftButton);
    QCOMPARE(body.measSet().points.size(), 13);
    QCOMPARE(body.measSet().chs(), 2);
}

// A column file without an XDI line is read as a point table, as ever, with
// the remark; its Columns window is offered, and loading the recipe there
// replaces the table's points of that file, not those of other files.
void tst_ColumnsDialog::tableReadReplacedByTheRecipe()
{
    Body body;
    body.show();
    load(body, { write(QStringLiteral("other.dat"), "# Channels : 2\n1 2 3 4 5\n") });
    QByteArray scan = unmappedScan();
    scan.replace("# XDI/1.0\n", "");
    scan.replace("# Column.", "#  Column."); // no longer XDI lines either
    scan.insert(scan.indexOf("2000 2"), "# IC0 tick fluo1 fluo2 out1 out2\n");
    const QString path = write(QStringLiteral("scan.txt"), scan);
    load(body, { path });
    QCOMPARE(body.measSet().points.size(), 7);
    QCOMPARE(body.measSet().points.at(1).i0, 2000.0); // read as a one-channel table
    QVERIFY2(body.currentMessage().startsWith(
                     "scan.txt: a column file of 6 fields per row (line 9) without a \"# "
                     "Channels :\" header, and no built-in recipe fits the columns IC0 tick "
                     "fluo1 fluo2 out1 out2; scan.txt: read as a point table"),
             qPrintable(body.currentMessage()));
    ColumnsDialog *d = openOffered(body);
    QVERIFY(d);
    QCOMPARE(d->file(), path);
    d->setRecipeText(QString::fromLatin1(goodRecipe));
    QTest::mouseClick(d->loadButton(), Qt::LeftButton);
    const MeasSet &m = body.measSet();
    QCOMPARE(m.points.size(), 7);
    QCOMPARE(m.mcas.size(), 7);
    QCOMPARE(m.points.source(0).file, dir.filePath("other.dat"));
    QCOMPARE(m.points.at(1).i0, 1000.0);
    QCOMPARE(m.chs(), 2);
    QVERIFY(m.estimated);
}

QTEST_MAIN(tst_ColumnsDialog)
#include "tst_columnsdialog.moc"
