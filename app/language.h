// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// The interface language from the command-line arguments (program name
// excluded): the last "-j" or "-e" wins, Japanese when there is neither.
bool japaneseRequested(const QStringList &args);
