// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtinrecipes.h"

#include <QCoreApplication>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Per element number, the column name; and a template that gives each name
// back for its number, or empty when the names follow no one pattern.
struct ElementColumns
{
    QMap<int, QString> names;
    QString pattern;
};

// One name read as a per-element column of a kind: the element number, and
// the name's parts around it.
struct ElementName
{
    int number = 0;
    QString key; // what must be the same for every element of one family
    QString head; // the template up to where the suffix starts, {n} in place
    QString suffix; // what follows the kind word and the number
};

// The two orders in which detectors name per-element columns: the kind word,
// then the number ("ICR3", "ICR_03", "icrmca3", "OutputCounts_mca3",
// "Iffast2"); or a prefix with the number, then the kind word ("D1_ICR",
// "dxp1:InputCountRate", "mca1.ELTM"). Either may carry a suffix after a
// separator ("D1_ICR_c24"), which may differ from element to element.
bool readElementName(const QString &name, const QString &word, ElementName &out)
{
    const QRegularExpression wordFirst(
        QStringLiteral("^(%1)([_:.]?(?:mca)?[_:.]?)(\\d+)((?:[_:.].*)?)$").arg(word),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression numberFirst(
        QStringLiteral("^([A-Za-z]*)(\\d+)([_:.]?)(%1)((?:[_:.].*)?)$").arg(word),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch m = wordFirst.match(name);
    QString digits;
    if (m.hasMatch()) {
        digits = m.captured(3);
        out.head = m.captured(1) + m.captured(2);
        out.key = QStringLiteral("1|") + out.head;
        out.suffix = m.captured(4);
    } else if ((m = numberFirst.match(name)).hasMatch()) {
        digits = m.captured(2);
        out.head = m.captured(1) + QStringLiteral("%N%") + m.captured(3) + m.captured(4);
        out.key = QStringLiteral("2|") + out.head;
        out.suffix = m.captured(5);
    } else {
        return false;
    }
    if (digits.size() > 4)
        return false;
    out.number = digits.toInt();
    // Zero-padded numbers are one family only with numbers of their width.
    const int width = digits.startsWith(QLatin1Char('0')) && digits.size() > 1 ? digits.size() : 0;
    out.key += QStringLiteral("|%1").arg(width);
    const QString n = width > 1 ? QStringLiteral("{n:0%1}").arg(width) : QStringLiteral("{n}");
    if (out.head.contains(QLatin1String("%N%")))
        out.head.replace(QLatin1String("%N%"), n);
    else
        out.head += n;
    return true;
}

QString commonPrefix(const QStringList &texts)
{
    QString prefix = texts.value(0);
    for (const QString &t : texts) {
        int k = 0;
        while (k < prefix.size() && k < t.size() && prefix.at(k) == t.at(k))
            ++k;
        prefix.truncate(k);
    }
    return prefix;
}

// The columns of one kind (word: a regular expression of the names' kind
// part), one per element number. Names of different forms are different
// families; the largest one is taken. A suffix that differs from element to
// element becomes "*" in the pattern, which then finds each column by
// matching.
ElementColumns findElementColumns(const QStringList &columns, const QString &word)
{
    QMap<QString, QVector<ElementName>> families;
    for (const QString &name : columns) {
        ElementName e;
        if (readElementName(name, word, e))
            families[e.key].append(e);
    }
    ElementColumns found;
    QVector<ElementName> best;
    for (const QVector<ElementName> &f : qAsConst(families)) {
        if (f.size() > best.size())
            best = f;
    }
    if (best.isEmpty())
        return found;
    QStringList suffixes;
    for (const ElementName &e : qAsConst(best)) {
        if (found.names.contains(e.number))
            return ElementColumns();
        found.names.insert(e.number, e.head);
        suffixes.append(e.suffix);
    }
    QString common = commonPrefix(suffixes);
    const bool same = std::all_of(suffixes.cbegin(), suffixes.cend(),
                                  [&](const QString &s) { return s == common; });
    // A running number is matched whole: "_c*" for _c12 ... _c15, not "_c1*".
    while (!same && !common.isEmpty() && common.back().isDigit())
        common.chop(1);
    found.pattern = best.first().head + common + (same ? QString() : QStringLiteral("*"));
    // A name that is no identifier ("dxp{n}:InputCountRate") is quoted.
    QString bare = found.pattern;
    bare.remove(QRegularExpression(QStringLiteral("\\{[^}]*\\}")));
    if (bare.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_*]"))))
        found.pattern = QLatin1Char('`') + found.pattern + QLatin1Char('`');
    return found;
}

// A column's name in the form that identifies it: lower case, without
// separators ("count_time", "CountTime" and "Count Time" alike).
QString nameKey(const QString &name)
{
    QString key = name.toLower();
    key.remove(QRegularExpression(QStringLiteral("[ _.:\\-]")));
    return key;
}

int findColumn(const QStringList &columns, const QStringList &keys)
{
    for (const QString &k : keys) {
        for (int i = 0; i < columns.size(); ++i) {
            if (nameKey(columns.at(i)) == k)
                return i;
        }
    }
    return -1;
}

// Only a name that says it is the counting time is taken as such: a column
// "time" is as often the time elapsed since the scan began.
QString countingTimeColumn(const QStringList &columns)
{
    const int i = findColumn(
        columns,
        { QStringLiteral("measurementtime"), QStringLiteral("counttime"),
          QStringLiteral("countingtime"), QStringLiteral("inttime"),
          QStringLiteral("integrationtime"), QStringLiteral("integration"),
          QStringLiteral("dwelltime"), QStringLiteral("dwell"), QStringLiteral("seconds"),
          QStringLiteral("exposuretime"), QStringLiteral("acquisitiontime"),
          QStringLiteral("presettime") });
    return i < 0 ? QString() : columns.at(i);
}

QString i0Column(const QStringList &columns)
{
    const int i = findColumn(columns, { QStringLiteral("i0"), QStringLiteral("i0counts"),
                                        QStringLiteral("ic0") });
    return i < 0 ? QString() : columns.at(i);
}

// The element numbers present in all, when each follows a pattern.
std::vector<int> commonElements(const QVector<ElementColumns> &families)
{
    std::vector<int> numbers;
    for (const ElementColumns &f : families) {
        if (f.pattern.isEmpty())
            return {};
    }
    const ElementColumns &first = families.first();
    for (auto it = first.names.cbegin(); it != first.names.cend(); ++it) {
        if (std::all_of(families.cbegin(), families.cend(),
                        [&](const ElementColumns &f) { return f.names.contains(it.key()); }))
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

// Input and output rates (or counts) per element: ICR{n} with OCR{n} (or
// with SCA{n}), InputCountRate with OutputCountRate, the fast and the slow
// channel of a pulse processor.
std::optional<Recipe> rateRecipe(const QStringList &columns, const QString &i0,
                                 const QString &time)
{
    static const char *const pairs[][3] = {
        { "icr", "ocr", "ICR{n}/OCR{n}" },
        { "inputcountrate", "outputcountrate", "InputCountRate/OutputCountRate" },
        { "iffast", "ifslow", "Iffast{n}/Ifslow{n}" },
        { "icr", "sca", "ICR{n}/SCA{n}" },
    };
    for (const auto &pair : pairs) {
        const ElementColumns icr = findElementColumns(columns, QLatin1String(pair[0]));
        const ElementColumns ocr = findElementColumns(columns, QLatin1String(pair[1]));
        Recipe r;
        r.elements = commonElements({ icr, ocr });
        if (r.elements.empty())
            continue;
        r.icr = perTime(icr.pattern, time);
        r.sca = perTime(ocr.pattern, time);
        setI0AndOrigin(r, QLatin1String(pair[2]), i0, time);
        return r;
    }
    return std::nullopt;
}

std::optional<Recipe> dtFactorRecipe(const QStringList &columns, const QString &i0,
                                     const QString &time)
{
    const ElementColumns out = findElementColumns(columns, QStringLiteral("outputcounts?"));
    const ElementColumns factor = findElementColumns(columns, QStringLiteral("dtfactor"));
    Recipe r;
    r.elements = commonElements({ out, factor });
    if (r.elements.empty())
        return std::nullopt;
    r.icr = perTime(QStringLiteral("%1 * %2").arg(out.pattern, factor.pattern), time);
    r.sca = perTime(out.pattern, time);
    setI0AndOrigin(r, QStringLiteral("OutputCounts_mca{n} x DTFactor_mca{n}"), i0, time);
    return r;
}

// Counts per element with the element's live and real time: the counts over
// the time the electronics was not busy give the rate that came in, over
// the whole time the rate that came out.
std::optional<Recipe> liveTimeRecipe(const QStringList &columns, const QString &i0,
                                     const QString &time)
{
    static const char *const pairs[][3] = {
        { "eltm", "ertm", "ELTM/ERTM" },
        { "livetime|live_time", "realtime|real_time", "LiveTime/RealTime" },
    };
    const ElementColumns counts = findElementColumns(columns, QStringLiteral("counts|roi|r0"));
    for (const auto &pair : pairs) {
        const ElementColumns live = findElementColumns(columns, QLatin1String(pair[0]));
        const ElementColumns real = findElementColumns(columns, QLatin1String(pair[1]));
        Recipe r;
        r.elements = commonElements({ counts, live, real });
        if (r.elements.empty())
            continue;
        r.icr = QStringLiteral("%1 / %2").arg(counts.pattern, live.pattern);
        r.sca = QStringLiteral("%1 / %2").arg(counts.pattern, real.pattern);
        setI0AndOrigin(r, QLatin1String(pair[2]), i0, time);
        if (time.isEmpty()) // the rates of the detector do not depend on it
            r.origin = QCoreApplication::translate("Recordings",
                                                   "built-in recipe %1; no counting-time column, "
                                                   "so I0 is taken as a rate")
                               .arg(QLatin1String(pair[2]));
        return r;
    }
    return std::nullopt;
}

} // namespace

std::optional<Recipe> builtinRecipe(const QStringList &columnNames)
{
    const QString i0 = i0Column(columnNames);
    if (i0.isEmpty())
        return std::nullopt;
    const QString time = countingTimeColumn(columnNames);
    using Maker = std::optional<Recipe> (*)(const QStringList &, const QString &, const QString &);
    for (const Maker make : { &rateRecipe, &dtFactorRecipe, &liveTimeRecipe }) {
        const std::optional<Recipe> r = make(columnNames, i0, time);
        // A pattern may match more columns than meant ("D1_ICR_c1*" also
        // "D1_ICR_c18_err"): only a recipe that finds one column per name fits.
        CompiledRecipe compiled;
        if (r && compiled.compile(*r, columnNames))
            return r;
    }
    return std::nullopt;
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
