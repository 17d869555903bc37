// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// A word of a time stamp: a number, a date or a time of day (2026-01-01,
// 01/02/2026, 12:30:00, 2026-01-01T12:30), a day or month name, AM, PM or a
// zone. A comment line of such words alone, however many, names no columns:
// "# Thu Jan 01 00:00:00 2026" above a scan of five columns is its date.
bool isNumberOrDate(const QString &word);
bool allNumbersOrDates(const QStringList &words);
