// SPDX-License-Identifier: GPL-3.0-or-later
#include "body.h"
#include "testsupport.h"

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// Runs every recorded case on a fresh main window the way an operator does it
// (the open dialog's selection, the Clear button, the save dialog's choice)
// and compares every saved byte and every trace line with what was recorded.
class tst_Conformance : public QObject
{
    Q_OBJECT
private slots:
    void cases_data();
    void cases();
};

void tst_Conformance::cases_data()
{
    QTest::addColumn<QString>("caseDir");
    const QDir root(testsupport::testDataPath(QStringLiteral("conformance")));
    const QStringList cases = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QVERIFY(cases.size() >= 8);
    for (const QString &c : cases)
        QTest::newRow(qPrintable(c)) << root.filePath(c);
}

void tst_Conformance::cases()
{
    QFETCH(QString, caseDir);

    QFile stepsFile(caseDir + "/steps.txt");
    QVERIFY(stepsFile.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList steps = QString::fromUtf8(stepsFile.readAll()).split('\n', Qt::SkipEmptyParts);

    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(caseDir + "/input"));

    QStringList trace;
    {
        Body body;
        testsupport::DebugCapture debug;
        int saves = 0;
        for (const QString &step : steps) {
            const QStringList words = step.split(' ', Qt::SkipEmptyParts);
            if (words.isEmpty())
                continue;
            if (words[0] == "load")
                emit body.openFileDialog()->filesSelected(words.mid(1));
            else if (words[0] == "clear")
                QTest::mouseClick(body.findChild<QPushButton *>("Clear"), Qt::LeftButton);
            else if (words[0] == "save")
                emit body.saveFileDialog()->fileSelected(
                    out.filePath(QStringLiteral("result_%1.dat").arg(++saves)));
            else
                QFAIL(qPrintable("unknown step: " + step));
        }
        for (const QString &line : debug.lines()) {
            if (line.startsWith("LINE ") || line.startsWith("ID ") || line.startsWith("bool ")
                || line.startsWith("Cannot open"))
                trace.append(line);
        }
    }
    QDir::setCurrent(oldCwd);

    const QByteArray expectedTrace = testsupport::readFileBytes(caseDir + "/expected/debug.txt");
    QStringList expectedLines = QString::fromUtf8(expectedTrace).split('\n');
    if (!expectedLines.isEmpty() && expectedLines.last().isEmpty())
        expectedLines.removeLast();
    QCOMPARE(trace, expectedLines);

    QDir expectedDir(caseDir + "/expected");
    QStringList expectedFiles = expectedDir.entryList(QDir::Files, QDir::Name);
    expectedFiles.removeAll("debug.txt");
    QCOMPARE(QDir(out.path()).entryList(QDir::Files, QDir::Name), expectedFiles);
    for (const QString &name : expectedFiles) {
        const QByteArray actual = testsupport::readFileBytes(out.filePath(name));
        const QByteArray expected = testsupport::readFileBytes(expectedDir.filePath(name));
        QVERIFY2(actual == expected,
                 qPrintable(name + "\nactual:\n" + QString::fromLatin1(actual) + "\nexpected:\n"
                            + QString::fromLatin1(expected)));
    }
}

QTEST_MAIN(tst_Conformance)
#include "tst_conformance.moc"
