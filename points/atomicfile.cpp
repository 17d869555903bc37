// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cstdio>

namespace {

FileReplacement cannotWrite(const QString &path, const QString &reason = QString())
{
    FileReplacement r;
    r.error = reason.isEmpty() ? QStringLiteral("cannot write %1").arg(path)
                               : QStringLiteral("cannot write %1: %2").arg(path, reason);
    return r;
}

FileReplacement writeInPlace(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return cannotWrite(path, file.errorString());
    if (!write(file))
        return FileReplacement();
    const bool flushed = file.flush();
    file.close();
    if (!flushed || file.error() != QFileDevice::NoError)
        return cannotWrite(path, file.errorString());
    FileReplacement r;
    r.written = true;
    return r;
}

} // namespace

FileReplacement replaceFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                            ReplaceMode mode)
{
    const bool inPlace = mode == ReplaceMode::WholeOrInPlace;
    const QFileInfo info(path);
    if (inPlace && info.exists() && !info.isFile() && !info.isDir())
        return writeInPlace(path, write);
    QSaveFile file(path);
    file.setDirectWriteFallback(inPlace);
    if (!file.open(QIODevice::WriteOnly))
        return cannotWrite(path, file.errorString());
    if (!write(file)) {
        file.cancelWriting();
        return FileReplacement();
    }
    // commit() does not notice when flushing its buffer fails and would then
    // rename a truncated file over the old one, so the flush is checked first.
    if (!file.flush()) {
        file.cancelWriting();
        return cannotWrite(path, file.errorString());
    }
    if (!file.commit() || file.error() != QFileDevice::NoError)
        return cannotWrite(path, file.errorString());
    FileReplacement r;
    r.written = true;
    return r;
}

FileReplacement replaceFileByName(const QString &path,
                                  const std::function<bool(const QString &)> &write)
{
    const QFileInfo info(path);
    QTemporaryFile temporary(info.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!temporary.open())
        return cannotWrite(path, temporary.errorString());
    temporary.close();
    if (!write(temporary.fileName()))
        return FileReplacement();
    temporary.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                             | QFile::ReadOther);
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0)
        return cannotWrite(path);
    temporary.setAutoRemove(false);
    FileReplacement r;
    r.written = true;
    return r;
}

bool writeFileSafely(const QString &path, const QByteArray &bytes)
{
    const auto write = [&bytes](QIODevice &device) {
        return device.write(bytes) == bytes.size();
    };
    return replaceFile(path, write, ReplaceMode::WholeOrInPlace).written;
}
