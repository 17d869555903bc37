// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Splits a line at every run of blanks (U+0020), keeping an empty first or last
// field when the line begins or ends with a blank, and one empty field for an
// empty line.
//
// For a line whose only white space is the blank, which is the case of any line
// passed through QString::simplified() (and then perhaps having commas turned
// into blanks), this gives exactly what line.split(QRegularExpression("\\s+"))
// gives, without compiling and running a regular expression for every line:
// the expression made up most of the time of reading a non-ASCII file.
QStringList splitAtBlankRuns(const QString &line);
