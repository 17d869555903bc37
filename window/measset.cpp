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
    // The comparison belongs to the points it was fitted to, also when the
    // points have a single channel and the result row stays empty.
    comparison.clear();
    compared = false;
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
    tau0s = result.tau0s;
    taus = result.taus;
    tau0Fits = result.tau0Fits;
    tauFits = result.tauFits;

    for (LE *box : qAsConst(tauLEs))
        delete box;
    tauLEs.clear();

    const int width = valueBoxSize(tau0sLayout->parentWidget()->font()).width;
    for (int j = 0; j < qMin(chs(), maxValueBoxesPerRow); ++j) {
        LE *box = newValueBox(tau0s[j], width);
        tau0sLayout->addWidget(box, 0, j);
        tauLEs.append(box);
        box = newValueBox(taus[j], width);
        tausLayout->addWidget(box, 0, j);
        tauLEs.append(box);
    }
    estimated = true;
}

const QVector<ChannelComparison> &MeasSet::fitComparison()
{
    // A single-element detector has no result row, but its one channel is
    // fitted here for the fit details all the same.
    if ((estimated || points.canEstimateEachChannel()) && !compared) {
        comparison = compareChannels(points);
        compared = true;
    }
    return comparison;
}

void MeasSet::setResultToolTips()
{
    const QVector<ChannelComparison> &channels = fitComparison();
    for (int i = 0; i < tauLEs.size() && i / 2 < channels.size(); ++i)
        tauLEs[i]->setToolTip(resultBoxToolTip(channels[i / 2],
                                               i % 2 == 0 ? FitStage::PreAmp : FitStage::Amp));
}
