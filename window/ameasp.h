// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui_ameasp.h"

#include <QFrame>
#include <QVector>

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
    // when buildForm() is called: a window of hundreds of points builds the
    // rows that are scrolled into view, not tens of thousands of boxes.
    explicit AMeasP(const MeasValues &values, QWidget *parent = nullptr);
    ~AMeasP() override;

    bool hasForm() const { return formBuilt; }
    // Makes the row of boxes, each boxWidth wide; the "SCAs" caption takes at
    // least captionWidth, so that the SCA boxes can line up with a row below
    // whose caption is wider. Does nothing once the row is made.
    void buildForm(int boxWidth, int captionWidth = 0);

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
    bool formBuilt = false;
};
