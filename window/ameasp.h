// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "channelheader.h"
#include "le.h"
#include "ui_ameasp.h"

#include <QFrame>
#include <QVector>

class QLayoutItem;
struct MeasValues;

// The panel of one measurement point: its I0 and one read-only box per ICR and
// per SCA value. It is also where the point's values are kept.
class AMeasP : public QFrame, private Ui_AMeasP
{
    Q_OBJECT
public:
    // A panel with its row of boxes.
    AMeasP(double i0, const QVector<double> &icrs, const QVector<double> &scas,
           QWidget *parent = nullptr);
    // A panel that holds the point's values but makes its row of boxes only
    // when buildForm() or buildBlankForm() is called: a window of hundreds of points builds the
    // rows that are scrolled into view, not tens of thousands of boxes.
    explicit AMeasP(const MeasValues &values, QWidget *parent = nullptr);
    ~AMeasP() override;

    bool hasForm() const { return formBuilt; }
    // Makes the row of boxes, each width wide, or as the designed panel with
    // a width of 0; the "SCAs" caption takes at least captionWidth, so that
    // the SCA boxes can line up with a row below whose caption is wider.
    // Does nothing once the row is made.
    void buildForm(int width, int captionWidth = 0);
    // Makes the row with a blank of the box's size where each ICR and SCA box
    // goes: the row is as wide, and every box that is made later sits where
    // it would have sat. Of 64 channels a screen shows some twenty columns;
    // the other boxes are made only when scrolled to.
    void buildBlankForm(BoxSize box, int captionWidth);
    // Fills the blanks that overlap the panel's x range [left, right) with
    // their boxes. Does nothing until the window has given the panel its
    // place, as only then are the columns where they are shown.
    void buildBoxesIn(int left, int right);
    // The boxes still to be made.
    int blanks() const { return blankCount; }
    // Once the row is made and laid out: the ICR and then the SCA columns,
    // each named by its channel, and the captions over them, in the panel's
    // coordinates.
    QVector<ChannelHeader::Column> headerColumns();
    QVector<ChannelHeader::Group> headerGroups() const;

    double i0;
    QVector<double> icrs;
    QVector<double> scas;
    bool hasIcr;
    double icrMin;
    double icrMax;
    bool hasSca;
    double scaMin;
    double scaMax;

private:
    void setupForm(int captionWidth);
    void fillBlanks(QGridLayout *row, QVector<QLayoutItem *> &places, const QVector<double> &values,
                    int rowX, int left, int right);

    bool formBuilt = false;
    int boxWidth = 0;
    int blankCount = 0;
    // Per column, the blank standing in for its box; null once the box is made.
    QVector<QLayoutItem *> icrBlanks;
    QVector<QLayoutItem *> scaBlanks;
};
