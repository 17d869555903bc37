// SPDX-License-Identifier: GPL-3.0-or-later
#include "ameasp.h"
#include "le.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTranslator>
#include <QtTest>

class tst_AMeasP : public QObject
{
    Q_OBJECT
private slots:
    void form_data();
    void form();
    void numberFormat_data();
    void numberFormat();
    void ranges_data();
    void ranges();
    void valueBoxes();
    void boxesCappedValuesKept();
};

static QStringList boxTexts(const AMeasP &panel, const char *layoutName)
{
    QStringList texts;
    auto *row = panel.findChild<QGridLayout *>(QLatin1String(layoutName));
    if (!row)
        return texts;
    for (int i = 0; i < row->count(); ++i) {
        if (auto *box = qobject_cast<LE *>(row->itemAt(i)->widget()))
            texts.append(box->text());
    }
    return texts;
}

void tst_AMeasP::form_data()
{
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("title");
    QTest::newRow("English") << false << QStringLiteral("A Meas Point");
    QTest::newRow("Japanese") << true << QString::fromUtf8("測定点");
}

void tst_AMeasP::form()
{
    QFETCH(bool, japanese);
    QFETCH(QString, title);

    QTranslator translator;
    if (japanese) {
        QVERIFY(translator.load(QStringLiteral(":Ratelens_ja_JP")));
        QCoreApplication::installTranslator(&translator);
    }
    AMeasP panel(250, { 52.5, 49 }, { 15, 15 });
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(panel.objectName(), QStringLiteral("AMeasP"));
    QCOMPARE(panel.windowTitle(), title);
    QCOMPARE(panel.size(), QSize(397, 23));
    // The captions have no Japanese form.
    QCOMPARE(panel.findChild<QLabel *>("label")->text(), QStringLiteral("I0"));
    QCOMPARE(panel.findChild<QLabel *>("label_2")->text(), QStringLiteral("ICRs"));
    QCOMPARE(panel.findChild<QLabel *>("label_3")->text(), QStringLiteral("SCAs"));

    auto *i0 = panel.findChild<QLineEdit *>("I0");
    QVERIFY(i0);
    QVERIFY(i0->isReadOnly());
    QCOMPARE(i0->text(), QStringLiteral("250"));
    QCOMPARE(i0->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 224);"));
    QCOMPARE(i0->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(i0->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(i0->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(panel.findChild<QFrame *>("frame")->frameShape(), QFrame::NoFrame);
    QCOMPARE(panel.findChild<QFrame *>("frame_2")->sizePolicy().horizontalPolicy(),
             QSizePolicy::Maximum);
}

void tst_AMeasP::numberFormat_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5 << "0.5";
    QTest::newRow("one decimal") << 52.5 << "52.5";
    QTest::newRow("two and a half million") << 2.5e6 << "2.5e+06";
    QTest::newRow("six digits kept") << 123456.0 << "123456";
    QTest::newRow("seventh digit rounded") << 1234567.0 << "1.23457e+06";
    QTest::newRow("small: exponent below -4") << 0.000123456789 << "0.000123457";
    QTest::newRow("smaller still") << 0.0000123 << "1.23e-05";
    QTest::newRow("negative") << -3.25 << "-3.25";
    QTest::newRow("infinity") << qInf() << "inf";
    QTest::newRow("not a number") << qQNaN() << "nan";
}

void tst_AMeasP::numberFormat()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    AMeasP panel(value, { value }, { value });
    QCOMPARE(panel.findChild<QLineEdit *>("I0")->text(), text);
    QCOMPARE(boxTexts(panel, "ICRsBase"), QStringList { text });
    QCOMPARE(boxTexts(panel, "SCAsBase"), QStringList { text });
}

void tst_AMeasP::ranges_data()
{
    QTest::addColumn<QVector<double>>("icrs");
    QTest::addColumn<bool>("hasIcr");
    QTest::addColumn<double>("icrMin");
    QTest::addColumn<double>("icrMax");

    QTest::newRow("negative values count") << QVector<double> { 3, -2, 5 } << true << -2.0 << 5.0;
    QTest::newRow("one value") << QVector<double> { 7 } << true << 7.0 << 7.0;
    QTest::newRow("no values: empty range") << QVector<double> {} << false << 1e300 << -1e300;
}

void tst_AMeasP::ranges()
{
    QFETCH(QVector<double>, icrs);
    QFETCH(bool, hasIcr);
    QFETCH(double, icrMin);
    QFETCH(double, icrMax);

    AMeasP panel(1.0, icrs, { 1.0, 2.0 });
    QCOMPARE(panel.hasIcr, hasIcr);
    QCOMPARE(panel.icrMin, icrMin);
    QCOMPARE(panel.icrMax, icrMax);
    QCOMPARE(panel.hasSca, true);
    QCOMPARE(panel.scaMin, 1.0);
    QCOMPARE(panel.scaMax, 2.0);
    QCOMPARE(boxTexts(panel, "ICRsBase").size(), icrs.size());
}

void tst_AMeasP::valueBoxes()
{
    // Four channels show four ICR and four SCA boxes side by side in one row;
    // the boxes can be selected but not edited.
    AMeasP panel(1000, { 950, 980, 990, 1000 }, { 900, 910, 920, 930, 940 });
    // Alone, the panel is as wide as its boxes want to be.
    panel.resize(panel.sizeHint());
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel, 60000));
    QCOMPARE(boxTexts(panel, "ICRsBase"), QStringList({ "950", "980", "990", "1000" }));
    QCOMPARE(boxTexts(panel, "SCAsBase"), QStringList({ "900", "910", "920", "930", "940" }));
    auto *row = panel.findChild<QGridLayout *>("ICRsBase");
    for (int i = 0; i < row->count(); ++i) {
        int r, c, rs, cs;
        row->getItemPosition(i, &r, &c, &rs, &cs);
        auto *box = qobject_cast<LE *>(row->itemAt(i)->widget());
        QVERIFY(box);
        QCOMPARE(r, 0);
        QCOMPARE(c, i);
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->alignment(), Qt::Alignment(Qt::AlignRight));
        QCOMPARE(box->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(box->parentWidget(), panel.findChild<QFrame *>("frame"));
        QCOMPARE(box->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 224);"));
        // Light yellow inside the frame, left of the right-aligned number.
        const QImage shot = box->grab().toImage();
        QCOMPARE(QColor(shot.pixel(4, shot.height() / 2)), QColor(255, 255, 224));
        // Wide enough for the widest number of six significant digits.
        QVERIFY(box->fontMetrics().horizontalAdvance(QStringLiteral("-1.23457e-06"))
                < box->contentsRect().width() - 4);
    }
}

void tst_AMeasP::boxesCappedValuesKept()
{
    // A file claiming thousands of channels must not make thousands of widgets,
    // but every value stays in the point and in its ranges.
    const int n = maxValueBoxesPerRow + 500;
    QVector<double> icrs(n, 1.0);
    icrs.last() = 99.0;
    AMeasP panel(1.0, icrs, QVector<double>(n, 2.0));
    QCOMPARE(boxTexts(panel, "ICRsBase").size(), maxValueBoxesPerRow);
    QCOMPARE(boxTexts(panel, "SCAsBase").size(), maxValueBoxesPerRow);
    QCOMPARE(panel.icrs.size(), n);
    QCOMPARE(panel.icrMax, 99.0);
}

QTEST_MAIN(tst_AMeasP)
#include "tst_ameasp.moc"
