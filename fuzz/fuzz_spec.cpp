// SPDX-License-Identifier: GPL-3.0-or-later
// Reading SPEC data files, the multi-scan format of beamline control, on any
// text: the scans found lie in file order, each from a
// "#S n" line at a line start to the next, together the file from the first;
// a scan is chosen without a number exactly when there is one, and with a
// number exactly when one scan has it. A scan read through a recipe gives
// points only from its own lines, with rising line numbers, or an error.
#include "filelook.h"
#include "fuzzsupport.h"
#include "recipe.h"
#include "recording.h"

#include <QBuffer>

#include <algorithm>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

void checkScans(const QByteArray &bytes, const QVector<SpecScan> &scans)
{
    for (int k = 0; k < scans.size(); ++k) {
        const SpecScan &s = scans.at(k);
        if (s.begin < 0 || s.end < s.begin || s.end > bytes.size())
            fail("a scan outside the file", QString::number(s.begin));
        if (k > 0 && s.begin != scans.at(k - 1).end)
            fail("scans that do not follow each other", QString::number(s.begin));
        if ((s.begin > 0 && bytes.at(int(s.begin) - 1) != '\n')
            || bytes.mid(int(s.begin), 3) != "#S ")
            fail("a scan that does not start at a #S line", QString::number(s.begin));
        if (k > 0 && s.line <= scans.at(k - 1).line)
            fail("scan lines out of order", QString::number(s.line));
    }
    if (!scans.isEmpty() && scans.last().end != bytes.size())
        fail("the last scan ends before the file", QString::number(scans.last().end));
    QString error;
    if ((chooseSpecScan(scans, 0, &error) != nullptr) != (scans.size() == 1))
        fail("a scan chosen without a number among several", error);
    if (!scans.isEmpty() && scans.first().number > 0) {
        const int wanted = scans.first().number;
        const int same
            = int(std::count_if(scans.cbegin(), scans.cend(),
                                [wanted](const SpecScan &s) { return s.number == wanted; }));
        const SpecScan *chosen = chooseSpecScan(scans, wanted, &error);
        if ((chosen != nullptr) != (same == 1))
            fail("a scan number chosen though not one scan has it", error);
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
    const QByteArray bytes = inputBytes(data, size);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QVector<SpecScan> scans = specScans(buffer);
    checkScans(bytes, scans);
    if (scans.isEmpty())
        return 0;

    const RecipeParse parsed = parseRecipe(QStringLiteral("elements = 1-2\ni0 = I0\n"
                                                          "icr = ICR{n}\nsca = OCR{n}\n"));
    LoadOptions options;
    options.recipe = &parsed.recipe;
    const SpecScan &last = scans.last();
    options.scan = last.number;
    const ScanRead read = readRecording(buffer, RecordingKind::Columns, options);
    if (!read.ok() && !read.points.isEmpty())
        fail("points and an error", read.error);
    if (read.ok() && read.error.isEmpty() && !read.points.isEmpty()) {
        int previous = last.line;
        for (const ScanPoint &p : read.points) {
            if (p.line <= previous)
                fail("a point from outside its scan, or out of order", QString::number(p.line));
            previous = p.line;
        }
    }
    return 0;
}
