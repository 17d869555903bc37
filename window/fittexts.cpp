// SPDX-License-Identifier: GPL-3.0-or-later
#include "fittexts.h"

// The texts are the Fit details window's, in the catalogue under its name.

#include <QCoreApplication>
#include <QStringList>

#include <cmath>

const DeadTimeModel allModels[3]
    = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable };

namespace {

QString microseconds(double v)
{
    return QString::number(v * 1e6, 'g', 2);
}

const StageComparison &stageOf(const ChannelComparison &c, FitStage stage)
{
    return stage == FitStage::PreAmp ? c.preAmp : c.amp;
}

// Why the data do not determine a stage, in the window's words.
QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Determined:
        break;
    case Verdict::TooFewPoints:
        return QCoreApplication::translate("FitDetails", "fewer than 3 usable points");
    case Verdict::NoCounts:
        return QCoreApplication::translate("FitDetails", "no counts at any point");
    case Verdict::OneRate:
        return QCoreApplication::translate("FitDetails",
                                           "the rates never change (a stale readout)");
    case Verdict::Broken:
        return QCoreApplication::translate(
                "FitDetails", "SCA above ICR at most points: the fast channel misses events");
    case Verdict::NotIntensityScan:
        return QCoreApplication::translate("FitDetails",
                                           "I0 does not vary by a factor 2, or ICR does not "
                                           "follow it (an energy scan)");
    case Verdict::FitFailed:
        return QCoreApplication::translate("FitDetails", "no law gives a usable fit");
    }
    return QString();
}

} // namespace

QString notDeterminedText(const StageComparison &s)
{
    return QCoreApplication::translate("FitDetails", "Not determined: %1")
            .arg(verdictText(s.verdict));
}

QString modelTitle(DeadTimeModel model)
{
    switch (model) {
    case DeadTimeModel::Quadratic:
        return QCoreApplication::translate("FitDetails", "Quadratic");
    case DeadTimeModel::Paralyzable:
        return QCoreApplication::translate("FitDetails", "Paralyzable");
    case DeadTimeModel::NonParalyzable:
        return QCoreApplication::translate("FitDetails", "Non-paralyzable");
    }
    return QString();
}

QString preferenceTitle(ModelPreference preference)
{
    switch (preference) {
    case ModelPreference::Paralyzable:
        return QCoreApplication::translate("FitDetails", "Paralyzable");
    case ModelPreference::NonParalyzable:
        return QCoreApplication::translate("FitDetails", "Non-paralyzable");
    case ModelPreference::Indistinguishable:
        return QCoreApplication::translate("FitDetails", "Indistinguishable");
    case ModelPreference::Quadratic:
        return QCoreApplication::translate("FitDetails", "Quadratic");
    case ModelPreference::Undecided:
        break;
    }
    return QCoreApplication::translate("FitDetails", "Undecided");
}

QString flagText(DeadTimeFlags flags)
{
    const QStringList names = deadTimeFlagNames(flags);
    return names.isEmpty() ? QCoreApplication::translate("FitDetails", "none")
                           : names.join(QStringLiteral(", "));
}

QString chi2Text(const StageFit &f)
{
    return f.ok ? QString::number(f.reducedChi2, 'g', 4) : QStringLiteral("-");
}

QString stageDeadTime(const StageComparison &s, DeadTimeModel model)
{
    if (s.undetermined())
        return QCoreApplication::translate("FitDetails", "not determined");
    const StageFit &f = s.fit(model);
    return formatDeadTime(f.tau, s.uncertainty(model).total, f.ok);
}

QString scaleText(const StageFit &f)
{
    if (!f.ok || !std::isfinite(f.scale))
        return QStringLiteral("-");
    if (f.parameters < 2)
        return QCoreApplication::translate("FitDetails", "%1 (fixed)")
            .arg(QString::number(f.scale, 'g', 5));
    return QStringLiteral("%1 ± %2").arg(QString::number(f.scale, 'g', 5),
                                         QString::number(f.scaleStdErr, 'g', 2));
}

QString errorParts(const StageComparison &s, DeadTimeModel model)
{
    const TauUncertainty &u = s.uncertainty(model);
    QString text = QCoreApplication::translate("FitDetails", "statistical %1 µs")
                       .arg(microseconds(u.statistical));
    if (u.model > 0.0)
        text += QLatin1Char('\n')
            + QCoreApplication::translate("FitDetails", "model (laws not told apart) %1 µs")
                  .arg(microseconds(u.model));
    if (u.fileFits >= 2)
        text += QLatin1Char('\n')
            + QCoreApplication::translate("FitDetails",
                                          "between %1 files %2 µs (their scatter %3 µs)")
                  .arg(u.fileFits)
                  .arg(microseconds(u.files), microseconds(u.fileScatter));
    text += QLatin1Char('\n')
        + QCoreApplication::translate("FitDetails", "total, in quadrature: %1 µs")
              .arg(microseconds(u.total));
    if (s.flags.testFlag(DeadTimeFlag::Underdispersed))
        text += QLatin1Char('\n')
            + QCoreApplication::translate(
                    "FitDetails", "reduced χ² far below 1: the weights do not describe the noise");
    return text;
}

QString formatDeadTime(double tau, double stdErr, bool ok)
{
    if (!ok || !std::isfinite(tau))
        return QCoreApplication::translate("FitDetails", "failed");
    // Microseconds: detector dead times are a fraction of one to a few.
    const QString value = QString::number(tau * 1e6, 'g', 5);
    if (!std::isfinite(stdErr))
        return QStringLiteral("%1 µs").arg(value);
    return QStringLiteral("%1 ± %2 µs").arg(value, QString::number(stdErr * 1e6, 'g', 2));
}

QString resultBoxToolTip(const ChannelComparison &channel, FitStage stage)
{
    const StageComparison &s = stageOf(channel, stage);
    QString text = stage == FitStage::PreAmp
        ? QCoreApplication::translate("FitDetails", "Channel %1, Tau0 (preAmp)")
              .arg(channel.channel)
        : QCoreApplication::translate("FitDetails", "Channel %1, Tau (Amp)").arg(channel.channel);
    const QString scaleName
        = stage == FitStage::PreAmp ? QStringLiteral("a") : QStringLiteral("d0");
    for (DeadTimeModel model : allModels) {
        const StageFit &f = s.fit(model);
        text += QLatin1Char('\n')
            + QCoreApplication::translate("FitDetails", "%1: %2")
                  .arg(modelTitle(model), stageDeadTime(s, model))
            + QStringLiteral(", %1 = %2").arg(scaleName, scaleText(f));
    }
    text += QLatin1Char('\n')
        + QCoreApplication::translate("FitDetails", "Preferred model: %1")
              .arg(preferenceTitle(s.preferred));
    text += QLatin1Char('\n')
        + QCoreApplication::translate("FitDetails", "Flags: %1").arg(flagText(s.flags));
    if (s.undetermined())
        text += QLatin1Char('\n') + notDeterminedText(s);
    else
        text += QLatin1Char('\n')
            + QCoreApplication::translate("FitDetails", "Error of the quadratic's dead time:")
            + QLatin1Char('\n') + errorParts(s, DeadTimeModel::Quadratic);
    return text;
}
