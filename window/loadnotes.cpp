// SPDX-License-Identifier: GPL-3.0-or-later
#include "loadnotes.h"

#include "loader.h"
#include "pointset.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString singleChannelNote(const PointSet &points)
{
    if (points.size() < 2 || points.chs() != 1)
        return QString();
    return QCoreApplication::translate(
        "LoadNotes",
        "One channel in common: the result row needs two, so it stays empty; Fit details "
        "shows this channel's dead times");
}

QStringList notes(const QVector<FileReport> &reports, const PointSet &points, bool wholePaths)
{
    QStringList lines;
    for (const FileReport &r : reports) {
        const QString name
            = wholePaths ? QDir::toNativeSeparators(r.path) : QFileInfo(r.path).fileName();
        // What the file looks like, where it was read as a point table all the same.
        const QStringList looks = r.looksLike.isEmpty() || !r.error.isEmpty()
                ? QStringList()
                : QStringList(r.looksLike);
        for (const QString &text : looks + r.warnings + r.notes)
            lines << QCoreApplication::translate("LoadNotes", "%1: %2").arg(name, text);
    }
    const QString single = singleChannelNote(points);
    if (!single.isEmpty())
        lines << single;
    return lines;
}

} // namespace

QString loadNotesText(const QVector<FileReport> &reports, const PointSet &points)
{
    return notes(reports, points, false).join(QStringLiteral("; "));
}

QString loadNotesDetails(const QVector<FileReport> &reports, const PointSet &points)
{
    return notes(reports, points, true).join(QLatin1Char('\n'));
}
