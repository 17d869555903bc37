// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5writer.h"
#include "hdf5handle.h"

#include <QFile>

#include <cstdint>
#include <vector>

namespace {

Hdf5Reply failure(Hdf5Fault kind, const QString &object)
{
    Hdf5Reply r;
    r.fault = kind;
    r.dataset = object;
    r.detail = hdf5LibraryDetail();
    return r;
}

// Rows per chunk of a computed column: 128 KiB of doubles, a size the library
// reads and writes efficiently, and little waste for a scan of a few points.
constexpr hsize_t chunkRows = 16384;

struct CopyState
{
    hid_t to;
    QByteArray skip; // the computed columns' group: replaced, not copied
    QString failed; // the object that could not be copied
};

// Copies one link of the scan's root: an object with everything below it and
// its attributes; a soft or external link as the same link.
herr_t copyLink(hid_t from, const char *name, const H5L_info_t *info, void *data)
{
    auto *state = static_cast<CopyState *>(data);
    if (state->skip == name)
        return 0;
    herr_t done = -1;
    if (info->type == H5L_TYPE_HARD) {
        done = H5Ocopy(from, name, state->to, name, H5P_DEFAULT, H5P_DEFAULT);
    } else if (info->type == H5L_TYPE_SOFT || info->type == H5L_TYPE_EXTERNAL) {
        std::vector<char> value(info->u.val_size + 1);
        done = H5Lget_val(from, name, value.data(), value.size(), H5P_DEFAULT);
        const char *file = nullptr;
        const char *object = value.data();
        if (done >= 0 && info->type == H5L_TYPE_EXTERNAL)
            done = H5Lunpack_elink_val(value.data(), info->u.val_size, nullptr, &file, &object);
        if (done >= 0)
            done = info->type == H5L_TYPE_SOFT
                    ? H5Lcreate_soft(object, state->to, name, H5P_DEFAULT, H5P_DEFAULT)
                    : H5Lcreate_external(file, object, state->to, name, H5P_DEFAULT, H5P_DEFAULT);
    }
    if (done < 0)
        state->failed = QLatin1Char('/') + QString::fromUtf8(name);
    return done < 0 ? -1 : 0;
}

// The root group's own attributes (file name, creator, NeXus default): the
// library copies those of every other object with it.
herr_t copyAttribute(hid_t from, const char *name, const H5A_info_t *, void *data)
{
    const hid_t to = *static_cast<hid_t *>(data);
    Handle attribute(H5Aopen(from, name, H5P_DEFAULT), H5Aclose);
    Handle type(H5Aget_type(attribute.id()), H5Tclose);
    Handle space(H5Aget_space(attribute.id()), H5Sclose);
    if (!attribute.valid() || !type.valid() || !space.valid())
        return -1;
    Handle memType(H5Tget_native_type(type.id(), H5T_DIR_ASCEND), H5Tclose);
    const hssize_t points = H5Sget_simple_extent_npoints(space.id());
    const std::size_t size = memType.valid() ? H5Tget_size(memType.id()) : 0;
    // An attribute is small; a larger one is a damaged file's claim.
    if (points < 0 || size == 0 || std::uint64_t(points) * size > (std::uint64_t(1) << 24))
        return -1;
    std::vector<char> value(std::size_t(points) * size + 1);
    if (H5Aread(attribute.id(), memType.id(), value.data()) < 0)
        return -1;
    Handle copy(H5Acreate2(to, name, type.id(), space.id(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const herr_t written = copy.valid() ? H5Awrite(copy.id(), memType.id(), value.data()) : -1;
    H5Dvlen_reclaim(memType.id(), space.id(), H5P_DEFAULT, value.data());
    return written < 0 ? -1 : 0;
}

Hdf5Reply copyScan(hid_t from, hid_t to, const QByteArray &group)
{
    CopyState state { to, group.mid(group.startsWith('/') ? 1 : 0), QString() };
    if (H5Literate(from, H5_INDEX_NAME, H5_ITER_INC, nullptr, copyLink, &state) < 0)
        return failure(Hdf5Fault::CannotRead, state.failed.isEmpty() ? QStringLiteral("/")
                                                                     : state.failed);
    hid_t target = to;
    if (H5Aiterate2(from, H5_INDEX_NAME, H5_ITER_INC, nullptr, copyAttribute, &target) < 0)
        return failure(Hdf5Fault::CannotRead, QStringLiteral("the attributes of /"));
    return Hdf5Reply();
}

// One computed column: 1-D, growing by a block at a time.
Handle createColumn(hid_t group, const Hdf5OutputColumn &c)
{
    const hsize_t start = 0, unlimited = H5S_UNLIMITED;
    Handle space(H5Screate_simple(1, &start, &unlimited), H5Sclose);
    Handle dcpl(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    H5Pset_chunk(dcpl.id(), 1, &chunkRows);
    const hid_t type = c.kind == Hdf5ColumnKind::Flag ? H5T_STD_U8LE : H5T_IEEE_F64LE;
    // Rows arrive in order, so a chunk is complete once the next one is begun:
    // a cache of two chunks per column keeps memory flat for any number of
    // columns (the default of 1 MiB each would not, for hundreds).
    Handle dapl(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
    H5Pset_chunk_cache(dapl.id(), 7, 2 * chunkRows * sizeof(double), 1.0);
    const QByteArray name = c.name.toUtf8();
    return Handle(H5Dcreate2(group, name.constData(), type, space.id(), H5P_DEFAULT, dcpl.id(),
                             dapl.id()),
                  H5Dclose);
}

bool appendRows(hid_t dataset, hsize_t first, hsize_t rows, const double *values)
{
    const hsize_t size = first + rows;
    if (H5Dset_extent(dataset, &size) < 0)
        return false;
    Handle fileSpace(H5Dget_space(dataset), H5Sclose);
    Handle memSpace(H5Screate_simple(1, &rows, nullptr), H5Sclose);
    return fileSpace.valid() && memSpace.valid()
            && H5Sselect_hyperslab(fileSpace.id(), H5S_SELECT_SET, &first, nullptr, &rows, nullptr)
            >= 0
            && H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memSpace.id(), fileSpace.id(), H5P_DEFAULT,
                        values)
            >= 0;
}

// A block is at most this many values: the caller sends a few thousand rows.
constexpr std::uint64_t maxBlockValues = std::uint64_t(1) << 25;

Hdf5Reply writeColumns(hid_t file, const Hdf5WriteJob &job, const Hdf5ByteReader &read)
{
    const QByteArray groupName = job.group.toUtf8();
    Handle group(H5Gcreate2(file, groupName.constData(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                 H5Gclose);
    if (!group.valid())
        return failure(Hdf5Fault::CannotWrite, job.group);
    std::vector<Handle> datasets;
    for (const Hdf5OutputColumn &c : job.columns) {
        datasets.push_back(createColumn(group.id(), c));
        if (!datasets.back().valid())
            return failure(Hdf5Fault::CannotWrite, job.group + QLatin1Char('/') + c.name);
    }
    std::vector<double> block;
    for (hsize_t written = 0;;) {
        std::uint64_t rows = 0;
        if (!read(reinterpret_cast<char *>(&rows), sizeof rows))
            return failure(Hdf5Fault::CannotWrite, QStringLiteral("the computed columns"));
        if (rows == 0)
            return Hdf5Reply();
        if (rows > maxBlockValues / std::max<std::size_t>(1, job.columns.size()))
            return failure(Hdf5Fault::CannotWrite, QStringLiteral("a block too large"));
        block.resize(std::size_t(rows) * job.columns.size());
        if (!read(reinterpret_cast<char *>(block.data()), block.size() * sizeof(double)))
            return failure(Hdf5Fault::CannotWrite, QStringLiteral("the computed columns"));
        for (std::size_t c = 0; c < datasets.size(); ++c) {
            if (!appendRows(datasets[c].id(), written, rows, block.data() + c * rows))
                return failure(Hdf5Fault::CannotWrite,
                               job.group + QLatin1Char('/') + job.columns[c].name);
        }
        written += rows;
    }
}

} // namespace

Hdf5Reply writeHdf5InProcess(const Hdf5WriteJob &job, const Hdf5ByteReader &read)
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const QByteArray scanPath = QFile::encodeName(job.scan);
    const QByteArray outputPath = QFile::encodeName(job.output);
    if (H5Fis_hdf5(scanPath.constData()) <= 0)
        return failure(Hdf5Fault::CannotOpen, QString());
    Handle scan(H5Fopen(scanPath.constData(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
    if (!scan.valid())
        return failure(Hdf5Fault::CannotOpen, QString());
    Handle output(H5Fcreate(outputPath.constData(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT),
                  H5Fclose);
    if (!output.valid())
        return failure(Hdf5Fault::CannotWrite, job.output);
    Hdf5Reply reply = copyScan(scan.id(), output.id(), job.group.toUtf8());
    if (reply.fault == Hdf5Fault::None)
        reply = writeColumns(output.id(), job, read);
    if (reply.fault == Hdf5Fault::None && H5Fflush(output.id(), H5F_SCOPE_GLOBAL) < 0)
        return failure(Hdf5Fault::CannotWrite, job.output);
    return reply;
}
