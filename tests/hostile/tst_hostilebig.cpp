// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "body.h"
#include "hostilefiles.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

using namespace hostile;
using testsupport::writeFileBytes;
using testsupport::DebugCapture;

// The two big hostile files, apart from the others so that a quick run can
// leave them out (ctest -LE big). Each is loaded after a good batch; besides
// the rules of the readers, the peak resident memory that loading adds must
// stay within a small multiple of the file's size.
class tst_HostileBig : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void hundredMegabyteLine();
    void millionChannelLines();

private:
    struct Run
    {
        QStringList pointsBefore;
        QStringList pointsAfter;
        QStringList debug;
        qint64 peakGrowth = 0;
    };
    void load(const QString &file, Run &run);

    QTemporaryDir dir;
    QStringList goodFiles;
};

namespace {

// Loading may hold the file's bytes (read once per reader), the values and
// what the toolkit needs besides; anything that copies the text per line or
// per field, or builds a widget per value, goes far beyond this. Under
// AddressSanitizer freed buffers stay resident in its quarantine and every
// block carries red zones, so the bound is twice as wide there.
qint64 allowedGrowth(qint64 fileSize)
{
    return (underAddressSanitizer() ? 6 : 3) * fileSize;
}

} // namespace

void tst_HostileBig::initTestCase()
{
    QVERIFY(dir.isValid());
    if (peakResidentBytes() < 0 || !resetPeakResident())
        QSKIP("No /proc/self/status and clear_refs here: the peak memory cannot be measured");
    const double i0s[] = { 1000, 2000, 4000 };
    for (int i = 0; i < 3; ++i) {
        const QString file = dir.filePath(QStringLiteral("good_%1.dat").arg(i + 1));
        QVERIFY(writeFileBytes(file, spectrumText(i0s[i], { 0.9 * i0s[i], 0.95 * i0s[i] },
                                             { 0.8 * i0s[i], 0.85 * i0s[i] })));
        goodFiles.append(file);
    }
}

void tst_HostileBig::load(const QString &file, Run &run)
{
    Body body;
    body.resize(900, 700);
    body.show();
    loadBatch(body, goodFiles);
    run.pointsBefore = pointTexts(body);
    QCOMPARE(run.pointsBefore.size(), 3);
    QVector<QPointer<AMeasP>> panels;
    for (AMeasP *panel : body.measSet().mcas)
        panels.append(panel);

    QVERIFY(resetPeakResident());
    const qint64 base = peakResidentBytes();
    {
        DebugCapture capture;
        loadBatch(body, { file });
        run.debug = readerDebugLines(capture.lines());
    }
    run.peakGrowth = peakResidentBytes() - base;
    qInfo("peak resident size grew by %lld MB loading a %lld MB file", run.peakGrowth >> 20,
          QFileInfo(file).size() >> 20);
    QVERIFY(!body.grab().isNull());

    for (int p = 0; p < panels.size(); ++p)
        QCOMPARE(body.measSet().mcas.value(p), panels[p].data());
    run.pointsAfter = pointTexts(body).mid(3);
    QCOMPARE(pointTexts(body).mid(0, 3), run.pointsBefore);
}

void tst_HostileBig::hundredMegabyteLine()
{
    const QString file = dir.filePath(QStringLiteral("long_line.dat"));
    QVERIFY(writeLongLineTable(file, 100 * 1000 * 1000));
    const qint64 size = QFileInfo(file).size();
    QVERIFY(size > 100 * 1000 * 1000);

    Run run;
    load(file, run);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(run.pointsAfter,
             QStringList({ pointText(5000, { 4000, 4100 }, { 3500, 3600 }),
                           pointText(6000, { 4800, 4900 }, { 4200, 4300 }) }));
    QCOMPARE(run.debug, traceDebugLines({ "# Channels : 2" }, { true }));
    QVERIFY2(run.peakGrowth < allowedGrowth(size),
             qPrintable(QStringLiteral("peak grew by %1 MB for a %2 MB file")
                                .arg(run.peakGrowth >> 20)
                                .arg(size >> 20)));
}

void tst_HostileBig::millionChannelLines()
{
    const int channels = 1000 * 1000;
    const QString file = dir.filePath(QStringLiteral("million_channels.dat"));
    QVERIFY(writeManyChannelLines(file, channels, channels));
    const qint64 size = QFileInfo(file).size();

    Run run;
    load(file, run);
    if (QTest::currentTestFailed())
        return;
    // One point of a million channels: every ICR 52.5, and none of the million
    // rows has the 2,000,001 fields it would need to add counts. Should each row
    // cost a pass over the channels again, this runs for hours instead of
    // seconds. The panel shows only the first boxes but keeps every value.
    QCOMPARE(run.pointsAfter.size(), 1);
    QCOMPARE(run.pointsAfter[0],
             pointText(250, QVector<double>(channels, 52.5), QVector<double>(channels, 0.0)));
    QCOMPARE(run.debug, QStringList());
    QVERIFY2(run.peakGrowth < allowedGrowth(size),
             qPrintable(QStringLiteral("peak grew by %1 MB for a %2 MB file")
                                .arg(run.peakGrowth >> 20)
                                .arg(size >> 20)));
}

QTEST_MAIN(tst_HostileBig)
#include "tst_hostilebig.moc"
