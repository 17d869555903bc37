// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The conversation between readHdf5Columns() and the helper program that reads
// HDF5 files in a process of its own. The caller writes one job on the helper's
// standard input and closes it; the helper writes one reply on its standard
// output and exits with status 0. Both ends are the same build on the same
// machine, so numbers travel in native byte order.
//
//   job:   "RLH5J002" u64 maxValues, u64 firstRow, u64 rowCount, str file,
//          u32 n, n x (str dataset, i32 column)
//   reply: "RLH5R001" u8 fault, then for Hdf5Fault::None
//              u32 columns, u64 rows, columns x rows f64 (one column after the other)
//          and for any other fault
//              str dataset, str otherDataset, i64 found, i64 limit, str detail
//
// where str is a u32 byte count and that many bytes of UTF-8. Nothing may follow.
// The reply comes from a process that may have been subverted by the file it
// read, so its decoder trusts nothing in it.

// One column a recipe takes from an HDF5 file.
struct Hdf5Request
{
    QString name; // the column name the recipe uses, e.g. "OutputCounts_mca3"
    QString dataset; // dataset path, e.g. "/entry/xspress3/OutputCounts"
    int column = -1; // -1: a 1-D dataset; >= 0: that column of a 2-D (points x elements) dataset
};

enum class Hdf5Fault : std::uint8_t {
    None,
    NotHdf5, // the file has no HDF5 signature
    CannotOpen, // the library cannot open it: detail
    NoDataset, // dataset does not exist; otherDataset is the group nearest to it, detail its first
               // names
    NotDataset, // dataset names a group or another kind of object
    NotNumeric, // dataset holds values of the HDF5 class in detail
    WrongRank, // dataset has found dimensions; limit is the requested column (-1: none)
    NoSuchColumn, // column found requested of a dataset with limit columns
    LengthMismatch, // dataset has found points, otherDataset limit points
    CannotRead, // the library fails to read dataset: detail
    TooLarge, // the request needs found values, more than limit
    CannotWrite, // the library fails to write dataset (of the new file): detail
};
constexpr int hdf5FaultCount = int(Hdf5Fault::CannotWrite) + 1;

struct Hdf5Job
{
    QString file;
    std::vector<Hdf5Request> requests; // only dataset and column travel
    quint64 maxValues = 0; // refuse rather than read more values than this
    // The rows to read: [firstRow, firstRow + rowCount) as far as the datasets
    // reach, so that a long scan can be read a block at a time. A reply with
    // fewer rows than asked for holds the last of them.
    quint64 firstRow = 0;
    quint64 rowCount = ~quint64(0);
};

struct Hdf5Reply
{
    Hdf5Fault fault = Hdf5Fault::None;
    QString dataset;
    QString otherDataset;
    qint64 found = 0;
    qint64 limit = 0;
    QString detail;
    std::vector<std::vector<double>> columns; // for Hdf5Fault::None, one per request
};

QByteArray encodeHdf5Job(const Hdf5Job &job);
bool decodeHdf5Job(const QByteArray &bytes, Hdf5Job &job);

// Hands the reply to write in pieces (the columns as they lie in memory, without
// a copy); stops at the first piece write refuses and returns false then.
using Hdf5ByteWriter = std::function<bool(const char *data, std::size_t size)>;
bool writeHdf5Reply(const Hdf5Reply &reply, const Hdf5ByteWriter &write);
QByteArray encodeHdf5Reply(const Hdf5Reply &reply);

// Decodes a reply as it arrives, the values straight into their columns, so
// that a reply of a hundred megabytes is neither held twice nor copied twice.
// The caller asks for room, puts up to that many bytes there and says how
// many. The reply must hold expectedColumns columns of no more than maxValues
// values in all (checked before anything is allocated for them); a fault
// report may take up to reportLimit bytes.
class Hdf5ReplyReader
{
public:
    Hdf5ReplyReader(std::size_t expectedColumns, quint64 maxValues, int reportLimit = 1 << 20);
    char *room(std::size_t &size);
    void advance(std::size_t n);
    void feed(const char *data, std::size_t size); // room() and advance() over bytes at hand
    // Whether the bytes so far already make the reply malformed.
    bool failed() const { return !why.isEmpty(); }
    // After the last byte: an empty string and the reply, or what is wrong with
    // the bytes (for developers, not translated) and a reply with no columns
    // and fault CannotRead.
    QString finish(Hdf5Reply &reply);

private:
    enum class Part { Head, Report, Values, Done };
    void startValues();
    Part part = Part::Head;
    std::size_t columns;
    quint64 maxValues;
    int reportLimit;
    QByteArray head; // the fixed part, or the whole fault report
    std::size_t filled = 0; // bytes of head that arrived
    std::vector<std::vector<double>> values;
    std::size_t column = 0; // being filled
    std::size_t offset = 0; // bytes of it filled
    char scratch[64];
    QString why;
};

// The same on a whole reply.
QString decodeHdf5Reply(const QByteArray &bytes, std::size_t expectedColumns, quint64 maxValues,
                        Hdf5Reply &reply);

// The helper's second task: a new HDF5 file holding everything of a scan file
// (copied object by object, with their attributes) and, in a group of its
// own, columns the caller computed and sends a block of rows at a time:
//
//   write job: "RLH5W001" u32 header bytes, then the header
//                  str scan, str output, str group, u32 n, n x (str name, u8 kind)
//              then blocks: u64 rows, n x rows f64 (one column after the other),
//              until a block of 0 rows
//
// The helper answers with a reply of no columns once the file is complete, or
// with its fault; the output of a failed write is the caller's to remove.
enum class Hdf5ColumnKind : std::uint8_t {
    Value, // stored as 64-bit floating point
    Flag, // a small whole number, stored as an unsigned byte
};

struct Hdf5OutputColumn
{
    QString name;
    Hdf5ColumnKind kind = Hdf5ColumnKind::Value;
};

struct Hdf5WriteJob
{
    QString scan;
    QString output;
    QString group; // "/dtc": the group of the computed columns
    std::vector<Hdf5OutputColumn> columns;
};

extern const char hdf5WriteMagic[];
constexpr int hdf5MagicSize = 8;
// The magic, the header's size and the header.
QByteArray encodeHdf5WriteJob(const Hdf5WriteJob &job);
// The header alone, as it follows its size.
bool decodeHdf5WriteHeader(const QByteArray &header, Hdf5WriteJob &job);
// One block of rows: their count, then the columns.
QByteArray encodeHdf5Block(const std::vector<std::vector<double>> &columns);

