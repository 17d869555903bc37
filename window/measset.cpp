// SPDX-License-Identifier: GPL-3.0-or-later
#include "measset.h"

#include "deadtime.h"
#include "fitdetails.h"
#include "fitquadratic.h"
#include "le.h"

#include <QGridLayout>

void MeasSet::fitQuadratic(const QVector<double> &x, const QVector<double> &y,
                           QVector<double> &out)
{
    ::fitQuadratic(x, y, out);
}

void MeasSet::calcTaus()
{
    if (chs() < 2)
        return;

    tau0s.clear();
    taus.clear();
    tau0Fits.clear();
    tauFits.clear();
    estimated = false;
    comparison.clear();
    compared = false;

    DeadTimes result = estimateDeadTimes(points);
    estimatedPoints = points;
    tau0s = result.tau0s;
    taus = result.taus;
    tau0Fits = result.tau0Fits;
    tauFits = result.tauFits;
    showResults();
    estimated = true;
}

void MeasSet::showResults()
{
    for (LE *box : qAsConst(tauLEs))
        delete box;
    tauLEs.clear();
    for (int j = 0; j < qMin(tau0s.size(), maxValueBoxesPerRow); ++j) {
        LE *box = newValueBox(tau0s[j], resultBoxWidth);
        tau0sLayout->addWidget(box, 0, j);
        tauLEs.append(box);
        box = newValueBox(taus[j], resultBoxWidth);
        tausLayout->addWidget(box, 0, j);
        tauLEs.append(box);
    }
}

const QVector<ChannelComparison> &MeasSet::fitComparison()
{
    if (estimated && !compared) {
        comparison = compareChannels(estimatedPoints);
        compared = true;
    }
    return comparison;
}

void MeasSet::setResultToolTips(const QString &note)
{
    const QVector<ChannelComparison> &channels = fitComparison();
    const QString before = note.isEmpty() ? QString() : note + QStringLiteral("\n\n");
    for (int i = 0; i < tauLEs.size() && i / 2 < channels.size(); ++i)
        tauLEs[i]->setToolTip(before
                              + resultBoxToolTip(channels[i / 2],
                                                 i % 2 == 0 ? FitStage::PreAmp : FitStage::Amp));
}
