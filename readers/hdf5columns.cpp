// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5columns.h"

#include "hdf5helper.h"
#include "hdf5reply.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Hdf5Columns", text);
}

// Values of one read at most: 2 GiB of doubles.
constexpr qint64 maxValuesAtOnce = qint64(1) << 28;

// Numbers go into messages through the one-pass QString::arg(QString, ...), so
// that a "%2" in a file name is never taken for a place holder.
QString numberArg(qint64 v)
{
    return QString::number(v);
}

QString wrongRank(const QString &file, const Hdf5Reply &r)
{
    if (r.limit >= 0)
        return tr("%1: dataset %2 has %3 dimensions, so it has no column %4: columns are read "
                  "from datasets of 2 (points x elements), slices from those of 3 or more "
                  "(elements x rows x columns)")
            .arg(file, r.dataset, numberArg(r.found), numberArg(r.limit));
    if (r.found == 2)
        return tr("%1: dataset %2 has 2 dimensions (points x elements): name one of its "
                  "columns, as in %2[0]")
            .arg(file, r.dataset);
    return tr("%1: dataset %2 has %3 dimensions (elements x rows x columns): name one of its "
              "slices along the first axis, as in %2[0]")
        .arg(file, r.dataset, numberArg(r.found));
}

// Runs the helper on job; fills reply, or returns why there is none.
QString runHelper(const Hdf5Job &job, const Hdf5Limits &limits, Hdf5Reply &reply)
{
    Hdf5HelperRun run(job.file, Hdf5HelperRun::Task::Read, limits.timeoutMs);
    const QString notStarted = run.start();
    if (!notStarted.isEmpty())
        return notStarted;
    run.sendAll(encodeHdf5Job(job));
    Hdf5ReplyReader reader(job.requests.size(), job.maxValues);
    const QString fault = run.collect(reader);
    if (!fault.isEmpty())
        return fault;
    // Also a reply refused early: its fault, not the helper's stopping, is the news.
    const QString why = reader.finish(reply);
    if (!why.isEmpty())
        return tr("%1: the HDF5 reader's answer is malformed: %2").arg(job.file, why);
    return QString();
}

} // namespace

bool looksLikeHdf5(const QByteArray &head)
{
    static const char signature[] = "\x89HDF\r\n\x1a\n";
    for (int at = 0; at + 8 <= head.size(); at = at == 0 ? 512 : 2 * at) {
        if (std::memcmp(head.constData() + at, signature, 8) == 0)
            return true;
    }
    return false;
}

bool isHdf5File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && looksLikeHdf5(file.read(hdf5SignatureReach));
}

Hdf5Columns readHdf5Columns(const QString &file, const std::vector<Hdf5Request> &requests,
                            const Hdf5Limits &limits, const Hdf5RowRange &rows)
{
    Hdf5Columns out;
    for (const Hdf5Request &r : requests)
        out.names.append(r.name);
    // The system's own words for a file that is not there or not readable,
    // before a process is started for it.
    QFile probe(file);
    if (!probe.open(QIODevice::ReadOnly)) {
        out.error = tr("Cannot open %1: %2").arg(file, probe.errorString());
        return out;
    }
    probe.close();

    Hdf5Job job;
    job.file = file;
    job.requests = requests;
    job.maxValues = quint64(qBound<qint64>(0, limits.maxValues, maxValuesAtOnce));
    job.firstRow = rows.first;
    job.rowCount = rows.count;
    Hdf5Reply reply;
    out.error = runHelper(job, limits, reply);
    if (out.error.isEmpty() && reply.fault != Hdf5Fault::None)
        out.error = describeHdf5Fault(file, reply);
    if (out.error.isEmpty())
        out.columns = std::move(reply.columns);
    return out;
}

QString describeHdf5Fault(const QString &file, const Hdf5Reply &r)
{
    switch (r.fault) {
    case Hdf5Fault::None:
        return QString();
    case Hdf5Fault::NotHdf5:
        return tr("%1: not an HDF5 file").arg(file);
    case Hdf5Fault::CannotOpen:
        return tr("%1: cannot be opened as HDF5; the file is truncated or damaged (%2)")
            .arg(file, r.detail);
    case Hdf5Fault::NoDataset:
        if (r.detail.isEmpty())
            return tr("%1: no dataset %2").arg(file, r.dataset);
        return tr("%1: no dataset %2; %3 holds %4").arg(file, r.dataset, r.otherDataset, r.detail);
    case Hdf5Fault::NotDataset:
        return tr("%1: %2 is not a dataset").arg(file, r.dataset);
    case Hdf5Fault::NotNumeric:
        return tr("%1: dataset %2 holds values of HDF5 class %3, not numbers")
            .arg(file, r.dataset, r.detail);
    case Hdf5Fault::WrongRank:
        return wrongRank(file, r);
    case Hdf5Fault::NoSuchColumn:
        return tr("%1: dataset %2 has %3 columns (0 to %4), so it has no column %5")
            .arg(file, r.dataset, numberArg(r.limit), numberArg(r.limit - 1), numberArg(r.found));
    case Hdf5Fault::LengthMismatch:
        return tr("%1: dataset %2 has %3 points, but %4 has %5")
            .arg(file, r.dataset, numberArg(r.found), r.otherDataset, numberArg(r.limit));
    case Hdf5Fault::CannotRead:
        return tr("%1: dataset %2 cannot be read; the file is damaged (%3)")
            .arg(file, r.dataset, r.detail);
    case Hdf5Fault::CannotWrite:
        return tr("%1: %2 cannot be written (%3)").arg(file, r.dataset, r.detail);
    case Hdf5Fault::TooLarge:
        return tr("%1: the datasets asked for hold %2 values, more than the %3 that are read "
                  "at once")
            .arg(file, numberArg(r.found), numberArg(r.limit));
    }
    return tr("%1: cannot be read as HDF5").arg(file);
}
