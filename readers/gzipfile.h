// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Beamlines compress finished scans with gzip; such a file is read as what it
// holds, decompressed in memory first.

// Whether the first bytes are gzip's magic number.
bool looksGzip(const QByteArray &head);

// Decompresses what the device holds, from its start: every member of the
// stream one after another (as "gzip -c a >> b" appends them), at most
// maxBytes of content. Returns the content, or sets error: damaged data, a
// stream that ends early, content larger than maxBytes.
QByteArray gunzip(QIODevice &device, qint64 maxBytes, QString &error);
