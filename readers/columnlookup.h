// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The column a name given by the user stands for, in a recipe's expressions
// and in the correction's --roi alike:
//   - "$N" is the N-th column, from 1 (and no column when there is none);
//   - else the first column of exactly that name;
//   - else the first whose name equals it ignoring case (both case-folded);
//   - else the first whose name equals it ignoring case once every character
//     other than a letter, a digit or "_" is written as "_", as a name must
//     be written in an expression ("mu_E_" for "mu(E)");
//   - a name with "*" is the one column whose name it matches ignoring case,
//     "*" standing for any characters: "D1_ICR_c*" finds "D1_ICR_c8" where
//     per-element columns carry a running suffix.
// Hashed: a scan of thousands of elements looks up thousands of names among
// tens of thousands of columns.
class ColumnLookup
{
public:
    explicit ColumnLookup(const QStringList &names);

    // find() for a pattern that matches more than one column.
    static constexpr int ambiguous = -2;

    // The index of the column, -1 for none, or ambiguous.
    int find(const QString &name) const;
    // The names a pattern with "*" matches, for a message.
    QStringList matching(const QString &pattern) const;

private:
    QHash<QString, int> m_exact;
    QHash<QString, int> m_folded;
    QHash<QString, int> m_expressionFolded;
    QStringList m_names;
};
