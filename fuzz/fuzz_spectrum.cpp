// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of the spectrum file reader: the fast byte reader, and
// the reader of a file holding the same bytes, must give exactly the record of
// the line-by-line text stream reader.
#include "fuzzsupport.h"
#include "pointtable.h"
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
    // The loader first offers a file to the table reader, which leaves it to
    // the spectrum reader if it may be one, in blocks of any size.
    if (reference.ok) {
        const QString path = scratchFile(bytes);
        for (qint64 block : { qint64(1) << 18, qint64(1 + (size ? data[0] % 7 : 0)) }) {
            bool mayBe = false;
            readPointTableFileUnless(path, spectrumKey, PointTableSink(), mayBe, block);
            if (!mayBe)
                fail("a spectrum taken for a point table", describe(reference));
        }
    }

    const int n = fast.icrs.size();
    if (fast.scas.size() != n || fast.roiLows.size() != n || fast.roiHighs.size() != n)
        fail("spectrum record arrays of different lengths", describe(fast));
    if (fast.ok != (fast.i0 > 0 && n > 0))
        fail("spectrum record accepted against its own rule", describe(fast));
    return 0;
}
