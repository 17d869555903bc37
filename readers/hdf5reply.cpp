// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5reply.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const char jobMagic[] = "RLH5J002";
const char replyMagic[] = "RLH5R001";
constexpr std::size_t magicSize = 8;

template<typename T> void put(QByteArray &out, T value)
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
        : p(bytes.constData())
        , left(std::size_t(bytes.size()))
    { }

    bool magic(const char *expected)
    {
        if (left < magicSize || std::memcmp(p, expected, magicSize) != 0)
            return good = false;
        skip(magicSize);
        return true;
    }
    template<typename T> T get()
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
        if (!good || left < size || size > quint32(std::numeric_limits<int>::max())) {
            good = false;
            return QString();
        }
        const QString s = QString::fromUtf8(p, int(size));
        skip(size);
        return s;
    }
    std::size_t remaining() const { return left; }
    bool ok() const { return good; }

private:
    void skip(std::size_t n) { p += n, left -= n; }
    const char *p;
    std::size_t left;
    bool good = true;
};

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

// magic, fault, and for columns their count and the row count
constexpr int headSize = int(magicSize) + 1 + 4 + 8;

} // namespace

const char hdf5WriteMagic[] = "RLH5W001";

QByteArray encodeHdf5WriteJob(const Hdf5WriteJob &job)
{
    QByteArray header;
    putString(header, job.scan);
    putString(header, job.output);
    putString(header, job.group);
    put<quint32>(header, quint32(job.columns.size()));
    for (const Hdf5OutputColumn &c : job.columns) {
        putString(header, c.name);
        put<quint8>(header, quint8(c.kind));
    }
    QByteArray out(hdf5WriteMagic, hdf5MagicSize);
    put<quint32>(out, quint32(header.size()));
    return out + header;
}

bool decodeHdf5WriteHeader(const QByteArray &header, Hdf5WriteJob &job)
{
    Reader in(header);
    job.scan = in.string();
    job.output = in.string();
    job.group = in.string();
    const quint32 n = in.get<quint32>();
    // Each column takes at least 5 bytes: a bound before reserving anything.
    if (!in.ok() || n > in.remaining() / 5)
        return false;
    job.columns.resize(n);
    for (Hdf5OutputColumn &c : job.columns) {
        c.name = in.string();
        const quint8 kind = in.get<quint8>();
        if (kind > quint8(Hdf5ColumnKind::Flag))
            return false;
        c.kind = Hdf5ColumnKind(kind);
    }
    return in.ok() && in.remaining() == 0;
}

QByteArray encodeHdf5Block(const std::vector<std::vector<double>> &columns)
{
    const std::size_t rows = columns.empty() ? 0 : columns.front().size();
    QByteArray out;
    out.reserve(int(8 + columns.size() * rows * sizeof(double)));
    put<quint64>(out, rows);
    for (const auto &c : columns)
        out.append(reinterpret_cast<const char *>(c.data()), int(rows * sizeof(double)));
    return out;
}

QByteArray encodeHdf5Job(const Hdf5Job &job)
{
    QByteArray out(jobMagic, int(magicSize));
    put<quint64>(out, job.maxValues);
    put<quint64>(out, job.firstRow);
    put<quint64>(out, job.rowCount);
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
    job.firstRow = in.get<quint64>();
    job.rowCount = in.get<quint64>();
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

Hdf5ReplyReader::Hdf5ReplyReader(std::size_t expectedColumns, quint64 maxValues_, int reportLimit_)
    : columns(expectedColumns)
    , maxValues(maxValues_)
    , reportLimit(reportLimit_)
{ }

char *Hdf5ReplyReader::room(std::size_t &size)
{
    switch (part) {
    case Part::Head:
    case Part::Report: {
        // The head is read exactly; a fault report grows in steps, one byte
        // past its limit so that a longer one shows.
        const int at = int(filled);
        const int step = part == Part::Head ? headSize - at : qMin(4096, reportLimit + 1 - at);
        head.resize(at + qMax(step, 1));
        size = std::size_t(head.size() - at);
        return head.data() + at;
    }
    case Part::Values:
        size = values[column].size() * sizeof(double) - offset;
        return reinterpret_cast<char *>(values[column].data()) + offset;
    case Part::Done:
        break;
    }
    size = sizeof scratch;
    return scratch;
}

void Hdf5ReplyReader::advance(std::size_t n)
{
    if (failed())
        return;
    switch (part) {
    case Part::Head:
    case Part::Report:
        // room() made head longer by what it offered; keep what arrived.
        head.resize(int(filled + n));
        filled = std::size_t(head.size());
        if (part == Part::Report && head.size() > reportLimit)
            why = QStringLiteral("a fault report longer than %1 bytes").arg(reportLimit);
        else if (part == Part::Head && head.size() == headSize)
            startValues();
        return;
    case Part::Values:
        offset += n;
        while (part == Part::Values && offset == values[column].size() * sizeof(double)) {
            offset = 0;
            if (++column == values.size())
                part = Part::Done;
        }
        return;
    case Part::Done:
        why = QStringLiteral("stray bytes after the last column");
        return;
    }
}

// The head is complete: a fault report follows, or columns of the size it
// announces, allocated only once that size is known to be within the limit.
void Hdf5ReplyReader::startValues()
{
    Reader in(head);
    if (!in.magic(replyMagic)) {
        why = QStringLiteral("it does not start with the reply signature");
        return;
    }
    const quint8 fault = in.get<quint8>();
    if (fault >= hdf5FaultCount) {
        why = QStringLiteral("unknown fault code %1").arg(fault);
        return;
    }
    if (Hdf5Fault(fault) != Hdf5Fault::None) {
        part = Part::Report;
        return;
    }
    const quint32 count = in.get<quint32>();
    const quint64 rows = in.get<quint64>();
    if (count != columns)
        why = QStringLiteral("%1 columns where %2 were asked for").arg(count).arg(columns);
    else if (count == 0 && rows != 0)
        why = QStringLiteral("%1 rows without columns").arg(rows);
    else if (count && rows > maxValues / count) // rows * count could overflow
        why = QStringLiteral("%1 rows of %2 columns exceed the limit of %3 values")
                  .arg(rows)
                  .arg(count)
                  .arg(maxValues);
    if (failed())
        return;
    values.assign(count, std::vector<double>(std::size_t(rows)));
    part = rows == 0 || count == 0 ? Part::Done : Part::Values;
}

void Hdf5ReplyReader::feed(const char *data, std::size_t size)
{
    while (size > 0 && !failed()) {
        std::size_t space = 0;
        char *to = room(space);
        const std::size_t n = qMin(space, size);
        std::memcpy(to, data, n);
        advance(n);
        data += n, size -= n;
    }
}

QString Hdf5ReplyReader::finish(Hdf5Reply &reply)
{
    reply = Hdf5Reply();
    if (!failed() && part == Part::Head)
        why = QStringLiteral("it ends after %1 bytes, within the head").arg(head.size());
    else if (!failed() && part == Part::Values)
        why = QStringLiteral("it ends within column %1 of %2").arg(column + 1).arg(values.size());
    if (!failed() && part == Part::Report) {
        Reader in(head);
        in.magic(replyMagic);
        reply.fault = Hdf5Fault(in.get<quint8>());
        why = decodeFault(in, reply);
    }
    if (failed()) {
        // Nothing of a refused reply is kept, and it never passes for success.
        reply = Hdf5Reply();
        reply.fault = Hdf5Fault::CannotRead;
        return why;
    }
    reply.columns = std::move(values);
    return QString();
}

QString decodeHdf5Reply(const QByteArray &bytes, std::size_t expectedColumns, quint64 maxValues,
                        Hdf5Reply &reply)
{
    Hdf5ReplyReader reader(expectedColumns, maxValues);
    reader.feed(bytes.constData(), std::size_t(bytes.size()));
    return reader.finish(reply);
}
