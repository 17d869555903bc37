// SPDX-License-Identifier: GPL-3.0-or-later
// ratelens_h5scan: writes the simulated scan of tests/tools/h5scan.h to an
// HDF5 file and prints the true dead times of its elements.
//
//   ratelens_h5scan OUT.h5 [--elements N] [--points N] [--layout 2d|1d|both]
//                   [--type u32|i64|f32|f64|...] [--chunk ROWS] [--deflate LEVEL]
#include "h5scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: ratelens_h5scan OUT.h5 [--elements N] [--points N] "
                 "[--layout 2d|1d|both] [--type TYPE] [--chunk ROWS] [--deflate LEVEL]\n");
    return 2;
}

bool parse(int argc, char **argv, std::string &out, h5scan::Spec &spec)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a.rfind("--", 0) != 0) {
            out = a;
            continue;
        }
        if (!v)
            return false;
        ++i;
        if (a == "--elements")
            spec.elements = std::atoi(v);
        else if (a == "--points")
            spec.points = std::atoi(v);
        else if (a == "--chunk")
            spec.chunkRows = unsigned(std::atoi(v));
        else if (a == "--deflate")
            spec.deflate = std::atoi(v);
        else if (a == "--type" && !h5scan::typeFromName(v, spec.countType))
            return false;
        else if (a == "--layout")
            spec.layout = std::strcmp(v, "1d") == 0 ? h5scan::Layout::OneD
                : std::strcmp(v, "both") == 0       ? h5scan::Layout::Both
                                                    : h5scan::Layout::TwoD;
        else if (a != "--type")
            return false;
    }
    return !out.empty() && spec.elements > 0 && spec.points > 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string out;
    h5scan::Spec spec;
    if (!parse(argc, argv, out, spec))
        return usage();
    const h5scan::Scan scan = h5scan::simulate(spec);
    if (!h5scan::writeScan(out, spec, scan)) {
        std::fprintf(stderr, "ratelens_h5scan: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("# element tau0/s tau/s\n");
    for (int j = 0; j < spec.elements; ++j)
        std::printf("%d %.6g %.6g\n", j + 1, scan.tau0[j], scan.tau[j]);
    return 0;
}
