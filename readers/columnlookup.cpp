// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnlookup.h"

#include <QRegularExpression>

namespace {

// The name with every character other than a letter, a digit or "_" written
// as "_": the form in which a column name can stand in an expression.
QString expressionName(const QString &name)
{
    QString s = name;
    for (QChar &c : s) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    }
    return s;
}

QRegularExpression wildcard(const QString &pattern)
{
    QStringList parts = pattern.split(QLatin1Char('*'));
    for (QString &part : parts)
        part = QRegularExpression::escape(part);
    return QRegularExpression(QLatin1Char('^') + parts.join(QStringLiteral(".*"))
                                  + QLatin1Char('$'),
                              QRegularExpression::CaseInsensitiveOption);
}

} // namespace

ColumnLookup::ColumnLookup(const QStringList &names)
    : m_names(names)
{
    // From the last to the first, so that the first of equal keys stays.
    for (int i = names.size() - 1; i >= 0; --i) {
        m_exact.insert(names.at(i), i);
        m_folded.insert(names.at(i).toCaseFolded(), i);
        m_expressionFolded.insert(expressionName(names.at(i)).toCaseFolded(), i);
    }
}

int ColumnLookup::find(const QString &name) const
{
    if (name.startsWith(QLatin1Char('$'))) {
        bool ok = false;
        const int k = name.mid(1).toInt(&ok);
        return ok && k >= 1 && k <= m_names.size() ? k - 1 : -1;
    }
    if (name.contains(QLatin1Char('*'))) {
        const QRegularExpression re = wildcard(name);
        int found = -1;
        for (int i = 0; i < m_names.size(); ++i) {
            if (!re.match(m_names.at(i)).hasMatch())
                continue;
            if (found >= 0)
                return ambiguous;
            found = i;
        }
        return found;
    }
    const auto exact = m_exact.constFind(name);
    if (exact != m_exact.cend())
        return *exact;
    const QString folded = name.toCaseFolded();
    const auto ignoringCase = m_folded.constFind(folded);
    if (ignoringCase != m_folded.cend())
        return *ignoringCase;
    return m_expressionFolded.value(folded, -1);
}

QStringList ColumnLookup::matching(const QString &pattern) const
{
    const QRegularExpression re = wildcard(pattern);
    QStringList found;
    for (const QString &name : m_names) {
        if (re.match(name).hasMatch())
            found.append(name);
    }
    return found;
}
