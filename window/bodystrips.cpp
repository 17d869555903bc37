// SPDX-License-Identifier: GPL-3.0-or-later
// The strips of the main window: the panels of the points and the result row
// below them, laid out as the designed window has them while they fit, and
// otherwise scrolling, with boxes of one width, each result under its
// channel's values and the panels of the rows in view made as they come.
#include "body.h"

#include "ameasp.h"
#include "channelheader.h"
#include "le.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>

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
    if (n > 0 && n * boxSize.height + (n - 1) * rowSpacing() > panelAreaLimit())
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

AMeasP *Body::loadedPanelOf(QObject *watched) const
{
    // A panel, or a box inside one.
    for (auto *w = qobject_cast<QWidget *>(watched); w && w != frame_3; w = w->parentWidget()) {
        if (auto *panel = qobject_cast<AMeasP *>(w))
            return mset.mcas.contains(panel) ? panel : nullptr;
    }
    return nullptr;
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
