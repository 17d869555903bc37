// SPDX-License-Identifier: GPL-3.0-or-later
#include "decimaltext.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint64_t powersOfTen[] = { 1ULL,
                                          10ULL,
                                          100ULL,
                                          1000ULL,
                                          10000ULL,
                                          100000ULL,
                                          1000000ULL,
                                          10000000ULL,
                                          100000000ULL,
                                          1000000000ULL,
                                          10000000000ULL,
                                          100000000000ULL,
                                          1000000000000ULL,
                                          10000000000000ULL,
                                          100000000000000ULL,
                                          1000000000000000ULL,
                                          10000000000000000ULL,
                                          100000000000000000ULL };

// 10^e for |e| <= 330, each the double nearest to it; made once at start-up
// so that the formatting loop pays no guard for it.
std::array<double, 661> makePowersOfTen()
{
    std::array<double, 661> t {};
    for (int i = 0; i < 661; ++i) {
        char text[8];
        const int n = std::snprintf(text, sizeof text, "1e%d", i - 330);
        std::from_chars(text, text + n, t[size_t(i)]);
    }
    return t;
}

const std::array<double, 661> powerTable = makePowersOfTen();

inline double powerOfTen(int e)
{
    return powerTable[size_t(e + 330)];
}

// "00" to "99": two digits per division.
constexpr char digitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233"
                              "34353637383940414243444546474849505152535455565758596061626364656667"
                              "6869707172737475767778798081828384858687888990919293949596979899";

char *writeSpecial(char *out, double v)
{
    const char *text = std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf";
    const std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return out + n;
}

// The digits of m, exactly count of them (leading zeros kept).
char *writeDigits(char *out, std::uint64_t m, int count)
{
    int i = count;
    while (i >= 2) {
        const std::size_t pair = std::size_t(m % 100) * 2;
        m /= 100;
        out[--i] = digitPairs[pair + 1];
        out[--i] = digitPairs[pair];
    }
    if (i == 1)
        out[0] = char('0' + m % 10);
    return out + count;
}

// mantissa holds digits digits d1 d2 ... with value d1.d2... x 10^exponent.
// The digits are written once, where they belong; only the point is made
// room for, by moving the digits after it.
char *place(char *out, std::uint64_t mantissa, int digits, int exponent)
{
    while (digits > 1 && mantissa % 10 == 0) {
        mantissa /= 10;
        --digits;
    }
    if (exponent >= 0 && exponent < 17) {
        // Fixed: the integer part, then the fraction if any digits remain.
        const int whole = exponent + 1;
        writeDigits(out, mantissa, digits);
        if (digits <= whole) {
            std::memset(out + digits, '0', std::size_t(whole - digits));
            return out + whole;
        }
        for (int i = digits; i > whole; --i)
            out[i] = out[i - 1];
        out[whole] = '.';
        return out + digits + 1;
    }
    if (exponent < 0 && exponent >= -4) {
        const int zeros = -exponent - 1;
        out[0] = '0';
        out[1] = '.';
        std::memset(out + 2, '0', std::size_t(zeros));
        return writeDigits(out + 2 + zeros, mantissa, digits);
    }
    writeDigits(out + 1, mantissa, digits);
    out[0] = out[1];
    char *p = out + 1;
    if (digits > 1) {
        *p = '.';
        p += digits;
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    return writeDigits(p, std::uint64_t(e), e >= 100 ? 3 : 2);
}

#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define RATELENS_TEN_DIGITS_IN_REGISTERS 1

inline std::uint64_t pairAt(std::uint32_t n)
{
    std::uint16_t pair = 0;
    std::memcpy(&pair, digitPairs + 2 * n, 2);
    return pair;
}

// Sixteen characters in two registers, the first in the lowest byte.
struct Text16
{
    std::uint64_t head;
    std::uint64_t tail;
};

const std::uint64_t eightZeros = 0x3030303030303030ULL;

inline char *store(char *out, Text16 text)
{
    std::memcpy(out, &text.head, 8);
    std::memcpy(out + 8, &text.tail, 8);
    return out;
}

// The eight characters of x with a point put in after the first count
// (0 to 7); the last one is pushed out.
inline std::uint64_t withPoint(std::uint64_t x, int count)
{
    const std::uint64_t before = (std::uint64_t(1) << (8 * count)) - 1;
    return (x & before) | std::uint64_t('.') << (8 * count) | (x & ~before) << 8;
}

inline Text16 withPoint(Text16 text, int count)
{
    if (count >= 8)
        return { text.head, withPoint(text.tail, count - 8) };
    return { withPoint(text.head, count), text.head >> 56 | text.tail << 8 };
}

// The ten digits of m (10^9 <= m < 10^10) followed by six '0', and how many
// digits remain once trailing zeros are dropped. m is split into two halves
// of five digits, so that the two chains of divisions by constants run side
// by side. The text is put together and searched in registers and stored
// whole: bytes stored in pieces and read back at once would stall the load.
Text16 tenDigits(std::uint64_t m, int &significant)
{
    const auto hi = std::uint32_t(m / 100000);
    const auto lo = std::uint32_t(m % 100000);
    const std::uint32_t hiRest = hi % 10000;
    const std::uint32_t loRest = lo % 10000;
    const std::uint64_t head = std::uint64_t('0' + hi / 10000) | pairAt(hiRest / 100) << 8
            | pairAt(hiRest % 100) << 24 | std::uint64_t('0' + lo / 10000) << 40
            | pairAt(loRest / 100) << 48;
    const std::uint64_t last = pairAt(loRest % 100);
    if (last != 0x3030)
        significant = (last >> 8) != '0' ? 10 : 9;
    else // the first digit is never '0', so head differs from eightZeros
        significant = 8 - __builtin_clzll(head ^ eightZeros) / 8;
    return { head, last | eightZeros << 16 };
}

// The three digits of m (100 <= m < 1000) followed by '0', as tenDigits();
// a standard error's digits, at a fraction of the cost.
Text16 threeDigits(std::uint64_t m, int &significant)
{
    const auto n = std::uint32_t(m);
    const std::uint64_t last = pairAt(n % 100);
    const std::uint64_t head = std::uint64_t('0' + n / 100) | last << 8 | eightZeros << 24;
    significant = last == 0x3030 ? 1 : (last >> 8) == '0' ? 2 : 3;
    return { head, eightZeros };
}

// As place(), for the text of tenDigits() or threeDigits().
char *placeText(char *out, Text16 d, int digits, int exponent)
{
    if (exponent >= 0 && exponent < 17) {
        const int whole = exponent + 1;
        if (digits <= whole) {
            store(out, d);
            std::memcpy(out + 16, &eightZeros, 8);
            return out + whole;
        }
        store(out, withPoint(d, whole));
        return out + digits + 1;
    }
    if (exponent < 0 && exponent >= -4) {
        std::memcpy(out, "0.000", 5);
        const int zeros = -exponent - 1;
        store(out + 2 + zeros, d);
        return out + 2 + zeros + digits;
    }
    char *p = out + 1;
    if (digits > 1) {
        store(out, withPoint(d, 1));
        p += digits;
    } else {
        out[0] = char(d.head);
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    return writeDigits(p, std::uint64_t(e), e >= 100 ? 3 : 2);
}
#endif

// floor(log10(2^binary)) for |binary| < 1100, with 78913 / 2^18 for log10(2):
// the estimate is at most one too small or too large, which the comparisons
// with the table put right.
int decimalExponentEstimate(int binary)
{
    return (binary * 78913) >> 18;
}

int binaryExponent(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return int((bits >> 52) & 0x7ff);
}

// For each biased binary exponent of a normal double, the decimal exponent of
// its lowest value 2^binary, exact against the table of powers. A value below
// 2^(binary+1) can only be one decade higher, since 2 < 10: a single
// comparison then settles it, with no loop for the branch predictor to miss.
std::array<short, 2048> makeDecadeTable()
{
    std::array<short, 2048> t {};
    for (int biased = 1; biased < 2047; ++biased) {
        const int binary = biased - 1023;
        if (binary < -1000 || binary > 1000)
            continue;
        const double v = std::ldexp(1.0, binary);
        int exponent = decimalExponentEstimate(binary);
        while (v >= powerOfTen(exponent + 1))
            ++exponent;
        while (v < powerOfTen(exponent))
            --exponent;
        t[size_t(biased)] = short(exponent);
    }
    return t;
}

const std::array<short, 2048> decadeTable = makeDecadeTable();

// For 1e-290 <= v <= 1e290.
inline int decimalExponent(double v)
{
    const int low = decadeTable[size_t(binaryExponent(v))];
    return low + int(v >= powerOfTen(low + 1));
}

// The first digits of v correctly rounded (ties to even, as printf), and
// their decimal exponent.
std::uint64_t exactDigits(double v, int digits, int &exponent)
{
    char text[40];
    const char *end = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific,
                                    digits - 1)
                              .ptr;
    std::uint64_t m = 0;
    const char *p = text;
    for (; p != end && *p != 'e'; ++p) {
        if (*p != '.')
            m = m * 10 + std::uint64_t(*p - '0');
    }
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    return m;
}

} // namespace

char *writeSignificant(char *out, double v, int digits)
{
    if (!std::isfinite(v))
        return writeSpecial(out, v);
    if (v == 0.0) {
        *out++ = '0';
        return out;
    }
    if (v < 0) {
        *out++ = '-';
        v = -v;
    }
    // Subnormals and the far ends: the library's formatter, rarely needed.
    if (v < 1e-290 || v > 1e290)
        return std::to_chars(out, out + 31, v, std::chars_format::general, digits).ptr;
    // The product below is within 2.3e-16 of itself: a power of ten and one
    // product, each rounded once. Only where it lies that close to halfway
    // between two integers may its rounding differ from that of the exact
    // value; those few take the library's correctly rounded digits.
    // (Below 10^17 the signed conversions are single instructions, and both
    // the integer and the difference are exact.)
    int exponent = decimalExponent(v);
    const double scaled = v * powerOfTen(digits - 1 - exponent);
    std::uint64_t m = std::uint64_t(std::int64_t(scaled + 0.5));
    const double fromHalf = std::fabs(scaled - double(std::int64_t(m))) - 0.5;
    if (digits > 15 || std::fabs(fromHalf) <= 1e-15 * scaled)
        m = exactDigits(v, digits, exponent);
    else if (m >= powersOfTen[digits]) { // rounding carried into a new digit
        m /= 10;
        ++exponent;
    }
#ifdef RATELENS_TEN_DIGITS_IN_REGISTERS
    // Fewer digits become three or ten by trailing zeros, which are dropped
    // anyway.
    int significant = 0;
    if (digits <= 3) {
        const Text16 text = threeDigits(m * powersOfTen[3 - digits], significant);
        return placeText(out, text, significant, exponent);
    }
    if (digits <= 10) {
        const Text16 text = tenDigits(m * powersOfTen[10 - digits], significant);
        return placeText(out, text, significant, exponent);
    }
#endif
    return place(out, m, digits, exponent);
}

char *writeExact(char *out, double v)
{
    if (!std::isfinite(v))
        return writeSpecial(out, v);
    if (v == std::trunc(v) && std::fabs(v) < 9007199254740992.0 && !(v == 0.0 && std::signbit(v))) {
        std::int64_t i = std::int64_t(v);
        if (i < 0) {
            *out++ = '-';
            i = -i;
        }
        int count = 1;
        while (count < 17 && std::uint64_t(i) >= powersOfTen[count])
            ++count;
        return writeDigits(out, std::uint64_t(i), count);
    }
    return std::to_chars(out, out + 31, v).ptr;
}
