// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scancorrection.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class QThread;

// Scans corrected one after the other with one calibration.
struct ScanBatch
{
    ScanCorrectionSetup setup;
    QStringList scans;
    // Where each scan's correction goes, one per scan; empty: beside each
    // scan, as correctedScanPath names it.
    QStringList outputs;
    // The recipe the calibration's points were read through, for a detector
    // whose columns no built-in recipe maps; used where setup has no recipe.
    // An HDF5 scan holds no column names to match, so it is read through
    // this recipe; a column file through the built-in recipe that maps its
    // columns and, where none does or it fails, through this one.
    std::optional<Recipe> fallbackRecipe;
};

// What became of one scan of a batch.
struct CorrectedScan
{
    QString scan;
    QString output;
    ScanCorrectionReport report;
};

// Follows a batch as it runs; both are called on the thread that corrects.
struct ScanBatchObserver
{
    // After each scan, corrected or refused.
    std::function<void(const CorrectedScan &)> scanDone;
    // Asked before each scan: true leaves it and the ones after it alone.
    std::function<bool()> cancelled;
};

// Corrects the scans of batch in their order on the calling thread: one
// entry per scan, fewer when the observer cancelled. A scan that cannot be
// corrected does not stop the ones after it.
QVector<CorrectedScan> correctScanBatch(const ScanBatch &batch,
                                        const ScanBatchObserver &observer = {});

// A batch on a thread of its own: a day of scans takes seconds, and a window
// stays usable meanwhile. finished() is emitted on the thread the runner
// lives in, once per batch.
class ScanBatchRunner : public QObject
{
    Q_OBJECT
public:
    explicit ScanBatchRunner(QObject *parent = nullptr);
    // Waits for a running batch, whose results the thread writes here.
    ~ScanBatchRunner() override;

    // Starts batch; false, and nothing started, while another one runs.
    bool start(const ScanBatch &batch);
    bool isRunning() const { return running != nullptr; }
    // Blocks until the running batch has ended and emits finished() now
    // rather than from the event loop.
    void wait();

signals:
    void finished(const QVector<CorrectedScan> &scans);

private:
    void end(QThread *thread);

    QThread *running = nullptr;
    QVector<CorrectedScan> results; // written by the thread, read once it has ended
};
