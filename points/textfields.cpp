// SPDX-License-Identifier: GPL-3.0-or-later
#include "textfields.h"

QStringList splitAtBlankRuns(const QString &line)
{
    QStringList fields;
    const QChar *const data = line.constData();
    const int n = line.size();
    int start = 0;
    int i = 0;
    while (i < n) {
        if (data[i] != QLatin1Char(' ')) {
            ++i;
            continue;
        }
        fields.append(line.mid(start, i - start));
        while (i < n && data[i] == QLatin1Char(' '))
            ++i;
        start = i;
    }
    fields.append(line.mid(start));
    return fields;
}
