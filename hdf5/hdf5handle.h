// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <hdf5.h>

#include <QString>

#include <utility>

// Owns one identifier of the HDF5 library and closes it with the matching call.
class Handle
{
public:
    using Closer = herr_t (*)(hid_t);
    Handle(hid_t id, Closer closer)
        : h(id)
        , close(closer)
    { }
    ~Handle()
    {
        if (h >= 0)
            close(h);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    Handle(Handle &&o) noexcept
        : h(o.h)
        , close(o.close)
    {
        o.h = H5I_INVALID_HID;
    }
    Handle &operator=(Handle &&o) noexcept
    {
        std::swap(h, o.h);
        std::swap(close, o.close);
        return *this;
    }
    hid_t id() const { return h; }
    bool valid() const { return h >= 0; }

private:
    hid_t h;
    Closer close;
};

// The innermost message of the library's error stack, which it then clears:
// the cause rather than the chain of calls that passed it on.
QString hdf5LibraryDetail();
