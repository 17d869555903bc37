// SPDX-License-Identifier: GPL-3.0-or-later
#include "scanbatch.h"

#include "hdf5columns.h"
#include "scanfile.h"

#include <QFile>
#include <QThread>

namespace {

bool isHdf5File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksLikeHdf5(file.read(hdf5SignatureReach));
}

ScanCorrectionReport correctWithFallback(const ScanBatch &batch, const QString &scan,
                                         const QString &output)
{
    ScanCorrectionSetup setup = batch.setup;
    const std::optional<Recipe> &fallback = batch.fallbackRecipe;
    if (!fallback || setup.recipe)
        return correctScanFile(setup, scan, output);
    if (isHdf5File(scan)) {
        setup.recipe = fallback;
        return correctScanFile(setup, scan, output);
    }
    const ScanCorrectionReport builtIn = correctScanFile(setup, scan, output);
    if (builtIn.ok())
        return builtIn;
    setup.recipe = fallback;
    return correctScanFile(setup, scan, output);
}

} // namespace

QVector<CorrectedScan> correctScanBatch(const ScanBatch &batch, const ScanBatchObserver &observer)
{
    QVector<CorrectedScan> done;
    for (int i = 0; i < batch.scans.size(); ++i) {
        if (observer.cancelled && observer.cancelled())
            break;
        CorrectedScan corrected;
        corrected.scan = batch.scans.at(i);
        corrected.output = batch.outputs.isEmpty() ? correctedScanPath(corrected.scan)
                                                   : batch.outputs.at(i);
        corrected.report = correctWithFallback(batch, corrected.scan, corrected.output);
        done.append(corrected);
        if (observer.scanDone)
            observer.scanDone(corrected);
    }
    return done;
}

ScanBatchRunner::ScanBatchRunner(QObject *parent)
    : QObject(parent)
{
}

ScanBatchRunner::~ScanBatchRunner()
{
    if (running) {
        running->wait();
        delete running;
    }
}

bool ScanBatchRunner::start(const ScanBatch &batch)
{
    if (running)
        return false;
    QThread *thread = QThread::create([this, batch] { results = correctScanBatch(batch); });
    running = thread;
    connect(thread, &QThread::finished, this, [this, thread] { end(thread); });
    thread->start();
    return true;
}

void ScanBatchRunner::wait()
{
    if (running) {
        running->wait();
        end(running);
    }
}

void ScanBatchRunner::end(QThread *thread)
{
    // The queued finished() of a thread that wait() has already ended.
    if (thread != running)
        return;
    running = nullptr;
    thread->deleteLater();
    emit finished(results);
}
