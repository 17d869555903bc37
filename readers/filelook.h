// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// What a file is, told from its bytes before any reader runs, so that a
// recording of another kind is not read as a point table of one channel: a
// column file read that way gives one "channel" of its first three columns,
// and nonsense dead times that look like any others.

// Text files hold no NUL byte and few other control characters; an image, a
// compressed or a data-collector's binary file has both within its first
// kilobytes. Text behind a UTF-16 or UTF-32 byte-order mark is text.
bool looksBinary(const QByteArray &head);

// The first bytes looksBinary judges by.
constexpr qint64 binaryLookBytes = 8192;

// What a JSON document given as a measurement is.
enum class JsonLook {
    NotJson,
    DeadTimes, // the dead-time file of ratelens-batch --json and Fit details
    Other
};

// Reads the device (from its start) as JSON when its first character that
// is not white space opens an object or an array.
JsonLook lookAtJson(QIODevice &device);

// One scan of a SPEC file: its "#S" line.
struct SpecScan
{
    int number = 0; // the number after "#S"
    QString command; // the rest of the line ("ascan th 1 2 10 1")
    int line = 0; // the "#S" line, from 1
    qint64 begin = 0; // byte offset of the "#S" line
    qint64 end = 0; // byte offset of the next "#S" line, or the file's size
};

// How a text file is to be read, by what it looks like.
struct TextLook
{
    enum Kind {
        // A channel header, a spectrum's channel line, or data lines of at
        // most the three fields of a one-channel point table: the native
        // readers read it as ever.
        Native,
        // "#S" scan lines with "#L" labels.
        Spec,
        // Rows of numbers wider than a one-channel point table, without a
        // channel header: a column file.
        Columns,
        // Rows of channel and count under a header with real and live time
        // (singlespectrum.h).
        SingleSpectrum
    };
    Kind kind = Native;
    int fields = 0; // fields of the widest row of numbers seen
    int row = 0; // the line of that row, from 1
    QVector<SpecScan> scans; // Spec: every scan of the file, in file order
};

// The bytes at the start of a file that lookAtText judges by.
constexpr qint64 textLookBytes = qint64(1) << 20;

// Looks at the text the device holds, from its start: its first
// textLookBytes, and where they do not decide (rows wider than three fields
// and no header among them) every comment line of the rest, for a channel
// header or a spectrum's channel line further on. The device is left
// anywhere.
TextLook lookAtText(QIODevice &device);

// Whether the start of a file has SPEC's "#S" scan and "#L" label lines.
bool looksLikeSpec(const QByteArray &head);

// The scans of a SPEC file, from the device's start; empty for a file
// without "#S" lines.
QVector<SpecScan> specScans(QIODevice &device);

// The scan of number wanted (> 0), or with wanted 0 the only scan of the
// file; null with *error set otherwise: the scans there are, and how to
// choose one. Two scans of the number asked for are an error too.
const SpecScan *chooseSpecScan(const QVector<SpecScan> &scans, int wanted, QString *error);

// What the file looks like, for a message: "a column file of 14 fields per
// row (line 12) without a \"# Channels :\" header".
QString textLookDescription(const TextLook &look);
