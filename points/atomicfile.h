// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// What writing a file gave.
struct FileReplacement
{
    bool written = false; // the file holds the new content
    // Why it could not be written, as "cannot write PATH: REASON"; empty when
    // it was written, or when the writer gave up (its own error says why).
    QString error;
};

// How much of an existing file may be touched before the new content is
// complete.
enum class ReplaceMode {
    // Nothing: the content goes to a temporary file beside it, renamed over
    // it once complete, so a full disk or a failed writer never leaves a
    // truncated file. Where no temporary file can be made, nothing is written.
    WholeOnly,
    // As WholeOnly where possible. Device nodes and pipes cannot be replaced
    // by renaming a finished copy over them (and must not be: that would swap
    // the node for a plain file), so they are written in place, as is an
    // existing writable file in a folder that admits no new files; every
    // failure is still reported.
    WholeOrInPlace,
};

// Writes path with what write puts on the device; write returns false to
// give up, which leaves the file as it was (except one written in place).
FileReplacement replaceFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ReplaceMode mode = ReplaceMode::WholeOnly);

// The same for a file that is written by name, as another process writes it:
// write gets the name of a temporary file beside path, which becomes path
// (readable by all, writable by the owner) once write returns true and is
// removed otherwise.
FileReplacement replaceFileByName(const QString &path,
                                  const std::function<bool(const QString &)> &write);

// Writes bytes to path so that an existing file is replaced only by complete
// new content (ReplaceMode::WholeOrInPlace). Returns false if the file could
// not be opened or written.
bool writeFileSafely(const QString &path, const QByteArray &bytes);
