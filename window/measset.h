// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modelcomparison.h"
#include "pointset.h"
#include "resultsfile.h"

#include <QVector>

class AMeasP;
class LE;
class QGridLayout;

// Everything the main window knows about the loaded measurement points: their
// values (the point set every view reads), the panel that shows each point,
// and the dead times of the latest estimation with the boxes that show them.
struct MeasSet
{
    PointSet points;
    // The panel of point p. While the panels scroll, a point whose row has
    // not been in view has none (null).
    QVector<AMeasP *> mcas;
    QGridLayout *tau0sLayout = nullptr;
    QGridLayout *tausLayout = nullptr;
    bool estimated = false;
    QVector<double> tau0s;
    QVector<double> taus;
    QVector<QVector<double>> tau0Fits;
    QVector<QVector<double>> tauFits;
    QVector<LE *> tauLEs;
    // The points the latest estimation was made of. A load that leaves too
    // few common channels keeps the earlier results, which then describe
    // these points rather than the loaded ones.
    PointSet estimatedPoints;
    // The width of the result boxes; 0 for the boxes of the designed window.
    int resultBoxWidth = 0;
    // The three dead-time models fitted to the latest estimation's points,
    // made on first use: on large tables the exact fits take far longer than
    // the quadratic, and most loads never need them.
    QVector<ChannelComparison> comparison;
    bool compared = false;
    // Channels the user left out of the .conf file; kept over loads, emptied
    // by Clear. Channels beyond its size are in.
    QVector<bool> leftOut;
    // The verdicts on the latest estimation's stages, per channel; what Save
    // writes and the boxes show obey them.
    QVector<Verdict> tau0Verdicts;
    QVector<Verdict> tauVerdicts;

    MeasSet() = default;
    MeasSet(const MeasSet &) = delete;
    MeasSet &operator=(const MeasSet &) = delete;

    // Channels common to all points; after a clear it keeps its value until
    // the next point sets it afresh.
    int chs() const { return points.chs(); }
    // The value ranges of all points, which set the scales of the plots.
    const ValueRanges &ranges() const { return points.ranges(); }

    // Estimates both dead times of every channel over all points and rebuilds
    // the result boxes; does nothing with fewer than two common channels.
    void calcTaus();
    // Judges the stages of the latest estimation (tau0Verdicts, tauVerdicts).
    void judgeStages();
    // Makes the result boxes of the latest estimation anew; a box whose stage
    // the data do not determine is greyed.
    void showResults();
    // The comparison of the latest estimation, fitting it first if needed;
    // empty before an estimation, except that two points of one common
    // channel are fitted too.
    const QVector<ChannelComparison> &fitComparison();
    // Whether the results shown are of points other than the loaded ones.
    bool resultsStale() const { return estimated && !points.canEstimate(); }
    // Gives every result box the tooltip of its channel and stage, after
    // the note when one is given.
    void setResultToolTips(const QString &note = QString());
    bool isLeftOut(int channel) const { return leftOut.value(channel); }
    // Leaves channel j out of the .conf file, or takes it back; its two result
    // boxes grey out while it is out.
    void setLeftOut(int channel, bool out);
    // The channel whose result box is box, or -1.
    int channelOfBox(const LE *box) const;
    // The verdict on the stage result box i shows (Determined when there is none).
    Verdict verdictOfBox(int i) const;
    // The dead times as Save writes them: undetermined ones nan, and left out
    // of the .conf with the channels left out.
    ResultsFileValues savedValues() const;
    // The channels, not left out, with a stage the data do not determine.
    QVector<int> undeterminedChannels() const;

    static void fitQuadratic(const QVector<double> &x, const QVector<double> &y,
                             QVector<double> &out);
};
