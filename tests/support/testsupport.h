// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// Relative comparison; an expected value of 0 is compared on the absolute
// scale tol instead, since no relative error is defined there.
bool nearlyEqual(double actual, double expected, double tol = 1e-9);

// Records every qDebug message while alive, restoring the previous handler after.
class DebugCapture
{
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;
    QStringList lines() const;
    void clear();
};

QByteArray readFileBytes(const QString &path);
// Replaces the file at path with bytes; false unless every byte was written.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
QString testDataPath(const QString &relative);

// Lets widgets lay themselves out: each round delivers what the one before
// posted (boxes shown, sizes passed up from strip to window).
void settle();

} // namespace testsupport
