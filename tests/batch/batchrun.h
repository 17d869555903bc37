// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchrunner.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTextStream>

// What one in-process run of the batch command gave.
struct BatchRun
{
    int status = -1;
    QString out;
    QString err;
};

// Runs the command in-process with args (without the program name), from the
// folder dir when one is given, as a user would from a shell.
inline BatchRun runBatchCommand(const QStringList &args, const QString &dir = QString())
{
    const QString previous = QDir::currentPath();
    if (!dir.isEmpty())
        QDir::setCurrent(dir);
    BatchRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.status = runBatch(QStringList { QStringLiteral("ratelens-batch") } + args, out, err);
    out.flush();
    err.flush();
    QDir::setCurrent(previous);
    return r;
}
