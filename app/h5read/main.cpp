// SPDX-License-Identifier: GPL-3.0-or-later
// ratelens-h5read: reads the datasets of one HDF5 file for the window or the
// batch command, which start it with a job on standard input and take the
// columns from standard output (readers/hdf5reply.h); or writes a copy of an HDF5
// scan with computed columns added, taken from standard input as they come.
// It runs the HDF5 library apart from them: a file that crashes or hangs the
// library ends only this process. Not meant to be run by hand.
#include "hdf5reader.h"
#include "hdf5reply.h"
#include "hdf5writer.h"

#include <QByteArray>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

bool readExactly(char *data, std::size_t size)
{
    return std::fread(data, 1, size, stdin) == size;
}

int answer(const Hdf5Reply &reply)
{
    const bool written = writeHdf5Reply(reply, [](const char *data, std::size_t size) {
        return std::fwrite(data, 1, size, stdout) == size;
    });
    return written && std::fflush(stdout) == 0 ? 0 : 3;
}

int writeCopy(int maxHeaderBytes)
{
    quint32 size = 0;
    if (!readExactly(reinterpret_cast<char *>(&size), sizeof size) || size > quint32(maxHeaderBytes))
        return 2;
    QByteArray header(int(size), '\0');
    Hdf5WriteJob job;
    if (!readExactly(header.data(), size) || !decodeHdf5WriteHeader(header, job))
        return 2;
    return answer(writeHdf5InProcess(job, readExactly));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1) {
        std::fprintf(stderr,
                     "%s: started by ratelens and ratelens-batch to read HDF5 files; "
                     "takes no arguments\n",
                     argv[0]);
        return 2;
    }
#ifdef __linux__
    // A file that hangs the library must not outlive a caller that died
    // before its time-out could stop us.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    // A job is a few hundred dataset names: anything near this bound is not one.
    constexpr int maxJobBytes = 16 << 20;
    QByteArray input(hdf5MagicSize, '\0');
    if (!readExactly(input.data(), std::size_t(input.size())))
        return 2;
    if (input == QByteArray(hdf5WriteMagic, hdf5MagicSize))
        return writeCopy(maxJobBytes);
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
        input.append(buffer, int(got));
        if (input.size() > maxJobBytes)
            return 2;
    }
    Hdf5Job job;
    if (!decodeHdf5Job(input, job))
        return 2;
    // A larger pipe: the reply is often a hundred megabytes, and every 64 KiB
    // of the default costs the caller a wake-up.
    fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
    return answer(readHdf5InProcess(job));
}
