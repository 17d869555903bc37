// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "channelheader.h"
#include "dispa.h"
#include "le.h"
#include "panelrow.h"
#include "testsupport.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPointer>
#include <QPushButton>
#include <QResource>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

using testsupport::DebugCapture;
using testsupport::settle;

class tst_Body : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void texts_data();
    void texts();
    void form_data();
    void form();
    void japaneseCaptionsHaveGlyphs();
    void missingCatalogueFallsBackToEnglish();
    void catalogueIsTheOnlyResource();
    void metaObjectOrder();
    void focusChain();
    void dialogsConfiguredAndReused();
    void quitClosesEveryWindow();
    void plotsTakeTheExtraHeight();
    void largeLoadsFitTheScreen_data();
    void largeLoadsFitTheScreen();
    void boxesInViewAfterScrolling_data();
    void boxesInViewAfterScrolling();
    void addMeasPointRowsAndChannels();
    void loadMixedBatchThroughDialog();
    void batchesAccumulateAndClear();
    void resultBoxesCappedForHugeChannelCounts();
    void saveWritesNothingBeforeEstimation();
    void saveIntoMissingFolderLogsBothLines();
    void backgroundFieldChangesNothing();

private:
    void checkColumnHeaders(Body &body, int chs);
    QString writeFile(const QString &name, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> tmp;
};

namespace {

void emitFilesSelected(Body &body, const QStringList &files)
{
    emit body.openFileDialog()->filesSelected(files);
}

QStringList rowTexts(QGridLayout *layout)
{
    QStringList texts;
    for (int i = 0; i < layout->count(); ++i) {
        if (auto *edit = qobject_cast<QLineEdit *>(layout->itemAt(i)->widget()))
            texts.append(edit->text());
    }
    return texts;
}

// A spectrum file of one point: per channel an information line with its ICR
// and a window of bins 1..2, and two spectrum rows whose counts fall in it.
QByteArray spectrumFile(double i0, const QVector<double> &icrs, const QVector<double> &counts)
{
    QByteArray text = "# XRF MCA dump\n";
    for (double icr : icrs)
        text += "# MCA Ch Info : SDD 5.0 0.0 1.0 1.0 " + QByteArray::number(icr, 'g', 17)
            + " 1 2\n";
    text += "# I0 : " + QByteArray::number(i0, 'g', 17) + "\n";
    for (int bin = 1; bin <= 2; ++bin) {
        text += QByteArray::number(bin);
        for (double c : counts)
            text += " 0.1 " + QByteArray::number(c / 2, 'g', 17);
        text += "\n";
    }
    return text;
}

} // namespace

void tst_Body::cleanup()
{
    tmp.reset();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        w->hide();
}

QString tst_Body::writeFile(const QString &name, const QByteArray &bytes)
{
    if (!tmp)
        tmp = std::make_unique<QTemporaryDir>();
    const QString path = tmp->filePath(name);
    return testsupport::writeFileBytes(path, bytes) ? path : QString();
}

void tst_Body::texts_data()
{
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QStringList>("buttons"); // Read File(s), Save, Clear, Quit
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("preAmp");
    QTest::addColumn<QString>("amp");

    QTest::newRow("English") << false
                             << QStringList { "Read File(s)", "Save", "Clear", "Quit" }
                             << "I0 Back Ground"
                             << "Tau0s (preAmp)"
                             << "Taus (Amp)";
    QTest::newRow("Japanese") << true
                              << QStringList { QString::fromUtf8("ファイル読込"),
                                               QString::fromUtf8("保存"),
                                               QString::fromUtf8("クリア"),
                                               QString::fromUtf8("終了") }
                              << QString::fromUtf8("I0バックグラウンド")
                              << QString::fromUtf8("\u03c40 (preAmp)")
                              << QString::fromUtf8("\u03c4 (Amp)");
}

void tst_Body::texts()
{
    QFETCH(bool, japanese);
    QFETCH(QStringList, buttons);
    QFETCH(QString, background);
    QFETCH(QString, preAmp);
    QFETCH(QString, amp);

    // As at start-up: the catalogue is installed before the window is built.
    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP"),
                                QCoreApplication::applicationDirPath()));
        QCoreApplication::installTranslator(&translator);
    }
    Body body;
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(body.windowTitle(), QStringLiteral("Ratelens"));
    const char *names[] = { "ReadFiles", "SaveResult", "Clear", "Quit" };
    for (int i = 0; i < 4; ++i)
        QCOMPARE(body.findChild<QPushButton *>(names[i])->text(), buttons[i]);
    QCOMPARE(body.findChild<QLabel *>("label")->text(), background);
    QCOMPARE(body.findChild<QLabel *>("label_4")->text(), preAmp);
    QCOMPARE(body.findChild<QLabel *>("label_5")->text(), amp);
    QCOMPARE(body.findChild<QLineEdit *>("lineEdit")->text(), QStringLiteral("0"));
    QVERIFY(body.findChild<QLabel *>("label_2")->text().isNull());
    QVERIFY(body.findChild<QLabel *>("label_3")->text().isNull());
}

void tst_Body::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<int>("hPolicy");
    QTest::addColumn<int>("vPolicy");

    const int P = QSizePolicy::Preferred, M = QSizePolicy::Maximum, F = QSizePolicy::Fixed;
    QTest::newRow("I0NinDispF") << "I0NinDispF" << "QFrame" << "Body" << P << P;
    QTest::newRow("I0NinDisp") << "I0NinDisp" << "DispA" << "I0NinDispF" << P << P;
    // The panels and the result row sit in strips that scroll.
    QTest::newRow("frame_3") << "frame_3" << "QFrame" << "qt_scrollarea_viewport" << P << M;
    QTest::newRow("frame") << "frame" << "QFrame" << "Body" << P << M;
    QTest::newRow("Quit") << "Quit" << "QPushButton" << "frame" << M << F;
    QTest::newRow("SaveResult") << "SaveResult" << "QPushButton" << "frame" << M << F;
    QTest::newRow("ReadFiles") << "ReadFiles" << "QPushButton" << "frame" << M << F;
    QTest::newRow("Clear") << "Clear" << "QPushButton" << "frame" << int(QSizePolicy::Minimum)
                           << F;
    QTest::newRow("frame_2") << "frame_2" << "QFrame" << "Body" << P << M;
    QTest::newRow("label") << "label" << "QLabel" << "frame_2" << P << P;
    QTest::newRow("lineEdit") << "lineEdit" << "QLineEdit" << "frame_2" << P << F;
    QTest::newRow("NinNoutDispF") << "NinNoutDispF" << "QFrame" << "Body" << P << P;
    QTest::newRow("NinNoutDisp") << "NinNoutDisp" << "DispA" << "NinNoutDispF" << P << P;
    QTest::newRow("TausDispBase") << "TausDispBase" << "QFrame" << "qt_scrollarea_viewport" << P
                                  << M;
    QTest::newRow("label_3") << "label_3" << "QLabel" << "TausDispBase" << P << P;
    QTest::newRow("label_2") << "label_2" << "QLabel" << "TausDispBase" << P << P;
    QTest::newRow("label_5") << "label_5" << "QLabel" << "TausDispBase" << P << P;
    QTest::newRow("label_4") << "label_4" << "QLabel" << "TausDispBase" << P << P;
}

void tst_Body::form()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(int, hPolicy);
    QFETCH(int, vPolicy);

    Body body;
    QCOMPARE(body.objectName(), QStringLiteral("Body"));
    // The designed size where the screen has room for it.
    QCOMPARE(body.size(),
             QSize(1536, 854).boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size()));
    auto *w = body.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    QCOMPARE(int(w->sizePolicy().horizontalPolicy()), hPolicy);
    QCOMPARE(int(w->sizePolicy().verticalPolicy()), vPolicy);
    if (auto *f = qobject_cast<QFrame *>(w); f && className != "QLabel") {
        if (name.endsWith("Disp") || name.endsWith("DispF"))
            QCOMPARE(f->frameShape(), QFrame::StyledPanel);
        else if (className == "QFrame")
            QCOMPARE(f->frameShape(), QFrame::NoFrame);
        QCOMPARE(f->frameShadow(), QFrame::Raised);
    }
}

namespace {

// Every translation of the Japanese catalogue's source.
QStringList catalogueTranslations()
{
    QFile ts(QStringLiteral(RATELENS_JA_TS));
    if (!ts.open(QIODevice::ReadOnly))
        return {};
    QStringList texts;
    QXmlStreamReader xml(&ts);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement
            && xml.name() == QLatin1String("translation")) {
            const QString text = xml.readElementText();
            if (!text.isEmpty())
                texts.append(text);
        }
    }
    return texts;
}

// The characters of text that neither the font nor the fallback fonts the
// toolkit picks for it can draw: they would show as empty boxes.
QString charactersWithoutGlyph(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    QString missing;
    const QVector<uint> codes = text.toUcs4();
    for (uint c : codes) {
        bool drawn = QChar::isSpace(c);
        for (const QGlyphRun &run : runs)
            drawn = drawn || run.rawFont().supportsCharacter(c);
        if (!drawn)
            missing += QString::fromUcs4(&c, 1);
    }
    return missing;
}

} // namespace

// Japanese is the default interface: without a font that has Japanese glyphs
// every caption would be a row of empty boxes.
void tst_Body::japaneseCaptionsHaveGlyphs()
{
    const QStringList texts = catalogueTranslations();
    QVERIFY(texts.size() > 10);
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP"),
                            QCoreApplication::applicationDirPath()));
    QCoreApplication::installTranslator(&translator);
    Body body;
    QCoreApplication::removeTranslator(&translator);
    QStringList shown;
    for (const QPushButton *button : body.findChildren<QPushButton *>())
        shown.append(button->text());
    for (const QLabel *label : body.findChildren<QLabel *>())
        shown.append(label->text());
    QVERIFY(shown.contains(QString::fromUtf8("ファイル読込")));
    for (const QString &text : texts + shown)
        QVERIFY2(charactersWithoutGlyph(text, body.font()).isEmpty(),
                 qPrintable(text + QStringLiteral(": no glyph for ")
                            + charactersWithoutGlyph(text, body.font())));
}

void tst_Body::missingCatalogueFallsBackToEnglish()
{
    QTranslator translator;
    QVERIFY(!translator.load(QStringLiteral(":Ratelens_xx_XX")));
    QCoreApplication::installTranslator(&translator);
    Body body;
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(body.findChild<QPushButton *>("Quit")->text(), QStringLiteral("Quit"));
    QCOMPARE(body.findChild<QLabel *>("label_4")->text(), QStringLiteral("Tau0s (preAmp)"));
}

void tst_Body::catalogueIsTheOnlyResource()
{
    // The toolkit's libraries register resources of their own (qt-project.org,
    // qgradient, qpdf); ours is the catalogue alone, at the root, stored as it is.
    QStringList own = QDir(QStringLiteral(":/")).entryList();
    for (const char *toolkit : { "qt-project.org", "qgradient", "qpdf" })
        own.removeAll(QLatin1String(toolkit));
    QCOMPARE(own, QStringList { QStringLiteral("Ratelens_ja_JP.qm") });
    const QResource catalogue(QStringLiteral(":/Ratelens_ja_JP.qm"));
    QVERIFY(catalogue.isValid());
    QCOMPARE(catalogue.compressionAlgorithm(), QResource::NoCompression);
    QVERIFY(catalogue.size() > 0);
}

void tst_Body::metaObjectOrder()
{
    const QMetaObject *mo = &Body::staticMetaObject;
    QCOMPARE(QByteArray(mo->className()), QByteArray("Body"));
    QCOMPARE(mo->superClass(), &QFrame::staticMetaObject);
    const QByteArrayList expected { "quit()",
                                    "filesSelected(QStringList)",
                                    "saveResults(QString)",
                                    "clearMcas()",
                                    "drawI0Nin(QPainter*)",
                                    "drawNinNout(QPainter*)" };
    QCOMPARE(mo->methodCount() - mo->methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod m = mo->method(mo->methodOffset() + i);
        QCOMPARE(m.methodSignature(), expected[i]);
        QCOMPARE(m.methodType(), i == 0 ? QMetaMethod::Signal : QMetaMethod::Slot);
    }
}

void tst_Body::focusChain()
{
    Body body;
    QStringList chain;
    QWidget *w = body.findChild<QWidget *>("Quit");
    for (int guard = 0; guard < 200 && chain.size() < 5; ++guard) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.append(w->objectName());
        w = w->nextInFocusChain();
    }
    QCOMPARE(chain, QStringList({ "Quit", "SaveResult", "ReadFiles", "Clear", "lineEdit" }));
}

void tst_Body::dialogsConfiguredAndReused()
{
    Body body;
    body.show();
    QFileDialog *open = body.openFileDialog();
    QFileDialog *save = body.saveFileDialog();
    QVERIFY(open && save && open != save);
    QVERIFY(!open->parent());
    QVERIFY(!save->parent());
    QCOMPARE(open->fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(save->nameFilters(), QStringList({ "data (*.dat)", "any (*, *.*)" }));
    QVERIFY(save->defaultSuffix().isEmpty());

    auto *read = body.findChild<QPushButton *>("ReadFiles");
    QTest::mouseClick(read, Qt::LeftButton);
    QVERIFY(open->isVisible());
    QVERIFY(!open->isModal());
    QTest::mouseClick(read, Qt::LeftButton);
    int visibleDialogs = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        visibleDialogs += qobject_cast<QFileDialog *>(w) && w->isVisible();
    QCOMPARE(visibleDialogs, 1);

    QTest::mouseClick(body.findChild<QPushButton *>("SaveResult"), Qt::LeftButton);
    QVERIFY(save->isVisible());
    open->hide();
    save->hide();
}

void tst_Body::quitClosesEveryWindow()
{
    // The same wiring as at start-up, with a dialog open when Quit is pressed.
    Body body;
    connect(&body, SIGNAL(quit()), qApp, SLOT(closeAllWindows()));
    body.show();
    QTest::mouseClick(body.findChild<QPushButton *>("ReadFiles"), Qt::LeftButton);
    QVERIFY(body.openFileDialog()->isVisible());
    QTimer::singleShot(0, &body, [&body] {
        QTest::mouseClick(body.findChild<QPushButton *>("Quit"), Qt::LeftButton);
    });
    const int status = QApplication::exec();
    QCOMPARE(status, 0);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className()));
}

void tst_Body::plotsTakeTheExtraHeight()
{
    Body body;
    body.resize(1200, 1000);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    auto *top = body.findChild<QWidget *>("I0NinDisp");
    auto *bottom = body.findChild<QWidget *>("NinNoutDisp");
    auto *buttons = body.findChild<QWidget *>("frame");
    QVERIFY(top->height() > 300);
    QVERIFY(bottom->height() > 300);
    QVERIFY(buttons->height() < 60);
    // Top to bottom: buttons, background field, panels, results, the two plots.
    QVERIFY(buttons->y() < body.findChild<QWidget *>("frame_2")->y());
    QVERIFY(body.findChild<QWidget *>("TausDispBase")->y() < top->mapTo(&body, QPoint()).y());
    QVERIFY(top->mapTo(&body, QPoint()).y() < bottom->mapTo(&body, QPoint()).y());
}

void tst_Body::largeLoadsFitTheScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<bool>("spectra"); // 32 channels x 25 spectra, else a table
    QTest::addColumn<int>("chs");
    QTest::addColumn<int>("points");
    for (const QSize &screen : { QSize(1920, 1080), QSize(1366, 768) }) {
        const QString size = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
        QTest::newRow(qPrintable(size + ", table of 64 channels x 60 points"))
                << screen << false << 64 << 60;
        QTest::newRow(qPrintable(size + ", 25 spectra of 32 channels"))
                << screen << true << 32 << 25;
    }
    // Rows of panels beyond what a layout can hold (524,287 pixels, some
    // eighteen thousand rows) must be as reachable as the first.
    QTest::newRow("1366x768, table of 8 channels x 30000 points")
            << QSize(1366, 768) << false << 8 << 30000;
}

// The window as large as the screen (the offscreen screen itself cannot be
// given a size): a large load must neither grow it nor squeeze the plots,
// buttons or boxes, and scrolling must reach the last panel and result.
void tst_Body::largeLoadsFitTheScreen()
{
    QFETCH(QSize, screen);
    QFETCH(bool, spectra);
    QFETCH(int, chs);
    QFETCH(int, points);

    QStringList files;
    auto icr = [](int p, int j) { return 1e4 * (p + 1) * (1 - 0.004 * (p + 1)) * (1 + 0.01 * j); };
    auto sca = [&](int p, int j) { return 0.3 * icr(p, j) * (1 - 0.002 * (p + 1)); };
    if (spectra) {
        for (int p = 0; p < points; ++p) {
            QVector<double> icrs, counts;
            for (int j = 0; j < chs; ++j) {
                icrs.append(icr(p, j));
                counts.append(sca(p, j));
            }
            files.append(writeFile(QStringLiteral("s%1.dat").arg(p), spectrumFile(1e4 * (p + 1), icrs, counts)));
        }
    } else {
        QByteArray table = "# Channels : " + QByteArray::number(chs) + "\n";
        for (int p = 0; p < points; ++p) {
            table += QByteArray::number(1e4 * (p + 1));
            for (int j = 0; j < chs; ++j)
                table += ' ' + QByteArray::number(icr(p, j));
            for (int j = 0; j < chs; ++j)
                table += ' ' + QByteArray::number(sca(p, j));
            table += '\n';
        }
        files.append(writeFile("table.dat", table));
    }

    Body body;
    body.resize(screen);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    emitFilesSelected(body, files);
    const MeasSet &set = body.measSet();
    QCOMPARE(set.mcas.size(), points);
    QCOMPARE(set.tauLEs.size(), 2 * chs);

    QCOMPARE(body.size(), screen);
    QVERIFY(body.minimumSizeHint().width() <= screen.width());
    QVERIFY(body.minimumSizeHint().height() <= screen.height());
    auto inWindow = [&body](const QWidget *w) {
        return w->isVisible() && body.rect().contains(QRect(w->mapTo(&body, QPoint()), w->size()));
    };
    for (const char *name : { "ReadFiles", "SaveResult", "Clear", "Quit", "lineEdit" }) {
        auto *w = body.findChild<QWidget *>(name);
        QVERIFY2(inWindow(w), name);
        QVERIFY2(w->height() >= w->minimumSizeHint().height(), name);
    }
    const int width = body.findChild<QWidget *>("frame")->width();
    int plots = 0;
    auto plotHeights = [&body] {
        return body.findChild<QWidget *>("I0NinDispF")->height()
                + body.findChild<QWidget *>("NinNoutDispF")->height();
    };
    // The layout settles over a few rounds of the event loop; however long
    // that takes on a busy machine, it must end with both plots at half.
    QTRY_VERIFY2_WITH_TIMEOUT(2 * plotHeights() >= body.height(),
                              qPrintable(QString::number(plotHeights())), 60000);
    for (const char *name : { "I0NinDispF", "NinNoutDispF" }) {
        auto *w = body.findChild<QWidget *>(name);
        QVERIFY2(inWindow(w), name);
        QCOMPARE(w->width(), width);
        plots += w->height();
    }

    auto fitsText = [](const QLineEdit *box) {
        return box->fontMetrics().horizontalAdvance(box->text()) <= box->contentsRect().width() - 4;
    };
    auto *panels = body.findChild<QScrollArea *>("panelScroll");
    auto *results = body.findChild<QScrollArea *>("resultScroll");
    QVERIFY(panels && results);
    QVERIFY(inWindow(panels) && inWindow(results));
    // Scrolled to the very end (asked again until the scroll ranges have
    // settled), the last panel lies inside the viewport and shows the last
    // point.
    const AMeasP *last = nullptr;
    auto lastPanelInView = [&] {
        panels->verticalScrollBar()->setValue(panels->verticalScrollBar()->maximum());
        panels->horizontalScrollBar()->setValue(panels->horizontalScrollBar()->maximum());
        last = set.mcas.last();
        const auto *i0 = last ? last->findChild<QLineEdit *>("I0") : nullptr;
        if (!i0 || i0->text() != QString::number(1e4 * points, 'g', 6))
            return false;
        const QRect view = panels->viewport()->rect();
        const QRect panel(last->mapTo(panels->viewport(), QPoint()), last->size());
        auto *row = last->findChild<QGridLayout *>("SCAsBase");
        QLayoutItem *item = row ? row->itemAtPosition(0, chs - 1) : nullptr;
        const QWidget *box = item ? item->widget() : nullptr;
        return view.contains(QRect(view.left(), panel.top(), 1, panel.height())) && box
                && view.contains(QRect(box->mapTo(panels->viewport(), QPoint()), box->size()));
    };
    QTRY_VERIFY_WITH_TIMEOUT(lastPanelInView(), 60000);

    // The last panel shows its boxes in full, and its last SCA box lies
    // inside the viewport with the last amplifier result right under it.
    const QList<LE *> boxes = last->findChildren<LE *>();
    QVERIFY(!boxes.isEmpty());
    for (const LE *box : boxes)
        QVERIFY2(fitsText(box), qPrintable(box->text()));
    const QRect viewport = panels->viewport()->rect();
    auto *scaRow = last->findChild<QGridLayout *>("SCAsBase");
    QWidget *lastSca = scaRow->itemAtPosition(0, chs - 1)->widget();
    const QRect scaBox(lastSca->mapTo(panels->viewport(), QPoint()), lastSca->size());
    QVERIFY(viewport.contains(scaBox));
    const LE *lastTau = set.tauLEs.last();
    QVERIFY(fitsText(lastTau));
    QVERIFY(results->viewport()->rect().contains(
            QRect(lastTau->mapTo(results->viewport(), QPoint()), lastTau->size())));
    QCOMPARE(lastTau->mapToGlobal(QPoint()).x(), lastSca->mapToGlobal(QPoint()).x());
    QCOMPARE(lastTau->width(), lastSca->width());

    // Back at the start the pre-amplifier result of channel 0 sits under the
    // first ICR box of the first panel.
    panels->verticalScrollBar()->setValue(0);
    panels->horizontalScrollBar()->setValue(0);
    settle();
    auto *icrRow = set.mcas.first()->findChild<QGridLayout *>("ICRsBase");
    QVERIFY(icrRow);
    QCOMPARE(set.tauLEs.first()->mapToGlobal(QPoint()).x(),
             icrRow->itemAtPosition(0, 0)->widget()->mapToGlobal(QPoint()).x());
}

void tst_Body::boxesInViewAfterScrolling_data()
{
    // Where the panels are scrolled to, as a fraction of the way across and down.
    QTest::addColumn<double>("across");
    QTest::addColumn<double>("down");
    QTest::newRow("as loaded") << 0.0 << 0.0;
    QTest::newRow("middle") << 0.5 << 0.5;
    QTest::newRow("middle across, at the top") << 0.5 << 0.0;
    QTest::newRow("far right, bottom") << 1.0 << 1.0;
}

// Only the boxes near the view are made; wherever the user scrolls, every
// value box in view is there, shows its value and sits over the result of
// its channel, as if all boxes had been made at the load.
void tst_Body::boxesInViewAfterScrolling()
{
    QFETCH(double, across);
    QFETCH(double, down);

    const int chs = 64;
    const int points = 60;
    QVector<QByteArrayList> icrTexts(points), scaTexts(points);
    QByteArray table = "# Channels : 64\n";
    for (int p = 0; p < points; ++p) {
        table += QByteArray::number(1e4 * (p + 1));
        for (int j = 0; j < chs; ++j)
            icrTexts[p].append(QByteArray::number(1e4 * (p + 1) * (1 - 0.004 * p) * (1 + 0.01 * j)));
        for (int j = 0; j < chs; ++j)
            scaTexts[p].append(QByteArray::number(3e3 * (p + 1) * (1 - 0.006 * p) * (1 + 0.02 * j)));
        table += ' ' + icrTexts[p].join(' ') + ' ' + scaTexts[p].join(' ') + '\n';
    }
    Body body;
    body.resize(1536, 854);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    emitFilesSelected(body, { writeFile("table.dat", table) });
    settle();
    auto *panels = body.findChild<QScrollArea *>("panelScroll");
    QScrollBar *h = panels->horizontalScrollBar();
    QScrollBar *v = panels->verticalScrollBar();
    QVERIFY(h->maximum() > 0 && v->maximum() > 0);
    h->setValue(qRound(across * h->maximum()));
    v->setValue(qRound(down * v->maximum()));
    settle();

    const MeasSet &set = body.measSet();
    QCOMPARE(set.tauLEs.size(), 2 * chs);
    const QRect view(panels->viewport()->mapToGlobal(QPoint()), panels->viewport()->size());
    int shown = 0;
    for (int p = 0; p < points; ++p) {
        const AMeasP *panel = set.mcas[p];
        if (!panel)
            continue; // never in view, so never made
        const int top = panel->mapToGlobal(QPoint()).y();
        if (top + panel->height() <= view.top() || top >= view.bottom())
            continue;
        for (int j = 0; j < chs; ++j) {
            for (int stage = 0; stage < 2; ++stage) {
                // The result row shows the column of every channel.
                const LE *result = set.tauLEs[2 * j + stage];
                const int x = result->mapToGlobal(QPoint()).x();
                if (x + result->width() <= view.left() || x >= view.right())
                    continue;
                auto *row = panel->findChild<QGridLayout *>(stage == 0 ? "ICRsBase" : "SCAsBase");
                QLayoutItem *item = row->itemAtPosition(0, j);
                const auto *box = item ? qobject_cast<LE *>(item->widget()) : nullptr;
                const QString where = QStringLiteral("point %1, channel %2, %3")
                                              .arg(p).arg(j).arg(stage == 0 ? "ICR" : "SCA");
                QVERIFY2(box && box->isVisible(), qPrintable(where));
                QCOMPARE(box->text().toLatin1(), (stage == 0 ? icrTexts : scaTexts)[p][j]);
                QCOMPARE(box->mapToGlobal(QPoint()).x(), x);
                QCOMPARE(box->width(), result->width());
                ++shown;
            }
        }
    }
    // Some seven rows of more than ten columns are in view.
    QVERIFY2(shown >= 70, qPrintable(QString::number(shown)));
    checkColumnHeaders(body, chs);
}

namespace {

// The label of header right above the box (covering its middle), if shown.
QString headerTextOver(const ChannelHeader *header, const QWidget *box)
{
    const int middle = box->mapToGlobal(QPoint(box->width() / 2, 0)).x();
    for (const QLabel *label : header->columnLabels()) {
        const int left = label->mapToGlobal(QPoint()).x();
        if (label->isVisible() && left <= middle && middle < left + label->width()
            && !label->geometry().intersects(header->pinnedLabel()->isVisible()
                                                     ? header->pinnedLabel()->geometry()
                                                     : QRect()))
            return label->text();
    }
    return QString();
}

} // namespace

// Over every column in view, the channel it belongs to; at the left edge, the
// caption of the columns there once the row's own caption has scrolled away.
void tst_Body::checkColumnHeaders(Body &body, int chs)
{
    const MeasSet &set = body.measSet();
    auto *panels = body.findChild<QScrollArea *>("panelScroll");
    auto *results = body.findChild<QScrollArea *>("resultScroll");
    const auto *panelHeader = panels->findChild<ChannelHeader *>();
    const auto *resultHeader = results->findChild<ChannelHeader *>();
    QVERIFY(panelHeader && panelHeader->isVisible());
    QVERIFY(resultHeader && resultHeader->isVisible());
    const int viewLeft = panels->viewport()->mapToGlobal(QPoint()).x();
    const int viewRight = viewLeft + panels->viewport()->width();
    const AMeasP *panel = nullptr;
    for (const AMeasP *p : set.mcas) {
        if (!p)
            continue;
        const int top = p->mapTo(panels->viewport(), QPoint()).y();
        if (p->isVisible() && top >= 0 && top + p->height() <= panels->viewport()->height()) {
            panel = p;
            break;
        }
    }
    QVERIFY(panel);
    int named = 0;
    for (const char *rowName : { "ICRsBase", "SCAsBase" }) {
        auto *row = panel->findChild<QGridLayout *>(rowName);
        for (int j = 0; j < chs; ++j) {
            QLayoutItem *item = row->itemAtPosition(0, j);
            const QWidget *box = item ? item->widget() : nullptr;
            if (!box)
                continue;
            const int left = box->mapToGlobal(QPoint()).x();
            const int right = left + box->width();
            // Wholly in view, and clear of the pinned caption.
            if (left < viewLeft + 80 || right > viewRight)
                continue;
            QCOMPARE(headerTextOver(panelHeader, box), QString::number(j));
            const LE *result = set.tauLEs[2 * j + (QByteArray(rowName) == "SCAsBase")];
            QCOMPARE(headerTextOver(resultHeader, result), QString::number(j));
            ++named;
        }
    }
    QVERIFY2(named >= 8, qPrintable(QString::number(named)));

    // What the caption at the left edge must read: the caption of the
    // columns there, when that caption lies left of the view.
    const auto leftCaption = [viewLeft](const QVector<QPair<QWidget *, QString>> &groups) {
        QString caption;
        for (const auto &g : groups) {
            if (g.first->mapToGlobal(QPoint()).x() < viewLeft)
                caption = g.second;
        }
        return caption;
    };
    const QString panelCaption = leftCaption(
            { { panel->findChild<QLabel *>("label"), "I0" },
              { panel->findChild<QLabel *>("label_2"), "ICRs" },
              { panel->findChild<QLabel *>("label_3"), "SCAs" } });
    QCOMPARE(panelHeader->pinnedCaption(), panelCaption);
    const QString resultCaption = leftCaption(
            { { body.findChild<QLabel *>("label_4"), "Tau0s (preAmp)" },
              { body.findChild<QLabel *>("label_5"), "Taus (Amp)" } });
    QCOMPARE(resultHeader->pinnedCaption(), resultCaption);
    if (panelCaption.isEmpty())
        return;
    // The pinned caption sits at the left edge of the view, in view.
    QCOMPARE(panelHeader->pinnedLabel()->mapToGlobal(QPoint()).x(), viewLeft);
    QVERIFY(panelHeader->pinnedLabel()->isVisible());
}

void tst_Body::addMeasPointRowsAndChannels()
{
    Body body;
    auto *layout = body.findChild<QGridLayout *>("MCALayout");
    body.addMeasPoint(1, { 1, 2, 3, 4 }, { 1, 2, 3, 4 });
    body.addMeasPoint(2, { 1, 2, 3, 4, 5, 6 }, { 1, 2, 3, 4, 5, 6 });
    body.addMeasPoint(3, { 1, 2, 3, 4, 5 }, { 1, 2, 3, 4, 5, 6 });
    QCOMPARE(body.measSet().chs(), 4);
    QCOMPARE(body.measSet().mcas.size(), 3);
    // The plots' ranges cover every value loaded, common channel or not.
    const ValueRanges &r = body.measSet().ranges();
    QVERIFY(r.hasI0 && r.hasIcr && r.hasSca);
    QCOMPARE(QVector<double>({ r.i0Min, r.i0Max, r.icrMin, r.icrMax, r.scaMin, r.scaMax }),
             QVector<double>({ 1, 3, 1, 6, 1, 6 }));
    for (int p = 0; p < 3; ++p) {
        AMeasP *panel = body.measSet().mcas[p];
        QCOMPARE(panel->i0, double(p + 1));
        QCOMPARE(panelRow(layout, panel), p);
        QCOMPARE(panel->parentWidget(), body.findChild<QWidget *>("frame_3"));
    }
    // A point with fewer common values lowers chs; one with none sets it to 0.
    body.addMeasPoint(4, { 1, 2, 3 }, { 1, 2 });
    QCOMPARE(body.measSet().chs(), 2);
    body.addMeasPoint(5, {}, { 1 });
    QCOMPARE(body.measSet().chs(), 0);

    // Clear keeps chs; the next point starts at row 0 and sets chs afresh.
    QTest::mouseClick(body.findChild<QPushButton *>("Clear"), Qt::LeftButton);
    QCOMPARE(body.measSet().mcas.size(), 0);
    QCOMPARE(body.measSet().chs(), 0);
    body.addMeasPoint(7, { 1, 2, 3 }, { 1, 2, 3 });
    QCOMPARE(body.measSet().chs(), 3);
    QCOMPARE(panelRow(layout, body.measSet().mcas[0]), 0);
}

void tst_Body::loadMixedBatchThroughDialog()
{
    // Two spectrum files around a point table, with an unreadable path in the
    // middle: the points enter in list order, the estimation runs once.
    const QString s1 = writeFile("s1.dat", spectrumFile(1, { 0.9, 0.9 }, { 0.8595, 0.8595 }));
    const QString table = writeFile("t.dat", "# Channels : 2\n"
                                             "2, 1.6, 1.6, 1.472, 1.472\n"
                                             "3 2.1 2.1 1.8795 1.8795\n");
    const QString s2 = writeFile("s2.dat", spectrumFile(4, { 2.4, 2.4 }, { 2.112, 2.112 }));
    const QString missing = tmp->filePath("gone.dat");

    Body body;
    DebugCapture debug;
    emitFilesSelected(body, { s1, table, missing, s2 });

    const MeasSet &s = body.measSet();
    QCOMPARE(s.mcas.size(), 4);
    QVector<double> i0s;
    for (const AMeasP *m : s.mcas)
        i0s.append(m->i0);
    QCOMPARE(i0s, QVector<double>({ 1, 2, 3, 4 }));
    QCOMPARE(s.chs(), 2);
    QVERIFY(s.estimated);
    QCOMPARE(s.tau0s.size(), 2);
    // ICR = I0 - 0.1 I0^2 exactly: Tau0 = 0.1; SCA = ICR - 0.05 ICR^2: Tau = 0.05.
    QVERIFY(testsupport::nearlyEqual(s.tau0s[0], 0.1, 1e-9));
    QVERIFY(testsupport::nearlyEqual(s.taus[1], 0.05, 1e-9));
    QCOMPARE(s.tauLEs.size(), 4);
    QCOMPARE(rowTexts(body.findChild<QGridLayout *>("Tau0sLayout")),
             QStringList({ QString::number(s.tau0s[0], 'g', 6), QString::number(s.tau0s[1], 'g', 6) }));
    QCOMPARE(rowTexts(body.findChild<QGridLayout *>("TausLayout")).size(), 2);

    const QStringList lines = debug.lines();
    QCOMPARE(lines.filter("Cannot open").size(), 1);
    QCOMPARE(lines.filter("Cannot open").first(), QStringLiteral("Cannot open \"%1\"").arg(missing));
    QCOMPARE(lines.filter(QRegularExpression("^LINE ")).size(), 1);
}

void tst_Body::batchesAccumulateAndClear()
{
    const QString table = writeFile("t.dat", "# Channels : 2\n"
                                             "1 0.9 0.9 0.8595 0.8595\n"
                                             "2 1.6 1.6 1.472 1.472\n");
    Body body;
    // One point alone: no estimation yet.
    emitFilesSelected(body, { writeFile("one.dat", spectrumFile(3, { 2.1, 2.1 }, { 1.8795, 1.8795 })) });
    QVERIFY(!body.measSet().estimated);
    QCOMPARE(body.measSet().tauLEs.size(), 0);

    emitFilesSelected(body, { table });
    QCOMPARE(body.measSet().mcas.size(), 3);
    QVERIFY(body.measSet().estimated);
    QList<QPointer<LE>> firstBoxes;
    for (LE *box : body.measSet().tauLEs)
        firstBoxes.append(box);

    // The same file again: loaded twice, estimated again over all points, the
    // boxes of the previous estimation replaced.
    emitFilesSelected(body, { table });
    QCOMPARE(body.measSet().mcas.size(), 5);
    QCOMPARE(body.measSet().tauLEs.size(), 4);
    for (const QPointer<LE> &old : firstBoxes)
        QVERIFY(old.isNull());

    // An empty batch still estimates and changes nothing else.
    emitFilesSelected(body, {});
    QCOMPARE(body.measSet().mcas.size(), 5);
    QVERIFY(body.measSet().estimated);

    QList<QPointer<AMeasP>> panels;
    for (AMeasP *p : body.measSet().mcas)
        panels.append(p);
    QList<QPointer<LE>> boxes;
    for (LE *box : body.measSet().tauLEs)
        boxes.append(box);
    QTest::mouseClick(body.findChild<QPushButton *>("Clear"), Qt::LeftButton);
    const MeasSet &s = body.measSet();
    QVERIFY(!s.estimated);
    QVERIFY(s.mcas.isEmpty() && s.tauLEs.isEmpty() && s.tau0s.isEmpty() && s.taus.isEmpty());
    QVERIFY(s.tau0Fits.isEmpty() && s.tauFits.isEmpty());
    QVERIFY(!s.ranges().hasI0 && !s.ranges().hasIcr && !s.ranges().hasSca);
    QCOMPARE(s.ranges().icrMax, -1e300);
    QCOMPARE(s.chs(), 2);
    for (const auto &p : panels)
        QVERIFY(p.isNull());
    for (const auto &b : boxes)
        QVERIFY(b.isNull());
    QCOMPARE(body.findChild<QGridLayout *>("MCALayout")->count(), 0);
}

void tst_Body::resultBoxesCappedForHugeChannelCounts()
{
    const int n = maxValueBoxesPerRow + 100;
    Body body;
    body.addMeasPoint(1, QVector<double>(n, 0.9), QVector<double>(n, 0.8595));
    body.addMeasPoint(2, QVector<double>(n, 1.6), QVector<double>(n, 1.472));
    emitFilesSelected(body, {});
    const MeasSet &s = body.measSet();
    QVERIFY(s.estimated);
    QCOMPARE(s.tau0s.size(), n);
    QCOMPARE(s.taus.size(), n);
    QCOMPARE(s.tauLEs.size(), 2 * maxValueBoxesPerRow);
    QVERIFY(testsupport::nearlyEqual(s.tau0s.last(), 0.1, 1e-9));
}

void tst_Body::saveWritesNothingBeforeEstimation()
{
    Body body;
    QTemporaryDir dir;
    const QString path = dir.filePath("r.dat");
    DebugCapture debug;
    emit body.saveFileDialog()->fileSelected(path);
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QFile::exists(path + ".conf"));
    QVERIFY(debug.lines().isEmpty());
}

void tst_Body::saveIntoMissingFolderLogsBothLines()
{
    Body body;
    body.addMeasPoint(1, { 1, 1 }, { 1, 1 });
    body.addMeasPoint(2, { 2, 2 }, { 2, 2 });
    emitFilesSelected(body, {});
    QVERIFY(body.measSet().estimated);
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/r.dat");
    DebugCapture debug;
    emit body.saveFileDialog()->fileSelected(path);
    QCOMPARE(debug.lines(), QStringList({ "Cannot open date file.", "Cannot open date file2." }));
    QVERIFY(!QFile::exists(path));
}

void tst_Body::backgroundFieldChangesNothing()
{
    const QString table = writeFile("t.dat", "# Channels : 2\n"
                                             "1 0.9 0.9 0.8595 0.8595\n"
                                             "2 1.6 1.6 1.472 1.472\n"
                                             "3 2.1 2.1 1.8795 1.8795\n");
    QByteArray saved[2];
    for (int run = 0; run < 2; ++run) {
        Body body;
        if (run == 1)
            QTest::keyClicks(body.findChild<QLineEdit *>("lineEdit"), "12345");
        emitFilesSelected(body, { table });
        const QString out = tmp->filePath(QStringLiteral("r%1.dat").arg(run));
        emit body.saveFileDialog()->fileSelected(out);
        saved[run] = testsupport::readFileBytes(out) + testsupport::readFileBytes(out + ".conf");
    }
    QVERIFY(!saved[0].isEmpty());
    QCOMPARE(saved[1], saved[0]);
}

QTEST_MAIN(tst_Body)
#include "tst_body.moc"
