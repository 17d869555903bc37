// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

// The text of a recipe's expressions, before the expression library sees it.

// A line, name or expression as a message quotes it. A recipe's line can be
// of any length, and a message that repeats all of a 200 KB expression buries
// what it says; its beginning is enough to find it.
QString messageQuote(const QString &text);

// A name an expression refers to, and where: a column name, a column by
// number ($7), a function called (sqrt(...)), a name quoted in backticks
// (`13IDE:scaler1.S2`, a name that is no identifier), or a name ending in
// "*" ("D1_ICR_c* / t": a pattern matching one column). Numbers ("80e6") are
// no names.
struct NameRef
{
    int begin;
    int end;
    bool function;
    QString name; // without the backticks of a quoted name
};

std::vector<NameRef> scanNames(const QString &expression);

// Whether a recipe's text stands for each element: it holds {n}, {n:0W} or {i}.
bool usesElement(const QString &text);

// What the expression library would take otherwise than meant, as a message
// naming the key: a comma outside a function's parentheses separates
// expressions, of which only the last counts, and "=" assigns. Empty when
// there is neither.
QString expressionTrap(const QString &key, const QString &expression);
