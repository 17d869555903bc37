// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"

#include "channelheader.h"
#include "fitdetails.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>

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
    setUpStrips();
    setUpDialogs();
    connect(I0NinDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawI0Nin(QPainter *)));
    connect(NinNoutDisp, SIGNAL(drawImage2(QPainter *)), this, SLOT(drawNinNout(QPainter *)));
    connect(I0NinDisp, &DispA::mouseMoved0, this,
            [this] { showPlotToolTip(I0NinDisp, PlotKind::I0Nin); });
    connect(NinNoutDisp, &DispA::mouseMoved0, this,
            [this] { showPlotToolTip(NinNoutDisp, PlotKind::NinNout); });
    connect(Clear, SIGNAL(clicked()), this, SLOT(clearMcas()));
    connect(Quit, SIGNAL(clicked()), this, SIGNAL(quit()));
    setUpShortcuts();

    // Files dropped on the window load as if chosen in the open dialog.
    setAcceptDrops(true);
    message->installEventFilter(this);

    // Hidden, it takes no room: the row is as designed until a load offers it.
    readAsColumns = new QPushButton(tr("Read as columns..."), frame_2);
    readAsColumns->setObjectName(QStringLiteral("readAsColumns"));
    readAsColumns->hide();
    gridLayout_3->addWidget(readAsColumns, 0, 4);
    connect(readAsColumns, &QPushButton::clicked, this, &Body::openColumnsWindow);
}

// The dialogs have no parent and outlive the window; they are left to the end
// of the process, as nothing uses them after the event loop.
Body::~Body() = default;

void Body::setUpStrips()
{
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
}

void Body::setUpDialogs()
{
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
}

void Body::setUpShortcuts()
{
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
}

bool Body::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == message) {
        if (event->type() == QEvent::Resize)
            elideMessage();
        return QFrame::eventFilter(watched, event);
    }
    if (event->type() == QEvent::ContextMenu) {
        if (AMeasP *panel = loadedPanelOf(watched))
            return showPanelMenu(panel, watched, static_cast<QContextMenuEvent *>(event));
    }
    auto *box = qobject_cast<LE *>(watched);
    if (box && mset.tauLEs.contains(box))
        return resultBoxEvent(box, event);
    return QFrame::eventFilter(watched, event);
}

namespace {

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

QString Body::currentMessage() const
{
    return messageText;
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

void Body::showFitDetails()
{
    if (!fitDetailsWindow) {
        fitDetailsWindow = new FitDetails(this);
        fitDetailsWindow->closeWith(fitDetailsAction->shortcut());
        connect(fitDetailsWindow, &FitDetails::message, this,
                [this](const QString &text) { showMessage(text); });
    }
    showEstimationInFitDetails();
    fitDetailsWindow->show();
    fitDetailsWindow->raise();
    fitDetailsWindow->activateWindow();
}

void Body::updateFitDetails()
{
    if (fitDetailsWindow && fitDetailsWindow->isVisible())
        showEstimationInFitDetails();
}

void Body::showEstimationInFitDetails()
{
    // The exact fits of a large table take a moment.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    fitDetailsWindow->setComparison(mset.estimatedPoints, mset.fitComparison());
    fitDetailsWindow->setRecipe(columnsRecipe.isEmpty() ? loadedRecipes.join(QLatin1Char('\n'))
                                                         : columnsRecipe);
    QGuiApplication::restoreOverrideCursor();
}
