// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"

#include "ameasp.h"
#include "channelheader.h"
#include "columnsdialog.h"
#include "fitdetails.h"
#include "le.h"
#include "loadnotes.h"
#include "loader.h"
#include "plotaxes.h"
#include "plotdata.h"
#include "recipe.h"
#include "recording.h"
#include "resultsfile.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>

Body::Body(QWidget *parent)
    : QFrame(parent)
    , colors(plotChannelColors())
    , openDialog(nullptr)
    , saveDialog(nullptr)
    , fitDetailsAction(new QAction(tr("Fit details..."), this))
    , panelHeader(new ChannelHeader)
    , resultHeader(new ChannelHeader)
{
    setupUi(this);
    panelScroll->setHeader(panelHeader);
    resultScroll->setHeader(resultHeader);
    mset.tau0sLayout = Tau0sLayout;
    mset.tausLayout = TausLayout;

    // The window starts at its designed size where the screen has room for
    // it, else at the room there is; the strips of panels and results scroll
    // rather than growing it.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(size().boundedTo(screen->availableGeometry().size()));
    boxSize = valueBoxSize(font());
    // When the strips scroll, the result row ends in the "Taus (Amp)" caption
    // and the amplifier boxes, a panel in the "SCAs" caption and the SCA
    // boxes: with both captions of one width, and boxes of one width, the
    // columns of both end alike.
    QLabel scaCaption(QCoreApplication::translate("AMeasP", "SCAs"));
    scaCaption.setFont(font());
    scaCaptionWidth = qMax(scaCaption.sizeHint().width(), label_5->sizeHint().width());
    setStripsAsDesigned(true);
    panelScroll->setFocusPolicy(Qt::NoFocus);
    resultScroll->setFocusPolicy(Qt::NoFocus);
    panelScroll->limitHeight([this] { return panelAreaLimit(); });
    connect(panelScroll, &StripScroll::visibleAreaChanged, this, [this] {
        showVisiblePanels();
        alignResultRow();
    });
    connect(resultScroll, &StripScroll::visibleAreaChanged, this, &Body::updateColumnHeaders);
    QScrollBar *panelBar = panelScroll->horizontalScrollBar();
    QScrollBar *resultBar = resultScroll->horizontalScrollBar();
    connect(panelBar, &QScrollBar::valueChanged, resultBar, &QScrollBar::setValue);
    connect(resultBar, &QScrollBar::valueChanged, panelBar, &QScrollBar::setValue);
    connect(resultBar, &QScrollBar::rangeChanged, this,
            [panelBar, resultBar] { resultBar->setValue(panelBar->value()); });

    // The dialogs are independent top-level windows, created once and shown
    // again on every press so that they keep their folder and selection.
    openDialog = new QFileDialog(nullptr, QString(), QString(), QString());
    openDialog->setFileMode(QFileDialog::ExistingFiles);
    saveDialog = new QFileDialog(nullptr, QString(), QString(), QString());
    saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog->setNameFilters({ QStringLiteral("data (*.dat)"), QStringLiteral("any (*, *.*)") });

    connect(ReadFiles, SIGNAL(clicked()), openDialog, SLOT(show()));
    connect(openDialog, SIGNAL(filesSelected(const QStringList &)), this,
            SLOT(filesSelected(const QStringList &)));
    connect(SaveResult, SIGNAL(clicked()), saveDialog, SLOT(show()));
    connect(saveDialog, SIGNAL(fileSelected(const QString &)), this,
            SLOT(saveResults(const QString &)));
    connect(I0NinDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawI0Nin(QPainter *)));
    connect(NinNoutDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawNinNout(QPainter *)));
    connect(I0NinDisp, &DispA::mouseMoved0, this,
            [this] { showPlotToolTip(I0NinDisp, PlotKind::I0Nin); });
    connect(NinNoutDisp, &DispA::mouseMoved0, this,
            [this] { showPlotToolTip(NinNoutDisp, PlotKind::NinNout); });
    connect(Clear, SIGNAL(clicked()), this, SLOT(clearMcas()));
    connect(Quit, SIGNAL(clicked()), this, SIGNAL(quit()));

    fitDetailsAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_D));
    fitDetailsAction->setShortcutContext(Qt::WindowShortcut);
    addAction(fitDetailsAction);
    I0NinDisp->addMenuAction(fitDetailsAction);
    NinNoutDisp->addMenuAction(fitDetailsAction);
    connect(fitDetailsAction, &QAction::triggered, this, &Body::showFitDetails);
    // Ctrl+Q ends the program from any of its windows, as Quit does.
    auto *quitAction = new QAction(this);
    quitAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));
    quitAction->setShortcutContext(Qt::ApplicationShortcut);
    addAction(quitAction);
    connect(quitAction, &QAction::triggered, this, &Body::quit);

    // Files dropped on the window load as if chosen in the open dialog.
    setAcceptDrops(true);
    message->installEventFilter(this);
}

// The dialogs have no parent and outlive the window; they are left to the end
// of the process, as nothing uses them after the event loop.
Body::~Body() = default;

namespace {

// The reader's header search and unreadable files go to the debug output, the
// way this window has always reported them.
void printTrace(const QString &line)
{
    qDebug().noquote() << line;
}

// The local files among the dropped URLs, in the order they were dropped.
QStringList droppedFiles(const QMimeData *mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

void Body::addMeasPoint(double i0, const QVector<double> &icrs, const QVector<double> &scas)
{
    const int p = mset.points.size();
    mset.points.add(i0, icrs, scas);
    addPanels(p);
}

void Body::addPanels(int first)
{
    forgetPlotData();
    updateStripMode();
    for (int p = first; p < mset.points.size(); ++p)
        mset.mcas.append(newPanel(p));
    putPanelsInRows(first);
    showVisiblePanels();
    alignResultRow();
}

AMeasP *Body::newPanel(int p)
{
    // While the strips scroll, a point has no panel until its row is
    // scrolled into view: a table of a hundred thousand lines makes the
    // panels of a screenful, not a widget per line.
    if (!asDesigned)
        return nullptr;
    return new AMeasP(mset.points.at(p), frame_3);
}

void Body::putPanelsInRows(int first)
{
    if (!asDesigned) {
        // A grid holds no more than QLAYOUTSIZE_MAX (524,287) pixels: some
        // eighteen thousand rows. The area is sized and the rows in view
        // placed directly, so that the last row of a table of a hundred
        // thousand lines is as reachable as the first, and a layout pass
        // touches the rows that are built rather than every point.
        const int n = mset.mcas.size();
        frame_3->setMinimumHeight(n > 0 ? n * rowPitch() - rowSpacing() : 0);
        scrollRowWidth = widestScrollingRow();
        for (int p = 0; p < n; ++p) {
            if (mset.mcas[p])
                placePanel(p);
        }
        return;
    }
    // Row q of the layout stays the panel of point q. Panels after first are
    // taken out from the last, which is cheap, and put back in order: a
    // panel that was in a layout makes the next addWidget search the whole
    // layout for it.
    frame_3->setMinimumHeight(0);
    while (MCALayout->count() > first)
        delete MCALayout->takeAt(MCALayout->count() - 1);
    for (int q = first; q < mset.mcas.size(); ++q) {
        mset.mcas[q]->setAttribute(Qt::WA_LaidOut, false);
        MCALayout->addWidget(mset.mcas[q], q, 0, 1, 1);
    }
}

int Body::rowSpacing() const
{
    return qMax(0, MCALayout->verticalSpacing());
}

int Body::rowPitch() const
{
    return boxSize.height + rowSpacing();
}

void Body::placePanel(int p)
{
    // Where the grid would put it: a row of the box's height, as wide as
    // the area.
    mset.mcas[p]->setGeometry(0, p * rowPitch(), frame_3->width(), boxSize.height);
}

int Body::widestScrollingRow()
{
    // The widest row of blanks: a probe panel of the most boxes any point
    // has, measured once per count of boxes.
    int most = -1;
    int widest = 0;
    for (int p = 0; p < mset.points.size(); ++p) {
        const MeasValues &point = mset.points.at(p);
        const int boxes = qMin(point.icrs.size(), maxValueBoxesPerRow)
                + qMin(point.scas.size(), maxValueBoxesPerRow);
        if (boxes > most) {
            most = boxes;
            widest = p;
        }
    }
    if (most < 0)
        return 0;
    auto it = rowWidths.constFind(most);
    if (it != rowWidths.constEnd())
        return *it;
    AMeasP probe(mset.points.at(widest));
    probe.setFont(frame_3->font());
    probe.buildBlankForm(boxSize, scaCaptionWidth);
    const int width = probe.sizeHint().width();
    rowWidths.insert(most, width);
    return width;
}

void Body::buildPanel(int p)
{
    if (!mset.mcas[p])
        mset.mcas[p] = new AMeasP(mset.points.at(p), frame_3);
    AMeasP *panel = mset.mcas[p];
    if (asDesigned)
        panel->buildForm(0);
    else
        panel->buildBlankForm(boxSize, scaCaptionWidth);
    panel->setToolTip(sourceText(p));
    panel->installEventFilter(this);
    panel->show();
}

void Body::showVisiblePanels()
{
    const int n = mset.mcas.size();
    if (n == 0)
        return;
    if (asDesigned) {
        for (int p = 0; p < n; ++p) {
            if (!mset.mcas[p]->hasForm())
                buildPanel(p);
            watchPanelBoxes(mset.mcas[p]);
        }
        return;
    }
    const int pitch = rowPitch();
    const int top = panelScroll->verticalScrollBar()->value();
    // Until the layout has given the area its height, the most it may take.
    int height = panelScroll->viewport()->height();
    if (!panelScroll->isVisible() || height <= 0)
        height = qMin(panelScroll->sizeHint().height(), this->height());
    const int first = qBound(0, top / pitch - 1, n - 1);
    const int last = qBound(0, (top + height) / pitch + 1, n - 1);
    // Across, the columns in view and one more on either side.
    const int margin = boxSize.width;
    const int left = panelScroll->horizontalScrollBar()->value() - margin;
    const int right = left + panelScroll->viewport()->width() + 2 * margin;
    for (int p = first; p <= last; ++p) {
        if (!mset.mcas[p] || !mset.mcas[p]->hasForm())
            buildPanel(p);
        AMeasP *panel = mset.mcas[p];
        placePanel(p);
        panel->buildBoxesIn(left - panel->x(), right - panel->x());
        watchPanelBoxes(panel);
    }
}

void Body::watchPanelBoxes(AMeasP *panel)
{
    // The context menus of the panel and of its boxes offer to remove it;
    // boxes are made as they scroll into view, and a filter installed twice
    // is installed once.
    const QList<QLineEdit *> boxes = panel->findChildren<QLineEdit *>();
    for (QLineEdit *box : boxes)
        box->installEventFilter(this);
}

namespace {

// The width of a designed panel with one ICR and one SCA box, and what each
// further box adds: the panel's grids give every box its preferred width and
// the same spacing.
struct DesignedRow
{
    int width = 0;
    int pitch = 0;
};

DesignedRow designedRow()
{
    static QHash<QString, DesignedRow> known;
    const QString key = QApplication::font().key();
    auto it = known.constFind(key);
    if (it != known.constEnd())
        return *it;
    const AMeasP one(0, { 0 }, { 0 });
    const AMeasP two(0, { 0, 0 }, { 0, 0 });
    const int width = one.sizeHint().width();
    const DesignedRow row { width, (two.sizeHint().width() - width) / 2 };
    known.insert(key, row);
    return row;
}

} // namespace

bool Body::contentFitsAsDesigned() const
{
    const int n = mset.points.size();
    const int spacing = qMax(0, MCALayout->verticalSpacing());
    if (n > 0 && n * boxSize.height + (n - 1) * spacing > panelAreaLimit())
        return false;
    // The widest panel and the result row at their preferred widths.
    const DesignedRow row = designedRow();
    int boxes = 2;
    for (const MeasValues &point : mset.points.points())
        boxes = qMax(boxes, qMin(point.icrs.size(), maxValueBoxesPerRow)
                             + qMin(point.scas.size(), maxValueBoxesPerRow));
    const QMargins margins = gridLayout->contentsMargins();
    const int room = width() - margins.left() - margins.right();
    const int results = label_4->sizeHint().width() + label_5->sizeHint().width()
            + 6 * qMax(0, gridLayout_8->horizontalSpacing())
            + 2 * qMin(mset.chs(), maxValueBoxesPerRow) * row.pitch;
    return row.width + (boxes - 2) * row.pitch <= room && results <= room;
}

void Body::updateStripMode()
{
    const bool designed = contentFitsAsDesigned();
    if (designed != asDesigned)
        setStripsAsDesigned(designed);
}

void Body::setStripsAsDesigned(bool designed)
{
    asDesigned = designed;
    const QString sheet = designed ? QString() : valueBoxStyleSheet();
    frame_3->setStyleSheet(sheet);
    TausDispBase->setStyleSheet(sheet);
    if (designed) {
        label_5->setMinimumWidth(0);
        label_5->setMaximumWidth(QWIDGETSIZE_MAX);
    } else {
        label_5->setFixedWidth(scaCaptionWidth);
    }
    frame_3->hide();
    for (int p = 0; p < mset.mcas.size(); ++p) {
        delete mset.mcas[p];
        mset.mcas[p] = newPanel(p);
    }
    putPanelsInRows(0);
    frame_3->show();
    mset.resultBoxWidth = designed ? 0 : boxSize.width;
    if (!mset.tauLEs.isEmpty()) {
        mset.showResults();
        watchResultBoxes();
        markStaleResults();
    }
    showVisiblePanels();
    alignResultRow();
}

void Body::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    updateStripMode();
}

void Body::alignResultRow()
{
    updateColumnHeaders();
    if (asDesigned) {
        resultScroll->setRightMargin(0);
        frame_3->setMinimumWidth(0);
        TausDispBase->setMinimumWidth(0);
        return;
    }
    const QScrollBar *bar = panelScroll->verticalScrollBar();
    resultScroll->setRightMargin(bar->isVisibleTo(panelScroll) ? bar->width() : 0);
    const int width = qMax(scrollRowWidth, gridLayout_8->sizeHint().width());
    frame_3->setMinimumWidth(width);
    TausDispBase->setMinimumWidth(width);
}

void Body::updateColumnHeaders()
{
    // A handful of channels are told apart at a glance.
    constexpr int handful = 4;
    AMeasP *panel = nullptr;
    for (AMeasP *p : qAsConst(mset.mcas)) {
        if (p && p->hasForm()) {
            panel = p;
            break;
        }
    }
    const bool shown = !asDesigned && panel
            && qMax(panel->icrs.size(), panel->scas.size()) > handful;
    panelScroll->setHeaderShown(shown);
    resultScroll->setHeaderShown(shown && !mset.tauLEs.isEmpty());
    if (!shown)
        return;
    // The result boxes are all made and stand under their channels' values,
    // so they give the columns of both strips; the panel's own are used only
    // before there are results.
    QVector<ChannelHeader::Column> columns;
    QVector<ChannelHeader::Group> groups = panel->headerGroups();
    QCoreApplication::sendPostedEvents(TausDispBase, QEvent::LayoutRequest);
    for (int i = 0; i < mset.tauLEs.size(); ++i) {
        const LE *box = mset.tauLEs[i];
        columns.append({ QString::number(i / 2), box->mapTo(TausDispBase, QPoint()).x(),
                         box->width() });
    }
    if (!columns.isEmpty()) {
        const int ampStart = label_5->x();
        resultHeader->setColumns(columns, { { label_4->text(), label_4->x(), ampStart },
                                            { label_5->text(), ampStart, TausDispBase->width() } });
        resultHeader->setOffset(resultScroll->horizontalScrollBar()->value());
        // A panel's "ICRs" and "SCAs" captions stand just left of its first
        // ICR and SCA columns.
        const int spacing = qMax(0, gridLayout_8->horizontalSpacing());
        const int icrs = columns[0].left - spacing
                - fontMetrics().horizontalAdvance(groups[1].caption);
        const int scas = columns[1].left - spacing - scaCaptionWidth;
        groups = { { groups[0].caption, 0, icrs },
                   { groups[1].caption, icrs, scas },
                   { groups[2].caption, scas, TausDispBase->width() } };
    } else {
        columns = panel->headerColumns();
    }
    panelHeader->setColumns(columns, groups);
    panelHeader->setOffset(panelScroll->horizontalScrollBar()->value());
}

int Body::panelAreaLimit() const
{
    // The panels may push the plots down to the middle of the window, not
    // beyond: what lies above the plots besides them is the button row, the
    // background row and the result row, as tall as its boxes whether or not
    // they are made yet.
    const int spacing = qMax(0, gridLayout->verticalSpacing());
    const int results = qMax(resultScroll->sizeHint().height(), boxSize.height);
    const int others = gridLayout->contentsMargins().top() + frame->sizeHint().height()
            + frame_2->sizeHint().height() + results + 4 * spacing;
    return height() / 2 - others;
}

bool Body::readPointTable(const QString &fname)
{
    const int first = mset.points.size();
    const FileReport report = loadPointTable(fname, mset.points, printTrace);
    addPanels(first);
    return report.open.opened();
}

void Body::filesSelected(const QStringList &files)
{
    loadFiles(files, LoadOptions());
}

void Body::loadFiles(const QStringList &files, const LoadOptions &options)
{
    const int first = mset.points.size();
    const QVector<FileReport> reports =
            loadMeasurementFiles(files, mset.points, printTrace, options);
    addPanels(first);
    for (const FileReport &report : reports) {
        if (!report.recipeText.isEmpty() && !loadedRecipes.contains(report.recipeText))
            loadedRecipes.append(report.recipeText);
    }
    if (mset.mcas.size() > 1) {
        mset.calcTaus();
        watchResultBoxes();
    }
    showLoadMessage(reports);
    showChangedPoints();
    // The result row may have grown: the panel area's limit follows before
    // the next layout pass rather than after the first paint.
    panelScroll->updateHeightLimit();
    offerRecipe(reports);
}

void Body::offerRecipe(const QVector<FileReport> &reports)
{
    for (const FileReport &report : reports) {
        // A point table that left fields unused or had text lines is most
        // likely a column file: its Columns window is offered too, and a
        // recipe loaded there replaces what the table read gave.
        const bool remarkedTable = report.recipeText.isEmpty() && !report.warnings.isEmpty();
        if (!report.needsRecipe && !remarkedTable)
            continue;
        if (!report.needsRecipe && !previewRecording(report.path, 1).error.isEmpty())
            continue;
        if (!columnsWindow) {
            columnsWindow = new ColumnsDialog(this);
            connect(columnsWindow, &ColumnsDialog::loadRequested, this, &Body::loadWithRecipe);
        }
        columnsWindow->setFile(report.path);
        columnsWindow->show();
        columnsWindow->raise();
        return;
    }
}

void Body::loadWithRecipe(const QString &path, const QString &recipeText)
{
    const RecipeParse parsed = parseRecipe(recipeText);
    if (!parsed.ok())
        return; // the Columns window's check says why, and Load is off
    Recipe recipe = parsed.recipe;
    recipe.origin = tr("the recipe of the Columns window");
    LoadOptions options;
    options.recipe = &recipe;
    columnsRecipe = recipeText;
    const int before = mset.points.size();
    loadFiles({ path }, options);
    if (mset.points.size() > before)
        removePointsOf(path, before);
}

void Body::removePointsOf(const QString &path, int end)
{
    int first = -1;
    for (int p = end - 1; p >= 0; --p) {
        if (mset.points.source(p).file != path)
            continue;
        delete mset.mcas.takeAt(p);
        first = p;
    }
    if (first < 0)
        return;
    putPanelsInRows(first);
    mset.points.removeFromFile(path, end);
    showVisiblePanels();
    if (mset.points.canEstimate()) {
        mset.calcTaus();
        watchResultBoxes();
    } else {
        dropResults();
    }
    showChangedPoints();
}

void Body::showChangedPoints()
{
    forgetPlotData();
    markStaleResults();
    alignResultRow();
    updateFitDetails();
    // The plots take their ranges from the points again, whatever the
    // gestures made of them before.
    I0NinDisp->coord.userRange = false;
    NinNoutDisp->coord.userRange = false;
    I0NinDisp->update();
    NinNoutDisp->update();
}

void Body::dropResults()
{
    mset.estimated = false;
    for (LE *box : qAsConst(mset.tauLEs))
        delete box;
    mset.tauLEs.clear();
    mset.tau0s.clear();
    mset.taus.clear();
    mset.tau0Fits.clear();
    mset.tauFits.clear();
    mset.tau0Verdicts.clear();
    mset.tauVerdicts.clear();
    mset.comparison.clear();
    mset.compared = false;
    mset.estimatedPoints = PointSet();
}

void Body::clearMcas()
{
    mset.estimated = false;
    frame_3->hide();
    for (AMeasP *panel : qAsConst(mset.mcas))
        delete panel;
    mset.mcas.clear();
    frame_3->show();
    dropResults();
    mset.points.clear();
    mset.leftOut.clear();
    columnsRecipe.clear();
    loadedRecipes.clear();
    updateStripMode();
    showMessage(QString());
    showChangedPoints();
}

void Body::removePoint(int p)
{
    if (p < 0 || p >= mset.mcas.size())
        return;
    delete mset.mcas.takeAt(p);
    mset.points.removeAt(p);
    // The panels below move up a row, so that row q stays the panel of
    // point q, which is what the lazy building of the panels in view counts
    // on.
    putPanelsInRows(p);
    updateStripMode();
    showVisiblePanels();

    // As after a load, but the results of points that are gone must go too
    // when what is left cannot be estimated.
    if (mset.points.canEstimate()) {
        mset.calcTaus();
        watchResultBoxes();
    } else {
        dropResults();
    }
    showChangedPoints();
}

void Body::saveResults(const QString &fname)
{
    if (!mset.estimated) {
        showMessage(tr("Nothing saved: no dead times estimated yet"));
        return;
    }
    // A failed save never leaves a truncated file that looks like a result:
    // each file is replaced only by complete new content.
    const ResultsFileValues values = mset.savedValues();
    const SaveOutcome saved = saveResultsFiles(fname, values.tau0s, values.taus, values.omitted);
    if (!saved.resultsWritten)
        qDebug() << "Cannot open date file.";
    if (!saved.confWritten)
        qDebug() << "Cannot open date file2.";

    const QString results = QDir::toNativeSeparators(fname);
    const QString conf = QDir::toNativeSeparators(fname + QStringLiteral(".conf"));
    QString text;
    if (saved.resultsWritten && saved.confWritten) {
        text = tr("Saved %1 and %2").arg(results, conf);
        const QVector<int> nonFinite = nonFiniteChannels(values.tau0s, values.taus, values.omitted);
        const QVector<int> undetermined = mset.undeterminedChannels();
        if (!undetermined.isEmpty())
            text = tr("Saved %1 and %2; channel %3 not determined: nan, and 0 out of the mean "
                      "line")
                           .arg(results, conf, channelNames(undetermined));
        else if (!nonFinite.isEmpty())
            text = tr("Saved %1 and %2; the mean line leaves out channel %3: dead time "
                      "not a number")
                           .arg(results, conf, channelNames(nonFinite));
    } else if (saved.resultsWritten) {
        text = tr("Saved %1, but cannot write %2").arg(results, conf);
    } else if (saved.confWritten) {
        text = tr("Saved %1, but cannot write %2").arg(conf, results);
    } else {
        const QDir folder = QFileInfo(fname).absoluteDir();
        showMessage(folder.exists()
                            ? tr("Nothing saved: cannot write %1 or %2").arg(results, conf)
                            : tr("Nothing saved: the folder %1 does not exist")
                                      .arg(QDir::toNativeSeparators(folder.path())));
        return;
    }
    // Saved results that are not of the loaded points must not pass for theirs.
    if (mset.resultsStale())
        text = tr("%1 (%2)").arg(
                text, tr("the earlier results: %1").arg(cannotEstimateReason(true)));
    showMessage(text);
}

QString Body::channelNames(const QVector<int> &channels)
{
    QStringList names;
    for (int j : channels)
        names << QString::number(j);
    return names.join(QStringLiteral(", "));
}

QString Body::currentMessage() const
{
    return messageText;
}

void Body::showLoadMessage(const QVector<FileReport> &reports)
{
    // The label names the files; its tooltip gives their whole paths, one a line.
    QStringList shortProblems;
    QStringList longProblems;
    QStringList shortParts;
    QStringList longParts;
    for (const FileReport &report : reports) {
        const QString name = QFileInfo(report.path).fileName();
        const QString path = QDir::toNativeSeparators(report.path);
        // What a point-table read passed over is said once, by its remark.
        if (report.notNumberLines > 0 && report.warnings.isEmpty()) {
            const QString text
                    = tr("%1 has fields that are not numbers, read as 0, from line %2 on");
            shortParts.append(text.arg(name).arg(report.firstNotNumberLine));
            longParts.append(text.arg(path).arg(report.firstNotNumberLine));
        }
        QString why;
        switch (report.open.kind) {
        case OpenStatus::NotRegularFile:
            why = tr("not a regular file");
            break;
        case OpenStatus::CannotOpen:
            why = report.open.reason.isEmpty() ? tr("cannot be opened") : report.open.reason;
            break;
        case OpenStatus::Opened:
            if (!report.error.isEmpty())
                why = report.error;
            else if (!report.gavePoints())
                why = tr("no measurement point in it");
            break;
        }
        if (why.isEmpty())
            continue;
        shortProblems.append(tr("%1 (%2)").arg(name, why));
        longProblems.append(tr("%1 (%2)").arg(path, why));
    }
    if (!shortProblems.isEmpty()) {
        shortParts.prepend(tr("Not loaded: %1").arg(shortProblems.join(QStringLiteral(", "))));
        longParts.prepend(tr("Not loaded:") + QLatin1Char('\n')
                          + longProblems.join(QLatin1Char('\n')));
    }
    // How the files were read: the recipe used, what a point-table read passed
    // over, a single channel.
    // Earlier results on screen: the single channel's note would say the row
    // stays empty; the stale-result line below says what the row shows.
    const PointSet &noted = mset.estimated ? PointSet() : mset.points;
    const QString notes = loadNotesText(reports, noted);
    if (!notes.isEmpty()) {
        shortParts.append(notes);
        longParts.append(loadNotesDetails(reports, noted));
    }
    describePoints(shortParts, longParts);
    showMessage(shortParts.join(QStringLiteral("; ")), longParts.join(QStringLiteral("\n")));
}

void Body::describePoints(QStringList &shortParts, QStringList &longParts) const
{
    // Points of different channel counts are fitted in the channels they all
    // have; a detector read with the wrong file is easily taken for that.
    const ChannelSpread spread = channelSpread(mset.points);
    if (spread.fewest >= 0 && mset.points.chs() >= 2) {
        const int most = mset.points.channelsOf(spread.most);
        const int fewest = mset.points.channelsOf(spread.fewest);
        const QString text = tr("Channel counts differ: %1 has %2, %3 has %4; the %5 channels "
                                "all points have are used");
        shortParts.append(text.arg(pointFile(spread.most, true)).arg(most)
                                  .arg(pointFile(spread.fewest, true)).arg(fewest)
                                  .arg(mset.points.chs()));
        longParts.append(text.arg(pointFile(spread.most, false)).arg(most)
                                 .arg(pointFile(spread.fewest, false)).arg(fewest)
                                 .arg(mset.points.chs()));
    }
    const QString reason = cannotEstimateReason(true);
    if (reason.isEmpty())
        return;
    // A single-element detector is no failed estimate: the load notes say why
    // the result row stays empty.
    if (!mset.estimated && mset.points.size() >= 2 && mset.points.chs() == 1)
        return;
    const QString text = mset.estimated
            ? tr("Dead times not updated: %1; the results shown are of the earlier points")
            : tr("No dead times: %1");
    shortParts.append(text.arg(reason));
    longParts.append(text.arg(cannotEstimateReason(false)));
}

QString Body::pointFile(int p, bool shortName) const
{
    const PointSource &source = mset.points.source(p);
    return shortName ? QFileInfo(source.file).fileName() : sourceText(p);
}

QString Body::cannotEstimateReason(bool shortName) const
{
    if (mset.points.isEmpty() || mset.points.canEstimate())
        return QString();
    if (mset.points.size() < 2)
        return tr("they need at least two measurement points");
    // The first point with as few channels as all points share.
    const int chs = mset.points.chs();
    int p = 0;
    while (p < mset.points.size() - 1
           && qMin(mset.points.at(p).icrs.size(), mset.points.at(p).scas.size()) != chs)
        ++p;
    return tr("the points share fewer than two channels, %1 has %2")
            .arg(pointFile(p, shortName))
            .arg(chs);
}

void Body::markStaleResults()
{
    if (!mset.resultsStale())
        return;
    // Grey, with a tooltip that says why, made anew when next asked for.
    for (LE *box : qAsConst(mset.tauLEs)) {
        box->setStyleSheet(
                QStringLiteral("background-color: rgb(235, 235, 235); color: rgb(120, 120, 120);"));
        box->setToolTip(QString());
    }
}

void Body::showMessage(const QString &text, const QString &details)
{
    messageText = text;
    const QString tip = details.isEmpty() ? text : details;
    if (tip != message->toolTip())
        message->setToolTip(tip);
    elideMessage();
}

void Body::elideMessage()
{
    // A long message must neither widen the window nor push the field aside:
    // the label takes the room the row leaves and shows what fits.
    const QString shown = message->fontMetrics().elidedText(messageText, Qt::ElideMiddle,
                                                            message->width());
    if (shown != message->text())
        message->setText(shown);
}

void Body::forgetPlotData()
{
    for (int k = 0; k < 2; ++k) {
        shownDataMade[k] = false;
        shownData[k] = ScatterPlotData();
    }
}

const ScatterPlotData &Body::plotData(PlotKind kind)
{
    const int k = kind == PlotKind::I0Nin ? 0 : 1;
    if (!shownDataMade[k]) {
        shownData[k] = scatterPlotData(kind, mset.points, mset.estimated,
                                       k == 0 ? mset.tau0Fits : mset.tauFits);
        shownDataMade[k] = true;
    }
    return shownData[k];
}

void Body::drawPlot(DispA *disp, PlotKind kind, QPainter *p)
{
    if (mset.mcas.size() <= 2)
        return;
    const ScatterPlotData &shown = plotData(kind);
    // The data ranges, unless the user has panned or zoomed since the last
    // load or clear.
    if (!disp->coord.userRange)
        setScatterPlotRange(disp->coord, shown);
    if (disp->axesShown())
        drawScatterPlotWithAxes(*p, disp->coord, shown, colors, plotLabels(kind));
    else
        drawScatterPlotInRange(*p, disp->coord, shown, colors);
}

void Body::drawI0Nin(QPainter *p)
{
    drawPlot(I0NinDisp, PlotKind::I0Nin, p);
}

void Body::drawNinNout(QPainter *p)
{
    drawPlot(NinNoutDisp, PlotKind::NinNout, p);
}

QString Body::pointTitle(int p, int j) const
{
    const QString title = tr("Channel %1, point %2").arg(j).arg(p + 1);
    const QString source = sourceText(p);
    return source.isEmpty() ? title : title + QLatin1Char('\n') + source;
}

QString Body::sourceText(int p) const
{
    const PointSource &source = mset.points.source(p);
    if (source.file.isEmpty())
        return QString();
    const QString file = QDir::toNativeSeparators(source.file);
    return source.line > 0 ? tr("%1, line %2").arg(file).arg(source.line) : file;
}

QString Body::plotToolTip(PlotKind kind, QPoint pos)
{
    if (mset.mcas.size() <= 2)
        return QString();
    const DispA *disp = kind == PlotKind::I0Nin ? I0NinDisp : NinNoutDisp;
    const PlotLabels labels = plotLabels(kind);
    const auto line = [&labels](double x, double y) {
        return QStringLiteral("%1: %2\n%3: %4")
                .arg(labels.xTitle, QString::number(x, 'g', 6), labels.yTitle,
                     QString::number(y, 'g', 6));
    };
    QString text = line(disp->coord.pixelToX(pos.x()), disp->coord.pixelToY(pos.y()));
    const ScatterPlotData &shown = plotData(kind);
    const PlotHit hit = plotPointAt(disp->coord, shown, pos);
    if (hit.point >= 0) {
        const int k = hit.point * shown.chs + hit.channel;
        text += QStringLiteral("\n\n") + pointTitle(hit.point, hit.channel) + QLatin1Char('\n')
                + line(shown.xs[k], shown.ys[k]);
    }
    return text;
}

void Body::showPlotToolTip(DispA *disp, PlotKind kind)
{
    const QPoint pos(disp->mouse.curX, disp->mouse.curY);
    const QString text = plotToolTip(kind, pos);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(disp->mapToGlobal(pos), text, disp, disp->rect());
}

void Body::watchResultBoxes()
{
    for (LE *box : qAsConst(mset.tauLEs))
        box->installEventFilter(this);
}

bool Body::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == message) {
        if (event->type() == QEvent::Resize)
            elideMessage();
        return QFrame::eventFilter(watched, event);
    }
    if (event->type() == QEvent::ContextMenu) {
        // A panel, or a box inside one.
        for (auto *w = qobject_cast<QWidget *>(watched); w && w != frame_3; w = w->parentWidget()) {
            if (auto *panel = qobject_cast<AMeasP *>(w)) {
                if (mset.mcas.contains(panel))
                    return showPanelMenu(panel, watched,
                                         static_cast<QContextMenuEvent *>(event));
                break;
            }
        }
    }
    auto *box = qobject_cast<LE *>(watched);
    if (!box || !mset.tauLEs.contains(box))
        return QFrame::eventFilter(watched, event);
    if (event->type() == QEvent::ToolTip && box->toolTip().isEmpty()) {
        // The box then shows the tooltip set here.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        mset.setResultToolTips(
                mset.resultsStale()
                        ? tr("Not the dead times of the loaded points: %1. These are of the "
                             "points loaded before, and Save writes them.")
                                  .arg(cannotEstimateReason(false))
                        : QString());
        QGuiApplication::restoreOverrideCursor();
    } else if (event->type() == QEvent::ContextMenu) {
        QMenu *menu = box->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(fitDetailsAction);
        addLeaveOutAction(menu, mset.channelOfBox(box));
        menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return false;
}

void Body::addLeaveOutAction(QMenu *menu, int channel)
{
    if (channel < 0)
        return;
    const bool out = mset.isLeftOut(channel);
    QAction *action
            = menu->addAction(out ? tr("Take this channel back") : tr("Leave this channel out"));
    action->setToolTip(tr("Whether the channel's dead times go into the .conf file "
                          "and its mean line"));
    connect(action, &QAction::triggered, this, [this, channel, out] { setChannelLeftOut(channel, !out); });
}

void Body::setChannelLeftOut(int channel, bool out)
{
    mset.setLeftOut(channel, out);
}

bool Body::showPanelMenu(AMeasP *panel, QObject *watched, QContextMenuEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    QMenu *menu = edit ? edit->createStandardContextMenu() : new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (edit)
        menu->addSeparator();
    QAction *remove = menu->addAction(tr("Remove this point"));
    // Queued: the menu may belong to a box of the panel the removal deletes.
    const QPointer<AMeasP> target(panel);
    connect(
            remove, &QAction::triggered, this,
            [this, target] {
                if (target)
                    removePoint(mset.mcas.indexOf(target));
            },
            Qt::QueuedConnection);
    menu->popup(event->globalPos());
    return true;
}

void Body::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Body::dropEvent(QDropEvent *event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    filesSelected(files);
}

void Body::showFitDetails()
{
    if (!fitDetailsWindow) {
        fitDetailsWindow = new FitDetails(this);
        fitDetailsWindow->closeWith(fitDetailsAction->shortcut());
        connect(fitDetailsWindow, &FitDetails::message, this,
                [this](const QString &text) { showMessage(text); });
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    fitDetailsWindow->setComparison(mset.estimatedPoints, mset.fitComparison());
    fitDetailsWindow->setRecipe(columnsRecipe.isEmpty() ? loadedRecipes.join(QLatin1Char('\n'))
                                                         : columnsRecipe);
    QGuiApplication::restoreOverrideCursor();
    fitDetailsWindow->show();
    fitDetailsWindow->raise();
    fitDetailsWindow->activateWindow();
}

void Body::updateFitDetails()
{
    if (!fitDetailsWindow || !fitDetailsWindow->isVisible())
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    fitDetailsWindow->setComparison(mset.estimatedPoints, mset.fitComparison());
    fitDetailsWindow->setRecipe(columnsRecipe.isEmpty() ? loadedRecipes.join(QLatin1Char('\n'))
                                                         : columnsRecipe);
    QGuiApplication::restoreOverrideCursor();
}
