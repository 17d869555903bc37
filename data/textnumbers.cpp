#include "textnumbers.h"

#include <QString>

#include <charconv>
#include <cstdint>

namespace {

// Powers of ten that a double holds exactly: a product or quotient of one of these
// with an integer below 2^53 is rounded once, hence correctly.
const double exactPowersOfTen[] = { 1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };

// Tokens longer than this are left to the toolkit.
constexpr std::ptrdiff_t maxFastLength = 64;

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

} // namespace

double latin1ToDouble(const char *begin, const char *end)
{
    if (begin == end)
        return 0.0;
    if (end - begin > maxFastLength)
        return toolkitDouble(begin, end);

    // Accepted here: [+-]? (digits [. digits*]? | . digits) ([eE] [+-]? digits)?
    const char *p = begin;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    const char *unsignedBegin = p;

    std::uint64_t mantissa = 0;
    int significantDigits = 0;
    int digits = 0;
    int fractionDigits = 0;
    while (p != end && isDigit(*p)) {
        if (mantissa != 0 || *p != '0') {
            if (significantDigits < 19)
                mantissa = mantissa * 10 + std::uint64_t(*p - '0');
            ++significantDigits;
        }
        ++digits;
        ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        while (p != end && isDigit(*p)) {
            if (mantissa != 0 || *p != '0') {
                if (significantDigits < 19)
                    mantissa = mantissa * 10 + std::uint64_t(*p - '0');
                ++significantDigits;
            }
            ++digits;
            ++fractionDigits;
            ++p;
        }
    }
    if (digits == 0)
        return toolkitDouble(begin, end);

    int exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        const char *exponentBegin = p;
        while (p != end && isDigit(*p) && p - exponentBegin < 5) {
            exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (p == exponentBegin)
            return toolkitDouble(begin, end);
        if (negativeExponent)
            exponent = -exponent;
    }
    if (p != end)
        return toolkitDouble(begin, end);

    if (mantissa == 0)
        return negative ? -0.0 : 0.0;

    double value;
    const int scale = exponent - fractionDigits;
    if (significantDigits <= 15 && scale >= -22 && scale <= 22) {
        value = double(mantissa);
        value = scale >= 0 ? value * exactPowersOfTen[scale] : value / exactPowersOfTen[-scale];
    } else {
        const auto result = std::from_chars(unsignedBegin, end, value);
        // Out of range, or a non-zero number that came out as zero: the toolkit has
        // its own rules for overflow and underflow.
        if (result.ec != std::errc() || result.ptr != end || value == 0.0)
            return toolkitDouble(begin, end);
    }
    return negative ? -value : value;
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
