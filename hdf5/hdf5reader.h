// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hdf5reply.h"

// Reads the job's datasets with the HDF5 library in this process: the work of the
// helper program, and of the fuzz target that feeds the library damaged files.
// Integer and floating datasets of any width are converted to double by the
// library; a 2-D dataset is read in blocks of whole rows when most of its columns
// are wanted, else column by column. Every failure is a fault of the reply; the
// library's own printing of errors is switched off.
Hdf5Reply readHdf5InProcess(const Hdf5Job &job);
