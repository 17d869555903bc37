// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"

#include "le.h"
#include "pointset.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QSpacerItem>
#include <QString>

AMeasP::AMeasP(const MeasValues &values, QWidget *parent)
    : QFrame(parent)
    , i0(values.i0)
    , icrs(values.icrs)
    , scas(values.scas)
    , hasIcr(false)
    , icrMin(1e300)
    , icrMax(-1e300)
    , hasSca(false)
    , scaMin(1e300)
    , scaMax(-1e300)
{
    arrayRange(icrs, hasIcr, icrMin, icrMax);
    arrayRange(scas, hasSca, scaMin, scaMax);
}

AMeasP::AMeasP(double i0_, const QVector<double> &icrs_, const QVector<double> &scas_,
               QWidget *parent)
    : AMeasP(MeasValues { i0_, icrs_, scas_ }, parent)
{
    buildForm(0);
}

AMeasP::~AMeasP() = default;

namespace {

// A blank in a row of boxes. A grid gives no spacing to a column that holds
// only empty items, and a spacer is empty; this one counts as a box, so the
// columns after it keep the box's spacing too.
class BoxBlank : public QSpacerItem
{
public:
    explicit BoxBlank(BoxSize box)
        : QSpacerItem(box.width, box.height, QSizePolicy::Fixed, QSizePolicy::Fixed)
    {
    }
    bool isEmpty() const override { return false; }
};

} // namespace

void AMeasP::setupForm(int captionWidth)
{
    formBuilt = true;
    setupUi(this);
    if (captionWidth > 0)
        label_3->setMinimumWidth(captionWidth);
    I0->setText(QString::number(i0, 'g', 6));
}

void AMeasP::buildForm(int width, int captionWidth)
{
    if (formBuilt)
        return;
    setupForm(captionWidth);
    boxWidth = width;
    for (int i = 0; i < qMin(icrs.size(), maxValueBoxesPerRow); ++i)
        ICRsBase->addWidget(newValueBox(icrs[i], boxWidth), 0, i);
    for (int i = 0; i < qMin(scas.size(), maxValueBoxesPerRow); ++i)
        SCAsBase->addWidget(newValueBox(scas[i], boxWidth), 0, i);
}

void AMeasP::buildBlankForm(BoxSize box, int captionWidth)
{
    if (formBuilt)
        return;
    setupForm(captionWidth);
    boxWidth = box.width;
    icrBlanks.resize(qMin(icrs.size(), maxValueBoxesPerRow));
    scaBlanks.resize(qMin(scas.size(), maxValueBoxesPerRow));
    for (int i = 0; i < icrBlanks.size(); ++i) {
        icrBlanks[i] = new BoxBlank(box);
        ICRsBase->addItem(icrBlanks[i], 0, i);
    }
    for (int i = 0; i < scaBlanks.size(); ++i) {
        scaBlanks[i] = new BoxBlank(box);
        SCAsBase->addItem(scaBlanks[i], 0, i);
    }
    blankCount = icrBlanks.size() + scaBlanks.size();
}

void AMeasP::buildBoxesIn(int left, int right)
{
    if (blankCount == 0 || width() < layout()->minimumSize().width())
        return;
    // The columns' places as the layouts would set them before the next
    // paint: the blanks' geometry is what the boxes will get.
    layout()->activate();
    frame->layout()->activate();
    frame_2->layout()->activate();
    fillBlanks(ICRsBase, icrBlanks, icrs, frame->x(), left, right);
    fillBlanks(SCAsBase, scaBlanks, scas, frame_2->x(), left, right);
}

void AMeasP::fillBlanks(QGridLayout *row, QVector<QLayoutItem *> &places,
                        const QVector<double> &values, int rowX, int left, int right)
{
    for (int i = 0; i < places.size(); ++i) {
        QLayoutItem *blank = places[i];
        if (!blank)
            continue;
        const QRect place = blank->geometry().translated(rowX, 0);
        if (place.right() < left || place.left() >= right)
            continue;
        row->removeItem(blank);
        delete blank;
        places[i] = nullptr;
        --blankCount;
        // Shown at once rather than by the layout's queued call, so that
        // the row is laid out before the next paint.
        QWidget *box = newValueBox(values[i], boxWidth);
        row->addWidget(box, 0, i);
        box->show();
    }
}

namespace {

void addColumns(QVector<ChannelHeader::Column> &columns, const QGridLayout *row, int rowX)
{
    for (int i = 0; i < row->columnCount(); ++i) {
        const QLayoutItem *item = row->itemAtPosition(0, i);
        if (!item)
            continue;
        const QRect place = item->geometry();
        columns.append({ QString::number(i), rowX + place.x(), place.width() });
    }
}

} // namespace

QVector<ChannelHeader::Column> AMeasP::headerColumns()
{
    QVector<ChannelHeader::Column> columns;
    if (!formBuilt)
        return columns;
    // Boxes made since the last layout pass get their places first: the rows
    // of boxes, then the panel that places the rows by their new sizes.
    for (QWidget *w : { static_cast<QWidget *>(frame), static_cast<QWidget *>(frame_2),
                        static_cast<QWidget *>(this) })
        QCoreApplication::sendPostedEvents(w, QEvent::LayoutRequest);
    addColumns(columns, ICRsBase, frame->x());
    addColumns(columns, SCAsBase, frame_2->x());
    return columns;
}

QVector<ChannelHeader::Group> AMeasP::headerGroups() const
{
    if (!formBuilt)
        return {};
    return { { label->text(), label->x(), frame->x() },
             { label_2->text(), frame->x() + label_2->x(), frame_2->x() },
             { label_3->text(), frame_2->x() + label_3->x(), width() } };
}
