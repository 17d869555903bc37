// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scancorrection.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// Corrects the file scan into the file output, which is replaced only by a
// complete correction: on any error it is left as it was. The scan itself is
// never written to. An HDF5 scan (correctHdf5ScanFile) also gives a column file.
ScanCorrectionReport correctScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                     const QString &output);

// What writing outputs[i] for each scans[i] would destroy: two scans
// corrected into one file (the later replacing the earlier without a word),
// an output that is a scan of the run (replaced before it is read), or one of
// the other files the run reads, given as (what it is, path). Found before
// anything is written: the reason, or an empty text.
QString correctionOutputCollision(const QStringList &scans, const QStringList &outputs,
                                  const QVector<QPair<QString, QString>> &otherInputs = {});
