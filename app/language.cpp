// SPDX-License-Identifier: GPL-3.0-or-later
#include "language.h"

bool japaneseRequested(const QStringList &args)
{
    bool japanese = true;
    for (const QString &arg : args) {
        if (arg == QLatin1String("-j"))
            japanese = true;
        else if (arg == QLatin1String("-e"))
            japanese = false;
    }
    return japanese;
}
