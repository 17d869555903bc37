// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder of the HDF5 helper's reply: the bytes come from a process that a
// crafted file may have taken over. The first input byte is the number of
// columns asked for (0-7), the rest the reply. A reply accepted with columns
// must hold that many, all of one length within the value limit, and encode
// back to the very same bytes; read in pieces, it must decode the same.
#include "fuzzsupport.h"
#include "hdf5reply.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > (std::size_t(1) << 20))
        return 0;
    const std::size_t columns = data[0] % 8;
    const QByteArray bytes = inputBytes(data + 1, size - 1);
    const quint64 maxValues = 4096;

    Hdf5Reply reply;
    const QString why = decodeHdf5Reply(bytes, columns, maxValues, reply);
    if (!why.isEmpty()) {
        if (reply.fault == Hdf5Fault::None || !reply.columns.empty())
            fail("a refused reply passes for columns", why);
    } else if (reply.fault == Hdf5Fault::None) {
        if (reply.columns.size() != columns)
            fail("accepted reply with another column count", QString::number(reply.columns.size()));
        for (const auto &c : reply.columns) {
            if (c.size() != reply.columns.front().size() || c.size() * columns > maxValues)
                fail("accepted columns of unequal or excessive length", QString::number(c.size()));
        }
        if (encodeHdf5Reply(reply) != bytes)
            fail("accepted reply does not encode back to its bytes", QString());
    } else if (!reply.columns.empty()) {
        fail("a fault report carries columns", QString());
    }

    // Arriving in pieces (of sizes taken from the bytes themselves) changes nothing.
    Hdf5ReplyReader reader(columns, maxValues, 4096);
    for (std::size_t at = 0; at < std::size_t(bytes.size());) {
        const std::size_t piece = 1 + std::uint8_t(bytes[int(at)]) % 61;
        const std::size_t n = std::min(piece, std::size_t(bytes.size()) - at);
        reader.feed(bytes.constData() + at, n);
        at += n;
    }
    Hdf5Reply pieces;
    const QString piecesWhy = reader.finish(pieces);
    // Compared as encoded: a NaN is not equal to itself.
    if (piecesWhy.isEmpty() != why.isEmpty() || encodeHdf5Reply(pieces) != encodeHdf5Reply(reply))
        fail("the reply read in pieces differs", why + QStringLiteral(" / ") + piecesWhy);

    // The job decoder reads what the helper is given; the same rules hold there.
    Hdf5Job job;
    if (decodeHdf5Job(bytes, job) && job.requests.size() > bytes.size() / 8u)
        fail("job with more requests than its bytes can hold", QString());

    // So does the header of a write job: accepted, it encodes to a header that
    // decodes to the same job (not always to its bytes: text that is not UTF-8
    // is read with replacement characters).
    Hdf5WriteJob write;
    if (decodeHdf5WriteHeader(bytes, write)) {
        const QByteArray encoded = encodeHdf5WriteJob(write).mid(hdf5MagicSize + 4);
        Hdf5WriteJob again;
        if (!decodeHdf5WriteHeader(encoded, again)
            || encodeHdf5WriteJob(again).mid(hdf5MagicSize + 4) != encoded)
            fail("an accepted write header does not survive encoding", QString());
    }
    return 0;
}
