// SPDX-License-Identifier: GPL-3.0-or-later
#include "scanfile.h"

#include "atomicfile.h"
#include "hdf5columns.h"
#include "hdf5scancorrection.h"
#include "samefile.h"

#include <QFile>
#include <QHash>

// A scan is a column file or an HDF5 file; which one, its first bytes say.
// The column path streams the file itself; the HDF5 path reads it through
// the helper program and writes the same column file.
ScanCorrectionReport correctScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                     const QString &output)
{
    ScanCorrectionReport report;
    QFile in(scan);
    if (!in.open(QIODevice::ReadOnly)) {
        report.error = in.errorString();
        return report;
    }
    if (looksLikeHdf5(in.peek(hdf5SignatureReach)))
        return correctHdf5ScanFile(setup, scan, output, Hdf5ScanOutput::ColumnFile);
    if (sameFile(scan, output)) {
        report.error = QStringLiteral("the output would overwrite the scan");
        return report;
    }
    const FileReplacement written = replaceFile(output, [&](QIODevice &out) {
        report = correctScan(setup, in, out);
        return report.ok();
    });
    if (!written.error.isEmpty())
        report.error = written.error;
    return report;
}

QString correctionOutputCollision(const QStringList &scans, const QStringList &outputs,
                                  const QVector<QPair<QString, QString>> &otherInputs)
{
    QHash<QString, int> scanAt;
    for (int i = 0; i < scans.size(); ++i)
        scanAt.insert(fileKey(scans.at(i)), i);
    QHash<QString, int> scanOf;
    for (int i = 0; i < scans.size() && i < outputs.size(); ++i) {
        const QString key = fileKey(outputs.at(i));
        const int earlier = scanOf.value(key, -1);
        if (earlier >= 0)
            return QStringLiteral("%1 and %2 would both be corrected into %3; correct them "
                                  "into different folders")
                    .arg(scans.at(earlier), scans.at(i), outputs.at(i));
        const int named = scanAt.value(key, i);
        if (named != i)
            return QStringLiteral("the correction of %1 would overwrite %2, a scan named too")
                    .arg(scans.at(i), scans.at(named));
        for (const QPair<QString, QString> &input : otherInputs) {
            if (!input.second.isEmpty() && sameFile(outputs.at(i), input.second))
                return QStringLiteral("the correction of %1 would overwrite %2 %3, which it reads")
                        .arg(scans.at(i), input.first, input.second);
        }
        scanOf.insert(key, i);
    }
    return QString();
}
