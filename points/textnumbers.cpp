// SPDX-License-Identifier: GPL-3.0-or-later
#include "textnumbers.h"

#include <QString>

#include <array>
#include <charconv>
#include <cstdint>

namespace {

// Powers of ten that a double holds exactly: a product or quotient of one of these
// with an integer up to 2^53 is rounded once, hence correctly.
const double exactPowersOfTen[] = { 1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };

constexpr std::uint64_t maxExactMantissa = std::uint64_t(1) << 53;

// Tokens longer than this are left to the toolkit.
constexpr std::ptrdiff_t maxFastLength = 64;

using SeparatorTable = std::array<bool, 256>;

constexpr SeparatorTable makeTable(bool comma)
{
    SeparatorTable t {};
    t[' '] = t['\t'] = t['\n'] = t['\v'] = t['\f'] = t['\r'] = true;
    t[','] = comma;
    return t;
}

constexpr SeparatorTable noSeparators {};
constexpr SeparatorTable whiteSpace = makeTable(false);
constexpr SeparatorTable whiteSpaceAndComma = makeTable(true);

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

double toolkitDouble(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, int(end - begin)).toDouble();
}

int toolkitInt(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, int(end - begin)).toInt(nullptr, 10);
}

// The parts of a token as far as it is a plain decimal number:
// [+-]? (digits [. digits*]? | . digits) ([eE] [+-]? digits)?
struct DecimalParts
{
    bool negative = false;
    const char *unsignedBegin = nullptr;
    // Unsigned arithmetic wraps harmlessly beyond 19 digits; such tokens are
    // not converted from the mantissa.
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    int exponent = 0;
    bool plain = false; // digits, and an exponent (if any) with digits
};

inline const char *readDigits(const char *p, const char *end, DecimalParts &d, bool fraction)
{
    while (p != end && isDigit(*p)) {
        d.mantissa = d.mantissa * 10 + std::uint64_t(*p - '0');
        ++d.digits;
        d.fractionDigits += fraction;
        ++p;
    }
    return p;
}

// Reads the parts from begin; returns where they end.
inline const char *readDecimal(const char *begin, const char *end, DecimalParts &d)
{
    const char *p = begin;
    d.negative = p != end && *p == '-';
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    d.unsignedBegin = p;
    p = readDigits(p, end, d, false);
    if (p != end && *p == '.')
        p = readDigits(p + 1, end, d, true);
    d.plain = d.digits > 0;
    if (d.plain && p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        const char *exponentBegin = p;
        while (p != end && isDigit(*p) && p - exponentBegin < 5) {
            d.exponent = d.exponent * 10 + (*p - '0');
            ++p;
        }
        d.plain = p != exponentBegin;
        if (negativeExponent)
            d.exponent = -d.exponent;
    }
    return p;
}

// The value of the plain decimal [begin, p) read into d.
inline double decimalValue(const DecimalParts &d, const char *begin, const char *p)
{
    const int scale = d.exponent - d.fractionDigits;
    if (d.digits <= 19 && d.mantissa <= maxExactMantissa && scale >= -22 && scale <= 22) {
        double v = double(d.mantissa);
        v = scale >= 0 ? v * exactPowersOfTen[scale] : v / exactPowersOfTen[-scale];
        return d.negative ? -v : v;
    }
    if (d.digits <= 19 && d.mantissa == 0)
        return d.negative ? -0.0 : 0.0;
    double v;
    const auto result = std::from_chars(d.unsignedBegin, p, v);
    // Out of range, or a non-zero number that came out as zero: the toolkit has its
    // own rules for overflow and underflow.
    if (result.ec != std::errc() || result.ptr != p || v == 0.0)
        return toolkitDouble(begin, p);
    return d.negative ? -v : v;
}

const char *scan(const char *begin, const char *end, const SeparatorTable &separators,
                 double &value)
{
    DecimalParts d;
    const char *p = readDecimal(begin, end, d);
    if (!d.plain || (p != end && !separators[std::uint8_t(*p)]) || p - begin > maxFastLength) {
        while (p != end && !separators[std::uint8_t(*p)])
            ++p;
        value = toolkitDouble(begin, p);
        return p;
    }
    value = decimalValue(d, begin, p);
    return p;
}

} // namespace

double latin1ToDouble(const char *begin, const char *end)
{
    if (begin == end)
        return 0.0;
    double value;
    scan(begin, end, noSeparators, value);
    return value;
}

const char *scanDoubleField(const char *begin, const char *end, FieldSeparators separators,
                            double &value)
{
    return scan(begin, end,
                separators == FieldSeparators::WhiteSpace ? whiteSpace : whiteSpaceAndComma, value);
}

bool latin1IsNumber(const char *begin, const char *end)
{
    // Most numbers are decimals that from_chars reads whole and within range.
    // It takes no "+", and its "nan" and "inf" are not quite the toolkit's:
    // those, and everything else, the toolkit decides.
    const bool sign = begin != end && (*begin == '+' || *begin == '-');
    const char *digits = begin + (sign ? 1 : 0);
    if (digits != end && (isDigit(*digits) || *digits == '.')) {
        double v;
        const std::from_chars_result r = std::from_chars(*begin == '+' ? digits : begin, end, v);
        if (r.ec == std::errc() && r.ptr == end)
            return true;
    }
    bool ok = false;
    const double value = QString::fromLatin1(begin, int(end - begin)).toDouble(&ok);
    return ok || value != 0.0;
}

int latin1ToInt(const char *begin, const char *end)
{
    const char *p = begin;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Up to nine digits never leave the range of int.
    if (p == end || end - p > 9)
        return toolkitInt(begin, end);
    int value = 0;
    for (; p != end; ++p) {
        if (!isDigit(*p))
            return toolkitInt(begin, end);
        value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}
