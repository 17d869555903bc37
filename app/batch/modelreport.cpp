// SPDX-License-Identifier: GPL-3.0-or-later
#include "modelreport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

const DeadTimeModel allModels[]
    = { DeadTimeModel::Quadratic, DeadTimeModel::Paralyzable, DeadTimeModel::NonParalyzable };

QJsonValue number(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

QJsonArray flagArray(DeadTimeFlags flags)
{
    return QJsonArray::fromStringList(deadTimeFlagNames(flags));
}

QString flagText(DeadTimeFlags flags)
{
    const QStringList names = deadTimeFlagNames(flags);
    return names.isEmpty() ? QStringLiteral("-") : names.join(QLatin1Char(','));
}

QString numberText(double v)
{
    return QString::number(v, 'g', 6);
}

// Number columns at least 13 wide, as in the quadratic table, and wider for
// longer names; the columns named in narrow as wide as their names.
struct TextTable
{
    QStringList columns;
    QVector<int> widths;
    QString text;

    explicit TextTable(const QStringList &names, const QStringList &narrow = {})
        : columns(names)
    {
        for (int c = 0; c < names.size(); ++c)
            widths.append(c == 0 || narrow.contains(names[c]) ? int(names[c].size())
                                                              : std::max(13, int(names[c].size())));
        addRow(names);
    }
    void addRow(const QStringList &cells)
    {
        for (int c = 0; c < cells.size(); ++c) {
            // The flags are last and left as they are, to keep the line short.
            if (c == cells.size() - 1 && c == columns.size() - 1 && c > 0)
                text += QLatin1Char(' ') + cells[c];
            else
                text += (c == 0 ? QString() : QStringLiteral(" "))
                    + cells[c].rightJustified(widths[c]);
        }
        text += QLatin1Char('\n');
    }
};

// A number of a fit, or "-": a fit that failed shows no number, whichever
// model it is. The quadratic's numbers stand even when its dead time is not
// positive: they are what the result row shows.
QString fitNumberText(const StageFit &f, double value)
{
    return f.ok ? numberText(value) : QStringLiteral("-");
}

// The dead time, "failed", or "undetermined (reason)" where the input cannot
// give it.
QString tauText(const StageComparison &s, DeadTimeModel model)
{
    if (s.undetermined())
        return undeterminedText(s.verdict);
    const StageFit &f = s.fit(model);
    return f.ok ? numberText(f.tau) : QStringLiteral("failed");
}

// The total uncertainty of the dead time.
QString errorText(const StageComparison &s, DeadTimeModel model)
{
    if (s.undetermined() || !s.fit(model).ok)
        return QStringLiteral("-");
    return numberText(s.uncertainty(model).total);
}

QString stageName(FitStage stage)
{
    return stage == FitStage::PreAmp ? QStringLiteral("I0 -> ICR") : QStringLiteral("ICR -> SCA");
}

// A stage's dead time and its error, null where the fit failed or the input
// cannot give it.
void insertStage(QJsonObject &o, const StageComparison &s, DeadTimeModel model,
                 const QString &tauKey, const QString &scaleKey, const QString &suffix)
{
    const StageFit &f = s.fit(model);
    const TauUncertainty &u = s.uncertainty(model);
    const bool shown = f.ok && !s.undetermined();
    o.insert(tauKey, shown ? number(f.tau) : QJsonValue());
    o.insert(tauKey + QStringLiteral("StdErr"), shown ? number(u.total) : QJsonValue());
    insertVerdict(o, tauKey, s.verdict);
    insertUncertainty(o, tauKey, shown ? u : TauUncertainty());
    o.insert(scaleKey, f.ok ? number(f.scale) : QJsonValue());
    o.insert(scaleKey + QStringLiteral("StdErr"), f.ok ? number(f.scaleStdErr) : QJsonValue());
    o.insert(QStringLiteral("reducedChi2") + suffix, f.ok ? number(f.reducedChi2) : QJsonValue());
    o.insert(QStringLiteral("failure") + suffix, f.ok ? QJsonValue() : QJsonValue(f.failure));
    o.insert(QStringLiteral("flags") + suffix, flagArray(s.flags));
}

QJsonObject exactRowJson(const ChannelComparison &c, DeadTimeModel model, const ChannelResult &row)
{
    QJsonObject o;
    o.insert(QStringLiteral("channel"), c.channel);
    insertStage(o, c.preAmp, model, QStringLiteral("tau0"), QStringLiteral("a"),
                QStringLiteral("I0Icr"));
    insertStage(o, c.amp, model, QStringLiteral("tau"), QStringLiteral("d0"),
                QStringLiteral("IcrSca"));
    o.insert(QStringLiteral("d0Fixed"), row.d0Fixed);
    o.insert(QStringLiteral("excluded"), row.excluded);
    o.insert(QStringLiteral("flags"), flagArray(c.flags()));
    return o;
}

// The quadratic row is the result row with the reduced chi^2, the failure
// reasons and the flags of its fits: a failed stage has no chi^2 but its
// reason. In the comparison of the models a failed stage also gives no dead
// time and error, as the exact models do; on its own the row keeps them, as
// the result row and the results file do.
QJsonObject quadraticRowJson(const ChannelResult &row, const ChannelComparison &c, bool compared)
{
    const StageFit &pre = c.preAmp.quadratic;
    const StageFit &amp = c.amp.quadratic;
    QJsonObject o = resultRowJson(row);
    // Nor does a stage whose input cannot give its dead time (an energy scan).
    if (compared && (!pre.ok || c.preAmp.undetermined())) {
        o.insert(QStringLiteral("tau0"), QJsonValue());
        o.insert(QStringLiteral("tau0StdErr"), QJsonValue());
    }
    if (compared && (!amp.ok || c.amp.undetermined())) {
        o.insert(QStringLiteral("tau"), QJsonValue());
        o.insert(QStringLiteral("tauStdErr"), QJsonValue());
    }
    o.insert(QStringLiteral("reducedChi2I0Icr"), pre.ok ? number(pre.reducedChi2) : QJsonValue());
    o.insert(QStringLiteral("failureI0Icr"), pre.ok ? QJsonValue() : QJsonValue(pre.failure));
    o.insert(QStringLiteral("reducedChi2IcrSca"), amp.ok ? number(amp.reducedChi2) : QJsonValue());
    o.insert(QStringLiteral("failureIcrSca"), amp.ok ? QJsonValue() : QJsonValue(amp.failure));
    o.insert(QStringLiteral("flags"), flagArray(c.flags()));
    return o;
}

QJsonObject modelRowJson(DeadTimeModel model, const ChannelResult &row, const ChannelComparison &c,
                         bool compared)
{
    return model == DeadTimeModel::Quadratic ? quadraticRowJson(row, c, compared)
                                             : exactRowJson(c, model, row);
}

} // namespace

QString ModelChoice::name() const
{
    return compare ? QStringLiteral("compare") : deadTimeModelName(model);
}

std::optional<ModelChoice> parseModelChoice(const QString &name)
{
    ModelChoice choice;
    if (name == QLatin1String("compare")) {
        choice.compare = true;
        return choice;
    }
    const std::optional<DeadTimeModel> model = parseDeadTimeModel(name);
    if (!model)
        return std::nullopt;
    choice.model = *model;
    return choice;
}

QString formatExactTable(DeadTimeModel model, const QVector<ChannelComparison> &channels)
{
    TextTable table({ QStringLiteral("channel"), QStringLiteral("tau0"), QStringLiteral("tau"),
                      QStringLiteral("a"), QStringLiteral("tau0StdErr"),
                      QStringLiteral("reducedChi2I0Icr"), QStringLiteral("d0"),
                      QStringLiteral("tauStdErr"), QStringLiteral("reducedChi2IcrSca"),
                      QStringLiteral("aStdErr"), QStringLiteral("d0StdErr"),
                      QStringLiteral("flags") });
    const QString none = QStringLiteral("-");
    for (const ChannelComparison &c : channels) {
        const StageFit &pre = c.preAmp.fit(model);
        const StageFit &amp = c.amp.fit(model);
        table.addRow({ QString::number(c.channel), tauText(c.preAmp, model),
                       tauText(c.amp, model), pre.ok ? numberText(pre.scale) : none,
                       errorText(c.preAmp, model), pre.ok ? numberText(pre.reducedChi2) : none,
                       amp.ok ? numberText(amp.scale) : none, errorText(c.amp, model),
                       amp.ok ? numberText(amp.reducedChi2) : none,
                       pre.ok ? numberText(pre.scaleStdErr) : none,
                       amp.ok ? numberText(amp.scaleStdErr) : none,
                       stageFlagText(c.preAmp.flags, c.amp.flags) });
    }
    return table.text;
}

QString formatComparisonTable(const QVector<ChannelComparison> &channels)
{
    const QString stdErr = QStringLiteral("stdErr");
    const QString chi2 = QStringLiteral("reducedChi2");
    QStringList names { QStringLiteral("channel"), QStringLiteral("stage") };
    for (DeadTimeModel model : allModels)
        names << deadTimeModelName(model) << stdErr << chi2;
    for (DeadTimeModel model : allModels)
        names << deadTimeModelName(model) + QStringLiteral("Scale") << stdErr;
    names << QStringLiteral("preferred") << QStringLiteral("flags");
    TextTable table(names, { QStringLiteral("stage") });
    for (const ChannelComparison &c : channels) {
        for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
            const StageComparison &s = stage == FitStage::PreAmp ? c.preAmp : c.amp;
            QStringList cells { QString::number(c.channel),
                                stage == FitStage::PreAmp ? QStringLiteral("tau0")
                                                          : QStringLiteral("tau") };
            for (DeadTimeModel model : allModels) {
                const StageFit &f = s.fit(model);
                cells << tauText(s, model) << errorText(s, model)
                      << fitNumberText(f, f.reducedChi2);
            }
            for (DeadTimeModel model : allModels) {
                const StageFit &f = s.fit(model);
                cells << fitNumberText(f, f.scale) << fitNumberText(f, f.scaleStdErr);
            }
            cells << modelPreferenceName(s.preferred) << flagText(s.flags);
            table.addRow(cells);
        }
    }
    return table.text;
}

QStringList failedFitLines(const QVector<ChannelComparison> &channels,
                           const QVector<DeadTimeModel> &models)
{
    QStringList lines;
    for (const ChannelComparison &c : channels) {
        for (FitStage stage : { FitStage::PreAmp, FitStage::Amp }) {
            const StageComparison &s = stage == FitStage::PreAmp ? c.preAmp : c.amp;
            for (DeadTimeModel model : models) {
                const StageFit &f = s.fit(model);
                if (!f.ok)
                    lines.append(QStringLiteral("channel %1, %2, %3: %4")
                                     .arg(c.channel)
                                     .arg(stageName(stage), deadTimeModelName(model), f.failure));
            }
        }
    }
    return lines;
}

QJsonDocument modelJson(const ModelChoice &choice, int points, int chs,
                        const QVector<ChannelResult> &rows,
                        const QVector<ChannelComparison> &channels)
{
    QJsonArray table;
    const int n = std::min(rows.size(), channels.size());
    for (int j = 0; j < n; ++j) {
        const ChannelComparison &c = channels[j];
        if (!choice.compare) {
            table.append(modelRowJson(choice.model, rows[j], c, false));
            continue;
        }
        QJsonObject o;
        o.insert(QStringLiteral("channel"), c.channel);
        o.insert(QStringLiteral("excluded"), rows[j].excluded);
        o.insert(QStringLiteral("flags"), flagArray(c.flags()));
        o.insert(QStringLiteral("flagsI0Icr"), flagArray(c.preAmp.flags));
        o.insert(QStringLiteral("flagsIcrSca"), flagArray(c.amp.flags));
        o.insert(QStringLiteral("preferredI0Icr"), modelPreferenceName(c.preAmp.preferred));
        o.insert(QStringLiteral("preferredIcrSca"), modelPreferenceName(c.amp.preferred));
        for (DeadTimeModel model : allModels)
            o.insert(deadTimeModelName(model), modelRowJson(model, rows[j], c, true));
        table.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("model"), choice.name());
    root.insert(QStringLiteral("points"), points);
    root.insert(QStringLiteral("channels"), chs);
    root.insert(QStringLiteral("table"), table);
    return QJsonDocument(root);
}
