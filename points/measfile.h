// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Whether a measurement file could be opened, and if not, why.
struct OpenStatus
{
    enum Kind {
        Opened,
        NotRegularFile, // a folder, a device or a named pipe
        CannotOpen // reason holds the system's words
    };
    Kind kind = Opened;
    QString reason;

    bool opened() const { return kind == Opened; }
};

// Opens file read-only in text mode if its path names a regular file. Opening a
// named pipe would wait for a writer for ever, and a device is no measurement.
OpenStatus openMeasurementFile(QFile &file);

// Larger files are streamed through the text stream rather than held in memory.
constexpr qint64 maxInMemorySize = qint64(1) << 30;

// Reads an opened measurement file. A seekable file that fits in memory is
// read whole, raw, and offered to readBytes (bool(QByteArray &&)), the fast
// path, which declines bytes that only the text stream reads right, such as
// text that is not plain ASCII. Everything else goes to readStream
// (void(QIODevice &)) in text mode from the start of the file. Returns false
// if the file could not be rewound for that.
template<typename ReadBytes, typename ReadStream>
bool readMeasurementFile(QFile &file, ReadBytes readBytes, ReadStream readStream)
{
    if (!file.isSequential() && file.size() <= maxInMemorySize) {
        file.setTextModeEnabled(false);
        if (readBytes(file.readAll()))
            return true;
        file.setTextModeEnabled(true);
        if (!file.seek(0))
            return false;
    }
    readStream(file);
    return true;
}
