// SPDX-License-Identifier: GPL-3.0-or-later
#include "timestampwords.h"

#include <QRegularExpression>

#include <algorithm>

bool isNumberOrDate(const QString &word)
{
    static const QRegularExpression date(
        QStringLiteral("^(\\d{1,4}([-/.])\\d{1,2}(\\2\\d{1,4})?)?[T ]?"
                       "(\\d{1,2}:\\d{2}(:\\d{2}([.,]\\d+)?)?)?(Z|[+-]\\d{2}:?\\d{2})?$"));
    // Whole names only: "Monitor" is a column, not a Monday.
    static const QRegularExpression name(
        QStringLiteral("^(mon(day)?|tues?(day)?|wed(nesday)?|thu(rs?)?(day)?|fri(day)?|"
                       "sat(urday)?|sun(day)?|jan(uary)?|feb(ruary)?|mar(ch)?|apr(il)?|may|"
                       "june?|july?|aug(ust)?|sept?(ember)?|oct(ober)?|nov(ember)?|dec(ember)?|"
                       "am|pm|utc|gmt)\\.?,?$"),
        QRegularExpression::CaseInsensitiveOption);
    bool number = false;
    word.toDouble(&number);
    const bool digits
        = std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isDigit(); });
    return number || (digits && date.match(word).hasMatch()) || name.match(word).hasMatch();
}

bool allNumbersOrDates(const QStringList &words)
{
    return std::all_of(words.cbegin(), words.cend(), isNumberOrDate);
}
