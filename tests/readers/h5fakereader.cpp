// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for ratelens-h5read in the tests of the isolation: takes the job
// like the real helper, then misbehaves as $RATELENS_FAKE_H5READ says (abort,
// segv, hang, status, garbage, flood), the ways a helper subverted by a crafted
// file can fail its caller.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main()
{
    char buffer[65536];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    const char *mode = std::getenv("RATELENS_FAKE_H5READ");
    const auto is = [mode](const char *m) { return mode && std::strcmp(mode, m) == 0; };
    if (is("abort"))
        std::abort();
    if (is("segv"))
        std::raise(SIGSEGV);
    if (is("hang")) {
        for (;;)
            pause();
    }
    if (is("status"))
        return 3;
    if (is("garbage")) {
        std::fputs("RLH5R001\x00 this is not a reply", stdout);
        return 0;
    }
    if (is("flood")) {
        std::memset(buffer, 'x', sizeof buffer);
        while (std::fwrite(buffer, 1, sizeof buffer, stdout) == sizeof buffer) {
        }
        return 0;
    }
    return 4;
}
