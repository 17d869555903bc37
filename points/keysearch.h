// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstring>

// Whether text seen in pieces holds a key, also where it runs across the
// pieces' ends, and where carriage returns stand between its letters: the
// readers drop every carriage return before they look at a line, so "M\rCA"
// is read as "MCA". The key is found by its first byte, which the library
// looks for many bytes at a time; that byte must not occur again in the key
// (a match that fails restarts at the failing byte).
class KeySearch
{
public:
    explicit KeySearch(const QByteArray &key)
        : m_key(key)
    { }

    void feed(const char *p, qint64 n)
    {
        if (m_found || m_key.isEmpty() || n <= 0)
            return;
        const char *const end = p + n;
        if (m_matched > 0)
            p = goOn(p, end);
        while (!m_found && p < end) {
            const void *first = std::memchr(p, m_key[0], std::size_t(end - p));
            if (!first)
                return;
            p = static_cast<const char *>(first);
            p = goOn(p, end);
        }
    }

    bool found() const { return m_found; }

private:
    // Matches the key's letters from m_matched on, passing over carriage
    // returns; returns where the next search starts.
    const char *goOn(const char *p, const char *end)
    {
        for (; p < end; ++p) {
            if (*p == '\r')
                continue;
            if (*p != m_key[m_matched]) {
                // The byte that breaks a match may begin the next one.
                const bool restart = m_matched > 0;
                m_matched = 0;
                return restart ? p : p + 1;
            }
            if (++m_matched == m_key.size()) {
                m_found = true;
                return p + 1;
            }
        }
        return p;
    }

    QByteArray m_key;
    int m_matched = 0; // letters of the key matched at the end of the text so far
    bool m_found = false;
};
