// SPDX-License-Identifier: GPL-3.0-or-later
#include "verdictreport.h"

#include "pointset.h"

namespace {

// Enough to find the rows in a file; a column that is bad throughout is
// better told by its count than by a page of line numbers.
constexpr int namedPoints = 5;

const StageComparison &stageOf(const ChannelComparison &c, FitStage stage)
{
    return stage == FitStage::PreAmp ? c.preAmp : c.amp;
}

QString pointName(const PointSource &source)
{
    // A spectrum file is one point as a whole.
    return source.line > 0 ? QStringLiteral("%1 line %2").arg(source.file).arg(source.line)
                           : source.file;
}

} // namespace

QStringList undeterminedLines(const QVector<ChannelComparison> &channels,
                              const QVector<bool> &leftOut)
{
    QStringList lines;
    for (const ChannelComparison &c : channels) {
        if (leftOut.value(c.channel))
            continue;
        for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
            const StageComparison &s = stageOf(c, stage);
            if (s.undetermined())
                lines.append(QStringLiteral("channel %1: %2 undetermined (%3): %4")
                                 .arg(c.channel)
                                 .arg(stage == FitStage::PreAmp ? QStringLiteral("tau0")
                                                                : QStringLiteral("tau"),
                                      verdictName(s.verdict),
                                      verdictExplanation(s.verdict, stage)));
        }
    }
    return lines;
}

QStringList leftOutPointLines(const PointSet &points, const QVector<ChannelComparison> &channels)
{
    QStringList lines;
    for (const ChannelComparison &c : channels) {
        for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
            const QVector<int> &left = stageOf(c, stage).leftOutPoints;
            if (left.isEmpty())
                continue;
            QStringList names;
            for (int i = 0; i < left.size() && i < namedPoints; ++i)
                names.append(pointName(points.source(left[i])));
            QString line = QStringLiteral("channel %1, %2: %3 left out of the fits, a rate "
                                          "negative or not finite: %4")
                               .arg(c.channel)
                               .arg(stage == FitStage::PreAmp ? QStringLiteral("I0 -> ICR")
                                                              : QStringLiteral("ICR -> SCA"),
                                    left.size() == 1 ? QStringLiteral("1 point")
                                                     : QStringLiteral("%1 points").arg(left.size()),
                                    names.join(QStringLiteral(", ")));
            if (left.size() > namedPoints)
                line += QStringLiteral(" and %1 more").arg(left.size() - namedPoints);
            lines.append(line);
        }
    }
    return lines;
}
