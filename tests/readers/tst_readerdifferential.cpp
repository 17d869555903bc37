// SPDX-License-Identifier: GPL-3.0-or-later
// The readers work on bytes for plain ASCII files; these tests hold them to the
// straightforward line-by-line readers on generated and hostile input, bit for bit.
#include "pointtable.h"
#include "spectrumreader.h"

#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

QString number(double d)
{
    if (std::isnan(d))
        return QStringLiteral("nan");
    quint64 b;
    std::memcpy(&b, &d, sizeof b);
    return QString::number(b, 16);
}

QString numbers(const QVector<double> &v)
{
    QStringList s;
    for (double d : v)
        s << number(d);
    return s.join(QLatin1Char(' '));
}

// Everything a spectrum reader produced, doubles as bit patterns.
QStringList describe(const SpectrumPoint &sp)
{
    return { QStringLiteral("ok %1").arg(sp.ok), QStringLiteral("i0 ") + number(sp.i0),
             QStringLiteral("icrs ") + numbers(sp.icrs), QStringLiteral("scas ") + numbers(sp.scas),
             QStringLiteral("lows ") + numbers(sp.roiLows),
             QStringLiteral("highs ") + numbers(sp.roiHighs) };
}

// Every call a point-table reader made, in order.
struct TableLog
{
    QStringList events;
    PointTableSink sink()
    {
        PointTableSink s;
        s.onPoint = [this](double i0, const QVector<double> &icrs, const QVector<double> &scas,
                           int line) {
            events << QStringLiteral("point %1 | %2 | %3 at line %4")
                              .arg(number(i0), numbers(icrs), numbers(scas))
                              .arg(line);
        };
        s.onTrace = [this](const QString &line, bool isHeader) {
            events << QStringLiteral("trace %1 ").arg(isHeader) + line;
        };
        s.onNotNumber = [this](int line) {
            events << QStringLiteral("not a number at line %1").arg(line);
        };
        return s;
    }
};

QStringList spectrumFast(const QByteArray &bytes)
{
    SpectrumPoint sp;
    readSpectrumBytes(bytes, sp);
    return describe(sp);
}

QStringList spectrumReference(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    SpectrumPoint sp;
    readSpectrumReference(buffer, sp);
    return describe(sp);
}

QStringList tableFast(const QByteArray &bytes)
{
    TableLog log;
    readPointTableBytes(bytes, log.sink());
    return log.events;
}

QStringList tableReference(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    TableLog log;
    readPointTableReference(buffer, log.sink());
    return log.events;
}

QString escaped(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.left(2000).toPercentEncoding(" #:.,+-"));
}

template<typename T, std::size_t N>
const T &pick(QRandomGenerator &rng, const T (&items)[N])
{
    return items[rng.bounded(int(N))];
}

QByteArray blank(QRandomGenerator &rng)
{
    static const char *const blanks[] = { " ", " ", " ", "  ", "\t", " \t ", "\v", "\f", "\r" };
    return pick(rng, blanks);
}

QByteArray digitsOf(QRandomGenerator &rng, int count)
{
    QByteArray s;
    for (int i = 0; i < count; ++i)
        s += char('0' + rng.bounded(10));
    return s;
}

QByteArray number(QRandomGenerator &rng)
{
    static const char *const odd[] = { "inf", "-inf", "nan", "NaN", "+nan", "1e400", "-1e-400",
                                       "4.9e-324", "1e", ".", "-", "1,5", "0x1f", "x", "",
                                       "1e-310", "-0", "+.5", "5." };
    switch (rng.bounded(8)) {
    case 0:
        return pick(rng, odd);
    case 1:
        return QByteArray::number(rng.generateDouble() * std::pow(10.0, rng.bounded(-30, 30)), 'g',
                                  rng.bounded(1, 18));
    case 2:
        return digitsOf(rng, rng.bounded(1, 24)) + '.' + digitsOf(rng, rng.bounded(0, 24));
    default:
        return QByteArray::number(rng.bounded(-5, 3000));
    }
}

QByteArray integer(QRandomGenerator &rng)
{
    static const char *const odd[] = { "2147483647", "2147483648", "-2147483648", "3.0", "1e3",
                                       "+7", "010", "x", "", "-" };
    if (rng.bounded(6) == 0)
        return pick(rng, odd);
    return QByteArray::number(rng.bounded(-2, 64));
}

QByteArray soupLine(QRandomGenerator &rng)
{
    static const char *const pieces[] = { "0",  "1",   "7",   "-",  "+",  ".",     "e",
                                          "E",  "inf", "nan", " ",  "\t", ",",     "\r",
                                          "#",  ":",   "\0",  "# I0 : ", "# MCA Ch Info : ",
                                          "# Channels :", "I0", "MCA", "Ch" };
    QByteArray s;
    const int n = rng.bounded(0, 24);
    for (int i = 0; i < n; ++i) {
        const char *p = pick(rng, pieces);
        s += *p ? QByteArray(p) : QByteArray(1, '\0');
    }
    return s;
}

QByteArray spectrumLine(QRandomGenerator &rng, int channels)
{
    static const char *const i0Keys[] = { "# I0 : ", "# I0 : ", "# I0 :", "# I0: ", "#I0 : ",
                                          "# i0 : ", "  #  I0 \t: " };
    static const char *const channelKeys[] = { "# MCA Ch Info : ", "# MCA Ch Info : ",
                                               "# MCA Ch Info :", "#MCA Ch Info : ",
                                               "# MCA  Ch\tInfo :   ", "# mca Ch Info : " };
    switch (rng.bounded(12)) {
    case 0:
        return pick(rng, i0Keys) + number(rng) + (rng.bounded(5) ? "" : " cps");
    case 1:
    case 2: {
        QByteArray s = pick(rng, channelKeys);
        const int items = rng.bounded(5, 11);
        for (int k = 0; k < items; ++k) {
            if (k)
                s += blank(rng);
            if (k == 5)
                s += number(rng);
            else if (k == 6 || k == 7)
                s += integer(rng);
            else
                s += QByteArray("SDD") + char('1' + k);
        }
        return s;
    }
    case 3:
        return blank(rng);
    case 4:
        return soupLine(rng);
    case 5:
        return "# comment : " + number(rng);
    default: {
        QByteArray s = rng.bounded(4) ? blank(rng).left(1) : QByteArray();
        s += integer(rng);
        const int fields = rng.bounded(0, 2 * channels + 4);
        for (int k = 0; k < fields; ++k)
            s += (rng.bounded(20) ? blank(rng) : QByteArray(",")) + number(rng);
        return s;
    }
    }
}

QByteArray tableLine(QRandomGenerator &rng, int channels)
{
    static const char *const keys[] = { "# Channels : ", "# CHANNELS :", "#   channels  :",
                                        "#\tChannels \t:", "# Channels: ", "# Channel : ",
                                        "#Channels : ", "# ChannelS :" };
    static const char *const counts[] = { "1", "2", "3", "5", "0", "-5", "x", "", "2147483647",
                                          "+2", " 3 # three", "4 5", "2#" };
    static const char *const separators[] = { " ", ",", ", ", " ,", "\t", ",,", " , ", "\t,\t" };
    switch (rng.bounded(10)) {
    case 0:
        return pick(rng, keys) + QByteArray(pick(rng, counts));
    case 1:
        return soupLine(rng);
    case 2:
        return blank(rng);
    case 3:
        return "# note " + number(rng);
    default: {
        QByteArray s = rng.bounded(6) ? QByteArray() : QByteArray(pick(rng, separators));
        const int fields = rng.bounded(0, 2 * qMax(channels, 1) + 4);
        for (int k = 0; k < fields; ++k)
            s += (k ? QByteArray(pick(rng, separators)) : QByteArray()) + number(rng);
        if (rng.bounded(6) == 0)
            s += pick(rng, separators);
        return s;
    }
    }
}

QByteArray lineEnd(QRandomGenerator &rng, bool crlf)
{
    static const char *const ends[] = { "\n", "\n", "\n", "\r\n", "\r", "\n\r", "\r\r\n", "\n\n" };
    if (crlf)
        return rng.bounded(30) ? QByteArray("\r\n") : QByteArray(pick(rng, ends));
    return rng.bounded(10) ? QByteArray("\n") : QByteArray(pick(rng, ends));
}

// Non-ASCII text the stream decodes: white space beyond ASCII, letters that upper-case
// to ASCII, invalid UTF-8, byte-order marks.
QByteArray nonAscii(QRandomGenerator &rng)
{
    static const char *const pieces[] = { "\xc2\xa0", "\xe2\x80\xa8", "\xe3\x80\x80", "\xc2\x85",
                                          "\xe2\x80\x8b", "\xc5\xbf", "\xc4\xb1", "\xff",
                                          "\xef\xbb\xbf", "\xc3\xa9", "\xe1\x9a\x80" };
    return pick(rng, pieces);
}

QByteArray spoil(QRandomGenerator &rng, QByteArray bytes, bool withNonAscii)
{
    if (rng.bounded(5) == 0 && !bytes.isEmpty())
        bytes.insert(rng.bounded(bytes.size()), '\0');
    if (withNonAscii) {
        const int count = rng.bounded(1, 4);
        for (int i = 0; i < count; ++i)
            bytes.insert(rng.bounded(bytes.size() + 1), nonAscii(rng));
        if (rng.bounded(4) == 0)
            bytes.prepend(rng.bounded(2) ? "\xef\xbb\xbf" : "\xff\xfe");
    }
    return bytes;
}

QByteArray spectrumFile(QRandomGenerator &rng, int lines, bool crlf)
{
    QByteArray s;
    int channels = 0;
    if (rng.bounded(2)) {
        s += "# I0 : " + number(rng) + lineEnd(rng, crlf);
        channels = rng.bounded(1, 5);
        for (int j = 0; j < channels; ++j) {
            const int low = rng.bounded(0, 40);
            s += "# MCA Ch Info : a b c d e " + number(rng) + ' ' + QByteArray::number(low) + ' '
                    + QByteArray::number(low + rng.bounded(-2, 20)) + lineEnd(rng, crlf);
        }
    }
    for (int i = 0; i < lines; ++i) {
        s += spectrumLine(rng, channels);
        if (i + 1 < lines || rng.bounded(2))
            s += lineEnd(rng, crlf);
    }
    return s;
}

QByteArray tableFile(QRandomGenerator &rng, int lines, bool crlf)
{
    QByteArray s;
    const int channels = rng.bounded(1, 5);
    for (int i = 0; i < lines; ++i) {
        s += tableLine(rng, channels);
        if (i + 1 < lines || rng.bounded(2))
            s += lineEnd(rng, crlf);
    }
    return s;
}

} // namespace

class TestReaderDifferential : public QObject
{
    Q_OBJECT

private slots:
    void generatedFiles_data();
    void generatedFiles();
    void byteSoup();
    void hostileBytes_data();
    void hostileBytes();
    void largeFilesAcrossBufferBoundaries();
    void tableBlocksOfAnySize_data();
    void tableBlocksOfAnySize();
    void carriageReturnsAtBufferEnds_data();
    void carriageReturnsAtBufferEnds();
    void conformanceInputs();
};

void TestReaderDifferential::generatedFiles_data()
{
    QTest::addColumn<bool>("table");
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<bool>("withNonAscii");
    for (bool table : { false, true }) {
        const char *kind = table ? "tables" : "spectra";
        QTest::addRow("%s, LF, ASCII", kind) << table << false << false;
        QTest::addRow("%s, CR LF, ASCII", kind) << table << true << false;
        QTest::addRow("%s, LF, non-ASCII", kind) << table << false << true;
    }
}

void TestReaderDifferential::generatedFiles()
{
    QFETCH(bool, table);
    QFETCH(bool, crlf);
    QFETCH(bool, withNonAscii);
    QRandomGenerator rng((table ? 2000 : 1000) + 2 * crlf + withNonAscii);
    for (int i = 0; i < 1500; ++i) {
        const QByteArray bytes = spoil(rng,
                                       table ? tableFile(rng, rng.bounded(0, 30), crlf)
                                             : spectrumFile(rng, rng.bounded(0, 40), crlf),
                                       withNonAscii);
        const QStringList fast = table ? tableFast(bytes) : spectrumFast(bytes);
        const QStringList reference = table ? tableReference(bytes) : spectrumReference(bytes);
        if (fast != reference) {
            qWarning("input: %s", qPrintable(escaped(bytes)));
            QCOMPARE(fast, reference);
        }
    }
}

void TestReaderDifferential::byteSoup()
{
    QRandomGenerator rng(3000);
    for (int i = 0; i < 3000; ++i) {
        QByteArray bytes;
        const int lines = rng.bounded(0, 12);
        for (int k = 0; k < lines; ++k)
            bytes += soupLine(rng) + (rng.bounded(3) ? "\n" : "");
        if (i % 3 == 2)
            bytes = spoil(rng, bytes, true);
        QCOMPARE(spectrumFast(bytes), spectrumReference(bytes));
        QCOMPARE(tableFast(bytes), tableReference(bytes));
    }
}

void TestReaderDifferential::hostileBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QRandomGenerator rng(4000);
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary += char(rng.bounded(256));
    QByteArray asciiBinary;
    for (int i = 0; i < 70000; ++i)
        asciiBinary += char(rng.bounded(128));
    const QByteArray example = "# Channels : 2\n# I0 : 250\n"
                               "# MCA Ch Info : x x x x x 52.5 100 200\n"
                               "# MCA Ch Info : x x x x x 49 110 210\n"
                               "150 0.75 12 0.75 15\n105 0.52 3 0.52 4\n";
    QByteArray utf16le("\xff\xfe"), utf16be("\xfe\xff"), bare16;
    for (char c : example) {
        utf16le.append(c).append('\0');
        utf16be.append('\0').append(c);
        bare16.append(c).append('\0');
    }

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("line feed only") << QByteArray("\n");
    QTest::newRow("carriage return only") << QByteArray("\r");
    QTest::newRow("lone carriage returns") << QByteArray("a\rb\r\nc\r\rd\n\re\r");
    QTest::newRow("NUL only") << QByteArray(16, '\0');
    QTest::newRow("random binary") << binary;
    QTest::newRow("random 7-bit binary") << asciiBinary;
    QTest::newRow("UTF-16 LE with mark") << utf16le;
    QTest::newRow("UTF-16 BE with mark") << utf16be;
    QTest::newRow("UTF-16 without mark") << bare16;
    QTest::newRow("UTF-8 mark") << QByteArray("\xef\xbb\xbf") + example;
    QTest::newRow("double UTF-8 mark") << QByteArray("\xef\xbb\xbf\xef\xbb\xbf") + example;
    QTest::newRow("no line end at all") << QByteArray(example).replace('\n', ' ');
    QTest::newRow("CR line ends") << QByteArray(example).replace('\n', '\r');
    QTest::newRow("header upper-cased by non-ASCII letter")
            << QByteArray("# channel\xc5\xbf : 2\n1 2 3 4 5\n");
    QTest::newRow("non-breaking spaces")
            << QByteArray("#\xc2\xa0I0\xc2\xa0:\xe3\x80\x80 250\n# MCA Ch Info : a b c d e 5 0 9\n"
                          "1\xe2\x80\xa8 2 3\n");
    QTest::newRow("huge channel count") << QByteArray("# Channels : 2147483647\n1 2 3 4 5 6 7\n");
    QTest::newRow("negative channel count") << QByteArray("# Channels : -5\n1 2 3\n");
    QTest::newRow("extreme values")
            << QByteArray("# I0 : 1e308\n# MCA Ch Info : a b c d e inf 0 9\n"
                          "1 0 1e308\n2 0 1e308\n3 0 nan\n1e308 inf -inf nan\n");
}

void TestReaderDifferential::hostileBytes()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(spectrumFast(bytes), spectrumReference(bytes));
    QCOMPARE(tableFast(bytes), tableReference(bytes));
}

void TestReaderDifferential::tableBlocksOfAnySize_data()
{
    QTest::addColumn<bool>("crlf");
    QTest::addColumn<int>("chunkSize");
    for (int chunk : { 1, 2, 3, 7, 64 }) {
        for (bool crlf : { false, true })
            QTest::addRow("%d-byte blocks%s", chunk, crlf ? ", CR LF" : "") << crlf << chunk;
    }
}

// The file reader reads plain text in blocks; wherever their boundaries fall
// (inside a CR LF, a number, a header, after the last line feed) it gives the
// events the reference gives on the whole file.
void TestReaderDifferential::tableBlocksOfAnySize()
{
    QFETCH(bool, crlf);
    QFETCH(int, chunkSize);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.dat"));
    QRandomGenerator rng(5000 + chunkSize + crlf);
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes = tableFile(rng, rng.bounded(0, 12), crlf);
        if (rng.bounded(3) == 0)
            bytes.prepend("# Channels : " + QByteArray::number(rng.bounded(0, 4)) + "\n");
        QVERIFY(testsupport::writeFileBytes(path, bytes));
        TableLog fast;
        QVERIFY(readPointTableFile(path, fast.sink(), chunkSize).opened());
        if (fast.events != tableReference(bytes)) {
            qWarning("input: %s", qPrintable(escaped(bytes)));
            QCOMPARE(fast.events, tableReference(bytes));
        }
    }
}

// Files larger than the text stream's buffers, read through the file functions and
// compared with the reference reading the same file.
void TestReaderDifferential::largeFilesAcrossBufferBoundaries()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QRandomGenerator rng(5000);
    for (int round = 0; round < 6; ++round) {
        const bool crlf = round % 2;
        QByteArray spectrum = spectrumFile(rng, 30000, crlf);
        QByteArray table = tableFile(rng, 30000, crlf);
        if (round >= 4) {
            spectrum = spoil(rng, spectrum, true);
            table = spoil(rng, table, true);
        }
        const QString spectrumPath = dir.filePath(QStringLiteral("spectrum%1.dat").arg(round));
        const QString tablePath = dir.filePath(QStringLiteral("table%1.dat").arg(round));
        QVERIFY(testsupport::writeFileBytes(spectrumPath, spectrum));
        QVERIFY(testsupport::writeFileBytes(tablePath, table));

        SpectrumPoint sp;
        readSpectrumFile(spectrumPath, sp);
        QFile spectrumIn(spectrumPath);
        QVERIFY(spectrumIn.open(QIODevice::ReadOnly | QIODevice::Text));
        SpectrumPoint reference;
        readSpectrumReference(spectrumIn, reference);
        QCOMPARE(describe(sp), describe(reference));

        TableLog fast;
        QVERIFY(readPointTableFile(tablePath, fast.sink()).opened());
        QFile tableIn(tablePath);
        QVERIFY(tableIn.open(QIODevice::ReadOnly | QIODevice::Text));
        TableLog slow;
        readPointTableReference(tableIn, slow.sink());
        QCOMPARE(fast.events, slow.events);
    }
}

void TestReaderDifferential::carriageReturnsAtBufferEnds_data()
{
    QTest::addColumn<int>("textLength"); // without carriage returns
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("crlf");
    for (int length : { 16383, 16384, 16385, 32767, 32768, 49152 }) {
        for (const char *tail : { "\r", "\r\r\r", "\r\n\r", "7\r", "" }) {
            for (bool crlf : { false, true }) {
                const QByteArray name = QByteArray::number(length) + ' '
                        + QByteArray(tail).toPercentEncoding() + (crlf ? " CR LF" : "");
                QTest::newRow(name.constData()) << length << QByteArray(tail) << crlf;
            }
        }
    }
    QTest::newRow("only carriage returns") << 0 << QByteArray("\r\r") << false;
    QTest::newRow("line feed after a buffer of carriage returns")
            << 0 << QByteArray(16384, '\r') + '\n' << false;
}

// The text stream reads text in buffers of 16384 characters; what is left after a
// full buffer decides whether it reads one more line.
void TestReaderDifferential::carriageReturnsAtBufferEnds()
{
    QFETCH(int, textLength);
    QFETCH(QByteArray, tail);
    QFETCH(bool, crlf);

    const QByteArray head = "# I0 : 250\n# MCA Ch Info : x x x x x 52.5 0 200\n150 0.75 12\n";
    QByteArray text;
    if (textLength > 0) {
        const int tailText = tail.count('\n') + tail.count('7');
        const int padding = textLength - head.size() - tailText - 2;
        text = head + '#' + QByteArray(padding, 'x') + '\n';
    }
    if (crlf)
        text.replace("\n", "\r\n");
    const QByteArray bytes = text + tail;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cr.dat"));
    QVERIFY(testsupport::writeFileBytes(path, bytes));

    SpectrumPoint sp;
    readSpectrumFile(path, sp);
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly | QIODevice::Text));
    SpectrumPoint reference;
    readSpectrumReference(in, reference);
    QCOMPARE(describe(sp), describe(reference));
    QCOMPARE(spectrumFast(bytes), describe(reference));

    TableLog fast;
    QVERIFY(readPointTableFile(path, fast.sink()).opened());
    QVERIFY(in.seek(0));
    TableLog slow;
    readPointTableReference(in, slow.sink());
    QCOMPARE(fast.events, slow.events);
    QCOMPARE(tableFast(bytes), slow.events);
}

void TestReaderDifferential::conformanceInputs()
{
    QDir root(testsupport::testDataPath(QStringLiteral("conformance")));
    const QStringList cases = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(cases.size() >= 8);
    int spectra = 0;
    for (const QString &c : cases) {
        QDir input(root.filePath(c + QStringLiteral("/input")));
        for (const QString &name : input.entryList(QDir::Files)) {
            const QString path = input.filePath(name);
            const QByteArray bytes = testsupport::readFileBytes(path);
            const QStringList spectrum = spectrumReference(bytes);
            const QStringList table = tableReference(bytes);
            QCOMPARE(spectrumFast(bytes), spectrum);
            QCOMPARE(tableFast(bytes), table);
            // The file functions, which read in blocks, give the same.
            TableLog fromFile;
            QVERIFY(readPointTableFile(path, fromFile.sink()).opened());
            QCOMPARE(fromFile.events, table);
            SpectrumPoint sp;
            readSpectrumFile(path, sp);
            const bool isSpectrum = spectrum.first() == QStringLiteral("ok %1").arg(true);
            if (sp.ok || isSpectrum)
                QCOMPARE(describe(sp), spectrum);
            spectra += isSpectrum;
        }
    }
    QVERIFY2(spectra >= 13, qPrintable(QString::number(spectra)));
}

QTEST_APPLESS_MAIN(TestReaderDifferential)
#include "tst_readerdifferential.moc"
