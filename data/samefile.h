// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether a and b name the same file: the same file on disk, reached through
// symbolic links, "..", or a second hard link; or, where a file does not
// exist yet, the same absolute path. A program that writes b after reading a
// would destroy what it read.
bool sameFile(const QString &a, const QString &b);
