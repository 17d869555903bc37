// SPDX-License-Identifier: GPL-3.0-or-later
#include "measset.h"

#include "deadtime.h"
#include "fittexts.h"
#include "fitquadratic.h"
#include "le.h"

#include <QCoreApplication>
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

    DeadTimes result = estimateDeadTimes(points);
    estimatedPoints = points;
    tau0s = result.tau0s;
    taus = result.taus;
    tau0Fits = result.tau0Fits;
    tauFits = result.tauFits;
    judgeStages();
    showResults();
    estimated = true;
}

void MeasSet::judgeStages()
{
    const int n = tau0s.size();
    tau0Verdicts.fill(Verdict::Determined, n);
    tauVerdicts.fill(Verdict::Determined, n);
    // Most loads are intensity scans whose every stage the quadratic fit
    // alone shows determined; only the others need the exact fits now.
    bool sure = true;
    for (int j = 0; j < n && sure; ++j) {
        const QVector<double> &icr = estimatedPoints.icrColumn(j);
        sure = surelyDetermined(FitStage::PreAmp, estimatedPoints.i0s(), icr)
                && surelyDetermined(FitStage::Amp, icr, estimatedPoints.scaColumn(j));
    }
    if (sure)
        return;
    const QVector<ChannelComparison> &channels = fitComparison();
    for (int j = 0; j < n && j < channels.size(); ++j) {
        tau0Verdicts[j] = channels[j].preAmp.verdict;
        tauVerdicts[j] = channels[j].amp.verdict;
    }
}

Verdict MeasSet::verdictOfBox(int i) const
{
    return (i % 2 == 0 ? tau0Verdicts : tauVerdicts).value(i / 2, Verdict::Determined);
}

ResultsFileValues MeasSet::savedValues() const
{
    return obeyVerdicts(tau0s, taus, tau0Verdicts, tauVerdicts, leftOut);
}

QVector<int> MeasSet::undeterminedChannels() const
{
    QVector<int> channels;
    for (int j = 0; j < tau0s.size(); ++j) {
        if (!isLeftOut(j)
            && (verdictOfBox(2 * j) != Verdict::Determined
                || verdictOfBox(2 * j + 1) != Verdict::Determined))
            channels.append(j);
    }
    return channels;
}

void MeasSet::showResults()
{
    for (LE *box : qAsConst(tauLEs))
        delete box;
    tauLEs.clear();
    for (int j = 0; j < qMin(tau0s.size(), maxValueBoxesPerRow); ++j) {
        LE *box = newValueBox(tau0s[j], resultBoxWidth);
        // An energy scan gives no pre-amplifier dead time, whatever the fit
        // prints: "not determined", short enough for the box; its tooltip
        // says why.
        if (tau0Verdicts.value(j) == Verdict::NotIntensityScan)
            box->setText(QCoreApplication::translate("MeasSet", "n/d"));
        // Shown at once rather than by the layout's queued call, so that the
        // row is laid out before the next paint.
        tau0sLayout->addWidget(box, 0, j);
        box->show();
        tauLEs.append(box);
        box = newValueBox(taus[j], resultBoxWidth);
        tausLayout->addWidget(box, 0, j);
        box->show();
        tauLEs.append(box);
        if (isLeftOut(j) || verdictOfBox(2 * j) != Verdict::Determined
            || verdictOfBox(2 * j + 1) != Verdict::Determined)
            setLeftOut(j, isLeftOut(j));
    }
}

void MeasSet::setLeftOut(int channel, bool out)
{
    if (channel < 0)
        return;
    if (leftOut.size() <= channel)
        leftOut.resize(channel + 1);
    leftOut[channel] = out;
    // A sheet of the box's own overrides the yellow of the area's; taken
    // back, the box gets the sheet it was made with. A dead time the data do
    // not determine stays grey.
    const QString grey = QStringLiteral("LE { background-color: rgb(222, 222, 222); "
                                        "color: rgb(120, 120, 120); }");
    const QString own = resultBoxWidth <= 0 ? valueBoxOwnStyleSheet() : QString();
    for (int i = 2 * channel; i < 2 * channel + 2 && i < tauLEs.size(); ++i) {
        tauLEs[i]->setStyleSheet(out || verdictOfBox(i) != Verdict::Determined ? grey : own);
        // Made again, with or without the line that says so, when next shown.
        tauLEs[i]->setToolTip(QString());
    }
}

int MeasSet::channelOfBox(const LE *box) const
{
    const int i = tauLEs.indexOf(const_cast<LE *>(box));
    return i < 0 ? -1 : i / 2;
}

const QVector<ChannelComparison> &MeasSet::fitComparison()
{
    // A single-element detector has no result row, but its one channel is
    // fitted here for the fit details all the same.
    if ((estimated || points.canEstimateEachChannel()) && !compared) {
        comparison = compareChannels(estimated ? estimatedPoints : points);
        compared = true;
    }
    return comparison;
}

void MeasSet::setResultToolTips(const QString &note)
{
    const QVector<ChannelComparison> &channels = fitComparison();
    const QString before = note.isEmpty() ? QString() : note + QStringLiteral("\n\n");
    for (int i = 0; i < tauLEs.size() && i / 2 < channels.size(); ++i) {
        QString tip = before
                + resultBoxToolTip(channels[i / 2],
                                   i % 2 == 0 ? FitStage::PreAmp : FitStage::Amp);
        if (isLeftOut(i / 2))
            tip += QLatin1Char('\n')
                    + QCoreApplication::translate("MeasSet",
                                                  "Left out of the .conf file and its mean line");
        else if (verdictOfBox(i) != Verdict::Determined)
            tip += QLatin1Char('\n')
                    + QCoreApplication::translate("MeasSet",
                                                  "Saved as nan, and as 0 in the .conf file, "
                                                  "out of its mean line");
        tauLEs[i]->setToolTip(tip);
    }
}
