// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"

#include "le.h"

#include <QGridLayout>
#include <QString>

AMeasP::AMeasP(double i0_, const QVector<double> &icrs_, const QVector<double> &scas_,
               QWidget *parent)
    : QFrame(parent)
    , i0(0.0)
    , hasIcr(false)
    , icrMin(1e300)
    , icrMax(-1e300)
    , hasSca(false)
    , scaMin(1e300)
    , scaMax(-1e300)
{
    setupUi(this);
    i0 = i0_;
    icrs = icrs_;
    scas = scas_;
    I0->setText(QString::number(i0, 'g', 6));
    for (int i = 0; i < icrs.size(); ++i) {
        const double v = icrs[i];
        if (i < maxValueBoxesPerRow)
            ICRsBase->addWidget(newValueBox(v), 0, i);
        hasIcr = true;
        if (v < icrMin)
            icrMin = v;
        if (v > icrMax)
            icrMax = v;
    }
    for (int i = 0; i < scas.size(); ++i) {
        const double v = scas[i];
        if (i < maxValueBoxesPerRow)
            SCAsBase->addWidget(newValueBox(v), 0, i);
        hasSca = true;
        if (v < scaMin)
            scaMin = v;
        if (v > scaMax)
            scaMax = v;
    }
}

AMeasP::~AMeasP() = default;
