// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5reader.h"
#include "hdf5handle.h"

#include <hdf5.h>

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// The innermost message of the library's error stack: the cause rather than the
// chain of calls that passed it on ("truncated file: eof = 4096, ...").
} // namespace

QString hdf5LibraryDetail()
{
    QString deepest;
    H5Ewalk2(
        H5E_DEFAULT, H5E_WALK_DOWNWARD,
        [](unsigned, const H5E_error2_t *e, void *data) -> herr_t {
            if (e && e->desc && *e->desc)
                *static_cast<QString *>(data) = QString::fromUtf8(e->desc);
            return 0;
        },
        &deepest);
    H5Eclear2(H5E_DEFAULT);
    return deepest.isEmpty() ? QStringLiteral("no reason given") : deepest;
}

namespace {

Hdf5Reply fault(Hdf5Fault kind, const QString &dataset = QString(), qint64 found = 0,
                qint64 limit = 0)
{
    Hdf5Reply r;
    r.fault = kind;
    r.dataset = dataset;
    r.found = found;
    r.limit = limit;
    if (kind == Hdf5Fault::CannotOpen || kind == Hdf5Fault::CannotRead)
        r.detail = hdf5LibraryDetail();
    return r;
}

// One dataset and the requests that take columns from it.
struct Source
{
    QString path;
    std::vector<std::size_t> requests; // indexes into the job's requests
    Handle dataset { H5I_INVALID_HID, H5Dclose };
    int rank = 0;
    // Of three or more dimensions: the extent of each; rows counts the
    // values of one slice along the first axis, width the slices.
    std::vector<hsize_t> dims;
    hsize_t rows = 0;
    hsize_t width = 1;
    hsize_t chunkRows = 0; // 0: not chunked
    hsize_t first = 0, count = 0; // the rows asked for, within rows
    std::size_t valueBytes = 0; // of one value as stored
};

// Bounds a damaged file cannot make the library allocate past: no number is
// wider than 16 bytes (long double), and no sensible chunk holds more than
// 256 MiB.
constexpr std::size_t maxValueBytes = 16;
constexpr hsize_t maxChunkBytes = hsize_t(256) << 20;

Hdf5Reply damaged(const QString &dataset, const QString &what)
{
    Hdf5Reply r;
    r.fault = Hdf5Fault::CannotRead;
    r.dataset = dataset;
    r.detail = what;
    H5Eclear2(H5E_DEFAULT);
    return r;
}

std::vector<Source> groupBySource(const Hdf5Job &job)
{
    std::vector<Source> sources;
    for (std::size_t i = 0; i < job.requests.size(); ++i) {
        const QString &path = job.requests[i].dataset;
        auto it = std::find_if(sources.begin(), sources.end(),
                               [&path](const Source &s) { return s.path == path; });
        if (it == sources.end()) {
            sources.emplace_back();
            it = sources.end() - 1;
            it->path = path;
        }
        it->requests.push_back(i);
    }
    return sources;
}

enum class Link { Found, Missing, Damaged };

// Follows path link by link, so that a missing dataset (or one below a
// dataset rather than a group) is told apart from a group the library fails
// to read. group is the last group on the way that exists.
Link findLink(hid_t file, const QByteArray &path, QByteArray &group)
{
    group = "/";
    if (path.isEmpty())
        return Link::Missing;
    for (int slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (part.endsWith('/'))
            continue;
        const htri_t exists = H5Lexists(file, part.constData(), H5P_DEFAULT);
        if (exists <= 0)
            return exists == 0 ? Link::Missing : Link::Damaged;
        if (slash < 0)
            return Link::Found;
        H5O_info_t info;
        if (H5Oget_info_by_name2(file, part.constData(), &info, H5O_INFO_BASIC, H5P_DEFAULT) < 0)
            return Link::Damaged;
        if (info.type != H5O_TYPE_GROUP)
            return Link::Missing;
        group = part;
    }
}

// The first names in group, for a message that says what is there instead of
// a missing dataset: a recipe's dataset path is typed by hand.
QString namesIn(hid_t file, const QByteArray &group)
{
    constexpr int shown = 12;
    QStringList names;
    H5Literate_by_name(
        file, group.constData(), H5_INDEX_NAME, H5_ITER_INC, nullptr,
        [](hid_t, const char *name, const H5L_info_t *, void *data) -> herr_t {
            auto *list = static_cast<QStringList *>(data);
            list->append(QString::fromUtf8(name));
            return list->size() > shown ? 1 : 0;
        },
        &names, H5P_DEFAULT);
    H5Eclear2(H5E_DEFAULT);
    if (names.size() > shown) {
        names.erase(names.begin() + shown, names.end());
        names.append(QStringLiteral("..."));
    }
    return names.join(QStringLiteral(", "));
}

const char *className(H5T_class_t c)
{
    switch (c) {
    case H5T_STRING:
        return "string";
    case H5T_COMPOUND:
        return "compound";
    case H5T_ENUM:
        return "enum";
    case H5T_ARRAY:
        return "array";
    case H5T_VLEN:
        return "variable-length";
    case H5T_REFERENCE:
        return "reference";
    case H5T_OPAQUE:
        return "opaque";
    case H5T_BITFIELD:
        return "bitfield";
    case H5T_TIME:
        return "time";
    default:
        return "unknown";
    }
}

Hdf5Reply openSource(hid_t file, Source &s)
{
    const QByteArray path = s.path.toUtf8();
    QByteArray group;
    switch (findLink(file, path, group)) {
    case Link::Missing: {
        H5Eclear2(H5E_DEFAULT);
        Hdf5Reply r = fault(Hdf5Fault::NoDataset, s.path);
        r.otherDataset = QString::fromUtf8(group);
        r.detail = namesIn(file, group);
        return r;
    }
    case Link::Damaged:
        return fault(Hdf5Fault::CannotRead, s.path);
    case Link::Found:
        break;
    }
    H5O_info_t info;
    if (H5Oget_info_by_name2(file, path.constData(), &info, H5O_INFO_BASIC, H5P_DEFAULT) < 0)
        return fault(Hdf5Fault::CannotRead, s.path);
    if (info.type != H5O_TYPE_DATASET) {
        H5Eclear2(H5E_DEFAULT);
        return fault(Hdf5Fault::NotDataset, s.path);
    }
    s.dataset = Handle(H5Dopen2(file, path.constData(), H5P_DEFAULT), H5Dclose);
    if (!s.dataset.valid())
        return fault(Hdf5Fault::CannotRead, s.path);
    Handle type(H5Dget_type(s.dataset.id()), H5Tclose);
    const H5T_class_t cls = type.valid() ? H5Tget_class(type.id()) : H5T_NO_CLASS;
    if (cls == H5T_NO_CLASS)
        return fault(Hdf5Fault::CannotRead, s.path);
    if (cls != H5T_INTEGER && cls != H5T_FLOAT) {
        Hdf5Reply r = fault(Hdf5Fault::NotNumeric, s.path);
        r.detail = QLatin1String(className(cls));
        return r;
    }
    s.valueBytes = H5Tget_size(type.id());
    if (s.valueBytes == 0 || s.valueBytes > maxValueBytes)
        return damaged(s.path, QStringLiteral("numbers of %1 bytes").arg(s.valueBytes));
    return Hdf5Reply();
}

// Chunks and storage within reason: a damaged chunk index can claim
// gigabytes for a chunk, which the library would allocate before reading.
Hdf5Reply readChunking(Source &s, hsize_t fileSize)
{
    Handle dcpl(H5Dget_create_plist(s.dataset.id()), H5Pclose);
    const H5D_layout_t layout = dcpl.valid() ? H5Pget_layout(dcpl.id()) : H5D_LAYOUT_ERROR;
    hsize_t chunk[H5S_MAX_RANK] = {};
    const int rank = layout == H5D_CHUNKED ? H5Pget_chunk(dcpl.id(), H5S_MAX_RANK, chunk) : 0;
    // Data in this file (not in external files or other files' datasets) fit in it.
    const bool inFile = (layout == H5D_CHUNKED || layout == H5D_CONTIGUOUS)
        && H5Pget_external_count(dcpl.id()) == 0;
    const hsize_t stored = inFile ? H5Dget_storage_size(s.dataset.id()) : 0;
    H5Eclear2(H5E_DEFAULT);
    if (stored > fileSize)
        return damaged(s.path,
                       QStringLiteral("its data would take %1 bytes of a file of %2")
                           .arg(stored)
                           .arg(fileSize));
    hsize_t bytes = s.valueBytes;
    for (int d = 0; d < rank; ++d) {
        if (chunk[d] == 0 || chunk[d] > maxChunkBytes / bytes)
            return damaged(s.path,
                           QStringLiteral("chunks of more than %1 bytes").arg(maxChunkBytes));
        bytes *= chunk[d];
    }
    if (s.rank == 2 && rank == 2)
        s.chunkRows = chunk[0];
    return Hdf5Reply();
}

Hdf5Reply readShape(Source &s, const Hdf5Job &job, hsize_t fileSize)
{
    Handle space(H5Dget_space(s.dataset.id()), H5Sclose);
    const int rank = space.valid() ? H5Sget_simple_extent_ndims(space.id()) : -1;
    if (rank < 0)
        return fault(Hdf5Fault::CannotRead, s.path);
    hsize_t dims[H5S_MAX_RANK] = {};
    H5Sget_simple_extent_dims(space.id(), dims, nullptr);
    s.rank = rank;
    s.rows = rank > 0 ? dims[0] : 0;
    s.width = rank == 2 ? dims[1] : 1;
    if (rank >= 3) {
        // A map of elements x rows x columns: a slice is one element's.
        s.dims.assign(dims, dims + rank);
        s.width = dims[0];
        s.rows = 1;
        for (int d = 1; d < rank; ++d) {
            if (dims[d] != 0 && s.rows > (hsize_t(1) << 48) / dims[d])
                return damaged(s.path, QStringLiteral("slices of more than 2^48 values"));
            s.rows *= dims[d];
        }
    }
    for (std::size_t i : s.requests) {
        const int column = job.requests[i].column;
        if ((column < 0 && rank != 1) || (column >= 0 && rank < 2))
            return fault(Hdf5Fault::WrongRank, s.path, rank, column);
        if (column >= 0 && hsize_t(column) >= s.width)
            return fault(Hdf5Fault::NoSuchColumn, s.path, column, qint64(s.width));
    }
    return readChunking(s, fileSize);
}

// Reads rows [first, first + count) of columns [column, column + columns) of
// the 2-D dataset into buffer, row after row: whole rows (0, width) or one
// column (c, 1); of a 1-D dataset, the rows alone.
bool readBlock(const Source &s, hsize_t first, hsize_t count, hsize_t column, hsize_t columns,
               double *buffer)
{
    Handle fileSpace(H5Dget_space(s.dataset.id()), H5Sclose);
    const hsize_t start[2] = { first, column };
    const hsize_t size[2] = { count, columns };
    Handle memSpace(H5Screate_simple(s.rank == 1 ? 1 : 2, size, nullptr), H5Sclose);
    return fileSpace.valid() && memSpace.valid()
        && H5Sselect_hyperslab(fileSpace.id(), H5S_SELECT_SET, start, nullptr, size, nullptr) >= 0
        && H5Dread(s.dataset.id(), H5T_NATIVE_DOUBLE, memSpace.id(), fileSpace.id(), H5P_DEFAULT,
                   buffer)
        >= 0;
}

// Rows per block: about 512 KiB of doubles (a block stays in the processor's
// cache while it is taken apart), and whole chunks where the dataset is
// chunked, so that no chunk is decompressed twice.
hsize_t blockRows(const Source &s, hsize_t columns)
{
    const hsize_t target = std::max<hsize_t>(1, (hsize_t(1) << 16) / columns);
    if (s.chunkRows == 0 || s.chunkRows > (hsize_t(1) << 22) / columns)
        return target;
    return std::max<hsize_t>(1, target / s.chunkRows) * s.chunkRows;
}

bool readRows(const Source &s, const Hdf5Job &job, Hdf5Reply &out)
{
    const hsize_t step = blockRows(s, s.width);
    std::vector<double> block(std::size_t(step * s.width));
    std::vector<std::size_t> from;
    std::vector<double *> to;
    for (std::size_t i : s.requests) {
        from.push_back(std::size_t(job.requests[i].column));
        to.push_back(out.columns[i].data());
    }
    const hsize_t end = s.first + s.count;
    for (hsize_t first = s.first; first < end; first += step) {
        const hsize_t count = std::min(step, end - first);
        if (!readBlock(s, first, count, 0, s.width, block.data()))
            return false;
        // Row by row, so that the block is read in order while it is in the cache.
        for (hsize_t r = 0; r < count; ++r) {
            const double *row = block.data() + r * s.width;
            for (std::size_t k = 0; k < from.size(); ++k)
                to[k][first - s.first + r] = row[from[k]];
        }
    }
    return true;
}

// Few columns of a wide dataset: each straight into its column, a block of
// rows at a time so that the chunks of the block stay in the chunk cache.
bool readColumns(Source &s, const Hdf5Job &job, Hdf5Reply &out)
{
    // A chunk cache that holds the chunks of a block of rows, so that reading
    // one column after the other decompresses each chunk once. (Whole rows
    // need none: each chunk is read once anyway.)
    if (s.chunkRows) {
        Handle dapl(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
        H5Pset_chunk_cache(dapl.id(), 1021, 16 << 20, 1.0);
        const QByteArray path = s.path.toUtf8();
        Handle file(H5Iget_file_id(s.dataset.id()), H5Fclose);
        s.dataset = Handle(H5Dopen2(file.id(), path.constData(), dapl.id()), H5Dclose);
        if (!s.dataset.valid())
            return false;
    }
    const hsize_t step = blockRows(s, s.width);
    const hsize_t end = s.first + s.count;
    for (hsize_t first = s.first; first < end; first += step) {
        const hsize_t count = std::min(step, end - first);
        for (std::size_t i : s.requests) {
            const hsize_t column = hsize_t(job.requests[i].column);
            double *to = out.columns[i].data() + (first - s.first);
            if (!readBlock(s, first, count, column, 1, to))
                return false;
        }
    }
    return true;
}

// Slice c of a dataset of three or more dimensions is every value of index c
// along the first axis, in row-major order, one point each: a map of
// elements x rows x columns gives an element's pixels line by line. The
// points wanted are read a line of the last axis at a time.
bool readSlices(const Source &s, const Hdf5Job &job, Hdf5Reply &out)
{
    const int rank = s.rank;
    const hsize_t line = s.dims[std::size_t(rank - 1)];
    const hsize_t end = s.first + s.count;
    Handle fileSpace(H5Dget_space(s.dataset.id()), H5Sclose);
    if (!fileSpace.valid())
        return false;
    for (std::size_t i : s.requests) {
        hsize_t start[H5S_MAX_RANK] = {};
        hsize_t size[H5S_MAX_RANK] = {};
        start[0] = hsize_t(job.requests[i].column);
        for (hsize_t flat = s.first; flat < end;) {
            hsize_t rest = flat;
            for (int d = rank - 1; d >= 1; --d) {
                start[d] = rest % s.dims[std::size_t(d)];
                rest /= s.dims[std::size_t(d)];
                size[d] = 1;
            }
            size[0] = 1;
            size[rank - 1] = std::min(line - start[rank - 1], end - flat);
            Handle memSpace(H5Screate_simple(1, &size[rank - 1], nullptr), H5Sclose);
            if (!memSpace.valid()
                || H5Sselect_hyperslab(fileSpace.id(), H5S_SELECT_SET, start, nullptr, size,
                                       nullptr)
                        < 0
                || H5Dread(s.dataset.id(), H5T_NATIVE_DOUBLE, memSpace.id(), fileSpace.id(),
                           H5P_DEFAULT, out.columns[i].data() + (flat - s.first))
                        < 0)
                return false;
            flat += size[rank - 1];
        }
    }
    return true;
}

bool readSource(Source &s, const Hdf5Job &job, Hdf5Reply &out)
{
    for (std::size_t i : s.requests)
        out.columns[i].resize(std::size_t(s.count));
    if (s.count == 0)
        return true;
    if (s.rank >= 3)
        return readSlices(s, job, out);
    if (s.rank == 1) {
        // The whole dataset in one read where it is wanted whole, a range of
        // it where a long scan is read a block at a time.
        std::vector<double> &first = out.columns[s.requests.front()];
        const bool whole = s.first == 0 && s.count == s.rows;
        if (whole ? H5Dread(s.dataset.id(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                            first.data())
                        < 0
                  : !readBlock(s, s.first, s.count, 0, 1, first.data()))
            return false;
        for (std::size_t i : s.requests)
            out.columns[i] = first;
        return true;
    }
    // Whole rows when at least half of them is wanted: one pass over the data.
    return s.width <= 2 * s.requests.size() ? readRows(s, job, out) : readColumns(s, job, out);
}

Hdf5Reply checkSources(hid_t file, std::vector<Source> &sources, const Hdf5Job &job)
{
    hsize_t fileSize = 0;
    H5Fget_filesize(file, &fileSize);
    for (Source &s : sources) {
        Hdf5Reply r = openSource(file, s);
        if (r.fault == Hdf5Fault::None)
            r = readShape(s, job, fileSize);
        if (r.fault != Hdf5Fault::None)
            return r;
        const Source &first = sources.front();
        if (s.rows != first.rows) {
            r = fault(Hdf5Fault::LengthMismatch, s.path, qint64(s.rows), qint64(first.rows));
            r.otherDataset = first.path;
            return r;
        }
    }
    const hsize_t all = sources.empty() ? 0 : sources.front().rows;
    const hsize_t first = std::min<hsize_t>(job.firstRow, all);
    const hsize_t rows = std::min<hsize_t>(job.rowCount, all - first);
    for (Source &s : sources) {
        s.first = first;
        s.count = rows;
    }
    const hsize_t count = job.requests.size();
    if (count && rows > job.maxValues / count) {
        const qint64 needed = rows > hsize_t(INT64_MAX) / count ? INT64_MAX : qint64(rows * count);
        return fault(Hdf5Fault::TooLarge, QString(), needed, qint64(job.maxValues));
    }
    return Hdf5Reply();
}

} // namespace

Hdf5Reply readHdf5InProcess(const Hdf5Job &job)
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    // The file name as the system spells it (as QFile opened it in the caller).
    const QByteArray path = QFile::encodeName(job.file);
    const htri_t isHdf5 = H5Fis_hdf5(path.constData());
    if (isHdf5 == 0)
        return fault(Hdf5Fault::NotHdf5);
    if (isHdf5 < 0)
        return fault(Hdf5Fault::CannotOpen);
    Handle file(H5Fopen(path.constData(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
    if (!file.valid())
        return fault(Hdf5Fault::CannotOpen);

    std::vector<Source> sources = groupBySource(job);
    Hdf5Reply reply = checkSources(file.id(), sources, job);
    if (reply.fault != Hdf5Fault::None)
        return reply;
    reply.columns.resize(job.requests.size());
    for (Source &s : sources) {
        if (!readSource(s, job, reply))
            return fault(Hdf5Fault::CannotRead, s.path);
    }
    return reply;
}
