// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtinrecipes.h"

#include <QCoreApplication>
#include <QMap>
#include <QRegularExpression>

namespace {

// Per element number, the column name; and a template that gives each name
// back for its number, or empty when the names follow no one pattern.
struct ElementColumns
{
    QMap<int, QString> names;
    QString pattern;
};

ElementColumns findElementColumns(const QStringList &columns, const QString &stem)
{
    const QRegularExpression re(QStringLiteral("^(%1)(\\d+)$").arg(stem),
                                QRegularExpression::CaseInsensitiveOption);
    ElementColumns found;
    QString prefix;
    int width = 0;
    bool uniform = true;
    for (const QString &name : columns) {
        const QRegularExpressionMatch m = re.match(name);
        if (!m.hasMatch())
            continue;
        const QString digits = m.captured(2);
        const int n = digits.toInt();
        if (found.names.contains(n) || n > 9999)
            continue;
        const int w = digits.startsWith(QLatin1Char('0')) && digits.size() > 1 ? digits.size() : 0;
        if (found.names.isEmpty()) {
            prefix = m.captured(1);
            width = w;
        } else if (prefix != m.captured(1) || (w != width && w != 0)) {
            uniform = false;
        }
        found.names.insert(n, name);
    }
    if (uniform && !found.names.isEmpty())
        found.pattern
            = prefix + (width > 1 ? QStringLiteral("{n:0%1}").arg(width) : QStringLiteral("{n}"));
    return found;
}

int findColumn(const QStringList &columns, const QStringList &candidates)
{
    for (const QString &c : candidates) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns.at(i).compare(c, Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

QString countingTimeColumn(const QStringList &columns)
{
    const int i = findColumn(columns,
                             { QStringLiteral("measurement_time"), QStringLiteral("count_time"),
                               QStringLiteral("IntTime"), QStringLiteral("seconds"),
                               QStringLiteral("time") });
    return i < 0 ? QString() : columns.at(i);
}

QString i0Column(const QStringList &columns)
{
    const int i = findColumn(
        columns, { QStringLiteral("I0"), QStringLiteral("i0_counts"), QStringLiteral("IC0") });
    return i < 0 ? QString() : columns.at(i);
}

// The element numbers present in both, when both follow a pattern.
std::vector<int> commonElements(const ElementColumns &a, const ElementColumns &b)
{
    std::vector<int> numbers;
    if (a.pattern.isEmpty() || b.pattern.isEmpty())
        return numbers;
    for (auto it = a.names.cbegin(); it != a.names.cend(); ++it) {
        if (b.names.contains(it.key()))
            numbers.push_back(it.key());
    }
    return numbers;
}

QString perTime(const QString &expression, const QString &time)
{
    return time.isEmpty() ? expression : QStringLiteral("%1 / %2").arg(expression, time);
}

// The i0 of the recipe per counting time, and where it comes from.
void setI0AndOrigin(Recipe &r, const QString &title, const QString &i0, const QString &time)
{
    r.i0 = perTime(i0, time);
    r.origin = time.isEmpty()
        ? QCoreApplication::translate("Recordings",
                                      "built-in recipe %1; no counting-time column, so the values "
                                      "are taken as rates")
              .arg(title)
        : QCoreApplication::translate("Recordings",
                                      "built-in recipe %1, counts over the counting time %2")
              .arg(title, time);
}

std::optional<Recipe> icrOcrRecipe(const QStringList &columns, const QString &i0,
                                   const QString &time)
{
    const ElementColumns icr = findElementColumns(columns, QStringLiteral("icr(?:_?mca|_)?"));
    const ElementColumns ocr = findElementColumns(columns, QStringLiteral("ocr(?:_?mca|_)?"));
    Recipe r;
    r.elements = commonElements(icr, ocr);
    if (r.elements.empty())
        return std::nullopt;
    r.icr = perTime(icr.pattern, time);
    r.sca = perTime(ocr.pattern, time);
    setI0AndOrigin(r, QStringLiteral("ICR{n}/OCR{n}"), i0, time);
    return r;
}

std::optional<Recipe> dtFactorRecipe(const QStringList &columns, const QString &i0,
                                     const QString &time)
{
    const ElementColumns out = findElementColumns(columns, QStringLiteral("outputcounts?_mca"));
    const ElementColumns factor = findElementColumns(columns, QStringLiteral("dtfactor_mca"));
    Recipe r;
    r.elements = commonElements(out, factor);
    if (r.elements.empty())
        return std::nullopt;
    r.icr = perTime(QStringLiteral("%1 * %2").arg(out.pattern, factor.pattern), time);
    r.sca = perTime(out.pattern, time);
    setI0AndOrigin(r, QStringLiteral("OutputCounts_mca{n} x DTFactor_mca{n}"), i0, time);
    return r;
}

} // namespace

std::optional<Recipe> builtinRecipe(const QStringList &columnNames)
{
    const QString i0 = i0Column(columnNames);
    if (i0.isEmpty())
        return std::nullopt;
    const QString time = countingTimeColumn(columnNames);
    if (std::optional<Recipe> r = icrOcrRecipe(columnNames, i0, time))
        return r;
    return dtFactorRecipe(columnNames, i0, time);
}

Recipe suggestedRecipe(const QStringList &columnNames)
{
    if (std::optional<Recipe> r = builtinRecipe(columnNames))
        return *r;
    Recipe r;
    r.elements = { 1 };
    const QString i0 = i0Column(columnNames);
    r.i0 = i0.isEmpty() ? QStringLiteral("I0") : i0;
    r.icr = QStringLiteral("ICR{n}");
    r.sca = QStringLiteral("OCR{n}");
    return r;
}
