// SPDX-License-Identifier: GPL-3.0-or-later
#include "recipe.h"

#include "columnlookup.h"
#include "expressiontext.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <muParser.h>

#include <array>
#include <cfenv>
#include <cmath>
#include <map>
#include <set>

namespace {

// Bounds that no detector reaches and that keep a typing slip from asking
// for millions of expressions.
constexpr int maxElementNumber = 9999;
constexpr int maxElements = 1000;

QString withoutComment(const QString &line)
{
    const int hash = line.indexOf(QLatin1Char('#'));
    return (hash < 0 ? line : line.left(hash)).trimmed();
}

bool parseBound(const QString &text, int &value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok && value >= 0 && value <= maxElementNumber;
}

// "1-4", "1,2,4", "1-3, 8"; the reason on failure.
QString parseElements(const QString &text, std::vector<int> &elements)
{
    elements.clear();
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList range = part.split(QLatin1Char('-'));
        int a = 0;
        int b = 0;
        if (range.size() > 2 || !parseBound(range.first(), a) || !parseBound(range.last(), b)
            || b < a)
            return QStringLiteral("\"%1\" is not an element number or a range a-b of them")
                .arg(messageQuote(part.trimmed()));
        for (int n = a; n <= b; ++n) {
            if (elements.size() >= size_t(maxElements))
                return QStringLiteral("more than %1 elements").arg(maxElements);
            elements.push_back(n);
        }
    }
    return QString();
}

QString parseWindow(const QString &text, Recipe &r)
{
    const QStringList range = text.split(QLatin1Char('-'));
    bool okA = false;
    bool okB = false;
    if (range.size() == 2) {
        r.windowLow = range.at(0).trimmed().toInt(&okA);
        r.windowHigh = range.at(1).trimmed().toInt(&okB);
    }
    if (!okA || !okB || r.windowLow < 0 || r.windowHigh < r.windowLow)
        return QStringLiteral("the window \"%1\" is not a range of bins a-b")
            .arg(messageQuote(text));
    return QString();
}

QString setKey(const QString &key, const QString &value, Recipe &r)
{
    if (key == QLatin1String("elements")) {
        r.elementsGiven = true;
        return parseElements(value, r.elements);
    }
    if (key == QLatin1String("window"))
        return parseWindow(value, r);
    if (key == QLatin1String("scan")) {
        bool ok = false;
        r.scan = value.toInt(&ok);
        return ok && r.scan > 0
            ? QString()
            : QStringLiteral("the scan \"%1\" is not a scan number").arg(messageQuote(value));
    }
    if (key == QLatin1String("i0") && usesElement(value))
        return QStringLiteral("i0 = %1: the incident intensity is one for all elements, "
                              "and {n} or {i} has no element to stand for")
                .arg(messageQuote(value));
    QString *target = key == QLatin1String("i0") ? &r.i0
        : key == QLatin1String("icr")            ? &r.icr
        : key == QLatin1String("sca")            ? &r.sca
                                                 : nullptr;
    if (!target)
        return QStringLiteral(
                   "unknown key \"%1\" (expected elements, i0, icr, sca, window or scan)")
            .arg(messageQuote(key));
    if (value.isEmpty())
        return QStringLiteral("%1 is empty").arg(key);
    *target = value;
    return expressionTrap(key, value);
}

bool isParserConstant(const QString &name)
{
    return name == QLatin1String("_pi") || name == QLatin1String("_e");
}

mu::string_type muString(const QString &s)
{
    return s.toStdString();
}

} // namespace

RecipeParse parseRecipe(const QString &text, RecipeUse use)
{
    RecipeParse result;
    Recipe &r = result.recipe;
    bool inDatasets = false;
    // A key given twice is a recipe pasted into another, or two recipes one
    // after the other: which line holds cannot be told, so neither is taken.
    QSet<QString> keys;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size() && result.ok(); ++i) {
        const QString line = withoutComment(lines.at(i));
        if (line.isEmpty())
            continue;
        result.line = i + 1;
        if (line.startsWith(QLatin1Char('['))) {
            inDatasets = line.compare(QLatin1String("[datasets]"), Qt::CaseInsensitive) == 0;
            if (!inDatasets)
                result.error = QStringLiteral("unknown section %1 (expected [datasets])")
                                   .arg(messageQuote(line));
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            result.error
                = QStringLiteral("expected name = value, not \"%1\"").arg(messageQuote(line));
            continue;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (inDatasets) {
            r.datasets.emplace_back(key, value);
            continue;
        }
        const QString name = key.toLower();
        if (keys.contains(name))
            result.error = QStringLiteral("%1 is given twice").arg(messageQuote(name));
        else
            result.error = setKey(name, value, r);
        keys.insert(name);
    }
    if (!result.ok())
        return result;
    result.line = 0;
    if (r.elements.empty())
        r.elements.push_back(1);
    if (r.i0.isEmpty())
        result.error = QStringLiteral("no i0 expression");
    else if (!r.hasWindow() && r.icr.isEmpty() && use == RecipeUse::Fit)
        result.error = QStringLiteral("no icr expression");
    else if (!r.hasWindow() && r.sca.isEmpty())
        result.error = QStringLiteral("no sca expression");
    return result;
}

QString expandElement(const QString &text, int n, int i)
{
    static const QRegularExpression padded(QStringLiteral("\\{n:0(\\d)\\}"));
    QString s = text;
    s.replace(QLatin1String("{n}"), QString::number(n));
    s.replace(QLatin1String("{i}"), QString::number(i));
    QRegularExpressionMatch m;
    while ((m = padded.match(s)).hasMatch())
        s.replace(m.capturedStart(), m.capturedLength(),
                  QStringLiteral("%1").arg(n, m.captured(1).toInt(), 10, QLatin1Char('0')));
    return s;
}

namespace {

// "1-4,7": runs of consecutive numbers as ranges.
QString elementsText(const std::vector<int> &elements)
{
    QStringList parts;
    for (size_t i = 0; i < elements.size();) {
        size_t j = i;
        while (j + 1 < elements.size() && elements[j + 1] == elements[j] + 1)
            ++j;
        parts << (j > i ? QStringLiteral("%1-%2").arg(elements[i]).arg(elements[j])
                        : QString::number(elements[i]));
        i = j + 1;
    }
    return parts.join(QLatin1Char(','));
}

} // namespace

QString Recipe::toText() const
{
    QStringList parts;
    if (scan > 0)
        parts << QStringLiteral("scan = %1").arg(scan);
    parts << QStringLiteral("elements = %1").arg(elementsText(elements));
    if (hasWindow())
        parts << QStringLiteral("window = %1-%2").arg(windowLow).arg(windowHigh);
    parts << QStringLiteral("i0 = ") + i0;
    if (!icr.isEmpty())
        parts << QStringLiteral("icr = ") + icr;
    if (!sca.isEmpty())
        parts << QStringLiteral("sca = ") + sca;
    if (!datasets.empty()) {
        parts << QString() << QStringLiteral("[datasets]");
        for (const auto &d : datasets)
            parts << d.first + QStringLiteral(" = ") + d.second;
    }
    return parts.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// One expression of one element, compiled: its text, the columns it reads in
// the order of its variables c0, c1, ..., and the parser holding its byte code.
struct CompiledExpression
{
    QString text;
    std::vector<int> columns;
    // The values of the variables for the row being evaluated; the parser
    // holds pointers into it (a moved vector keeps its storage).
    std::vector<double> variables;
    std::unique_ptr<mu::Parser> parser;
    // The built-in recipes' forms, a column or a column over another (a count
    // over the counting time), computed without the parser: the same IEEE
    // division, at a fraction of the cost of an evaluation per row.
    enum Form { General, Column, Quotient } form = General;
};

namespace {

CompiledExpression::Form simpleForm(QString rewritten)
{
    rewritten.remove(QLatin1Char(' '));
    if (rewritten == QLatin1String("c0"))
        return CompiledExpression::Column;
    if (rewritten == QLatin1String("c0/c1") || rewritten == QLatin1String("c0/c0"))
        return CompiledExpression::Quotient;
    return CompiledExpression::General;
}

// Gives e its parser for the rewritten text: the reason when it does not
// parse. Only an expression whose names are all known is tried out.
QString parseGeneral(CompiledExpression &e, const QString &rewritten, bool namesKnown)
{
    e.parser = std::make_unique<mu::Parser>();
    e.variables.assign(e.columns.size(), 1.0);
    try {
        for (size_t v = 0; v < e.columns.size(); ++v)
            e.parser->DefineVar(muString(QStringLiteral("c%1").arg(v)), &e.variables[v]);
        e.parser->SetExpr(muString(rewritten));
        if (namesKnown)
            e.parser->Eval();
    } catch (const mu::Parser::exception_type &x) {
        return QCoreApplication::translate("Recordings", "the expression \"%1\" does not parse: %2")
                .arg(messageQuote(e.text), QString::fromStdString(x.GetMsg()));
    }
    return QString();
}

} // namespace

struct CompiledRecipe::Impl
{
    Recipe recipe;
    QString error;
    QStringList unknown;
    // Expressions are shared by text: an i0 without {n} is computed once.
    std::vector<CompiledExpression> expressions;
    QHash<QString, int> expressionByText; // looked up by hash: thousands of elements
    // Per element, the index into expressions of i0, icr and sca.
    std::vector<std::array<int, 3>> elements;

    int compileExpression(const QString &text, const ColumnLookup &names);
};

int CompiledRecipe::Impl::compileExpression(const QString &text, const ColumnLookup &names)
{
    const auto known = expressionByText.constFind(text);
    if (known != expressionByText.cend())
        return *known;
    CompiledExpression ce;
    ce.text = text;
    QString rewritten;
    int copied = 0;
    std::map<int, int> variableOf;
    for (const NameRef &ref : scanNames(text)) {
        const QString &name = ref.name;
        if (ref.function || isParserConstant(name))
            continue;
        const int column = names.find(name);
        if (column == ColumnLookup::ambiguous && error.isEmpty()) {
            error = QCoreApplication::translate("Recordings", "%1 matches the columns %2; "
                                                              "make it match one")
                            .arg(name, names.matching(name).mid(0, 8).join(QStringLiteral(", ")));
            continue;
        }
        if (column < 0) {
            if (!unknown.contains(name))
                unknown.append(name);
            continue;
        }
        auto [it, added] = variableOf.emplace(column, int(ce.columns.size()));
        if (added)
            ce.columns.push_back(column);
        rewritten += text.mid(copied, ref.begin - copied) + QStringLiteral(" c%1 ").arg(it->second);
        copied = ref.end;
    }
    rewritten += text.mid(copied);
    if (unknown.isEmpty())
        ce.form = simpleForm(rewritten);
    // A column or a quotient of two always parses, and is computed without a
    // parser: a scan of thousands of elements holds no thousands of parsers.
    if (ce.form == CompiledExpression::General && error.isEmpty())
        error = parseGeneral(ce, rewritten, unknown.isEmpty());
    expressions.push_back(std::move(ce));
    expressionByText.insert(text, int(expressions.size() - 1));
    return int(expressions.size() - 1);
}

CompiledRecipe::CompiledRecipe()
    : d(std::make_unique<Impl>())
{ }
CompiledRecipe::~CompiledRecipe() = default;
CompiledRecipe::CompiledRecipe(CompiledRecipe &&) noexcept = default;
CompiledRecipe &CompiledRecipe::operator=(CompiledRecipe &&) noexcept = default;

bool CompiledRecipe::compile(const Recipe &recipe, const QStringList &columnNames)
{
    d = std::make_unique<Impl>();
    d->recipe = recipe;
    const ColumnLookup names(columnNames);
    for (size_t i = 0; i < recipe.elements.size() && d->error.isEmpty(); ++i) {
        const int n = recipe.elements[i];
        std::array<int, 3> e {};
        const QString *texts[3] = { &recipe.i0, &recipe.icr, &recipe.sca };
        for (int q = 0; q < 3 && d->error.isEmpty(); ++q)
            e[size_t(q)] = texts[q]->isEmpty()
                    ? -1
                    : d->compileExpression(expandElement(*texts[q], n, int(i)), names);
        d->elements.push_back(e);
    }
    if (!d->unknown.isEmpty() && d->error.isEmpty())
        d->error
            = (d->unknown.size() > 1 ? QCoreApplication::translate("Recordings", "unknown names %1")
                                     : QCoreApplication::translate("Recordings", "unknown name %1"))
                  .arg(d->unknown.join(QStringLiteral(", ")));
    return d->error.isEmpty();
}

QString CompiledRecipe::error() const
{
    return d->error;
}

QStringList CompiledRecipe::unknownNames() const
{
    return d->unknown;
}

std::vector<int> CompiledRecipe::usedColumns() const
{
    std::set<int> used;
    for (const CompiledExpression &e : d->expressions)
        used.insert(e.columns.begin(), e.columns.end());
    return std::vector<int>(used.begin(), used.end());
}

int CompiledRecipe::elementCount() const
{
    return int(d->elements.size());
}

const std::vector<int> &CompiledRecipe::elementNumbers() const
{
    return d->recipe.elements;
}

namespace {

// The first row where e turned finite inputs into a value that is not
// finite, or -1.
int firstNotFiniteRow(const CompiledExpression &e, const ColumnBlock &block,
                        const std::vector<double> &values)
{
    for (size_t r = 0; r < values.size(); ++r) {
        if (std::isfinite(values[r]))
            continue;
        bool inputsFinite = true;
        for (int c : e.columns)
            inputsFinite = inputsFinite && std::isfinite(block.columns[size_t(c)][r]);
        if (inputsFinite)
            return int(r);
    }
    return -1;
}

// Why e turned the finite inputs of a row into a value that is not finite.
// A column over another tells by its divisor. A general expression is
// evaluated again on the row with the floating-point flags cleared and tells
// only through them: divide-by-zero (x/0, also the pole of log(0)) or
// overflow (I0^1e308) alone. 0/0 and sqrt(-1) raise only invalid, and two
// flags at once tell nothing; no cause is then given.
RecipeRowError::Cause notFiniteCause(CompiledExpression &e, const ColumnBlock &block, size_t row)
{
    if (e.form == CompiledExpression::Quotient)
        return block.columns[size_t(e.columns.back())][row] == 0.0
                ? RecipeRowError::DivisionByZero
                : RecipeRowError::Overflow;
    for (size_t v = 0; v < e.columns.size(); ++v)
        e.variables[v] = block.columns[size_t(e.columns[v])][row];
    std::feclearexcept(FE_ALL_EXCEPT);
    e.parser->Eval();
    const int raised = std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW);
    if (raised == FE_DIVBYZERO)
        return RecipeRowError::DivisionByZero;
    return raised == FE_OVERFLOW ? RecipeRowError::Overflow : RecipeRowError::Unknown;
}

void evaluateExpression(CompiledExpression &e, const ColumnBlock &block,
                        std::vector<double> &values)
{
    // Row by row rather than in the parser's bulk mode: the library runs its
    // bulk mode on OpenMP threads, which on a busy machine spend far more
    // time waiting for each other than the evaluation takes.
    const size_t rows = size_t(block.rows());
    values.resize(rows);
    if (e.form != CompiledExpression::General) {
        const std::vector<double> &a = block.columns[size_t(e.columns.front())];
        const std::vector<double> &b = block.columns[size_t(e.columns.back())];
        for (size_t r = 0; r < rows; ++r)
            values[r] = e.form == CompiledExpression::Column ? a[r] : a[r] / b[r];
        return;
    }
    const size_t n = e.columns.size();
    std::vector<const double *> sources(n);
    for (size_t v = 0; v < n; ++v)
        sources[v] = block.columns[size_t(e.columns[v])].data();
    double *variables = e.variables.data();
    for (size_t r = 0; r < rows; ++r) {
        for (size_t v = 0; v < n; ++v)
            variables[v] = sources[v][r];
        values[r] = e.parser->Eval();
    }
}

} // namespace

bool CompiledRecipe::evaluate(const ColumnBlock &block, std::vector<ElementRates> &out,
                              RecipeRowError *rowError) const
{
    std::vector<std::vector<double>> results(d->expressions.size());
    static const char *const quantities[3] = { "i0", "icr", "sca" };
    for (size_t k = 0; k < d->expressions.size(); ++k) {
        evaluateExpression(d->expressions[k], block, results[k]);
    }
    out.resize(d->elements.size());
    for (size_t i = 0; i < d->elements.size(); ++i) {
        for (int q = 0; q < 3; ++q) {
            const int k = d->elements[i][size_t(q)];
            if (k < 0)
                continue;
            const int bad
                = firstNotFiniteRow(d->expressions[size_t(k)], block, results[size_t(k)]);
            if (bad >= 0) {
                CompiledExpression &e = d->expressions[size_t(k)];
                if (rowError)
                    *rowError = RecipeRowError { block.lines[size_t(bad)], d->recipe.elements[i],
                                                 QString::fromLatin1(quantities[q]), e.text,
                                                 notFiniteCause(e, block, size_t(bad)) };
                return false;
            }
        }
        std::vector<double> *rates[3] = { &out[i].i0, &out[i].icr, &out[i].sca };
        for (size_t q = 0; q < 3; ++q) {
            const int k = d->elements[i][q];
            if (k < 0)
                rates[q]->clear();
            else
                *rates[q] = results[size_t(k)];
        }
    }
    return true;
}

QString rowErrorText(const RecipeRowError &e)
{
    const QString where = e.line > 0
        ? QCoreApplication::translate("Recordings", "line %1: ").arg(e.line)
        : QString();
    const char *const texts[] = {
        QT_TRANSLATE_NOOP("Recordings", "%1%2 of element %3 = %4 is not finite"),
        QT_TRANSLATE_NOOP("Recordings", "%1%2 of element %3 = %4 is not finite (division by zero)"),
        QT_TRANSLATE_NOOP("Recordings", "%1%2 of element %3 = %4 is not finite (overflow)"),
    };
    return QCoreApplication::translate("Recordings", texts[e.cause])
        .arg(where, e.quantity)
        .arg(e.element)
        .arg(messageQuote(e.expression));
}
