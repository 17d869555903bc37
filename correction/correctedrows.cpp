// SPDX-License-Identifier: GPL-3.0-or-later
#include "correctedrows.h"

#include "decimaltext.h"
#include "scanplan.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// The scan's own values are written back as they were read when the field is
// a plain decimal number: the same value, and no time spent formatting it.
// Anything else ("NaN", "Infinity", a number too large for a double) is
// written as the value it was read as, the shortest text that reads back as
// the same double, so that every reader of the output takes it alike.
// Computed values get digits enough for their precision: rates and factors
// 10 significant digits (5e-10 relative, far below any dead time's
// uncertainty), standard errors 3.
constexpr int valueDigits = 10;
constexpr int errorDigits = 3;

// What a byte of a row's text is to the copy below.
enum ByteClass : unsigned char { Other = 0, Separator = 1, LineEnd = 2, Plain = 4 };

constexpr std::array<unsigned char, 256> makeByteClasses()
{
    std::array<unsigned char, 256> t {};
    for (unsigned char c : { ' ', '\t', ',', '\r', '\v', '\f' })
        t[c] = Separator;
    t[size_t('\n')] = LineEnd;
    for (unsigned char c : { '.', '-', '+', 'e', 'E' })
        t[c] = Plain;
    for (unsigned char c = '0'; c <= '9'; ++c)
        t[c] = Plain;
    return t;
}

constexpr std::array<unsigned char, 256> byteClasses = makeByteClasses();

inline unsigned byteClass(char c)
{
    return byteClasses[static_cast<unsigned char>(c)];
}

// The row has exactly as many fields as columns, and its text ends with a
// line end: neither loop can run past it.
char *copyOwnFields(const char *q, const ColumnBlock &block, size_t r, char *p)
{
    for (size_t c = 0; c < block.columns.size(); ++c) {
        while (byteClass(*q) == Separator)
            ++q;
        if (c > 0)
            *p++ = '\t';
        char *const field = p;
        unsigned seen = Plain;
        for (unsigned k; ((k = byteClass(*q)) & (Separator | LineEnd)) == 0; ++q) {
            seen &= k;
            *p++ = *q;
        }
        const double v = block.columns[c][r];
        if (seen != Plain || !std::isfinite(v))
            p = writeExact(field, v);
    }
    return p;
}

// What a byte of a tidy line becomes in the output (the low eight bits), and
// what it tells of the line.
enum ByteRole : std::uint16_t { Separates = 0x100, Untidy = 0x200, Exponent = 0x400 };

constexpr std::array<std::uint16_t, 256> makeByteRoles()
{
    std::array<std::uint16_t, 256> t {};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = std::uint16_t(c | (byteClasses[size_t(c)] == Plain ? 0 : Untidy));
    for (unsigned char c : { ' ', '\t', ',' })
        t[c] = '\t' | Separates;
    t[size_t('e')] |= Exponent;
    t[size_t('E')] |= Exponent;
    return t;
}

constexpr std::array<std::uint16_t, 256> byteRoles = makeByteRoles();

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// Eight bytes of a line at once, the first in the lowest byte: each test
// below gives 0x80 in every byte that passes it and 0 elsewhere, exactly (no
// carry crosses from one byte into the next).
constexpr std::uint64_t everyByte(unsigned char c)
{
    return 0x0101010101010101ULL * c;
}

constexpr std::uint64_t highBits = everyByte(0x80);

// Bytes below n (n <= 0x80).
inline std::uint64_t bytesBelow(std::uint64_t x, unsigned char n)
{
    return ~(((x & everyByte(0x7f)) + everyByte(0x80 - n)) | x) & highBits;
}

inline std::uint64_t bytesEqual(std::uint64_t x, unsigned char c)
{
    const std::uint64_t t = x ^ everyByte(c);
    return ~(((t & everyByte(0x7f)) + everyByte(0x7f)) | t) & highBits;
}

// What eight bytes of a line hold, as copyTidyLine() needs it.
struct EightBytes
{
    std::uint64_t separators; // blank, tab, comma
    std::uint64_t plain; // digits, point, signs, exponent letters
    std::uint64_t exponents;
};

inline EightBytes classify(std::uint64_t x)
{
    EightBytes b;
    b.separators = bytesEqual(x, ' ') | bytesEqual(x, '\t') | bytesEqual(x, ',');
    b.exponents = bytesEqual(x, 'e') | bytesEqual(x, 'E');
    b.plain = (bytesBelow(x, '9' + 1) & ~bytesBelow(x, '0')) | bytesEqual(x, '.')
            | bytesEqual(x, '-') | bytesEqual(x, '+') | b.exponents;
    return b;
}
#endif

// Most rows are tidy: plain decimal numbers, one space, tab or comma between
// them, nothing before the first or after the last. Such a line is copied in
// one pass with its separators made tabs, eight bytes at a time, with no
// branch per field for the processor to mispredict; false leaves the row to
// the field-by-field copy. exponent tells whether any field had one.
bool copyTidyLine(const char *q, size_t length, char *p, bool &exponent)
{
    unsigned seen = length == 0 ? Untidy : 0;
    unsigned previous = Separates; // nothing may come before the first field
    size_t i = 0;
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t untidy = 0;
    std::uint64_t exponents = 0;
    std::uint64_t separatorBefore = 0x80; // for the first byte: the line's start
    for (; i + 8 <= length; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, q + i, 8);
        const EightBytes b = classify(x);
        // Anything else, and a separator right after another, make the line untidy.
        untidy |= (~(b.separators | b.plain) & highBits)
                | (b.separators & ((b.separators << 8) | separatorBefore));
        exponents |= b.exponents;
        separatorBefore = b.separators >> 56;
        const std::uint64_t tabs = (b.separators >> 7) * 0xff;
        x = (x & ~tabs) | (everyByte('\t') & tabs);
        std::memcpy(p + i, &x, 8);
    }
    seen |= (untidy ? Untidy : 0) | (exponents ? Exponent : 0);
    previous = separatorBefore ? Separates : 0;
#endif
    for (; i < length; ++i) {
        const unsigned role = byteRoles[static_cast<unsigned char>(q[i])];
        p[i] = char(role);
        seen |= role | ((role & previous) << 1); // two separators in a row: untidy
        previous = role & Separates;
    }
    exponent = (seen & Exponent) != 0;
    return ((seen & Untidy) | previous) == 0;
}

bool allFinite(const ColumnBlock &block, size_t r)
{
    bool finite = true;
    for (const std::vector<double> &column : block.columns)
        finite &= std::isfinite(column[r]);
    return finite;
}

// The row's own fields, tab-separated, as they were read where they are
// plain decimal numbers.
char *copyOwnValues(const ColumnBlock &block, size_t r, char *p)
{
    const size_t begin = r > 0 ? block.textEnds[r - 1] : 0;
    const char *q = block.text.data() + begin;
    // The line without its "\n".
    const size_t length = block.textEnds[r] - begin - 1;
    // Plain digits overflow a double only with an exponent or beyond 308 of
    // them; only then need the values be looked at.
    bool exponent = false;
    if (copyTidyLine(q, length, p, exponent) && ((!exponent && length < 300) || allFinite(block, r)))
        return p + length;
    return copyOwnFields(q, block, r, p);
}

char *formatOwnValues(const ColumnBlock &block, size_t r, char *p)
{
    for (size_t c = 0; c < block.columns.size(); ++c) {
        if (c > 0)
            *p++ = '\t';
        p = writeExact(p, block.columns[c][r]);
    }
    return p;
}

// One row's computed values: each element's correction.
char *formatCorrections(const ScanPlan &plan, const BlockCorrections &corrections,
                        const ColumnBlock &block, size_t r, char *p)
{
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const Correction &k = corrections[i][r];
        *p++ = '\t';
        p = writeSignificant(p, k.nTrue, valueDigits);
        *p++ = '\t';
        p = writeSignificant(p, k.k, valueDigits);
        *p++ = '\t';
        p = writeSignificant(p, k.kStdErr, errorDigits);
        *p++ = '\t';
        *p++ = char('0' + int(k.flag));
        for (int c : plan.roiColumns[i]) {
            *p++ = '\t';
            p = writeSignificant(p, block.columns[size_t(c)][r] * k.k, valueDigits);
        }
    }
    *p++ = '\n';
    return p;
}

} // namespace

bool formatCorrectedRows(const ScanPlan &plan, const BlockCorrections &corrections,
                         const ColumnBlock &block, QByteArray &text)
{
    const size_t rows = size_t(block.rows());
    const bool haveText = block.textEnds.size() == rows;
    // A copied field is no longer than its text (what is formatted instead,
    // "nan" or "inf", is not longer either), any number formatted here takes
    // at most 32 characters with its separator, one to 10 digits at most 24,
    // a flag 2; the formatters may use 32 bytes at the last one.
    const size_t columns = block.columns.size();
    const size_t own = haveText ? block.text.size() + columns * rows : 32 * columns * rows;
    size_t computedPerRow = 1;
    for (const std::vector<int> &rois : plan.roiColumns)
        computedPerRow += 3 * 24 + 2 + 24 * rois.size();
    const size_t bytes = own + computedPerRow * rows + 32;
    // Only a single line of hundreds of megabytes comes near the limit.
    if (bytes > size_t(std::numeric_limits<int>::max() / 2))
        return false;
    text.resize(int(bytes));
    char *p = text.data();
    for (size_t r = 0; r < rows; ++r) {
        p = haveText ? copyOwnValues(block, r, p) : formatOwnValues(block, r, p);
        p = formatCorrections(plan, corrections, block, r, p);
    }
    text.truncate(int(p - text.data()));
    return true;
}

void correctedColumns(const ScanPlan &plan, const BlockCorrections &corrections,
                      const ColumnBlock &block, std::vector<std::vector<double>> &added)
{
    added.clear();
    for (size_t i = 0; i < plan.elements.size(); ++i) {
        const std::vector<Correction> &k = corrections[i];
        const size_t first = added.size();
        added.resize(first + 4 + plan.roiColumns[i].size());
        for (const Correction &c : k) {
            added[first].push_back(c.nTrue);
            added[first + 1].push_back(c.k);
            added[first + 2].push_back(c.kStdErr);
            added[first + 3].push_back(double(int(c.flag)));
        }
        for (size_t r = 0; r < plan.roiColumns[i].size(); ++r) {
            const std::vector<double> &roi = block.columns[size_t(plan.roiColumns[i][r])];
            for (size_t p = 0; p < k.size(); ++p)
                added[first + 4 + r].push_back(roi[p] * k[p].k);
        }
    }
}
