// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"

#include "ameasp.h"
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
{
    setupUi(this);
    mset.tau0sLayout = Tau0sLayout;
    mset.tausLayout = TausLayout;

    // The window starts at its designed size where the screen has room for
    // it, else at the room there is; the strips of panels and results scroll
    // rather than growing it.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(size().boundedTo(screen->availableGeometry().size()));
    boxSize = valueBoxSize(font());
    frame_3->setStyleSheet(valueBoxStyleSheet());
    TausDispBase->setStyleSheet(valueBoxStyleSheet());
    // The result row ends in the "Taus (Amp)" caption and the amplifier boxes,
    // a panel in the "SCAs" caption and the SCA boxes: with both captions of
    // one width, and boxes of one width, the columns of both end alike.
    QLabel scaCaption(QCoreApplication::translate("AMeasP", "SCAs"));
    scaCaption.setFont(font());
    scaCaptionWidth = qMax(scaCaption.sizeHint().width(), label_5->sizeHint().width());
    label_5->setFixedWidth(scaCaptionWidth);
    panelScroll->setFocusPolicy(Qt::NoFocus);
    resultScroll->setFocusPolicy(Qt::NoFocus);
    panelScroll->limitHeight([this] { return panelAreaLimit(); });
    connect(panelScroll, &StripScroll::visibleAreaChanged, this, [this] {
        showVisiblePanels();
        alignResultRow();
    });
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
    // Every point has its panel at once, but as an empty row of the height of
    // a built one: the scroll range is right from the start, and only the
    // rows scrolled into view get their boxes.
    for (int p = first; p < mset.points.size(); ++p) {
        auto *panel = new AMeasP(mset.points.at(p), frame_3);
        QSizePolicy policy = panel->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        panel->setSizePolicy(policy);
        panel->setFixedHeight(boxSize.height);
        panel->hide();
        mset.mcas.append(panel);
        MCALayout->addWidget(panel, p, 0, 1, 1);
    }
    showVisiblePanels();
    alignResultRow();
}

void Body::showVisiblePanels()
{
    const int n = mset.mcas.size();
    if (n == 0)
        return;
    const int pitch = boxSize.height + qMax(0, MCALayout->verticalSpacing());
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
        AMeasP *panel = mset.mcas[p];
        if (!panel->hasForm()) {
            panel->buildBlankForm(boxSize, scaCaptionWidth);
            panel->setToolTip(sourceText(p));
            panel->installEventFilter(this);
            panel->show();
        }
        panel->buildBoxesIn(left - panel->x(), right - panel->x());
        // The context menus of the panel and of its boxes offer to remove it;
        // boxes are made as they scroll into view, and a filter installed
        // twice is installed once.
        const QList<QLineEdit *> boxes = panel->findChildren<QLineEdit *>();
        for (QLineEdit *box : boxes)
            box->installEventFilter(this);
    }
}

void Body::alignResultRow()
{
    const QScrollBar *bar = panelScroll->verticalScrollBar();
    resultScroll->setRightMargin(bar->isVisibleTo(panelScroll) ? bar->width() : 0);
    const int width = qMax(gridLayout_4->sizeHint().width(), gridLayout_8->sizeHint().width());
    frame_3->setMinimumWidth(width);
    TausDispBase->setMinimumWidth(width);
}

int Body::panelAreaLimit() const
{
    const QMargins margins = gridLayout->contentsMargins();
    const int spacing = qMax(0, gridLayout->verticalSpacing());
    const int others = frame->sizeHint().height() + frame_2->sizeHint().height()
            + resultScroll->sizeHint().height() + 5 * spacing + margins.top() + margins.bottom();
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
    showLoadMessage(reports);
    if (mset.mcas.size() > 1) {
        mset.calcTaus();
        watchResultBoxes();
    }
    showChangedPoints();
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
    // As removePoint does for one: row q of the layout stays panel q.
    while (MCALayout->count() > first)
        delete MCALayout->takeAt(MCALayout->count() - 1);
    for (int q = first; q < mset.mcas.size(); ++q) {
        mset.mcas[q]->setAttribute(Qt::WA_LaidOut, false);
        MCALayout->addWidget(mset.mcas[q], q, 0, 1, 1);
    }
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
    mset.comparison.clear();
    mset.compared = false;
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
    showMessage(QString());
    showChangedPoints();
}

void Body::removePoint(int p)
{
    if (p < 0 || p >= mset.mcas.size())
        return;
    delete mset.mcas.takeAt(p);
    mset.points.removeAt(p);
    // The panels below move up a row, so that row q of the layout stays the
    // panel of point q, which is what the lazy building of the panels in
    // view counts on. They are taken out from the last, which is cheap, and
    // put back in order. A panel that was in a layout makes the next
    // addWidget search the whole layout for it; it is out of it here, and
    // on a table of many thousand points that search would dominate.
    const int moved = mset.mcas.size() - p;
    for (int i = 0; i < moved; ++i)
        delete MCALayout->takeAt(MCALayout->count() - 1);
    for (int q = p; q < mset.mcas.size(); ++q) {
        mset.mcas[q]->setAttribute(Qt::WA_LaidOut, false);
        MCALayout->addWidget(mset.mcas[q], q, 0, 1, 1);
    }
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
    const SaveOutcome saved = saveResultsFiles(fname, mset.tau0s, mset.taus);
    if (!saved.resultsWritten)
        qDebug() << "Cannot open date file.";
    if (!saved.confWritten)
        qDebug() << "Cannot open date file2.";

    const QString results = QDir::toNativeSeparators(fname);
    const QString conf = QDir::toNativeSeparators(fname + QStringLiteral(".conf"));
    if (saved.resultsWritten && saved.confWritten) {
        showMessage(tr("Saved %1 and %2").arg(results, conf));
    } else if (saved.resultsWritten) {
        showMessage(tr("Saved %1, but cannot write %2").arg(results, conf));
    } else if (saved.confWritten) {
        showMessage(tr("Saved %1, but cannot write %2").arg(conf, results));
    } else {
        const QDir folder = QFileInfo(fname).absoluteDir();
        showMessage(folder.exists()
                            ? tr("Nothing saved: cannot write %1 or %2").arg(results, conf)
                            : tr("Nothing saved: the folder %1 does not exist")
                                      .arg(QDir::toNativeSeparators(folder.path())));
    }
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
    for (const FileReport &report : reports) {
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
        shortProblems.append(tr("%1 (%2)").arg(QFileInfo(report.path).fileName(), why));
        longProblems.append(tr("%1 (%2)").arg(QDir::toNativeSeparators(report.path), why));
    }
    if (shortProblems.isEmpty())
        showMessage(loadNotesText(reports, mset.points), loadNotesDetails(reports, mset.points));
    else
        showMessage(tr("Not loaded: %1").arg(shortProblems.join(QStringLiteral(", "))),
                    tr("Not loaded:") + QLatin1Char('\n') + longProblems.join(QLatin1Char('\n')));
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

ScatterPlotData Body::plotData(bool i0Nin) const
{
    return scatterPlotData(i0Nin ? PlotKind::I0Nin : PlotKind::NinNout, mset.points,
                           mset.estimated, i0Nin ? mset.tau0Fits : mset.tauFits);
}

void Body::drawPlot(DispA *disp, PlotKind kind, QPainter *p)
{
    if (mset.mcas.size() <= 2)
        return;
    const ScatterPlotData shown = plotData(kind == PlotKind::I0Nin);
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

QString Body::plotToolTip(PlotKind kind, QPoint pos) const
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
    const ScatterPlotData shown = plotData(kind == PlotKind::I0Nin);
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
        mset.setResultToolTips();
        QGuiApplication::restoreOverrideCursor();
    } else if (event->type() == QEvent::ContextMenu) {
        QMenu *menu = box->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(fitDetailsAction);
        menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return false;
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
        connect(fitDetailsWindow, &FitDetails::message, this,
                [this](const QString &text) { showMessage(text); });
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    fitDetailsWindow->setComparison(mset.points, mset.fitComparison());
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
    fitDetailsWindow->setComparison(mset.points, mset.fitComparison());
    QGuiApplication::restoreOverrideCursor();
}
