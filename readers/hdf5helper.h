// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>

class Hdf5ReplyReader;

// The helper program: $RATELENS_H5READ if set, else ratelens-h5read beside
// the program, in the package's libexec folder relative to the program, or at
// its installed path.
QString hdf5HelperPath();

// One run of the helper program ratelens-h5read (hdf5HelperPath()) on a
// file, for reading datasets or writing a new file. The HDF5 library works
// only in the helper, so that a file that crashes or hangs it cannot take
// the caller down: what the caller sees of such a file is a message naming
// it ("the HDF5 reader crashed on this file", "... gave no answer within
// 60 s and was stopped"). A helper still running when the run is destroyed
// is stopped.
class Hdf5HelperRun
{
public:
    enum class Task { Read, Write };

    Hdf5HelperRun(const QString &file, Task task, int timeoutMs);
    ~Hdf5HelperRun();
    Hdf5HelperRun(const Hdf5HelperRun &) = delete;
    Hdf5HelperRun &operator=(const Hdf5HelperRun &) = delete;

    // Starts the helper: an empty string, or why it does not start. The time
    // for the answer of a reading helper runs from here.
    QString start();
    // The whole input at once: the helper reads it as its answer comes.
    void sendAll(const QByteArray &bytes);
    // Input in parts: returns once the helper has taken the bytes, so that
    // no more than a part is ever held here however slowly it reads; false
    // when it ended or took nothing within the time (waitForEnd then says
    // why).
    bool send(const QByteArray &bytes);
    // The input is complete.
    void closeInput() { m_process.closeWriteChannel(); }

    // A reading helper's answer, handed to reader as it comes, until the
    // helper ends, reader refuses the bytes or the time is up: an empty
    // string, or the fault of the helper (stopped, crashed, failed). A
    // refused answer is reader's to word.
    QString collect(Hdf5ReplyReader &reader);
    // A writing helper's end: an empty string and its whole answer in output,
    // or the fault of a helper that gave no answer within the time (and was
    // stopped) or crashed.
    QString waitForEnd(QByteArray &output);

    int exitCode() const { return m_process.exitCode(); }
    // A helper that ended with a failure it did not describe.
    QString failed() const;

private:
    enum class End { Finished, TimedOut, Refused };
    End readAnswer(Hdf5ReplyReader &reader);
    void stop();
    QString stopped() const;
    QString crashed() const;

    QString m_file;
    Task m_task;
    int m_timeoutMs;
    QDeadlineTimer m_deadline;
    QProcess m_process;
};
