// SPDX-License-Identifier: GPL-3.0-or-later
#include "language.h"

#include <QtTest>

class tst_Language : public QObject
{
    Q_OBJECT
private slots:
    void decision_data();
    void decision();
};

void tst_Language::decision_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("japanese");

    QTest::newRow("no arguments: Japanese") << QStringList() << true;
    QTest::newRow("-e: English") << QStringList { "-e" } << false;
    QTest::newRow("-j: Japanese") << QStringList { "-j" } << true;
    QTest::newRow("-e then -j: the last wins") << QStringList { "-e", "-j" } << true;
    QTest::newRow("-j then -e: the last wins") << QStringList { "-j", "-e" } << false;
    QTest::newRow("-e twice") << QStringList { "-e", "-e" } << false;
    QTest::newRow("capital E is no option") << QStringList { "-E" } << true;
    QTest::newRow("-ja is no option") << QStringList { "-ja" } << true;
    QTest::newRow("doubled dash is no option") << QStringList { "--e" } << true;
    QTest::newRow("e without dash is no option") << QStringList { "e" } << true;
    QTest::newRow("a file name is ignored") << QStringList { "run01.dat" } << true;
    QTest::newRow("ignored words around -e") << QStringList { "x.dat", "-e", "-E", "--j" } << false;
    QTest::newRow("blank-padded option is no option") << QStringList { " -e" } << true;
}

void tst_Language::decision()
{
    QFETCH(QStringList, args);
    QFETCH(bool, japanese);
    QCOMPARE(japaneseRequested(args), japanese);
}

QTEST_APPLESS_MAIN(tst_Language)
#include "tst_language.moc"
