// SPDX-License-Identifier: GPL-3.0-or-later
// The decoder of the HDF5 helper's reply: the bytes come from a process that a
// crafted file may have taken over. The first input byte is the number of
// columns asked for (0-7), the rest the reply. A reply accepted with columns
// must hold that many, all of one length within the value limit, and encode
// back to the very same bytes; the announced size must be its size.
#include "fuzzsupport.h"
#include "hdf5reply.h"

#include <QByteArray>

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
        if (hdf5ReplySize(bytes) != bytes.size())
            fail("announced size differs from the reply's", QString::number(hdf5ReplySize(bytes)));
    } else if (!reply.columns.empty()) {
        fail("a fault report carries columns", QString());
    }

    // The job decoder reads what the helper is given; the same rules hold there.
    Hdf5Job job;
    if (decodeHdf5Job(bytes, job) && job.requests.size() > bytes.size() / 8u)
        fail("job with more requests than its bytes can hold", QString());
    return 0;
}
