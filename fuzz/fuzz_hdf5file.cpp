// SPDX-License-Identifier: GPL-3.0-or-later
// The HDF5 reader in this process, on damaged files: the input is written to a
// scratch file and read with the requests of a recipe for a points x elements
// layout and for a per-element one. The library may fail on any of them, but
// a read that succeeds gives every requested column, all of one length.
// (The programs run this reader in the helper process; here a crash inside
// the library is a finding to look at, not a danger.)
#include "fuzzsupport.h"
#include "hdf5reader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

Hdf5Job job(const QString &file, std::initializer_list<Hdf5Request> requests)
{
    Hdf5Job j;
    j.file = file;
    j.requests = requests;
    j.maxValues = 1 << 20;
    return j;
}

void check(const Hdf5Job &j)
{
    const Hdf5Reply r = readHdf5InProcess(j);
    if (r.fault != Hdf5Fault::None) {
        if (!r.columns.empty())
            fail("a fault with columns", r.dataset);
        return;
    }
    if (r.columns.size() != j.requests.size())
        fail("columns missing from a successful read", QString::number(r.columns.size()));
    for (const auto &c : r.columns) {
        if (c.size() != r.columns.front().size())
            fail("columns of unequal length", QString::number(c.size()));
    }
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
    const QString file = scratchFile(inputBytes(data, size));
    const QString x = QStringLiteral("/entry/xspress3/");
    check(job(file,
              { { {}, QStringLiteral("/entry/scaler/I0"), -1 },
                { {}, x + QStringLiteral("OutputCounts"), 0 },
                { {}, x + QStringLiteral("OutputCounts"), 1 },
                { {}, x + QStringLiteral("DTFactor"), 1 },
                { {}, x + QStringLiteral("Clock"), 0 } }));
    check(job(file,
              { { {}, QStringLiteral("/entry/scaler/TSCALER"), -1 },
                { {}, x + QStringLiteral("mca01/OutputCounts"), -1 },
                { {}, x + QStringLiteral("mca02/DTFactor"), -1 },
                { {}, x + QStringLiteral("mca02/Clock"), -1 } }));
    return 0;
}
