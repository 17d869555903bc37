// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5scanwriter.h"

#include "hdf5columns.h"

Hdf5ScanWriter::Hdf5ScanWriter(Hdf5WriteJob job, int timeoutMs)
    : m_job(std::move(job))
    , m_run(m_job.scan, Hdf5HelperRun::Task::Write, timeoutMs)
{ }

QString Hdf5ScanWriter::start()
{
    const QString notStarted = m_run.start();
    if (!notStarted.isEmpty())
        return notStarted;
    return send(encodeHdf5WriteJob(m_job));
}

QString Hdf5ScanWriter::write(const std::vector<std::vector<double>> &columns)
{
    if (columns.empty() || columns.front().empty())
        return QString();
    return send(encodeHdf5Block(columns));
}

QString Hdf5ScanWriter::send(const QByteArray &bytes)
{
    return m_run.send(bytes) ? QString() : helperEnd();
}

QString Hdf5ScanWriter::completeFile()
{
    const QString sent = send(encodeHdf5Block({}));
    if (!sent.isEmpty())
        return sent;
    m_run.closeInput();
    return helperEnd();
}

// What the helper says once it has ended: its fault, or nothing when the file
// is complete.
QString Hdf5ScanWriter::helperEnd()
{
    QByteArray answer;
    const QString fault = m_run.waitForEnd(answer);
    if (!fault.isEmpty())
        return fault;
    Hdf5Reply reply;
    const QString why = decodeHdf5Reply(answer, 0, 0, reply);
    if (!why.isEmpty() || (reply.fault == Hdf5Fault::None && m_run.exitCode() != 0))
        return m_run.failed();
    return describeHdf5Fault(m_job.scan, reply);
}
