// SPDX-License-Identifier: GPL-3.0-or-later
#include "measfile.h"

#include <QFileInfo>

OpenStatus openMeasurementFile(QFile &file)
{
    OpenStatus status;
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile()) {
        status.kind = OpenStatus::NotRegularFile;
        return status;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        status.kind = OpenStatus::CannotOpen;
        status.reason = file.errorString();
    }
    return status;
}
