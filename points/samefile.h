// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether a and b name the same file: the same file on disk, reached through
// symbolic links, "..", or a second hard link; or, where a file does not
// exist yet, the same absolute path. A program that writes b after reading a
// would destroy what it read.
bool sameFile(const QString &a, const QString &b);

// Where a path leads, as a key for many paths at once: the file itself
// through symbolic links where it exists, the cleaned absolute path where it
// does not yet. (A second hard link has a key of its own.)
QString fileKey(const QString &path);
