#pragma once

#include <QStringList>

// The interface language from the command-line arguments (program name
// excluded): the last "-j" or "-e" wins, Japanese when there is neither.
bool japaneseRequested(const QStringList &args);
