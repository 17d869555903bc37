#pragma once

#include <QString>

class QFile;

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
