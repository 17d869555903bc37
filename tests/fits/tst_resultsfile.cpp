// SPDX-License-Identifier: GPL-3.0-or-later
#include "resultsfile.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using testsupport::readFileBytes;

namespace {

const double qinf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

QByteArray zeros(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "  0";
    return out;
}

// Channel i holds (i + 1) microseconds before the amplifier and twice that after it.
void countingChannels(int chs, QVector<double> &tau0s, QVector<double> &taus)
{
    for (int i = 0; i < chs; ++i) {
        tau0s.append((i + 1) * 1e-6);
        taus.append(2 * (i + 1) * 1e-6);
    }
}

bool writesAsRoot()
{
    return ::geteuid() == 0;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}


} // namespace

class TestResultsFile : public QObject
{
    Q_OBJECT

private slots:
    void formatStreamDouble_data();
    void formatStreamDouble();
    void germanDefaultLocale();
    void files_data();
    void files();
    void channelMasks_data();
    void channelMasks();
    void writeFileSafely_data();
    void writeFileSafely();
    void unwritableTargets_data();
    void unwritableTargets();
    void readOnlyFolder();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void deviceWithoutSpace();
};

void TestResultsFile::formatStreamDouble_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("dead time") << 2e-7 << QStringLiteral("2e-07");
    QTest::newRow("six digits kept") << 0.000123456789 << QStringLiteral("0.000123457");
    QTest::newRow("small fixed") << 0.0001 << QStringLiteral("0.0001");
    QTest::newRow("small exponent") << 0.00001 << QStringLiteral("1e-05");
    QTest::newRow("trailing zeros dropped") << 0.25 << QStringLiteral("0.25");
    QTest::newRow("six-digit integer") << 100000.0 << QStringLiteral("100000");
    QTest::newRow("million") << 1e6 << QStringLiteral("1e+06");
    QTest::newRow("rounded to six digits") << 1234567.0 << QStringLiteral("1.23457e+06");
    QTest::newRow("negative") << -1.5 << QStringLiteral("-1.5");
    QTest::newRow("zero") << 0.0 << QStringLiteral("0");
    QTest::newRow("negative zero") << -0.0 << QStringLiteral("0");
    QTest::newRow("infinity") << qinf << QStringLiteral("inf");
    QTest::newRow("negative infinity") << -qinf << QStringLiteral("-inf");
    QTest::newRow("not a number") << qnan << QStringLiteral("nan");
}

void TestResultsFile::formatStreamDouble()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(::formatStreamDouble(value), text);
}

void TestResultsFile::germanDefaultLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German));
    const QString big = ::formatStreamDouble(12345.5);
    const QString fraction = ::formatStreamDouble(0.25);
    const QByteArray results = formatResultsFile({ 1.5e-7 }, { 2.5 });
    const QByteArray conf = formatConfFile({ 1.5e-7 }, { 2.5 });
    QLocale::setDefault(previous);

    QCOMPARE(big, QStringLiteral("12345.5"));
    QCOMPARE(fraction, QStringLiteral("0.25"));
    QCOMPARE(results, QByteArray("# Deadtime data\r\nPreamp: 1.5e-07\r\nAmp: 2.5\r\n"));
    QCOMPARE(conf,
             "          0.15 2.5e+06 2.5e+06 2.5e+06 2.5e+06 2.5e+06 2.5e+06\n"
             "ICR0      0.15"
                     + zeros(18) + "\nS025      2.5e+06" + zeros(18) + "\n");
}

void TestResultsFile::files_data()
{
    QTest::addColumn<QVector<double>>("tau0s");
    QTest::addColumn<QVector<double>>("taus");
    QTest::addColumn<QByteArray>("results");
    QTest::addColumn<QByteArray>("conf");

    QTest::newRow("two channels")
            << QVector<double> { 2e-7, 3e-7 } << QVector<double> { 1e-6, 1.5e-6 }
            << QByteArray("# Deadtime data\r\nPreamp: 2e-07 3e-07\r\nAmp: 1e-06 1.5e-06\r\n")
            << "          0.25 1.25 1.25 1.25 1.25 1.25 1.25\n"
                       "ICR0      0.2  0.3"
                    + zeros(17) + "\nS025      1  1.5" + zeros(17) + "\n";

    QVector<double> tau0s, taus;
    countingChannels(19, tau0s, taus);
    QTest::newRow("nineteen channels fill every field")
            << tau0s << taus
            << QByteArray("# Deadtime data\r\n"
                          "Preamp: 1e-06 2e-06 3e-06 4e-06 5e-06 6e-06 7e-06 8e-06 9e-06 1e-05 "
                          "1.1e-05 1.2e-05 1.3e-05 1.4e-05 1.5e-05 1.6e-05 1.7e-05 1.8e-05 "
                          "1.9e-05\r\n"
                          "Amp: 2e-06 4e-06 6e-06 8e-06 1e-05 1.2e-05 1.4e-05 1.6e-05 1.8e-05 "
                          "2e-05 2.2e-05 2.4e-05 2.6e-05 2.8e-05 3e-05 3.2e-05 3.4e-05 3.6e-05 "
                          "3.8e-05\r\n")
            << QByteArray("          10 20 20 20 20 20 20\n"
                          "ICR0      1  2  3  4  5  6  7  8  9  10  11  12  13  14  15  16  17  "
                          "18  19\n"
                          "S025      2  4  6  8  10  12  14  16  18  20  22  24  26  28  30  32  "
                          "34  36  38\n");

    tau0s.clear();
    taus.clear();
    countingChannels(24, tau0s, taus);
    QTest::newRow("channels past 18 only in the means")
            << tau0s << taus
            << QByteArray("# Deadtime data\r\n"
                          "Preamp: 1e-06 2e-06 3e-06 4e-06 5e-06 6e-06 7e-06 8e-06 9e-06 1e-05 "
                          "1.1e-05 1.2e-05 1.3e-05 1.4e-05 1.5e-05 1.6e-05 1.7e-05 1.8e-05 "
                          "1.9e-05 2e-05 2.1e-05 2.2e-05 2.3e-05 2.4e-05\r\n"
                          "Amp: 2e-06 4e-06 6e-06 8e-06 1e-05 1.2e-05 1.4e-05 1.6e-05 1.8e-05 "
                          "2e-05 2.2e-05 2.4e-05 2.6e-05 2.8e-05 3e-05 3.2e-05 3.4e-05 3.6e-05 "
                          "3.8e-05 4e-05 4.2e-05 4.4e-05 4.6e-05 4.8e-05\r\n")
            << QByteArray("          12.5 25 25 25 25 25 25\n"
                          "ICR0      1  2  3  4  5  6  7  8  9  10  11  12  13  14  15  16  17  "
                          "18  19\n"
                          "S025      2  4  6  8  10  12  14  16  18  20  22  24  26  28  30  32  "
                          "34  36  38\n");

    QTest::newRow("non-finite dead times")
            << QVector<double> { qinf, qnan } << QVector<double> { -qinf, 1e-6 }
            << QByteArray("# Deadtime data\r\nPreamp: inf nan\r\nAmp: -inf 1e-06\r\n")
            << "          nan 1 1 1 1 1 1\n"
                       "ICR0      inf  nan"
                    + zeros(17) + "\nS025      -inf  1" + zeros(17) + "\n";

    QTest::newRow("negative zero and rounding")
            << QVector<double> { -0.0, 1.23456789e-7 } << QVector<double> { 0.0, -2e-7 }
            << QByteArray("# Deadtime data\r\nPreamp: 0 1.23457e-07\r\nAmp: 0 -2e-07\r\n")
            << "          0.0617284 -0.1 -0.1 -0.1 -0.1 -0.1 -0.1\n"
                       "ICR0      0  0.123457"
                    + zeros(17) + "\nS025      0  -0.2" + zeros(17) + "\n";
}

void TestResultsFile::files()
{
    QFETCH(QVector<double>, tau0s);
    QFETCH(QVector<double>, taus);
    QFETCH(QByteArray, results);
    QFETCH(QByteArray, conf);

    QCOMPARE(formatResultsFile(tau0s, taus), results);
    QCOMPARE(formatConfFile(tau0s, taus), conf);
}

void TestResultsFile::channelMasks_data()
{
    QTest::addColumn<QVector<double>>("tau0s");
    QTest::addColumn<QVector<double>>("taus");
    QTest::addColumn<QVector<bool>>("leftOut");
    QTest::addColumn<QByteArray>("conf");
    QTest::addColumn<QVector<int>>("named");
    const QByteArray zeros17 = QByteArray("  0").repeated(17) + '\n';
    const QByteArray zeros16 = QByteArray("  0").repeated(16) + '\n';
    QTest::newRow("mask of nothing: as before")
            << QVector<double> { 2e-7, 3e-7 } << QVector<double> { 1e-6, 1.5e-6 }
            << QVector<bool> { false, false }
            << "          0.25 1.25 1.25 1.25 1.25 1.25 1.25\nICR0      0.2  0.3" + zeros17
                    + "S025      1  1.5" + zeros17
            << QVector<int>();
    QTest::newRow("broken element left out: 0 and not in the mean")
            << QVector<double> { 2e-7, 3e-7, 4e-7 } << QVector<double> { 1e-6, -4.56e-6, 2e-6 }
            << QVector<bool> { false, true, false }
            << "          0.3 1.5 1.5 1.5 1.5 1.5 1.5\nICR0      0.2  0  0.4" + zeros16
                    + "S025      1  0  2" + zeros16
            << QVector<int>();
    QTest::newRow("unconnected channel without a mask: nan kept, not in the mean")
            << QVector<double> { 2e-7, qnan, 4e-7 } << QVector<double> { 1e-6, qnan, 2e-6 }
            << QVector<bool>()
            << "          0.3 1.5 1.5 1.5 1.5 1.5 1.5\nICR0      0.2  nan  0.4" + zeros16
                    + "S025      1  nan  2" + zeros16
            << QVector<int> { 1 };
    QTest::newRow("unconnected channel left out")
            << QVector<double> { 2e-7, qnan, 4e-7 } << QVector<double> { 1e-6, qnan, 2e-6 }
            << QVector<bool> { false, true }
            << "          0.3 1.5 1.5 1.5 1.5 1.5 1.5\nICR0      0.2  0  0.4" + zeros16
                    + "S025      1  0  2" + zeros16
            << QVector<int>();
    QTest::newRow("every channel left out: nothing to average")
            << QVector<double> { 2e-7, 3e-7 } << QVector<double> { 1e-6, 1.5e-6 }
            << QVector<bool> { true, true }
            << "          nan nan nan nan nan nan nan\nICR0      0  0" + zeros17 + "S025      0  0"
                    + zeros17
            << QVector<int>();
}

// A mask changes the .conf file only; the results file keeps every value.
void TestResultsFile::channelMasks()
{
    QFETCH(QVector<double>, tau0s);
    QFETCH(QVector<double>, taus);
    QFETCH(QVector<bool>, leftOut);
    QFETCH(QByteArray, conf);
    QFETCH(QVector<int>, named);

    QCOMPARE(formatConfFile(tau0s, taus, leftOut), conf);
    QCOMPARE(nonFiniteChannels(tau0s, taus, leftOut), named);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.dat"));
    const SaveOutcome saved = saveResultsFiles(path, tau0s, taus, leftOut);
    QVERIFY(saved.resultsWritten && saved.confWritten);
    QCOMPARE(readFileBytes(path), formatResultsFile(tau0s, taus));
    QCOMPARE(readFileBytes(path + QStringLiteral(".conf")), conf);
}

void TestResultsFile::writeFileSafely_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray results("# Deadtime data\r\nPreamp: 2e-07 3e-07\r\nAmp: 1e-06 1.5e-06\r\n");
    QTest::newRow("new file") << QByteArray() << results;
    QTest::newRow("longer file is overwritten") << QByteArray(5000, 'x') << results;
    QTest::newRow("shorter file is overwritten") << QByteArray("old\n") << results;
    QTest::newRow("line ends stay as given") << QByteArray("a\r\n") << QByteArray("1\n2\r\n3\r");
    QTest::newRow("empty content") << QByteArray("old") << QByteArray();
}

void TestResultsFile::writeFileSafely()
{
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("result.dat"));
    if (!previous.isEmpty())
        QVERIFY(testsupport::writeFileBytes(path, previous));

    QVERIFY(::writeFileSafely(path, bytes));
    QCOMPARE(readFileBytes(path), bytes);
    QCOMPARE(entries(dir.path()), QStringList { QStringLiteral("result.dat") });
}

void TestResultsFile::unwritableTargets_data()
{
    QTest::addColumn<QString>("relative");

    QTest::newRow("folder does not exist") << QStringLiteral("missing/result.dat");
    QTest::newRow("path is a folder") << QStringLiteral("sub");
    QTest::newRow("path below a plain file") << QStringLiteral("plain/result.dat");
}

void TestResultsFile::unwritableTargets()
{
    QFETCH(QString, relative);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(testsupport::writeFileBytes(dir.filePath(QStringLiteral("plain")), "keep"));

    QVERIFY(!::writeFileSafely(dir.filePath(relative), "bytes"));
    QCOMPARE(entries(dir.path()), (QStringList { QStringLiteral("plain"), QStringLiteral("sub") }));
    QVERIFY(entries(dir.filePath(QStringLiteral("sub"))).isEmpty());
    QCOMPARE(readFileBytes(dir.filePath(QStringLiteral("plain"))), QByteArray("keep"));
}

void TestResultsFile::readOnlyFolder()
{
    if (writesAsRoot())
        QSKIP("running as root: permission bits do not stop writes");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString existing = dir.filePath(QStringLiteral("existing.dat"));
    const QString fresh = dir.filePath(QStringLiteral("fresh.dat"));
    QVERIFY(testsupport::writeFileBytes(existing, "old content"));
    QFile folder(dir.path());
    const QFileDevice::Permissions before = folder.permissions();
    QVERIFY(folder.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    const bool freshWritten = ::writeFileSafely(fresh, "new");
    const bool existingWritten = ::writeFileSafely(existing, "new content");
    const QStringList after = entries(dir.path());
    folder.setPermissions(before);

    QVERIFY(!freshWritten);
    // No temporary file can be made next to it, so it is written in place.
    QVERIFY(existingWritten);
    QCOMPARE(readFileBytes(existing), QByteArray("new content"));
    QCOMPARE(after, QStringList { QStringLiteral("existing.dat") });
}

void TestResultsFile::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<int>("size");

    QTest::newRow("fails when flushed on commit") << 1000;
    QTest::newRow("fails while writing") << 200000;
}

void TestResultsFile::failedWriteKeepsOldFile()
{
    QFETCH(int, size);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("result.dat"));
    const QByteArray old("# Deadtime data\r\nPreamp: 1\r\nAmp: 2\r\n");
    QVERIFY(testsupport::writeFileBytes(path, old));

    // A file size limit makes every write past 100 bytes fail with EFBIG,
    // as a full disk would.
    rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = ::writeFileSafely(path, QByteArray(size, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QCOMPARE(readFileBytes(path), old);
    QCOMPARE(entries(dir.path()), QStringList { QStringLiteral("result.dat") });
}

void TestResultsFile::deviceWithoutSpace()
{
#ifdef Q_OS_LINUX
    // A writer that renamed a finished copy over the target would replace the
    // device by a plain file. Where that is possible (a writable /dev), the test
    // works on a private node of the same device rather than on /dev/full.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString full = QStringLiteral("/dev/full");
    if (QFileInfo(QStringLiteral("/dev")).isWritable() || writesAsRoot()) {
        full = dir.filePath(QStringLiteral("full"));
        if (::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("cannot make a private full device node here");
    } else if (!QFileInfo::exists(full)) {
        QSKIP("no /dev/full on this system");
    }
    QVERIFY(QFileInfo::exists(full));
    QVERIFY(!QFileInfo(full).isFile());

    QVERIFY(!::writeFileSafely(full, "0123456789"));
    QVERIFY(QFileInfo::exists(full));
    QVERIFY(!QFileInfo(full).isFile());
#else
    QSKIP("needs the Linux full device");
#endif
}

QTEST_APPLESS_MAIN(TestResultsFile)

#include "tst_resultsfile.moc"
