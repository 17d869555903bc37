// SPDX-License-Identifier: GPL-3.0-or-later
#include "scanplan.h"

#include "builtinrecipes.h"
#include "columnlookup.h"
#include "hdf5columns.h"

#include <QIODevice>

#include <algorithm>

namespace {

// The columns of the --roi patterns of each element, found by name as a
// recipe's expressions find theirs.
QString planRois(const ScanCorrectionSetup &setup, ScanPlan &plan)
{
    const QStringList &names = plan.header.names;
    const ColumnLookup lookup(names);
    // One column for every element would be written once per element, under
    // one name: the pattern must say which column is whose.
    for (const QString &pattern : setup.roiPatterns) {
        if (plan.elements.size() > 1 && !pattern.contains(QLatin1String("{n"))
            && !pattern.contains(QLatin1String("{i}")))
            return QStringLiteral("--roi %1 names one column for %2 elements: write the element "
                                  "number as {n}, as in --roi D{n}_MgKa_c*")
                    .arg(pattern)
                    .arg(plan.elements.size());
    }
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        std::vector<int> columns;
        QStringList roiNames;
        for (const QString &pattern : setup.roiPatterns) {
            const QString name = expandElement(pattern, plan.elements[i], int(i));
            const int c = lookup.find(name);
            if (c == ColumnLookup::ambiguous)
                return QStringLiteral("--roi %1: %2 matches the columns %3; make it match one")
                    .arg(pattern, name, lookup.matching(name).mid(0, 8).join(QStringLiteral(", ")));
            if (c < 0)
                return QStringLiteral("no column %1 for --roi %2").arg(name, pattern);
            columns.push_back(c);
            roiNames.append(names.at(c));
        }
        plan.roiColumns.push_back(columns);
        plan.outputNames += correctionColumnNames(plan.elements[i], roiNames);
    }
    return QString();
}

QString elementList(const std::vector<int> &elements)
{
    QStringList numbers;
    for (int n : elements)
        numbers.append(QString::number(n));
    return numbers.join(QStringLiteral(", "));
}

// Each element's entry in the dead times: by element number where the dead
// times say which element each was measured on, else by position, and then
// only when there is one per element (or one for all).
QString matchDeadTimes(const ScanCorrectionSetup &setup, ScanPlan &plan)
{
    const int elements = int(plan.elements.size());
    const int count = setup.deadTimes.size();
    plan.deadTimeIndex.assign(plan.elements.size(), 0);
    if (setup.oneForAll && count == 1)
        return QString();
    if (!setup.channelElements.empty() && int(setup.channelElements.size()) == count) {
        for (int i = 0; i < elements; ++i) {
            const auto at = std::find(setup.channelElements.begin(), setup.channelElements.end(),
                                      plan.elements[size_t(i)]);
            if (at == setup.channelElements.end())
                return QStringLiteral("element %1 has no dead times: they were measured on "
                                      "elements %2")
                        .arg(plan.elements[size_t(i)])
                        .arg(elementList(setup.channelElements));
            plan.deadTimeIndex[size_t(i)] = int(at - setup.channelElements.begin());
        }
        return QString();
    }
    if (count != elements)
        return setup.typedIn
                ? QStringLiteral("%1 dead times for %2 elements: give one for all, or one per "
                                 "element")
                          .arg(count)
                          .arg(elements)
                : QStringLiteral("the dead times cover %1 channel(s), the scan has %2 elements, "
                                 "and the file does not say which element each channel was")
                          .arg(count)
                          .arg(elements);
    for (int i = 0; i < elements; ++i)
        plan.deadTimeIndex[size_t(i)] = i;
    return QString();
}

// Dead times typed in that cannot correct are an error of the whole run;
// those of a fit that could not give them leave their element alone
// uncorrected, with the reason.
QString checkDeadTimes(const ScanCorrectionSetup &setup, ScanPlan &plan)
{
    const QString unmatched = matchDeadTimes(setup, plan);
    if (!unmatched.isEmpty())
        return unmatched;
    plan.refused.assign(plan.elements.size(), QString());
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const int entry = plan.deadTimeIndex[i];
        QString problem = standingProblem(setup.standings.value(entry), plan.source);
        if (problem.isEmpty())
            problem = deadTimesProblem(setup.model, plan.deadTimes(setup, i), plan.source);
        if (problem.isEmpty())
            continue;
        const QString text = QStringLiteral("element %1 (channel %2): %3")
                                     .arg(plan.elements[i])
                                     .arg(entry)
                                     .arg(problem);
        if (setup.typedIn)
            return text;
        plan.refused[i] = text;
    }
    return QString();
}

} // namespace

QString planColumns(const ScanCorrectionSetup &setup, ScanPlan &plan,
                    ScanCorrectionReport &report)
{
    std::optional<Recipe> recipe = setup.recipe;
    if (!recipe)
        recipe = builtinRecipe(plan.header.names);
    if (!recipe) {
        report.needsRecipe = true;
        return QStringLiteral("no built-in recipe fits the columns; give one with --recipe");
    }
    report.recipeOrigin = recipe->origin;
    plan.recipeText = *recipe;
    if (!plan.recipe.compile(*recipe, plan.header.names))
        return plan.recipe.error();
    plan.elements = plan.recipe.elementNumbers();
    plan.source = setup.source.value_or(recipe->icr.trimmed().isEmpty() ? CorrectionSource::Sca
                                                                        : CorrectionSource::Icr);
    if (plan.source != CorrectionSource::Sca && recipe->icr.trimmed().isEmpty())
        return plan.source == CorrectionSource::Icr
                ? QStringLiteral("the recipe gives no ICR to correct from; use --from sca")
                : QStringLiteral("the recipe gives no ICR, the amplifier's input rate that "
                                 "--stages amp needs");
    plan.outputNames = plan.header.names;
    const QString problem = checkDeadTimes(setup, plan);
    return problem.isEmpty() ? planRois(setup, plan) : problem;
}

QString planColumnFile(const ScanCorrectionSetup &setup, QIODevice &in, ScanPlan &plan,
                       ScanCorrectionReport &report)
{
    if (looksLikeHdf5(in.peek(hdf5SignatureReach)))
        return QStringLiteral("an HDF5 scan is corrected from its file");
    plan.header = readColumnHeader(in);
    if (!plan.header.ok())
        return plan.header.error;
    return planColumns(setup, plan, report);
}

int blockRows(const ScanPlan &plan)
{
    const qint64 rowBytes = 32 * qint64(plan.outputNames.size()) + 1;
    return int(std::clamp<qint64>((qint64(8) << 20) / rowBytes, 1, correctionBlockRows));
}
