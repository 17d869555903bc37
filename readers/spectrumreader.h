// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// One measurement point read from a spectrum file: I0, and per channel the ICR
// from its information line, the SCA summed over its window and the window.
struct SpectrumPoint
{
    bool ok = false;
    double i0 = 0.0;
    QVector<double> icrs;
    QVector<double> scas;
    QVector<double> roiLows;
    QVector<double> roiHighs;
};

// Case-sensitive test whether line begins with the whole key.
bool startsWithKey(const QString &line, const QString &key);

// Text that every spectrum file of plain ASCII text holds: it names its
// channels on "# MCA Ch Info :" lines.
extern const char *const spectrumKey; // "MCA"

// Whether what device reads, from where it stands, can be a spectrum at all:
// a spectrum names its channels on "# MCA Ch Info :" lines, so text without
// "MCA" is none. Text behind a UTF-16 or UTF-32 byte-order mark, which the
// text stream decodes, always may be. Reads in blocks, never the whole file
// at once, so that a large point table is turned away for a fraction of
// what reading it as a spectrum costs.
bool mayBeSpectrum(QIODevice &device);

// The same for the file at path; true when it cannot be opened, so that the
// reader that follows says why.
bool mayBeSpectrumFile(const QString &path);

// Reads the file at path into sp; sp.ok tells whether it was accepted.
OpenStatus readSpectrumFile(const QString &path, SpectrumPoint &sp);

// The same on bytes already in memory, as if they were the file's content.
void readSpectrumBytes(const QByteArray &bytes, SpectrumPoint &sp);

// Straightforward line-by-line reading through QTextStream; the fast reader
// must give exactly the same record. Used for non-ASCII input and as test oracle.
void readSpectrumReference(QIODevice &device, SpectrumPoint &sp);
