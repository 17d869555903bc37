// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QtGlobal>

#include <cmath>

namespace testsupport {

bool nearlyEqual(double actual, double expected, double tol)
{
    if (std::isnan(expected))
        return std::isnan(actual);
    if (std::isinf(expected))
        return actual == expected;
    if (expected == 0.0)
        return std::fabs(actual) <= tol;
    return std::fabs(actual - expected) <= tol * std::fabs(expected);
}

namespace {
QStringList *capturedLines = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (type == QtDebugMsg && capturedLines)
        capturedLines->append(msg);
    else if (previousHandler)
        previousHandler(type, context, msg);
}
} // namespace

DebugCapture::DebugCapture()
{
    capturedLines = new QStringList;
    previousHandler = qInstallMessageHandler(captureHandler);
}

DebugCapture::~DebugCapture()
{
    qInstallMessageHandler(previousHandler);
    delete capturedLines;
    capturedLines = nullptr;
}

QStringList DebugCapture::lines() const
{
    return capturedLines ? *capturedLines : QStringList();
}

void DebugCapture::clear()
{
    if (capturedLines)
        capturedLines->clear();
}

QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
            && f.flush();
}

void settle()
{
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QString testDataPath(const QString &relative)
{
    return QStringLiteral(RATELENS_TEST_DATA "/") + relative;
}

} // namespace testsupport
