// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-element MCA reader on any bytes, and the recipe step after it:
// nothing may fail; a file read without error has one spectrum of equal
// length and one real and live time per element; a scan gives one point or
// an error, never both.
#include "fuzzsupport.h"
#include "mcafile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 22))
        return 0;
    const QByteArray bytes = inputBytes(data, size);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const McaFile mca = readMcaFile(buffer);
    if (mca.ok()) {
        if (int(mca.counts.size()) != mca.elements || int(mca.realTimes.size()) != mca.elements
            || int(mca.liveTimes.size()) != mca.elements)
            fail("an MCA file read without error but not one spectrum per element",
                 QString::number(mca.elements));
        for (const std::vector<double> &c : mca.counts) {
            if (c.size() != mca.counts.front().size())
                fail("spectra of different lengths", QString::number(c.size()));
        }
    }
    buffer.seek(0);
    const RecipeParse recipe = parseRecipe(QStringLiteral("window = 1-40\ni0 = I0"));
    const ScanRead scan = readMcaScan(buffer, &recipe.recipe);
    if (scan.ok() == scan.points.isEmpty())
        fail("an MCA scan with both or neither of points and an error", scan.error);
    return 0;
}
