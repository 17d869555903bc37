// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "deadtime.h"
#include "loader.h"
#include "pointset.h"
#include "testsupport.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <QTranslator>
#include <QtTest>

#include <memory>

using testsupport::settle;

// The window as its form tables describe it, built here from plain widgets and
// layouts: where the loaded points fit, Body must show every widget with the
// same geometry and text.
class tst_BodyLayout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void designedWhereItFits_data();
    void designedWhereItFits();
    void scrollsOnlyWhileItDoesNotFit();
};

namespace {

const QString yellow = QStringLiteral("background-color: rgb(255, 255, 224);");

QString tr(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

template<typename W>
W *named(QWidget *parent, const char *name)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QGridLayout *grid(QWidget *on, const char *name)
{
    auto *layout = new QGridLayout(on);
    layout->setObjectName(QLatin1String(name));
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

void setPolicy(QWidget *w, QSizePolicy::Policy h, QSizePolicy::Policy v)
{
    QSizePolicy policy(h, v);
    policy.setHeightForWidth(w->sizePolicy().hasHeightForWidth());
    w->setSizePolicy(policy);
}

QFrame *plainFrame(QWidget *parent, const char *name, QFrame::Shape shape)
{
    auto *f = named<QFrame>(parent, name);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Raised);
    return f;
}

QLineEdit *valueBox(double value)
{
    auto *box = new QLineEdit;
    box->setStyleSheet(yellow);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    QSizePolicy policy = box->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    box->setSizePolicy(policy);
    box->setText(QString::number(value, 'g', 6));
    return box;
}

// The panel of one point: "I0", its box, "ICRs" with the ICR boxes, "SCAs"
// with the SCA boxes.
QFrame *designedPanel(const MeasValues &point)
{
    auto *panel = new QFrame;
    panel->setObjectName(QStringLiteral("AMeasP"));
    panel->resize(397, 23);
    QGridLayout *layout = grid(panel, "gridLayout");
    auto *label = named<QLabel>(panel, "label");
    setPolicy(label, QSizePolicy::Maximum, QSizePolicy::Preferred);
    layout->addWidget(label, 0, 0, 1, 1);
    QFrame *frame = plainFrame(panel, "frame", QFrame::NoFrame);
    setPolicy(frame, QSizePolicy::Maximum, QSizePolicy::Preferred);
    QGridLayout *frameLayout = grid(frame, "gridLayout_3");
    auto *icrRow = new QGridLayout;
    icrRow->setObjectName(QStringLiteral("ICRsBase"));
    frameLayout->addLayout(icrRow, 0, 1, 1, 1);
    auto *label2 = named<QLabel>(frame, "label_2");
    setPolicy(label2, QSizePolicy::Maximum, QSizePolicy::Preferred);
    frameLayout->addWidget(label2, 0, 0, 1, 1);
    layout->addWidget(frame, 0, 2, 1, 1);
    auto *i0 = named<QLineEdit>(panel, "I0");
    setPolicy(i0, QSizePolicy::Preferred, QSizePolicy::Fixed);
    i0->setStyleSheet(yellow);
    i0->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    i0->setReadOnly(true);
    layout->addWidget(i0, 0, 1, 1, 1);
    QFrame *frame2 = plainFrame(panel, "frame_2", QFrame::NoFrame);
    setPolicy(frame2, QSizePolicy::Maximum, QSizePolicy::Preferred);
    QGridLayout *frame2Layout = grid(frame2, "gridLayout_5");
    auto *scaRow = new QGridLayout;
    scaRow->setObjectName(QStringLiteral("SCAsBase"));
    frame2Layout->addLayout(scaRow, 0, 1, 1, 1);
    auto *label3 = named<QLabel>(frame2, "label_3");
    setPolicy(label3, QSizePolicy::Maximum, QSizePolicy::Preferred);
    frame2Layout->addWidget(label3, 0, 0, 1, 1);
    layout->addWidget(frame2, 0, 3, 1, 1);
    label->setText(tr("AMeasP", "I0"));
    label2->setText(tr("AMeasP", "ICRs"));
    label3->setText(tr("AMeasP", "SCAs"));

    i0->setText(QString::number(point.i0, 'g', 6));
    for (int i = 0; i < point.icrs.size(); ++i)
        icrRow->addWidget(valueBox(point.icrs[i]), 0, i);
    for (int i = 0; i < point.scas.size(); ++i)
        scaRow->addWidget(valueBox(point.scas[i]), 0, i);
    return panel;
}

QPushButton *button(QWidget *parent, const char *name, bool maximum)
{
    auto *b = named<QPushButton>(parent, name);
    if (maximum)
        setPolicy(b, QSizePolicy::Maximum, QSizePolicy::Fixed);
    return b;
}

QFrame *plotFrame(QWidget *window, QGridLayout *main, int row, const char *frameName,
                  const char *gridName, const char *plotName)
{
    QFrame *outer = plainFrame(window, frameName, QFrame::StyledPanel);
    main->addWidget(outer, row, 0, 1, 1);
    QGridLayout *layout = grid(outer, gridName);
    QFrame *plot = plainFrame(outer, plotName, QFrame::StyledPanel);
    layout->addWidget(plot, 0, 0, 1, 1);
    return plot;
}

// The main window in the order of its form table, with a panel per point and,
// when there are results, a box per channel and stage.
std::unique_ptr<QFrame> designedWindow(const PointSet &points, const DeadTimes *results)
{
    auto window = std::make_unique<QFrame>();
    QFrame *w = window.get();
    w->setObjectName(QStringLiteral("Body"));
    w->resize(1536, 854);
    auto *main = new QGridLayout(w);
    main->setObjectName(QStringLiteral("gridLayout"));
    plotFrame(w, main, 4, "I0NinDispF", "gridLayout_5", "I0NinDisp");
    QFrame *panels = plainFrame(w, "frame_3", QFrame::NoFrame);
    setPolicy(panels, QSizePolicy::Preferred, QSizePolicy::Maximum);
    main->addWidget(panels, 2, 0, 1, 1);
    QGridLayout *panelsLayout = grid(panels, "gridLayout_4");
    auto *mcaLayout = new QGridLayout;
    mcaLayout->setObjectName(QStringLiteral("MCALayout"));
    panelsLayout->addLayout(mcaLayout, 0, 0, 1, 1);

    QFrame *buttons = plainFrame(w, "frame", QFrame::NoFrame);
    setPolicy(buttons, QSizePolicy::Preferred, QSizePolicy::Maximum);
    main->addWidget(buttons, 0, 0, 1, 1);
    QGridLayout *buttonsLayout = grid(buttons, "gridLayout_2");
    QPushButton *quit = button(buttons, "Quit", true);
    buttonsLayout->addWidget(quit, 0, 4, 1, 1);
    QPushButton *save = button(buttons, "SaveResult", true);
    buttonsLayout->addWidget(save, 0, 1, 1, 1);
    QPushButton *read = button(buttons, "ReadFiles", true);
    buttonsLayout->addWidget(read, 0, 0, 1, 1);
    buttonsLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum),
                           0, 3, 1, 1);
    QPushButton *clear = button(buttons, "Clear", false);
    buttonsLayout->addWidget(clear, 0, 2, 1, 1);

    QFrame *background = plainFrame(w, "frame_2", QFrame::NoFrame);
    setPolicy(background, QSizePolicy::Preferred, QSizePolicy::Maximum);
    main->addWidget(background, 1, 0, 1, 1);
    QGridLayout *backgroundLayout = grid(background, "gridLayout_3");
    auto *label = named<QLabel>(background, "label");
    backgroundLayout->addWidget(label, 0, 0, 1, 1);
    auto *field = named<QLineEdit>(background, "lineEdit");
    setPolicy(field, QSizePolicy::Preferred, QSizePolicy::Fixed);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    backgroundLayout->addWidget(field, 0, 1, 1, 1);
    backgroundLayout->addItem(
            new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 2, 1, 1);

    plotFrame(w, main, 5, "NinNoutDispF", "gridLayout_6", "NinNoutDisp");

    QFrame *resultRow = plainFrame(w, "TausDispBase", QFrame::NoFrame);
    setPolicy(resultRow, QSizePolicy::Preferred, QSizePolicy::Maximum);
    main->addWidget(resultRow, 3, 0, 1, 1);
    QGridLayout *resultLayout = grid(resultRow, "gridLayout_8");
    auto *tau0sLayout = new QGridLayout;
    resultLayout->addLayout(tau0sLayout, 0, 3, 1, 1);
    resultLayout->addWidget(named<QLabel>(resultRow, "label_3"), 0, 0, 1, 1);
    resultLayout->addWidget(named<QLabel>(resultRow, "label_2"), 0, 1, 1, 1);
    auto *ampCaption = named<QLabel>(resultRow, "label_5");
    resultLayout->addWidget(ampCaption, 0, 4, 1, 1);
    auto *preAmpCaption = named<QLabel>(resultRow, "label_4");
    resultLayout->addWidget(preAmpCaption, 0, 2, 1, 1);
    auto *tausLayout = new QGridLayout;
    resultLayout->addLayout(tausLayout, 0, 5, 1, 1);

    quit->setText(tr("Body", "Quit"));
    save->setText(tr("Body", "Save"));
    read->setText(tr("Body", "Read File(s)"));
    clear->setText(tr("Body", "Clear"));
    label->setText(tr("Body", "I0 Back Ground"));
    field->setText(tr("Body", "0"));
    ampCaption->setText(tr("Body", "Taus (Amp)"));
    preAmpCaption->setText(tr("Body", "Tau0s (preAmp)"));

    for (int p = 0; p < points.size(); ++p)
        mcaLayout->addWidget(designedPanel(points.at(p)), p, 0, 1, 1);
    for (int j = 0; results && j < points.chs(); ++j) {
        tau0sLayout->addWidget(valueBox(results->tau0s[j]), 0, j);
        tausLayout->addWidget(valueBox(results->taus[j]), 0, j);
    }
    return window;
}

// A widget of the window's own form, not one of a panel's of the same name.
QWidget *formWidget(QWidget *root, const QString &name)
{
    for (QObject *child : root->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->objectName() == QLatin1String("AMeasP"))
            continue;
        if (w->objectName() == name)
            return w;
        if (QWidget *found = formWidget(w, name))
            return found;
    }
    return nullptr;
}

// What a user sees of a widget: where it is in the window, its text and, for
// a box, its colour.
QString looks(const QWidget *w, const QWidget *window)
{
    if (!w)
        return QStringLiteral("missing");
    QString text;
    if (auto *label = qobject_cast<const QLabel *>(w))
        text = label->text();
    else if (auto *edit = qobject_cast<const QLineEdit *>(w))
        text = edit->text() + QLatin1Char(' ') + edit->styleSheet();
    else if (auto *b = qobject_cast<const QPushButton *>(w))
        text = b->text();
    const QRect r(w->mapTo(window, QPoint()), w->size());
    return QStringLiteral("%1 %2,%3 %4x%5 %6 \"%7\"")
            .arg(w->objectName())
            .arg(r.x())
            .arg(r.y())
            .arg(r.width())
            .arg(r.height())
            .arg(w->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"), text);
}

QStringList boxRowLooks(QGridLayout *row, const QWidget *window)
{
    QStringList all;
    for (int i = 0; row && i < row->columnCount(); ++i) {
        QLayoutItem *item = row->itemAtPosition(0, i);
        all.append(looks(item ? item->widget() : nullptr, window));
    }
    return all;
}

QGridLayout *resultRow(QWidget *window, int column)
{
    auto *row = formWidget(window, QStringLiteral("TausDispBase"))->layout();
    auto *grid = qobject_cast<QGridLayout *>(row);
    QLayoutItem *item = grid ? grid->itemAtPosition(0, column) : nullptr;
    return item ? qobject_cast<QGridLayout *>(item->layout()) : nullptr;
}

QStringList exampleFiles(const QString &pattern)
{
    const QDir dir(QStringLiteral(RATELENS_EXAMPLES_DIR));
    QStringList files;
    for (const QString &name : dir.entryList({ pattern }, QDir::Files, QDir::Name))
        files.append(dir.filePath(name));
    return files;
}

// What the window shows, widget by widget: the form's widgets, then those of
// each panel and its boxes, then the result boxes.
template<typename Panel>
QStringList everythingShown(QWidget *window, const QVector<Panel *> &panels)
{
    QStringList all;
    const char *names[] = { "frame",        "ReadFiles",    "SaveResult", "Clear",
                            "Quit",         "frame_2",      "label",      "lineEdit",
                            "frame_3",      "TausDispBase", "label_3",    "label_2",
                            "label_4",      "label_5",      "I0NinDispF", "I0NinDisp",
                            "NinNoutDispF", "NinNoutDisp" };
    for (const char *name : names)
        all.append(looks(formWidget(window, QLatin1String(name)), window));
    for (const Panel *panel : panels) {
        all.append(looks(panel, window));
        for (const char *name : { "label", "I0", "frame", "label_2", "frame_2", "label_3" })
            all.append(looks(panel->template findChild<QWidget *>(name), window));
        for (const char *row : { "ICRsBase", "SCAsBase" })
            all += boxRowLooks(panel->template findChild<QGridLayout *>(row), window);
    }
    for (int column : { 3, 5 })
        all += boxRowLooks(resultRow(window, column), window);
    return all;
}

QVector<QFrame *> designedPanels(QWidget *window)
{
    return window->findChildren<QFrame *>(QStringLiteral("AMeasP")).toVector();
}

} // namespace

void tst_BodyLayout::initTestCase()
{
    // The font of a desktop session rather than the larger one of the
    // offscreen platform, so that the window shows what a user sees.
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
}

void tst_BodyLayout::cleanup()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        w->hide();
}

void tst_BodyLayout::designedWhereItFits_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("japanese");
    const QStringList spectra = exampleFiles(QStringLiteral("spectrum_*.dat"));
    const QStringList table = exampleFiles(QStringLiteral("point_table.dat"));
    QTest::newRow("nothing loaded") << QStringList() << false;
    QTest::newRow("six example spectra") << spectra << false;
    QTest::newRow("example point table") << table << false;
    QTest::newRow("example point table, Japanese") << table << true;
    QTest::newRow("one spectrum, no estimate") << QStringList(spectra.mid(0, 1)) << false;
}

void tst_BodyLayout::designedWhereItFits()
{
    QFETCH(QStringList, files);
    QFETCH(bool, japanese);

    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP"),
                                QCoreApplication::applicationDirPath()));
        QCoreApplication::installTranslator(&translator);
    }
    PointSet points;
    loadMeasurementFiles(files, points);
    const DeadTimes results = estimateDeadTimes(points);
    auto designed = designedWindow(points, points.canEstimate() ? &results : nullptr);
    Body body;
    QCoreApplication::removeTranslator(&translator);

    body.resize(1536, 854);
    body.show();
    designed->show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    QVERIFY(QTest::qWaitForWindowExposed(designed.get(), 60000));
    emit body.openFileDialog()->filesSelected(files);
    QCOMPARE(body.measSet().mcas.size(), points.size());
    settle();
    QCOMPARE(body.size(), designed->size());

    QCOMPARE(everythingShown(&body, body.measSet().mcas),
             everythingShown(designed.get(), designedPanels(designed.get())));
    // The colour is each box's own; the areas that hold them carry none.
    QCOMPARE(formWidget(&body, QStringLiteral("frame_3"))->styleSheet(), QString());
    QCOMPARE(formWidget(&body, QStringLiteral("TausDispBase"))->styleSheet(), QString());
    QCOMPARE(body.measSet().tauLEs.size(), points.canEstimate() ? 2 * points.chs() : 0);
}

// The example table fits the designed window; a window too low for it makes
// the panels scroll so that the plots keep the lower half, and the designed
// layout comes back when the window grows again.
void tst_BodyLayout::scrollsOnlyWhileItDoesNotFit()
{
    const QStringList files = exampleFiles(QStringLiteral("point_table.dat"));
    PointSet points;
    loadMeasurementFiles(files, points);
    const DeadTimes results = estimateDeadTimes(points);
    auto designed = designedWindow(points, &results);
    Body body;
    body.resize(1536, 854);
    body.show();
    designed->show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    emit body.openFileDialog()->filesSelected(files);
    settle();
    const QStringList expected = everythingShown(designed.get(), designedPanels(designed.get()));
    QCOMPARE(everythingShown(&body, body.measSet().mcas), expected);

    auto *panels = body.findChild<QScrollArea *>(QStringLiteral("panelScroll"));
    auto *plot = body.findChild<QWidget *>(QStringLiteral("I0NinDispF"));
    for (int height : { 600, 420 }) {
        body.resize(1536, height);
        settle();
        QVERIFY(panels->verticalScrollBar()->isVisible());
        QVERIFY2(plot->y() <= height / 2, qPrintable(QString::number(plot->y())));
        // Scrolled to the end, the last panel is in view.
        panels->verticalScrollBar()->setValue(panels->verticalScrollBar()->maximum());
        settle();
        const AMeasP *last = body.measSet().mcas.last();
        const QRect lastRow(last->mapTo(panels->viewport(), QPoint()), last->size());
        QVERIFY(panels->viewport()->rect().contains(lastRow));
        QVERIFY(last->findChild<QLineEdit *>(QStringLiteral("I0")));
    }
    body.resize(1536, 854);
    settle();
    QVERIFY(!panels->verticalScrollBar()->isVisible());
    QCOMPARE(everythingShown(&body, body.measSet().mcas), expected);
}

QTEST_MAIN(tst_BodyLayout)
#include "tst_bodylayout.moc"
