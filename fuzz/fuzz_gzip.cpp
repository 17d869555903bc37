// SPDX-License-Identifier: GPL-3.0-or-later
// The gzip path on any bytes: decompressing them must end in content or a
// reason, never both, within its size bound. The same bytes compressed here
// must decompress to themselves, and a file loaded compressed must give what
// it gives uncompressed: the same report, points and debug lines.
#include "fuzzsupport.h"
#include "gzipfile.h"
#include "hdf5columns.h"
#include "loader.h"
#include "pointset.h"

#include <QBuffer>

#include <zlib.h>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

constexpr qint64 maxContent = qint64(16) << 20;

QByteArray gzipped(const QByteArray &bytes)
{
    z_stream z {};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(bytes.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray decompress(const QByteArray &bytes, QString &error)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return gunzip(buffer, maxContent, error);
}

struct Load
{
    FileReport report;
    PointSet points;
    QStringList trace;
};

void load(const QByteArray &file, Load &out)
{
    LoadOptions options;
    options.unrecognised = LoadOptions::Unrecognised::Refuse;
    out.report = loadMeasurementFiles(
                     { scratchFile(file) }, out.points,
                     [&out](const QString &line) { out.trace.append(line); }, options)
                     .first();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 20))
        return 0;
    const QByteArray input = inputBytes(data, size);
    QString error;
    const QByteArray content = decompress(input, error);
    if (!error.isEmpty() && !content.isEmpty())
        fail("content and an error", error);
    if (content.size() > maxContent)
        fail("content beyond the bound", QString::number(content.size()));

    const QByteArray packed = gzipped(input);
    QString roundError;
    if (decompress(packed, roundError) != input || !roundError.isEmpty())
        fail("a gzip stream that does not decompress to its content", roundError);

    // A file that starts as gzip is itself read through gzip, and an HDF5 file
    // is read by its helper from the file, which a compressed one is not: the
    // plain file is compared only when it is neither.
    if (looksGzip(input) || looksLikeHdf5(input.left(hdf5SignatureReach)))
        return 0;
    Load plain, compressed;
    load(input, plain);
    load(packed, compressed);
    if (plain.trace != compressed.trace)
        fail("other debug lines through gzip", compressed.trace.join(QLatin1Char('\n')));
    if (plain.report.error != compressed.report.error
        || plain.report.looksLike != compressed.report.looksLike
        || plain.report.points != compressed.report.points
        || plain.report.warnings != compressed.report.warnings)
        fail("another report through gzip", compressed.report.error);
    if (plain.points.size() != compressed.points.size())
        fail("other points through gzip", QString::number(compressed.points.size()));
    for (int p = 0; p < plain.points.size(); ++p) {
        const auto &a = plain.points.at(p);
        const auto &b = compressed.points.at(p);
        if (!sameDouble(a.i0, b.i0) || !sameDoubles(a.icrs, b.icrs) || !sameDoubles(a.scas, b.scas))
            fail("another point through gzip", show(b.i0));
    }
    return 0;
}
