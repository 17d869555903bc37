// SPDX-License-Identifier: GPL-3.0-or-later
// The column-file reader on any bytes: the header search and the row reader
// must not fail, and the rows must not depend on the block size they are
// read in (the first input byte chooses a small one), nor be ragged.
#include "columnfile.h"
#include "fuzzsupport.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

struct Rows
{
    std::vector<std::vector<double>> columns;
    std::vector<int> lines;
    int bad = 0;
};

Rows readAll(const QByteArray &bytes, int blockRows)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Rows rows;
    const ColumnHeader header = readColumnHeader(buffer);
    if (!header.ok())
        return rows;
    if (header.names.isEmpty())
        fail("a header with data but no names", QString());
    ColumnReader reader(buffer, header);
    ColumnBlock block;
    rows.columns.resize(size_t(header.names.size()));
    while (reader.readBlock(blockRows, block)) {
        if (block.rows() > blockRows)
            fail("a block larger than asked for", QString::number(block.rows()));
        for (size_t c = 0; c < block.columns.size(); ++c) {
            if (int(block.columns[c].size()) != block.rows())
                fail("a ragged block", QString::number(c));
            rows.columns[c].insert(rows.columns[c].end(), block.columns[c].begin(),
                                   block.columns[c].end());
        }
        rows.lines.insert(rows.lines.end(), block.lines.begin(), block.lines.end());
    }
    rows.bad = reader.badRowCount();
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > (std::size_t(1) << 22))
        return 0;
    const int blockRows = 1 + data[0] % 7;
    const QByteArray bytes = inputBytes(data + 1, size - 1);
    const Rows small = readAll(bytes, blockRows);
    const Rows whole = readAll(bytes, 1 << 20);
    if (small.lines != whole.lines || small.bad != whole.bad)
        fail("rows depend on the block size", QString::number(blockRows));
    for (size_t c = 0; c < whole.columns.size(); ++c) {
        for (size_t r = 0; r < whole.columns[c].size(); ++r) {
            if (!sameDouble(small.columns[c][r], whole.columns[c][r]))
                fail("values depend on the block size", show(whole.columns[c][r]));
        }
    }
    for (size_t r = 1; r < whole.lines.size(); ++r) {
        if (whole.lines[r] <= whole.lines[r - 1])
            fail("line numbers out of order", QString::number(whole.lines[r]));
    }
    return 0;
}
