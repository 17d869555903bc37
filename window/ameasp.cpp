// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"

#include "le.h"
#include "pointset.h"

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
    for (int i = 0; i < qMin(icrs.size(), maxValueBoxesPerRow); ++i)
        ICRsBase->addWidget(newValueBox(icrs[i]), 0, i);
    for (int i = 0; i < qMin(scas.size(), maxValueBoxesPerRow); ++i)
        SCAsBase->addWidget(newValueBox(scas[i]), 0, i);
    arrayRange(icrs, hasIcr, icrMin, icrMax);
    arrayRange(scas, hasSca, scaMin, scaMax);
}

AMeasP::~AMeasP() = default;
