// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "dispa.h"
#include "hostilefiles.h"
#include "le.h"
#include "panelrow.h"
#include "pointtable.h"
#include "spectrumreader.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>

#include <sys/stat.h>

using namespace hostile;
using testsupport::writeFileBytes;
using testsupport::DebugCapture;

// Every hostile file is loaded into a window that already holds a good batch:
// the window must neither crash nor hang, must keep the earlier points, and
// must take from the file exactly what the reader rules give.
class tst_Hostile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void hostileFile_data();
    void hostileFile();
    void unopenablePath_data();
    void unopenablePath();
    void randomBinary();
    void randomTextWithoutNumbers();
    void everyIcrZeroGivesNonFiniteDeadTimes();
    void mouseOnPlotsOfExtremeValues();

private:
    struct Loaded
    {
        QVector<QPointer<AMeasP>> panels;
        QStringList points;
    };
    Loaded loadGoodBatch(Body &body);
    void checkGoodBatchKept(const Body &body, const Loaded &before);
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QStringList goodFiles;
    QStringList goodPoints;
};

namespace {

const char twoChannelSpectrum[] = "# I0 : 250\n"
                           "# MCA Ch Info : x x x x x 52.5 100 200\n"
                           "# MCA Ch Info : x x x x x 49 110 210\n"
                           "150 0.75 12 0.75 15\n"
                           "105 0.52 3 0.52 4\n"
                           "230 1.15 9 1.15 8\n"
                           "400 2.0 7\n";

const char nulBytes[] = "1000\0 950 900\n\0\0\0\n2000 1800 1700 \0\n";

const QStringList twoChannelSpectrumLines = QString::fromLatin1(twoChannelSpectrum).split(QLatin1Char('\n'),
                                                                              Qt::SkipEmptyParts);

QString twoChannelSpectrumPoint()
{
    return pointText(250, { 52.5, 49 }, { 15, 15 });
}

// What the UTF-8 decoder makes of UTF-16LE text without a byte-order mark:
// every character followed by a NUL, and each line after the first begins with
// the NUL that followed the previous line feed.
QString withNuls(const QString &line, bool afterLineFeed)
{
    QString out;
    if (afterLineFeed)
        out += QChar(0);
    for (const QChar c : line) {
        out += c;
        out += QChar(0);
    }
    return out;
}

QVector<bool> noHeaders(int n)
{
    return QVector<bool>(n, false);
}

void paint(Body &body)
{
    // Renders the whole window, both plot displays included.
    const QPixmap shot = body.grab();
    QVERIFY(!shot.isNull());
}

} // namespace

void tst_Hostile::initTestCase()
{
    QVERIFY(dir.isValid());
    const struct
    {
        double i0;
        QVector<double> icrs, scas;
    } good[] = { { 1000, { 900, 950 }, { 850, 900 } },
                 { 2000, { 1700, 1800 }, { 1550, 1650 } },
                 { 4000, { 3000, 3300 }, { 2600, 2900 } } };
    for (int i = 0; i < 3; ++i) {
        const QString file = path(QStringLiteral("good_%1.dat").arg(i + 1));
        QVERIFY(writeFileBytes(file, spectrumText(good[i].i0, good[i].icrs, good[i].scas)));
        goodFiles.append(file);
        goodPoints.append(pointText(good[i].i0, good[i].icrs, good[i].scas));
    }
}

tst_Hostile::Loaded tst_Hostile::loadGoodBatch(Body &body)
{
    Loaded loaded;
    loadBatch(body, goodFiles);
    for (AMeasP *panel : body.measSet().mcas)
        loaded.panels.append(panel);
    loaded.points = pointTexts(body);
    return loaded;
}

void tst_Hostile::checkGoodBatchKept(const Body &body, const Loaded &before)
{
    const MeasSet &set = body.measSet();
    QVERIFY(set.mcas.size() >= before.panels.size());
    auto *layout = body.findChild<QGridLayout *>(QStringLiteral("MCALayout"));
    QVERIFY(layout);
    for (int p = 0; p < before.panels.size(); ++p) {
        QVERIFY2(before.panels[p], "an earlier panel was deleted");
        QCOMPARE(set.mcas[p], before.panels[p].data());
        QCOMPARE(panelRow(layout, before.panels[p].data()), p);
    }
    QCOMPARE(pointTexts(body).mid(0, before.points.size()), before.points);
}

void tst_Hostile::hostileFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("points"); // the points the file adds
    QTest::addColumn<QStringList>("traced"); // lines of the channel header search
    QTest::addColumn<QVector<bool>>("headers");

    QTest::newRow("empty file") << QByteArray() << QStringList() << QStringList()
                                << QVector<bool>();
    // A text stream in text mode drops carriage returns: the lone one leaves
    // one empty line, and a file with CR line ends is a single line.
    QTest::newRow("lone CR") << QByteArray("\r") << QStringList() << QStringList { QString() }
                             << noHeaders(1);
    QTest::newRow("CR-only line ends")
            << QByteArray("1000 950 900\r2000 1800 1700\r3000 2500 2400\r")
            << QStringList { pointText(1000, { 950 }, { 9002000 }) }
            << QStringList { "1000 950 9002000 1800 17003000 2500 2400" } << noHeaders(1);
    QTest::newRow("CR-only line ends, last line open")
            << QByteArray("1000 950 900\r2000 1800 1700")
            << QStringList { pointText(1000, { 950 }, { 9002000 }) }
            << QStringList { "1000 950 9002000 1800 1700" } << noHeaders(1);
    // A NUL is no white space, and a field with a NUL in it is no number.
    QTest::newRow("NUL bytes")
            << QByteArray(nulBytes, sizeof nulBytes - 1)
            << QStringList { pointText(0, { 950 }, { 900 }), pointText(2000, { 1800 }, { 1700 }) }
            << QStringList { QString::fromLatin1("1000\0 950 900", 13),
                             QString::fromLatin1("\0\0\0", 3),
                             QString::fromLatin1("2000 1800 1700 \0", 16) }
            << noHeaders(3);

    // The text stream recognises a UTF-16 byte-order mark and decodes the text.
    const QString spectrum = QString::fromLatin1(twoChannelSpectrum);
    QTest::newRow("UTF-16LE with BOM") << utf16(spectrum, false, true)
                                       << QStringList { twoChannelSpectrumPoint() } << QStringList()
                                       << QVector<bool>();
    QTest::newRow("UTF-16BE with BOM") << utf16(spectrum, true, true)
                                       << QStringList { twoChannelSpectrumPoint() } << QStringList()
                                       << QVector<bool>();
    QTest::newRow("UTF-16LE with BOM and CR LF line ends")
            << utf16(QString(spectrum).replace(QLatin1Char('\n'), QLatin1String("\r\n")), false, true)
            << QStringList { twoChannelSpectrumPoint() } << QStringList() << QVector<bool>();
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbf") + spectrum.toUtf8()
                                    << QStringList { twoChannelSpectrumPoint() } << QStringList()
                                    << QVector<bool>();
    // Without one it reads UTF-8: the NULs spoil every key and number, so each
    // line with three or more fields becomes a point of zeros.
    {
        QStringList traced;
        for (int i = 0; i < twoChannelSpectrumLines.size(); ++i)
            traced.append(withNuls(twoChannelSpectrumLines[i], i > 0));
        traced.append(QString(QChar(0)));
        QStringList zeros;
        for (int i = 1; i < twoChannelSpectrumLines.size(); ++i)
            zeros.append(pointText(0, { 0 }, { 0 }));
        QTest::newRow("UTF-16LE without BOM")
                << utf16(spectrum, false, false) << zeros << traced << noHeaders(traced.size());
    }

    // Non-breaking and other Unicode spaces are white space like the blank; a
    // zero-width space is not, so its line has too few fields.
    QTest::newRow("UTF-8 spaces in a point table")
            << QString::fromUtf8("# Channels\u00a0: 2\n"
                                 "1000\u00a0950\u2003980\u3000900\u2009910\n"
                                 "2000\u20281800 1900 1600 1700\n"
                                 "3000\u200b2500 2600 2200 2300\n")
                       .toUtf8()
            << QStringList { pointText(1000, { 950, 980 }, { 900, 910 }),
                             pointText(2000, { 1800, 1900 }, { 1600, 1700 }) }
            << QStringList { "# Channels : 2" } << QVector<bool> { true };
    QTest::newRow("UTF-8 spaces in a spectrum file")
            << QString::fromLatin1(twoChannelSpectrum)
                       .replace(QStringLiteral("# I0 : "), QString::fromUtf8("#\u2003I0\u00a0:\u3000"))
                       .replace(QStringLiteral("150 0.75"), QString::fromUtf8("150\u00a0\u00a00.75"))
                       .toUtf8()
            << QStringList { twoChannelSpectrumPoint() } << QStringList() << QVector<bool>();

    // No line can have more than 2 x 2147483647 fields; a count of 0 or less
    // ends the header search and takes nothing more.
    QTest::newRow("# Channels : 2147483647")
            << QByteArray("# Channels : 2147483647\n1 2 3 4 5 6 7 8 9\n") << QStringList()
            << QStringList { "# Channels : 2147483647" } << QVector<bool> { true };
    QTest::newRow("# Channels : -5")
            << QByteArray("# Channels : -5\n1 2 3 4 5 6\n# Channels : 1\n1 2 3\n") << QStringList()
            << QStringList { "# Channels : -5" } << QVector<bool> { true };
    QTest::newRow("# Channels : 2147483648")
            << QByteArray("# Channels : 2147483648\n1 2 3\n") << QStringList()
            << QStringList { "# Channels : 2147483648" } << QVector<bool> { true };

    {
        const double tiny = 4.9406564584124654e-324;
        const double inf = qInf();
        const QStringList lines { "1e308 1e308 -1e308", "-1e308 -1e308 1e308", "inf -inf nan",
                                  "4.9e-324 -4.9e-324 2.2250738585072009e-308",
                                  "1e400 -1e400 1e-400" };
        QTest::newRow("1e308, -1e308, inf, nan and subnormal values")
                << (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLatin1()
                << QStringList { pointText(1e308, { 1e308 }, { -1e308 }),
                                 pointText(-1e308, { -1e308 }, { 1e308 }),
                                 pointText(inf, { -inf }, { qQNaN() }),
                                 pointText(tiny, { -tiny }, { 2.2250738585072009e-308 }),
                                 pointText(inf, { -inf }, { 0 }) }
                << lines << noHeaders(lines.size());
    }

    // A spectrum file without a positive I0 is read as a point table: its
    // header lines are comments and each row with three or more fields a point.
    for (const char *i0 : { "-250", "0" }) {
        const QString text = QString::fromLatin1(twoChannelSpectrum)
                                     .replace(QStringLiteral("# I0 : 250"),
                                              QStringLiteral("# I0 : ") + QLatin1String(i0));
        QTest::newRow(qPrintable(QStringLiteral("spectrum file with I0 %1").arg(QLatin1String(i0))))
                << text.toLatin1()
                << QStringList { pointText(150, { 0.75 }, { 12 }), pointText(105, { 0.52 }, { 3 }),
                                 pointText(230, { 1.15 }, { 9 }), pointText(400, { 2 }, { 7 }) }
                << text.split(QLatin1Char('\n'), Qt::SkipEmptyParts) << noHeaders(7);
    }
    QTest::newRow("point table with zero and negative I0")
            << QByteArray("0 950 900\n-1000 950 900\n-0 1 2\n")
            << QStringList { pointText(0, { 950 }, { 900 }), pointText(-1000, { 950 }, { 900 }),
                             pointText(-0.0, { 1 }, { 2 }) }
            << QStringList { "0 950 900", "-1000 950 900", "-0 1 2" } << noHeaders(3);
    QTest::newRow("every ICR zero")
            << QByteArray("# Channels : 2\n1000 0 0 900 910\n2000 0 0 1600 1700\n"
                          "3000 0 0 2200 2300\n")
            << QStringList { pointText(1000, { 0, 0 }, { 900, 910 }),
                             pointText(2000, { 0, 0 }, { 1600, 1700 }),
                             pointText(3000, { 0, 0 }, { 2200, 2300 }) }
            << QStringList { "# Channels : 2" } << QVector<bool> { true };
}

void tst_Hostile::hostileFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, points);
    QFETCH(QStringList, traced);
    QFETCH(QVector<bool>, headers);

    const QString file = path(QStringLiteral("hostile.dat"));
    QVERIFY(writeFileBytes(file, content));

    Body body;
    body.resize(900, 700);
    body.show();
    const Loaded before = loadGoodBatch(body);
    QCOMPARE(before.points, goodPoints);
    QVERIFY(body.measSet().estimated);
    paint(body);

    DebugCapture capture;
    loadBatch(body, { file });
    paint(body);

    checkGoodBatchKept(body, before);
    // Joined, so that a difference shows in the failure message.
    QCOMPARE(pointTexts(body).mid(before.points.size()).join(QLatin1Char('\n')),
             points.join(QLatin1Char('\n')));
    QCOMPARE(readerDebugLines(capture.lines()).join(QLatin1Char('\n')),
             traceDebugLines(traced, headers).join(QLatin1Char('\n')));

    // The estimation either ran again over all points or, with fewer than two
    // common channels, left the earlier results in place.
    const MeasSet &set = body.measSet();
    QVERIFY(set.estimated);
    const int chs = set.chs() >= 2 ? set.chs() : 2;
    QCOMPARE(set.tau0s.size(), chs);
    QCOMPARE(set.taus.size(), chs);
    QCOMPARE(set.tauLEs.size(), 2 * chs);
}

void tst_Hostile::unopenablePath_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("directory") << "directory";
    QTest::newRow("vanished between selection and load") << "vanished";
    QTest::newRow("no read permission") << "unreadable";
    // Opening a pipe that no one writes to would wait for ever.
    QTest::newRow("named pipe without a writer") << "fifo";
}

void tst_Hostile::unopenablePath()
{
    QFETCH(QString, kind);

    QString target;
    if (kind == QLatin1String("directory")) {
        target = path(QStringLiteral("a_folder.dat"));
        QVERIFY(QDir().mkpath(target));
    } else if (kind == QLatin1String("fifo")) {
        target = path(QStringLiteral("pipe.dat"));
        QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
    } else {
        target = path(QStringLiteral("%1.dat").arg(kind));
        QVERIFY(writeFileBytes(target, QByteArray("1000 950 900\n")));
        if (kind == QLatin1String("unreadable")) {
            QVERIFY(QFile::setPermissions(target, QFileDevice::WriteOwner));
            QFile probe(target);
            if (probe.open(QIODevice::ReadOnly))
                QSKIP("This process may read files whatever their permission bits (it runs "
                      "as root or with CAP_DAC_OVERRIDE), so an unreadable file cannot be made");
        }
    }

    Body body;
    const Loaded before = loadGoodBatch(body);
    // The dialog has handed over the path; the file goes before the slot runs.
    if (kind == QLatin1String("vanished"))
        QVERIFY(QFile::remove(target));

    DebugCapture capture;
    loadBatch(body, { target });
    paint(body);

    checkGoodBatchKept(body, before);
    QCOMPARE(body.measSet().mcas.size(), before.panels.size());
    QCOMPARE(readerDebugLines(capture.lines()), QStringList { cannotOpenLine(target) });
    QVERIFY(body.measSet().estimated);
}

// 64 KiB of arbitrary bytes: whatever they hold, the window must take from
// them what the text stream readers take, and nothing else.
void tst_Hostile::randomBinary()
{
    const QString file = path(QStringLiteral("random.bin"));
    QVERIFY(writeFileBytes(file, randomBytes(64 * 1024, 20261207)));

    QStringList expectedPoints;
    QStringList expectedTrace;
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        SpectrumPoint sp;
        readSpectrumReference(f, sp);
        if (sp.ok) {
            expectedPoints.append(pointText(sp.i0, sp.icrs, sp.scas));
        } else {
            QVERIFY(f.seek(0));
            PointTableSink sink;
            sink.onPoint = [&](double i0, const QVector<double> &icrs,
                               const QVector<double> &scas, int) {
                expectedPoints.append(pointText(i0, icrs, scas));
            };
            QVector<bool> headers;
            QStringList lines;
            sink.onTrace = [&](const QString &line, bool isHeader) {
                lines.append(line);
                headers.append(isHeader);
            };
            readPointTableReference(f, sink);
            expectedTrace = traceDebugLines(lines, headers);
        }
    }

    Body body;
    const Loaded before = loadGoodBatch(body);
    DebugCapture capture;
    loadBatch(body, { file });
    paint(body);

    checkGoodBatchKept(body, before);
    QCOMPARE(pointTexts(body).mid(before.points.size()), expectedPoints);
    QCOMPARE(readerDebugLines(capture.lines()), expectedTrace);
}

// Arbitrary bytes without line feeds, ASCII digits or letters (so no number,
// "inf" or "nan"), without "#" and without the bytes of a UTF-16 mark: one line
// of fields that are no numbers, hence one point of zeros.
void tst_Hostile::randomTextWithoutNumbers()
{
    QByteArray skip = "\n#\xfe\xff";
    for (char c = '0'; c <= '9'; ++c)
        skip += c;
    for (char c = 'a'; c <= 'z'; ++c)
        skip += QByteArray(1, c) + char(c - 'a' + 'A');
    const QByteArray bytes = "! " + randomBytes(16 * 1024, 7, skip) + " ? ?";
    const QString file = path(QStringLiteral("random.txt"));
    QVERIFY(writeFileBytes(file, bytes));

    Body body;
    const Loaded before = loadGoodBatch(body);
    DebugCapture capture;
    loadBatch(body, { file });
    paint(body);

    checkGoodBatchKept(body, before);
    QCOMPARE(pointTexts(body).mid(before.points.size()),
             QStringList { pointText(0, { 0 }, { 0 }) });
    const QStringList debug = readerDebugLines(capture.lines());
    QCOMPARE(debug.size(), 3);
    QVERIFY(debug[0].startsWith(QLatin1String("LINE \"! ")));
    QCOMPARE(debug[2], QStringLiteral("bool false"));
}

// A channel whose ICR is 0 at every point has a = b = 0: its pre-amplifier dead
// time is NaN and its amplifier fit is singular. The window shows, draws and
// saves such values without failing.
void tst_Hostile::everyIcrZeroGivesNonFiniteDeadTimes()
{
    const QString file = path(QStringLiteral("zero_icr.dat"));
    QVERIFY(writeFileBytes(file,
                      "# Channels : 2\n1000 0 0 900 910\n2000 0 0 1600 1700\n"
                      "3000 0 0 2200 2300\n"));
    Body body;
    body.resize(900, 700);
    body.show();
    loadBatch(body, { file });
    paint(body);

    const MeasSet &set = body.measSet();
    QCOMPARE(set.mcas.size(), 3);
    QVERIFY(set.estimated);
    QCOMPARE(set.tau0s.size(), 2);
    QCOMPARE(set.taus.size(), 2);
    for (int j = 0; j < 2; ++j) {
        QVERIFY2(std::isnan(set.tau0s[j]), qPrintable(QString::number(set.tau0s[j])));
        QVERIFY2(!std::isfinite(set.taus[j]), qPrintable(QString::number(set.taus[j])));
        QCOMPARE(set.tauLEs[2 * j]->text(), QStringLiteral("nan"));
    }

    const QString results = path(QStringLiteral("zero_icr_results.dat"));
    emit body.saveFileDialog()->fileSelected(results);
    const QList<QByteArray> lines = testsupport::readFileBytes(results).split('\n');
    QCOMPARE(lines.value(0), QByteArray("# Deadtime data\r"));
    QCOMPARE(lines.value(1), QByteArray("Preamp: nan nan\r"));
    QVERIFY(lines.value(2).startsWith("Amp: "));
    QVERIFY(!testsupport::readFileBytes(results + QStringLiteral(".conf")).isEmpty());
}

// Pan, rectangle zoom and wheel zoom on plots whose values reach 1e308,
// infinity and NaN: the gestures must leave the mapping usable, so that the
// next paint, which sets the ranges from the data again, draws finite scales.
void tst_Hostile::mouseOnPlotsOfExtremeValues()
{
    const QString file = path(QStringLiteral("extreme.dat"));
    QVERIFY(writeFileBytes(file, "1e308 1e308 -1e308\n-1e308 -1e308 1e308\ninf -inf nan\n"
                            "4.9e-324 -4.9e-324 0\n"));
    Body body;
    body.resize(900, 700);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body, 60000));
    const Loaded before = loadGoodBatch(body);
    loadBatch(body, { file });
    paint(body);
    const QStringList points = pointTexts(body);
    QCOMPARE(points.size(), before.points.size() + 4);

    for (const char *name : { "I0NinDisp", "NinNoutDisp" }) {
        auto *display = body.findChild<DispA *>(QLatin1String(name));
        QVERIFY(display);
        const QPoint centre = display->rect().center();
        QTest::mousePress(display, Qt::LeftButton, Qt::NoModifier, centre);
        for (int i = 1; i <= 5; ++i)
            QTest::mouseMove(display, centre + QPoint(40 * i, -30 * i));
        QTest::mouseRelease(display, Qt::LeftButton, Qt::NoModifier, centre + QPoint(200, -150));
        QTest::mousePress(display, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
        QTest::mouseRelease(display, Qt::RightButton, Qt::NoModifier, QPoint(4, 3));
        for (int i = 0; i < 40; ++i) {
            const QPoint at = i % 2 ? centre : QPoint(1, display->height() - 2);
            QWheelEvent wheel(at, display->mapToGlobal(at), QPoint(), QPoint(0, i < 20 ? 120 : -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(display, &wheel);
        }
        QTest::mouseDClick(display, Qt::LeftButton, Qt::NoModifier, centre);
        paint(body);
        const ChCoord &c = display->coord;
        for (double v : { c.vx0, c.vx1, c.vy0, c.vy1 })
            QVERIFY2(std::isfinite(v), name);
        QVERIFY2(c.vx0 != c.vx1 && c.vy0 != c.vy1, name);
    }
    QCOMPARE(pointTexts(body), points);
}

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
