// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hdf5reply.h"

#include <cstddef>
#include <functional>

// Reads exactly size bytes into data; false when the input ends first.
using Hdf5ByteReader = std::function<bool(char *data, std::size_t size)>;

// Writes the job's new file with the HDF5 library in this process (the helper
// program's second task): the scan's objects copied under the root, then the
// group of computed columns, one 1-D dataset each, filled from the blocks that
// read delivers. Every failure is a fault of the reply; a half-written output
// is left for the caller to remove.
Hdf5Reply writeHdf5InProcess(const Hdf5WriteJob &job, const Hdf5ByteReader &read);
