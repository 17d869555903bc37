// SPDX-License-Identifier: GPL-3.0-or-later
#include "scancorrection.h"

#include "scanpipeline.h"
#include "scanplan.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

ScanCorrectionReport correctScan(const ScanCorrectionSetup &setup, QIODevice &in, QIODevice &out)
{
    ScanCorrectionReport report;
    ScanPlan plan;
    report.error = planColumnFile(setup, in, plan, report);
    if (!report.ok())
        return report;
    ColumnReader reader(in, plan.header);
    reader.keepText(true);
    const int rows = blockRows(plan);
    const NextBlock next = [&reader, rows](ColumnBlock &block, QString &error) {
        if (!reader.readBlock(rows, block)) {
            error = reader.deviceError();
            return false;
        }
        if (reader.badRowCount() > 0) {
            const BadRow &bad = reader.badRows().front();
            error = QStringLiteral("line %1: %2").arg(bad.line).arg(bad.reason);
        }
        return error.isEmpty();
    };
    correctBlocks(setup, plan, next, &out, nullptr, report);
    return report;
}

ScanCorrectionReport correctScanBlocks(const ScanCorrectionSetup &setup, ScanBlockSource &in,
                                       QIODevice *out, CorrectionSink *sink)
{
    ScanCorrectionReport report;
    ScanPlan plan;
    plan.header.names = in.columnNames();
    report.error = planColumns(setup, plan, report);
    if (!report.ok())
        return report;
    const NextBlock next = [&in](ColumnBlock &block, QString &error) {
        return in.readBlock(block, error);
    };
    correctBlocks(setup, plan, next, out, sink, report);
    return report;
}

QString correctedScanPath(const QString &scan, const QString &dir)
{
    const QFileInfo info(scan);
    const QString name = info.completeBaseName() + QStringLiteral("_dtc.tsv");
    return QDir(dir.isEmpty() ? info.path() : dir).filePath(name);
}
