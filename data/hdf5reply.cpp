// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5reply.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const char jobMagic[] = "RLH5J001";
const char replyMagic[] = "RLH5R001";
constexpr std::size_t magicSize = 8;

template<typename T>
void put(QByteArray &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), int(sizeof value));
}

void putString(QByteArray &out, const QString &s)
{
    const QByteArray utf8 = s.toUtf8();
    put<quint32>(out, quint32(utf8.size()));
    out.append(utf8);
}

// Reads fixed-size fields from the front of a byte array; every read checks
// that the bytes are there, and a failed read leaves the reader failed.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : p(bytes.constData()), left(std::size_t(bytes.size()))
    { }

    bool magic(const char *expected)
    {
        if (left < magicSize || std::memcmp(p, expected, magicSize) != 0)
            return good = false;
        skip(magicSize);
        return true;
    }
    template<typename T>
    T get()
    {
        T value {};
        if (left < sizeof value) {
            good = false;
            return value;
        }
        std::memcpy(&value, p, sizeof value);
        skip(sizeof value);
        return value;
    }
    QString string()
    {
        const quint32 size = get<quint32>();
        if (!good || left < size) {
            good = false;
            return QString();
        }
        const QString s = QString::fromUtf8(p, int(size));
        skip(size);
        return s;
    }
    const char *take(std::size_t size)
    {
        if (left < size) {
            good = false;
            return nullptr;
        }
        const char *at = p;
        skip(size);
        return at;
    }
    std::size_t remaining() const { return left; }
    bool ok() const { return good; }

private:
    void skip(std::size_t n) { p += n, left -= n; }
    const char *p;
    std::size_t left;
    bool good = true;
};

QString decodeColumns(Reader &in, std::size_t expectedColumns, quint64 maxValues,
                      Hdf5Reply &reply)
{
    const quint32 columns = in.get<quint32>();
    const quint64 rows = in.get<quint64>();
    if (!in.ok())
        return QStringLiteral("the column header is cut short");
    if (columns != expectedColumns)
        return QStringLiteral("%1 columns where %2 were asked for").arg(columns).arg(expectedColumns);
    if (columns == 0)
        return rows == 0 && in.remaining() == 0 ? QString() : QStringLiteral("data without columns");
    // rows * columns can overflow; compare by division first.
    if (rows > maxValues / columns)
        return QStringLiteral("%1 rows of %2 columns exceed the limit of %3 values")
                .arg(rows).arg(columns).arg(maxValues);
    const std::size_t bytesPerColumn = std::size_t(rows) * sizeof(double);
    if (in.remaining() != bytesPerColumn * columns)
        return QStringLiteral("%1 bytes of values where %2 rows of %3 columns need %4")
                .arg(in.remaining()).arg(rows).arg(columns).arg(bytesPerColumn * columns);
    reply.columns.assign(columns, std::vector<double>(std::size_t(rows)));
    for (auto &column : reply.columns) {
        if (rows)
            std::memcpy(column.data(), in.take(bytesPerColumn), bytesPerColumn);
    }
    return QString();
}

QString decodeFault(Reader &in, Hdf5Reply &reply)
{
    reply.dataset = in.string();
    reply.otherDataset = in.string();
    reply.found = in.get<qint64>();
    reply.limit = in.get<qint64>();
    reply.detail = in.string();
    if (!in.ok())
        return QStringLiteral("the fault report is cut short");
    if (in.remaining() != 0)
        return QStringLiteral("%1 stray bytes after the fault report").arg(in.remaining());
    return QString();
}

QString decodeReply(const QByteArray &bytes, std::size_t expectedColumns, quint64 maxValues,
                    Hdf5Reply &reply)
{
    Reader in(bytes);
    if (!in.magic(replyMagic))
        return QStringLiteral("it does not start with the reply signature");
    const quint8 fault = in.get<quint8>();
    if (!in.ok())
        return QStringLiteral("it ends before the fault code");
    if (fault >= hdf5FaultCount)
        return QStringLiteral("unknown fault code %1").arg(fault);
    reply.fault = Hdf5Fault(fault);
    return reply.fault == Hdf5Fault::None ? decodeColumns(in, expectedColumns, maxValues, reply)
                                          : decodeFault(in, reply);
}

} // namespace

qint64 hdf5ReplySize(const QByteArray &head)
{
    Reader in(head);
    if (!in.magic(replyMagic) || in.get<quint8>() != quint8(Hdf5Fault::None))
        return -1;
    const quint32 columns = in.get<quint32>();
    const quint64 rows = in.get<quint64>();
    const quint64 headSize = magicSize + 1 + 4 + 8;
    if (!in.ok() || rows > quint64(INT64_MAX - headSize) / sizeof(double) / qMax<quint32>(columns, 1))
        return -1;
    return qint64(headSize + rows * columns * sizeof(double));
}

QByteArray encodeHdf5Job(const Hdf5Job &job)
{
    QByteArray out(jobMagic, int(magicSize));
    put<quint64>(out, job.maxValues);
    putString(out, job.file);
    put<quint32>(out, quint32(job.requests.size()));
    for (const Hdf5Request &r : job.requests) {
        putString(out, r.dataset);
        put<qint32>(out, r.column);
    }
    return out;
}

bool decodeHdf5Job(const QByteArray &bytes, Hdf5Job &job)
{
    Reader in(bytes);
    if (!in.magic(jobMagic))
        return false;
    job.maxValues = in.get<quint64>();
    job.file = in.string();
    const quint32 n = in.get<quint32>();
    // Each request takes at least 8 bytes: a bound before reserving anything.
    if (!in.ok() || n > in.remaining() / 8)
        return false;
    job.requests.resize(n);
    for (Hdf5Request &r : job.requests) {
        r.dataset = in.string();
        r.column = in.get<qint32>();
    }
    return in.ok() && in.remaining() == 0;
}

bool writeHdf5Reply(const Hdf5Reply &reply, const Hdf5ByteWriter &write)
{
    QByteArray head(replyMagic, int(magicSize));
    put<quint8>(head, quint8(reply.fault));
    if (reply.fault != Hdf5Fault::None) {
        putString(head, reply.dataset);
        putString(head, reply.otherDataset);
        put<qint64>(head, reply.found);
        put<qint64>(head, reply.limit);
        putString(head, reply.detail);
        return write(head.constData(), std::size_t(head.size()));
    }
    const std::size_t rows = reply.columns.empty() ? 0 : reply.columns.front().size();
    put<quint32>(head, quint32(reply.columns.size()));
    put<quint64>(head, quint64(rows));
    if (!write(head.constData(), std::size_t(head.size())))
        return false;
    for (const auto &column : reply.columns) {
        if (column.size() != rows)
            return false;
        if (rows && !write(reinterpret_cast<const char *>(column.data()), rows * sizeof(double)))
            return false;
    }
    return true;
}

QByteArray encodeHdf5Reply(const Hdf5Reply &reply)
{
    QByteArray out;
    writeHdf5Reply(reply, [&out](const char *data, std::size_t size) {
        out.append(data, int(size));
        return true;
    });
    return out;
}

QString decodeHdf5Reply(const QByteArray &bytes, std::size_t expectedColumns, quint64 maxValues,
                        Hdf5Reply &reply)
{
    reply = Hdf5Reply();
    const QString why = decodeReply(bytes, expectedColumns, maxValues, reply);
    if (!why.isEmpty()) {
        // Nothing of a refused reply is kept, and it never passes for success.
        reply = Hdf5Reply();
        reply.fault = Hdf5Fault::CannotRead;
    }
    return why;
}
