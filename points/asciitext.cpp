// SPDX-License-Identifier: GPL-3.0-or-later
#include "asciitext.h"

#include <QString>
#include <QTextCodec>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool localeCodecKeepsAscii()
{
    QTextCodec *codec = QTextCodec::codecForLocale();
    if (!codec)
        return false;
    char ascii[128];
    for (int i = 0; i < 128; ++i)
        ascii[i] = char(i);
    return codec->toUnicode(ascii, 128) == QString::fromLatin1(ascii, 128);
}

} // namespace

bool readsAsPlainAscii(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    std::uint64_t high = 0;
    for (; end - p >= 8; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        high |= word;
    }
    for (; p != end; ++p)
        high |= std::uint8_t(*p);
    if (high & UINT64_C(0x8080808080808080))
        return false;
    return localeCodecKeepsAscii();
}

void removeCarriageReturns(QByteArray &bytes)
{
    // memchr rather than QByteArray::indexOf, which scans a byte at a time: most
    // files have no CR at all, and this scan then is the whole cost.
    const char *found = static_cast<const char *>(
            std::memchr(bytes.constData(), '\r', std::size_t(bytes.size())));
    if (!found)
        return;
    const int first = int(found - bytes.constData());
    char *data = bytes.data();
    char *const end = data + bytes.size();
    char *out = std::remove(data + first, end, '\r');
    bytes.truncate(int(out - data));
}

char *simplifyAsciiInPlace(char *begin, char *end)
{
    char *out = begin;
    const char *p = skipAsciiSpace(begin, end);
    while (p != end) {
        const char *word = p;
        p = skipToAsciiSpace(p, end);
        std::memmove(out, word, std::size_t(p - word));
        out += p - word;
        p = skipAsciiSpace(p, end);
        if (p != end)
            *out++ = ' ';
    }
    return out;
}

void simplifyAscii(const char *begin, const char *end, std::string &out)
{
    out.clear();
    const char *p = skipAsciiSpace(begin, end);
    while (p != end) {
        const char *word = p;
        p = skipToAsciiSpace(p, end);
        out.append(word, std::size_t(p - word));
        p = skipAsciiSpace(p, end);
        if (p != end)
            out.push_back(' ');
    }
}
