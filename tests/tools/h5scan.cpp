// SPDX-License-Identifier: GPL-3.0-or-later
#include "h5scan.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace h5scan {

namespace {

    struct TypeInfo
    {
        Type type;
        const char *name;
        bool isFloat;
        int bits;
    };

    const TypeInfo types[] = {
        { Type::Int8, "i8", false, 8 },        { Type::UInt8, "u8", false, 8 },
        { Type::Int16, "i16", false, 16 },     { Type::UInt16, "u16", false, 16 },
        { Type::Int32, "i32", false, 32 },     { Type::UInt32, "u32", false, 32 },
        { Type::Int64, "i64", false, 64 },     { Type::UInt64, "u64", false, 64 },
        { Type::Int32BE, "i32be", false, 32 }, { Type::Float32, "f32", true, 32 },
        { Type::Float64, "f64", true, 64 },    { Type::Float64BE, "f64be", true, 64 },
    };

    const TypeInfo &info(Type t)
    {
        for (const TypeInfo &i : types) {
            if (i.type == t)
                return i;
        }
        return types[0];
    }

    // Property lists without modification times, so that the same scan gives the
    // same bytes on every run.
    hid_t untimed(hid_t cls)
    {
        const hid_t p = H5Pcreate(cls);
        H5Pset_obj_track_times(p, false);
        return p;
    }

} // namespace

hid_t fileType(Type type)
{
    switch (type) {
    case Type::Int8:
        return H5T_STD_I8LE;
    case Type::UInt8:
        return H5T_STD_U8LE;
    case Type::Int16:
        return H5T_STD_I16LE;
    case Type::UInt16:
        return H5T_STD_U16LE;
    case Type::Int32:
        return H5T_STD_I32LE;
    case Type::UInt32:
        return H5T_STD_U32LE;
    case Type::Int64:
        return H5T_STD_I64LE;
    case Type::UInt64:
        return H5T_STD_U64LE;
    case Type::Int32BE:
        return H5T_STD_I32BE;
    case Type::Float32:
        return H5T_IEEE_F32LE;
    case Type::Float64:
        return H5T_IEEE_F64LE;
    case Type::Float64BE:
        return H5T_IEEE_F64BE;
    }
    return H5T_IEEE_F64LE;
}

const char *typeName(Type type)
{
    return info(type).name;
}

bool typeFromName(const std::string &name, Type &type)
{
    for (const TypeInfo &i : types) {
        if (name == i.name) {
            type = i.type;
            return true;
        }
    }
    return false;
}

double stored(Type type, double value)
{
    const TypeInfo &i = info(type);
    if (!i.isFloat)
        return std::nearbyint(value);
    return i.bits == 32 ? double(float(value)) : value;
}

Scan simulate(const Spec &spec)
{
    Scan s;
    const int n = spec.points;
    for (int j = 0; j < spec.elements; ++j) {
        s.gain.push_back(1.0 + 0.1 * ((3 * j) % 5));
        s.tau0.push_back((2.0 + 0.5 * (j % 4)) * 1e-7);
        s.tau.push_back((1.0 + 0.25 * (j % 4)) * 1e-6);
    }
    s.outputCounts.assign(spec.elements, {});
    s.dtFactor.assign(spec.elements, {});
    s.clock.assign(spec.elements, {});
    for (int p = 0; p < n; ++p) {
        const double t = 1.0 + 0.01 * (p % 3);
        const double rate = n > 1 ? 1e4 + (1.6e5 - 1e4) * p / (n - 1) : 1e4;
        s.i0.push_back(stored(spec.countType, rate * t));
        s.tscaler.push_back(stored(Type::UInt32, t * 50e6));
        for (int j = 0; j < spec.elements; ++j) {
            const double input = s.gain[j] * rate;
            const double icr = input * std::exp(-input * s.tau0[j]);
            const double ocr = icr * std::exp(-icr * s.tau[j]);
            s.outputCounts[j].push_back(stored(spec.countType, ocr * t));
            s.dtFactor[j].push_back(icr / ocr);
            s.clock[j].push_back(stored(Type::Int64, t * 80e6));
        }
    }
    return s;
}

std::string elementGroup(int element)
{
    char name[32];
    std::snprintf(name, sizeof name, "/entry/xspress3/mca%02d", element + 1);
    return name;
}

Writer::Writer(const std::string &path)
{
    const hid_t fcpl = H5Pcreate(H5P_FILE_CREATE);
    file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, fcpl, H5P_DEFAULT);
    H5Pclose(fcpl);
}

Writer::~Writer()
{
    if (file >= 0)
        H5Fclose(file);
}

bool Writer::group(const std::string &path)
{
    if (H5Lexists(file, path.c_str(), H5P_DEFAULT) > 0)
        return true;
    const hid_t gcpl = untimed(H5P_GROUP_CREATE);
    const hid_t g = H5Gcreate2(file, path.c_str(), H5P_DEFAULT, gcpl, H5P_DEFAULT);
    H5Pclose(gcpl);
    return g >= 0 && H5Gclose(g) >= 0;
}

bool Writer::parents(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (!group(path.substr(0, slash)))
            return false;
    }
    return true;
}

bool Writer::dataset(const std::string &path, Type type, const std::vector<hsize_t> &dims,
                     const std::vector<double> &values, unsigned chunkRows, int deflate)
{
    if (!ok() || !parents(path))
        return false;
    const hid_t space = H5Screate_simple(int(dims.size()), dims.data(), nullptr);
    const hid_t dcpl = untimed(H5P_DATASET_CREATE);
    if (chunkRows > 0 && !dims.empty()) {
        std::vector<hsize_t> chunk = dims;
        chunk[0] = std::min<hsize_t>(chunkRows, std::max<hsize_t>(dims[0], 1));
        for (hsize_t &c : chunk)
            c = std::max<hsize_t>(c, 1);
        H5Pset_chunk(dcpl, int(chunk.size()), chunk.data());
        if (deflate > 0)
            H5Pset_deflate(dcpl, unsigned(deflate));
    }
    const hid_t d
        = H5Dcreate2(file, path.c_str(), fileType(type), space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    const bool written = d >= 0
        && (values.empty()
            || H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0);
    if (d >= 0)
        H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
    return written;
}

bool Writer::dataset(const std::string &path, hid_t type, const std::vector<hsize_t> &dims,
                     const std::vector<double> &values)
{
    if (!ok() || !parents(path))
        return false;
    const hid_t space = H5Screate_simple(int(dims.size()), dims.data(), nullptr);
    const hid_t dcpl = untimed(H5P_DATASET_CREATE);
    const hid_t d = H5Dcreate2(file, path.c_str(), type, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    const bool written = d >= 0
        && H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
    if (d >= 0)
        H5Dclose(d);
    H5Pclose(dcpl);
    H5Sclose(space);
    return written;
}

bool Writer::strings(const std::string &path, const std::vector<std::string> &values)
{
    if (!ok() || !parents(path))
        return false;
    std::vector<const char *> pointers;
    for (const std::string &v : values)
        pointers.push_back(v.c_str());
    const hsize_t dims[1] = { values.size() };
    const hid_t space = H5Screate_simple(1, dims, nullptr);
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    const hid_t dcpl = untimed(H5P_DATASET_CREATE);
    const hid_t d = H5Dcreate2(file, path.c_str(), type, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    const bool written
        = d >= 0 && H5Dwrite(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, pointers.data()) >= 0;
    if (d >= 0)
        H5Dclose(d);
    H5Pclose(dcpl);
    H5Tclose(type);
    H5Sclose(space);
    return written;
}

namespace {

    std::vector<double> rowMajor(const std::vector<std::vector<double>> &columns)
    {
        std::vector<double> out;
        const std::size_t rows = columns.empty() ? 0 : columns[0].size();
        out.reserve(rows * columns.size());
        for (std::size_t r = 0; r < rows; ++r) {
            for (const auto &c : columns)
                out.push_back(c[r]);
        }
        return out;
    }

} // namespace

bool writeScan(const std::string &path, const Spec &spec, const Scan &scan)
{
    Writer w(path);
    const hsize_t points = hsize_t(spec.points);
    const hsize_t elements = hsize_t(spec.elements);
    const unsigned chunk = spec.chunkRows;
    bool ok = w.ok()
        && w.dataset("/entry/scaler/I0", spec.countType, { points }, scan.i0, chunk, spec.deflate)
        && w.dataset("/entry/scaler/TSCALER", Type::UInt32, { points }, scan.tscaler, chunk,
                     spec.deflate);
    if (spec.layout != Layout::OneD) {
        const std::string g = "/entry/xspress3/";
        ok = ok
            && w.dataset(g + "OutputCounts", spec.countType, { points, elements },
                         rowMajor(scan.outputCounts), chunk, spec.deflate)
            && w.dataset(g + "DTFactor", Type::Float64, { points, elements },
                         rowMajor(scan.dtFactor), chunk, spec.deflate)
            && w.dataset(g + "Clock", Type::Int64, { points, elements }, rowMajor(scan.clock),
                         chunk, spec.deflate);
    }
    for (int j = 0; spec.layout != Layout::TwoD && j < spec.elements; ++j) {
        const std::string g = elementGroup(j) + "/";
        ok = ok
            && w.dataset(g + "OutputCounts", spec.countType, { points }, scan.outputCounts[j],
                         chunk, spec.deflate)
            && w.dataset(g + "DTFactor", Type::Float64, { points }, scan.dtFactor[j], chunk,
                         spec.deflate)
            && w.dataset(g + "Clock", Type::Int64, { points }, scan.clock[j], chunk, spec.deflate);
    }
    return ok;
}

long long objectAddress(const std::string &path, const std::string &object)
{
    const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    H5O_info_t info;
    const bool found = file >= 0
        && H5Oget_info_by_name2(file, object.c_str(), &info, H5O_INFO_BASIC, H5P_DEFAULT) >= 0;
    if (file >= 0)
        H5Fclose(file);
    return found ? static_cast<long long>(info.addr) : -1;
}

} // namespace h5scan
