// SPDX-License-Identifier: GPL-3.0-or-later
#include "gzipfile.h"

#include <QCoreApplication>
#include <QIODevice>

#include <zlib.h>

namespace {

constexpr qint64 chunkBytes = qint64(1) << 18;

QString tr(const char *text)
{
    return QCoreApplication::translate("Recordings", text);
}

// One inflate stream over the device, reset at every member's end.
class Inflater
{
public:
    Inflater() { m_ok = inflateInit2(&m_z, 16 + MAX_WBITS) == Z_OK; }
    ~Inflater() { inflateEnd(&m_z); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    bool ok() const { return m_ok; }

    // Inflates the input left into out; the zlib status of the last step:
    // Z_OK when the input is used up, Z_STREAM_END at a member's end.
    int run(QByteArray &input, qsizetype &used, QByteArray &out, qint64 maxBytes)
    {
        int status = Z_OK;
        do {
            m_z.next_in = reinterpret_cast<Bytef *>(input.data() + used);
            m_z.avail_in = uInt(input.size() - used);
            const qsizetype before = out.size();
            out.resize(before + int(chunkBytes));
            m_z.next_out = reinterpret_cast<Bytef *>(out.data() + before);
            m_z.avail_out = uInt(chunkBytes);
            status = inflate(&m_z, Z_NO_FLUSH);
            out.resize(before + qsizetype(chunkBytes - m_z.avail_out));
            used = input.size() - qsizetype(m_z.avail_in);
            if (out.size() > maxBytes)
                return Z_MEM_ERROR;
            // No progress possible without more input.
            if (status == Z_BUF_ERROR)
                return Z_OK;
            // A full output may hide more to come, even with the input used up.
        } while (status == Z_OK && (used < input.size() || m_z.avail_out == 0));
        return status;
    }

    void reset() { inflateReset(&m_z); }
    QString message() const { return m_z.msg ? QString::fromLatin1(m_z.msg) : QString(); }

private:
    z_stream m_z {};
    bool m_ok = false;
};

} // namespace

bool looksGzip(const QByteArray &head)
{
    return head.size() >= 2 && uchar(head.at(0)) == 0x1f && uchar(head.at(1)) == 0x8b;
}

QByteArray gunzip(QIODevice &device, qint64 maxBytes, QString &error)
{
    QByteArray out;
    Inflater inflater;
    if (!inflater.ok() || !device.seek(0)) {
        error = tr("cannot decompress the gzip file");
        return QByteArray();
    }
    bool inMember = false;
    int status = Z_OK;
    while (!device.atEnd()) {
        QByteArray input = device.read(chunkBytes);
        qsizetype used = 0;
        while (used < input.size()) {
            // What follows a member's end is the next member, or padding of
            // zero bytes that some tape and transfer tools add.
            if (!inMember && input.at(used) == '\0') {
                ++used;
                continue;
            }
            inMember = true;
            status = inflater.run(input, used, out, maxBytes);
            if (status == Z_STREAM_END) {
                inflater.reset();
                inMember = false;
                status = Z_OK;
            } else if (status != Z_OK) {
                break;
            }
        }
        if (status != Z_OK)
            break;
    }
    if (status == Z_MEM_ERROR && out.size() > maxBytes)
        error = tr("more than %1 MiB once decompressed").arg(maxBytes >> 20);
    else if (status != Z_OK)
        error = tr("damaged gzip data (%1)").arg(inflater.message());
    else if (inMember)
        error = tr("the gzip data end early: the file is truncated");
    return error.isEmpty() ? out : QByteArray();
}
