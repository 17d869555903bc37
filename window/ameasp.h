// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui_ameasp.h"

#include <QFrame>
#include <QVector>

// The panel of one measurement point: its I0 and one read-only box per ICR and
// per SCA value. It is also where the point's values are kept.
class AMeasP : public QFrame, private Ui_AMeasP
{
    Q_OBJECT
public:
    AMeasP(double i0, const QVector<double> &icrs, const QVector<double> &scas,
           QWidget *parent = nullptr);
    ~AMeasP() override;

    double i0;
    QVector<double> icrs;
    QVector<double> scas;
    bool hasIcr;
    double icrMin;
    double icrMax;
    bool hasSca;
    double scaMin;
    double scaMax;
};
