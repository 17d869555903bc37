// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5helper.h"

#include "hdf5reply.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <sys/wait.h>

namespace {

const char helperName[] = "ratelens-h5read";

// How long a stopped helper is given to go.
constexpr int stopMs = 5000;

// The faults of a helper in the words of its task.
struct HelperWords
{
    const char *noStart;
    const char *noAnswer;
    const char *crashed;
    const char *failed;
};

const HelperWords readerWords {
    QT_TRANSLATE_NOOP("Hdf5Columns",
                      "%1: HDF5 files cannot be read: the helper program %2 does not start (%3)"),
    QT_TRANSLATE_NOOP("Hdf5Columns",
                      "%1: the HDF5 reader gave no answer within %2 s and was stopped"),
    QT_TRANSLATE_NOOP("Hdf5Columns", "%1: the HDF5 reader crashed on this file; it may be damaged"),
    QT_TRANSLATE_NOOP("Hdf5Columns", "%1: the HDF5 reader failed (exit status %2)"),
};

const HelperWords writerWords {
    QT_TRANSLATE_NOOP("Hdf5Columns", "%1: HDF5 files cannot be written: the helper program %2 "
                                     "does not start (%3)"),
    QT_TRANSLATE_NOOP("Hdf5Columns",
                      "%1: the HDF5 writer gave no answer within %2 s and was stopped"),
    QT_TRANSLATE_NOOP("Hdf5Columns", "%1: the HDF5 writer crashed on this file; it may be damaged"),
    QT_TRANSLATE_NOOP("Hdf5Columns", "%1: the HDF5 writer failed (exit status %2)"),
};

QString tr(const char *text)
{
    return QCoreApplication::translate("Hdf5Columns", text);
}

const HelperWords &wordsOf(Hdf5HelperRun::Task task)
{
    return task == Hdf5HelperRun::Task::Read ? readerWords : writerWords;
}

// Whether the helper has ended, though QProcess may not have noticed yet:
// the child is looked at without being reaped (QProcess reaps it), and one
// that QProcess's own watcher has reaped already is no longer a child.
bool hasEnded(const QProcess &p)
{
    siginfo_t info {};
    if (::waitid(P_PID, id_t(p.processId()), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid != 0;
}

} // namespace

QString hdf5HelperPath()
{
    const QString fromEnvironment = qEnvironmentVariable("RATELENS_H5READ");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString name = QLatin1String(helperName);
    const QString installed = QStringLiteral(RATELENS_H5READ_INSTALLED);
    if (!QCoreApplication::instance())
        return installed;
    // Beside the program (the build tree, an unpacked archive), then where the
    // package puts it relative to the program (an installation moved as a whole),
    // then where it was installed.
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         { here.filePath(name),
           QDir::cleanPath(here.filePath(QStringLiteral(RATELENS_H5READ_FROM_BINDIR))
                           + QLatin1Char('/') + name) }) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return installed;
}

Hdf5HelperRun::Hdf5HelperRun(const QString &file, Task task, int timeoutMs)
    : m_file(file)
    , m_task(task)
    , m_timeoutMs(timeoutMs)
{ }

Hdf5HelperRun::~Hdf5HelperRun()
{
    if (m_process.state() != QProcess::NotRunning)
        stop();
}

QString Hdf5HelperRun::start()
{
    const QString helper = hdf5HelperPath();
    // A crashing HDF5 library may leave a message on standard error: let it
    // reach the terminal of whoever started us, it helps the report of the fault.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(helper, QStringList());
    m_deadline = QDeadlineTimer(m_timeoutMs);
    if (!m_process.waitForStarted(int(m_deadline.remainingTime())))
        return tr(wordsOf(m_task).noStart)
            .arg(m_file, QDir::toNativeSeparators(helper), m_process.errorString());
    return QString();
}

void Hdf5HelperRun::sendAll(const QByteArray &bytes)
{
    m_process.write(bytes);
    m_process.closeWriteChannel();
}

bool Hdf5HelperRun::send(const QByteArray &bytes)
{
    m_process.write(bytes);
    while (m_process.bytesToWrite() > 0) {
        if (m_process.state() == QProcess::NotRunning
            || !m_process.waitForBytesWritten(m_timeoutMs))
            return false;
    }
    return true;
}

// Hands the helper's standard output to reader as it comes, until the helper
// ends, the answer is refused or time is up.
Hdf5HelperRun::End Hdf5HelperRun::readAnswer(Hdf5ReplyReader &reader)
{
    QProcess &p = m_process;
    for (;;) {
        for (qint64 available = p.bytesAvailable(); available > 0 && !reader.failed();
             available = p.bytesAvailable()) {
            std::size_t room = 0;
            char *to = reader.room(room);
            const qint64 got = p.read(to, qMin(available, qint64(room)));
            if (got <= 0)
                break;
            reader.advance(std::size_t(got));
        }
        if (reader.failed())
            return End::Refused;
        if (p.state() == QProcess::NotRunning)
            return End::Finished;
        // Hung is a helper still running when time is up: one that ended by
        // then, however late, is judged by how it ended and what it wrote.
        if (m_deadline.hasExpired()) {
            if (!hasEnded(p) || !p.waitForFinished(5000))
                return End::TimedOut;
            continue;
        }
        // A helper that closed its output but goes on running makes
        // waitForReadyRead return at once; wait for its end instead.
        if (!p.waitForReadyRead(int(m_deadline.remainingTime()))
            && p.state() != QProcess::NotRunning)
            p.waitForFinished(int(m_deadline.remainingTime()));
    }
}

QString Hdf5HelperRun::collect(Hdf5ReplyReader &reader)
{
    const End end = readAnswer(reader);
    if (end != End::Finished)
        stop();
    if (end == End::TimedOut)
        return stopped();
    if (end == End::Finished && m_process.exitStatus() == QProcess::CrashExit)
        return crashed();
    if (end == End::Finished && m_process.exitCode() != 0)
        return failed();
    return QString();
}

QString Hdf5HelperRun::waitForEnd(QByteArray &output)
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(m_timeoutMs)) {
        stop();
        return stopped();
    }
    if (m_process.exitStatus() == QProcess::CrashExit)
        return crashed();
    output = m_process.readAllStandardOutput();
    return QString();
}

QString Hdf5HelperRun::failed() const
{
    return tr(wordsOf(m_task).failed).arg(m_file, QString::number(m_process.exitCode()));
}

void Hdf5HelperRun::stop()
{
    m_process.kill();
    m_process.waitForFinished(stopMs);
}

QString Hdf5HelperRun::stopped() const
{
    return tr(wordsOf(m_task).noAnswer).arg(m_file, QString::number(m_timeoutMs / 1000.0));
}

QString Hdf5HelperRun::crashed() const
{
    return tr(wordsOf(m_task).crashed).arg(m_file);
}
