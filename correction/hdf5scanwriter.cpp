// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5scanwriter.h"

#include "hdf5columns.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Hdf5Columns", text);
}

} // namespace

Hdf5ScanWriter::Hdf5ScanWriter(Hdf5WriteJob job, int timeoutMs)
    : m_job(std::move(job))
    , m_timeoutMs(timeoutMs)
{ }

Hdf5ScanWriter::~Hdf5ScanWriter()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString Hdf5ScanWriter::start()
{
    const QString helper = hdf5HelperPath();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(helper, QStringList());
    if (!m_process.waitForStarted(m_timeoutMs))
        return tr("%1: HDF5 files cannot be written: the helper program %2 does not start (%3)")
            .arg(m_job.scan, QDir::toNativeSeparators(helper), m_process.errorString());
    return send(encodeHdf5WriteJob(m_job));
}

QString Hdf5ScanWriter::write(const std::vector<std::vector<double>> &columns)
{
    if (columns.empty() || columns.front().empty())
        return QString();
    return send(encodeHdf5Block(columns));
}

// Waits until the helper has taken the bytes, so that no more than a block is
// ever held here however slowly the file is written.
QString Hdf5ScanWriter::send(const QByteArray &bytes)
{
    m_process.write(bytes);
    while (m_process.bytesToWrite() > 0) {
        if (m_process.state() == QProcess::NotRunning || !m_process.waitForBytesWritten(m_timeoutMs))
            return helperFault();
    }
    return QString();
}

QString Hdf5ScanWriter::finish()
{
    const QString sent = send(encodeHdf5Block({}));
    if (!sent.isEmpty())
        return sent;
    m_process.closeWriteChannel();
    return helperFault();
}

// What the helper says once it has ended: its fault, or nothing when the file
// is complete.
QString Hdf5ScanWriter::helperFault()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(m_timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return tr("%1: the HDF5 writer gave no answer within %2 s and was stopped")
            .arg(m_job.scan, QString::number(m_timeoutMs / 1000.0));
    }
    if (m_process.exitStatus() == QProcess::CrashExit)
        return tr("%1: the HDF5 writer crashed on this file; it may be damaged").arg(m_job.scan);
    Hdf5Reply reply;
    const QString why = decodeHdf5Reply(m_process.readAllStandardOutput(), 0, 0, reply);
    if (!why.isEmpty())
        return tr("%1: the HDF5 writer failed (exit status %2)")
            .arg(m_job.scan, QString::number(m_process.exitCode()));
    if (reply.fault == Hdf5Fault::None && m_process.exitCode() != 0)
        return tr("%1: the HDF5 writer failed (exit status %2)")
            .arg(m_job.scan, QString::number(m_process.exitCode()));
    return describeHdf5Fault(m_job.scan, reply);
}
