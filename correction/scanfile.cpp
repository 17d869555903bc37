// SPDX-License-Identifier: GPL-3.0-or-later
#include "scanfile.h"

#include "atomicfile.h"
#include "hdf5columns.h"
#include "hdf5scancorrection.h"
#include "samefile.h"

#include <QFile>

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
