// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hdf5.h>

#include <string>
#include <vector>

// Writes HDF5 files for the tests, the benchmarks, the fuzz seeds and the
// examples: the scan of a multi-element detector read out by pulse processors
// that record, per element, the output counts, the dead-time factor and a
// clock, from known dead times; and single datasets of any type and shape.
// Every file is the same bytes for the same arguments (no time stamps).
namespace h5scan {

// Stored types; BE types are big-endian, the others little-endian.
enum class Type {
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Int32BE,
    Float32,
    Float64,
    Float64BE
};
hid_t fileType(Type type);
const char *typeName(Type type);
bool typeFromName(const std::string &name, Type &type);
// value as it reads back after being stored as type: rounded to an integer, or
// rounded to single precision.
double stored(Type type, double value);

enum class Layout { TwoD, OneD, Both };

struct Spec
{
    int elements = 4;
    int points = 20;
    Layout layout = Layout::TwoD;
    Type countType = Type::UInt32; // of I0 and OutputCounts
    unsigned chunkRows = 0; // 0: contiguous datasets
    int deflate = 0; // with chunkRows: gzip level 1-9
};

// The scan as stored. Point p counts for t_p = 1 + 0.01 (p mod 3) s at an
// incident rate ramped from 1e4 to 1.6e5 /s. Element j (from 0) sees the input
// rate n = g_j I0, with g_j = 1 + 0.1 (3j mod 5); its pre-amplifier passes
// ICR = n exp(-n tau0_j) and its amplifier OCR = ICR exp(-ICR tau_j), with
// tau0_j = (2 + 0.5 (j mod 4)) 1e-7 s and tau_j = (1 + 0.25 (j mod 4)) 1e-6 s.
// Recorded are the counts I0 t_p and OCR t_p, the factor ICR / OCR, and the
// counting time as ticks of a 50 MHz (TSCALER) and an 80 MHz (Clock) clock.
struct Scan
{
    std::vector<double> i0; // counts
    std::vector<double> tscaler; // ticks of 50 MHz
    std::vector<std::vector<double>> outputCounts; // [element][point]
    std::vector<std::vector<double>> dtFactor; // ICR / OCR
    std::vector<std::vector<double>> clock; // ticks of 80 MHz
    std::vector<double> gain, tau0, tau; // per element
};
Scan simulate(const Spec &spec);

// Dataset paths of the scan: /entry/scaler/I0 and /entry/scaler/TSCALER;
// points x elements datasets /entry/xspress3/{OutputCounts,DTFactor,Clock}
// (TwoD), and /entry/xspress3/mcaNN/{OutputCounts,DTFactor,Clock} with NN the
// element number from 1, two digits (OneD).
std::string elementGroup(int element); // "/entry/xspress3/mca01" for element 0

// A file being written; every write returns false on failure.
class Writer
{
public:
    explicit Writer(const std::string &path);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    bool ok() const { return file >= 0; }

    // values row after row; dims of any rank. Parents are created as needed.
    bool dataset(const std::string &path, Type type, const std::vector<hsize_t> &dims,
                 const std::vector<double> &values, unsigned chunkRows = 0, int deflate = 0);
    // The same with any HDF5 file type.
    bool dataset(const std::string &path, hid_t type, const std::vector<hsize_t> &dims,
                 const std::vector<double> &values);
    bool strings(const std::string &path, const std::vector<std::string> &values);
    bool group(const std::string &path);

private:
    bool parents(const std::string &path);
    hid_t file = H5I_INVALID_HID;
};

bool writeScan(const std::string &path, const Spec &spec, const Scan &scan);

// Where the header of object starts in the file, for damaging it on purpose;
// -1 if it cannot be found.
long long objectAddress(const std::string &path, const std::string &object);

} // namespace h5scan
