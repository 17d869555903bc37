// SPDX-License-Identifier: GPL-3.0-or-later
#include "expressiontext.h"

QString messageQuote(const QString &text)
{
    int shown = 80;
    if (text.size() <= shown)
        return text;
    if (text.at(shown - 1).isHighSurrogate())
        --shown;
    return text.left(shown) + QStringLiteral("...");
}

namespace {

// Whether the "*" at p ends a name rather than multiplies: nothing that could
// be a factor follows it.
bool endsName(const QString &e, int p)
{
    int q = p + 1;
    while (q < e.size() && e.at(q).isSpace())
        ++q;
    return q == e.size() || QStringLiteral(")+-*/^<>=!?:,").contains(e.at(q));
}

} // namespace

std::vector<NameRef> scanNames(const QString &e)
{
    std::vector<NameRef> refs;
    int p = 0;
    const int n = e.size();
    auto isNameChar
        = [&e](int i) { return e.at(i).isLetterOrNumber() || e.at(i) == QLatin1Char('_'); };
    while (p < n) {
        const QChar c = e.at(p);
        if (c.isDigit() || (c == QLatin1Char('.') && p + 1 < n && e.at(p + 1).isDigit())) {
            while (p < n && (e.at(p).isDigit() || e.at(p) == QLatin1Char('.')))
                ++p;
            if (p < n && (e.at(p) == QLatin1Char('e') || e.at(p) == QLatin1Char('E'))) {
                ++p;
                if (p < n && (e.at(p) == QLatin1Char('+') || e.at(p) == QLatin1Char('-')))
                    ++p;
                while (p < n && e.at(p).isDigit())
                    ++p;
            }
        } else if (c == QLatin1Char('`')) {
            const int close = e.indexOf(QLatin1Char('`'), p + 1);
            const int end = close < 0 ? n : close + 1;
            refs.push_back(NameRef { p, end, false, e.mid(p + 1, end - p - 2) });
            p = end;
        } else if (c == QLatin1Char('$') || c.isLetter() || c == QLatin1Char('_')) {
            const int begin = p++;
            while (p < n && isNameChar(p))
                ++p;
            if (p < n && e.at(p) == QLatin1Char('*') && endsName(e, p))
                ++p;
            int q = p;
            while (q < n && e.at(q).isSpace())
                ++q;
            refs.push_back(NameRef { begin, p, q < n && e.at(q) == QLatin1Char('('),
                                     e.mid(begin, p - begin) });
        } else {
            ++p;
        }
    }
    return refs;
}

bool usesElement(const QString &text)
{
    return text.contains(QLatin1String("{n")) || text.contains(QLatin1String("{i}"));
}

QString expressionTrap(const QString &key, const QString &e)
{
    int depth = 0;
    bool inQuotes = false;
    for (int p = 0; p < e.size(); ++p) {
        const QChar c = e.at(p);
        if (c == QLatin1Char('`'))
            inQuotes = !inQuotes;
        if (inQuotes)
            continue;
        depth += c == QLatin1Char('(') ? 1 : c == QLatin1Char(')') ? -1 : 0;
        if (c == QLatin1Char(',') && depth <= 0)
            return QStringLiteral("%1 = %2: a comma outside a function's parentheses; give one "
                                  "expression (a column name with a comma is written in "
                                  "backticks)")
                .arg(key, messageQuote(e));
        const QChar before = p > 0 ? e.at(p - 1) : QChar();
        const QChar after = p + 1 < e.size() ? e.at(p + 1) : QChar();
        if (c == QLatin1Char('=') && after != QLatin1Char('=')
            && !QStringLiteral("=<>!").contains(before.isNull() ? QLatin1Char(' ') : before))
            return QStringLiteral("%1 = %2: \"=\" would assign; compare with \"==\"")
                .arg(key, messageQuote(e));
    }
    return QString();
}
