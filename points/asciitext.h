// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <string>

// Helpers for reading a measurement file from its bytes when those bytes are plain
// ASCII: the text stream would then read the same characters, so lines can be cut
// and simplified on bytes.

// True if a text stream reading bytes in text mode (locale codec, byte-order-mark
// detection) would read exactly these bytes as characters: every byte is below 0x80
// and the locale codec maps ASCII to itself.
bool readsAsPlainAscii(const QByteArray &bytes);

// Removes every carriage return, as a device opened in text mode does.
void removeCarriageReturns(QByteArray &bytes);

// White space as QChar::isSpace sees it within ASCII.
inline bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline const char *skipAsciiSpace(const char *p, const char *end)
{
    while (p != end && isAsciiSpace(*p))
        ++p;
    return p;
}

inline const char *skipToAsciiSpace(const char *p, const char *end)
{
    while (p != end && !isAsciiSpace(*p))
        ++p;
    return p;
}

// Sets out to the simplified form of [begin, end), as QString::simplified gives it.
void simplifyAscii(const char *begin, const char *end, std::string &out);

// The same in place; returns the end of the simplified text.
char *simplifyAsciiInPlace(char *begin, char *end);
