// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the spectrum file reader: the fast byte reader, and
// the reader of a file holding the same bytes, must give exactly the record of
// the line-by-line text stream reader.
#include "fuzzsupport.h"
#include "spectrumreader.h"

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

QString describe(const SpectrumPoint &sp)
{
    return QStringLiteral("ok %1 i0 %2\n  icrs %3\n  scas %4\n  roiLows %5\n  roiHighs %6")
            .arg(sp.ok)
            .arg(show(sp.i0), show(sp.icrs), show(sp.scas), show(sp.roiLows), show(sp.roiHighs));
}

bool same(const SpectrumPoint &a, const SpectrumPoint &b)
{
    return a.ok == b.ok && sameDouble(a.i0, b.i0) && sameDoubles(a.icrs, b.icrs)
            && sameDoubles(a.scas, b.scas) && sameDoubles(a.roiLows, b.roiLows)
            && sameDoubles(a.roiHighs, b.roiHighs);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 24))
        return 0;
    QByteArray bytes = inputBytes(data, size);

    SpectrumPoint fast;
    readSpectrumBytes(bytes, fast);

    SpectrumPoint reference;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    readSpectrumReference(buffer, reference);

    if (!same(fast, reference))
        fail("fast and reference spectrum readers differ",
             QStringLiteral("fast:      %1\nreference: %2").arg(describe(fast), describe(reference)));

    SpectrumPoint fromFile;
    readSpectrumFile(scratchFile(bytes), fromFile);
    if (!same(fromFile, reference))
        fail("file and reference spectrum readers differ",
             QStringLiteral("file:      %1\nreference: %2").arg(describe(fromFile), describe(reference)));

    QBuffer raw(&bytes);
    raw.open(QIODevice::ReadOnly);
    if (reference.ok && !mayBeSpectrum(raw))
        fail("a spectrum turned away by its bytes", describe(reference));

    const int n = fast.icrs.size();
    if (fast.scas.size() != n || fast.roiLows.size() != n || fast.roiHighs.size() != n)
        fail("spectrum record arrays of different lengths", describe(fast));
    if (fast.ok != (fast.i0 > 0 && n > 0))
        fail("spectrum record accepted against its own rule", describe(fast));
    return 0;
}
