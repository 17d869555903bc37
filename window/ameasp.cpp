// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"

#include "le.h"
#include "pointset.h"

#include <QGridLayout>
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
    // Alone, the panel carries the boxes' colour itself; in the window the
    // panel area carries it for all panels.
    setStyleSheet(valueBoxStyleSheet());
    buildForm(valueBoxSize(font()).width);
}

AMeasP::~AMeasP() = default;

void AMeasP::buildForm(int boxWidth, int captionWidth)
{
    if (formBuilt)
        return;
    formBuilt = true;
    setupUi(this);
    label_3->setMinimumWidth(captionWidth);
    I0->setText(QString::number(i0, 'g', 6));
    for (int i = 0; i < qMin(icrs.size(), maxValueBoxesPerRow); ++i)
        ICRsBase->addWidget(newValueBox(icrs[i], boxWidth), 0, i);
    for (int i = 0; i < qMin(scas.size(), maxValueBoxesPerRow); ++i)
        SCAsBase->addWidget(newValueBox(scas[i], boxWidth), 0, i);
}
