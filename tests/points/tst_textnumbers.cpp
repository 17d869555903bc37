// SPDX-License-Identifier: GPL-3.0-or-later
#include "textfields.h"
#include "textnumbers.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The bit pattern of a double, every NaN counted as the same value.
quint64 bitsOf(double d)
{
    if (std::isnan(d))
        return 0x7ff8000000000000ULL;
    quint64 b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

double fastDouble(const QByteArray &token)
{
    return latin1ToDouble(token.constData(), token.constData() + token.size());
}

int fastInt(const QByteArray &token)
{
    return latin1ToInt(token.constData(), token.constData() + token.size());
}

// The token as a text stream reads it: a NUL byte is a character like any other
// (QString::fromLatin1(QByteArray) would stop there).
QString text(const QByteArray &token)
{
    return QString::fromLatin1(token.constData(), token.size());
}

double toolkitDouble(const QByteArray &token)
{
    return text(token).toDouble();
}

int toolkitInt(const QByteArray &token)
{
    return text(token).toInt(nullptr, 10);
}

QByteArray digits(QRandomGenerator &rng, int count)
{
    QByteArray s;
    for (int i = 0; i < count; ++i)
        s += char('0' + rng.bounded(10));
    return s;
}

// A token that is mostly a decimal number, with every kind of sign, point, exponent
// and length, and now and then something that is not quite a number.
QByteArray numberLike(QRandomGenerator &rng)
{
    QByteArray s;
    const int sign = rng.bounded(4);
    if (sign == 1)
        s += '-';
    else if (sign == 2)
        s += '+';
    const int shape = rng.bounded(10);
    const int intDigits = shape < 5 ? rng.bounded(1, 8) : rng.bounded(0, 26);
    s += digits(rng, intDigits);
    if (rng.bounded(2)) {
        s += '.';
        s += digits(rng, rng.bounded(0, shape < 5 ? 8 : 26));
    }
    if (rng.bounded(3) == 0) {
        s += rng.bounded(2) ? 'e' : 'E';
        const int esign = rng.bounded(3);
        if (esign == 1)
            s += '-';
        else if (esign == 2)
            s += '+';
        const int range = rng.bounded(4);
        const int e = rng.bounded(range == 0 ? 23 : range == 1 ? 400 : 330);
        if (rng.bounded(8) == 0)
            s += '0';
        s += QByteArray::number(e);
    }
    return s;
}

// A token from an alphabet of everything that can appear in a field.
QByteArray soup(QRandomGenerator &rng)
{
    static const char *const pieces[] = { "0",   "1",  "5",   "9",   "+",   "-",    ".",  "e",
                                          "E",   "inf", "nan", "INF", "NaN", "x",   " ",  "\t",
                                          ",",   "#",  "d",   "0x",  "\v",  "\x1f", "ity" };
    QByteArray s;
    const int n = rng.bounded(1, 8);
    for (int i = 0; i < n; ++i)
        s += pieces[rng.bounded(int(sizeof pieces / sizeof *pieces))];
    if (rng.bounded(20) == 0)
        s.insert(rng.bounded(s.size() + 1), '\0');
    return s;
}

} // namespace

class TestTextNumbers : public QObject
{
    Q_OBJECT

private slots:
    void doubleValues_data();
    void doubleValues();
    void doublesMatchToolkit_data();
    void doublesMatchToolkit();
    void generatedDoublesMatchToolkit();
    void fieldEnds_data();
    void fieldEnds();
    void intValues_data();
    void intValues();
    void generatedIntsMatchToolkit();
    void blankRunFields_data();
    void blankRunFields();
    void simplifiedLinesSplitLikeWhiteSpaceExpression();
};

void TestTextNumbers::doubleValues_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<double>("expected");

    QTest::newRow("integer") << QByteArray("150") << 150.0;
    QTest::newRow("zero") << QByteArray("0") << 0.0;
    QTest::newRow("negative zero keeps its sign") << QByteArray("-0") << -0.0;
    QTest::newRow("negative zero with exponent") << QByteArray("-0.0e5") << -0.0;
    QTest::newRow("trailing point") << QByteArray("1.") << 1.0;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5;
    QTest::newRow("negative leading point") << QByteArray("-.5") << -0.5;
    QTest::newRow("plus sign") << QByteArray("+3") << 3.0;
    QTest::newRow("leading zeros") << QByteArray("00012") << 12.0;
    QTest::newRow("upper-case exponent") << QByteArray("1.5E3") << 1500.0;
    QTest::newRow("one tenth") << QByteArray("0.1") << 0.1;
    QTest::newRow("long mantissa") << QByteArray("123456789012345678901234567890")
                                   << 123456789012345678901234567890.0;
    QTest::newRow("halfway rounds to even") << QByteArray("9007199254740993") << 9007199254740992.0;
    QTest::newRow("largest double") << QByteArray("1.7976931348623157e308")
                                    << std::numeric_limits<double>::max();
    QTest::newRow("smallest normal") << QByteArray("2.2250738585072014e-308")
                                     << std::numeric_limits<double>::min();
    QTest::newRow("smallest subnormal") << QByteArray("4.9e-324")
                                        << std::numeric_limits<double>::denorm_min();
    QTest::newRow("subnormal") << QByteArray("1e-310") << 1e-310;
    QTest::newRow("overflow gives infinity") << QByteArray("1e400") << inf;
    QTest::newRow("negative overflow") << QByteArray("-1e400") << -inf;
    QTest::newRow("underflow gives zero") << QByteArray("1e-400") << 0.0;
    QTest::newRow("inf") << QByteArray("inf") << inf;
    QTest::newRow("signed INF") << QByteArray("-INF") << -inf;
    QTest::newRow("nan") << QByteArray("NaN") << nan;
    QTest::newRow("signed nan rejected") << QByteArray("+nan") << 0.0;
    QTest::newRow("infinity rejected") << QByteArray("infinity") << 0.0;
    QTest::newRow("exponent without digits") << QByteArray("1e") << 0.0;
    QTest::newRow("exponent sign without digits") << QByteArray("1e+") << 0.0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0.0;
    QTest::newRow("Fortran exponent") << QByteArray("1d5") << 0.0;
    QTest::newRow("group separator") << QByteArray("1,000") << 0.0;
    QTest::newRow("lone point") << QByteArray(".") << 0.0;
    QTest::newRow("lone sign") << QByteArray("-") << 0.0;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("number with unit") << QByteArray("250cps") << 0.0;
    QTest::newRow("two numbers") << QByteArray("1 2") << 0.0;
    QTest::newRow("NUL inside") << QByteArray("1\0002", 3) << 0.0;
}

void TestTextNumbers::doubleValues()
{
    QFETCH(QByteArray, token);
    QFETCH(double, expected);
    QCOMPARE(bitsOf(fastDouble(token)), bitsOf(expected));
}

void TestTextNumbers::doublesMatchToolkit_data()
{
    QTest::addColumn<QByteArray>("token");
    const char *const tokens[] = {
        "0.000", "-0.000e-999", "0e99999", "1e99999", "1e-99999", "-1e-400", "1e-323",
        "2.4703282292062327e-324", "2.4703282292062328e-324", "1.7976931348623158e308",
        "1.7976931348623159e308", "0.1e1", "100000000000000000000000", "1e22", "1e23",
        "123456789012345e-22", "1234567890123456e-22", "4503599627370497.5", "+.1", "-.0",
        "00000000000000000000001.5", "1.e5", "1e+05", "1e-05", "1E0005", "7 ", " 7", "\t7", "nan ",
        " inf", "Inf", "-Inf", "+inf", "nAn", "-nan", "infinite", "1.2.3", "--1", "+-1", "1e5.5",
        "e5", ".e5",
    };
    // Just below the value where rounding goes to infinity, written out in full.
    const QByteArray maxDigits = "17976931348623158079372897140530341507993413271003782693617377898"
                                 "04449682927647509466490179775872070963302864166928879109465555478"
                                 "51940402630657488671505820681908902000708383676273854845817711531"
                                 "76447573027006985557136695962284291481986083493647529271907416844"
                                 "43655107043427115596995080930428801779041741977910";
    QTest::newRow("just below overflow, 380 digits") << maxDigits + '.' + QByteArray(70, '9');
    QTest::newRow("overflow, 382 digits") << maxDigits + "01";
    for (const char *t : tokens)
        QTest::newRow(t) << QByteArray(t);
}

void TestTextNumbers::doublesMatchToolkit()
{
    QFETCH(QByteArray, token);
    QCOMPARE(bitsOf(fastDouble(token)), bitsOf(toolkitDouble(token)));
}

void TestTextNumbers::generatedDoublesMatchToolkit()
{
    QRandomGenerator rng(20231115);
    for (int i = 0; i < 300000; ++i) {
        const QByteArray token = i % 4 == 3 ? soup(rng) : numberLike(rng);
        const quint64 fast = bitsOf(fastDouble(token));
        const quint64 toolkit = bitsOf(toolkitDouble(token));
        if (fast != toolkit)
            QFAIL(qPrintable(QStringLiteral("token \"%1\"")
                                     .arg(QString::fromLatin1(token.toPercentEncoding()))));
    }
}

void TestTextNumbers::fieldEnds_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("commaSeparates");
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("expected");

    QTest::newRow("number before blank") << QByteArray("1.5 2") << false << 3 << 1.5;
    QTest::newRow("number before comma") << QByteArray("1.5,2") << true << 3 << 1.5;
    QTest::newRow("comma inside a blank-separated field")
            << QByteArray("1.5,2 3") << false << 5 << 0.0;
    QTest::newRow("number before tab") << QByteArray("-2e3\t") << false << 4 << -2000.0;
    QTest::newRow("number running to the end") << QByteArray("42") << true << 2 << 42.0;
    QTest::newRow("text field") << QByteArray("abc def") << false << 3 << 0.0;
    QTest::newRow("number glued to text") << QByteArray("12ab,3") << true << 4 << 0.0;
    QTest::newRow("inf before comma") << QByteArray("inf,1") << true << 3
                                      << std::numeric_limits<double>::infinity();
    QTest::newRow("overflow before blank") << QByteArray("1e999 1") << false << 5
                                           << std::numeric_limits<double>::infinity();
    QTest::newRow("vertical tab ends a field") << QByteArray("7\v8") << false << 1 << 7.0;
    QTest::newRow("unit separator does not") << QByteArray("7\x1f 8") << false << 2 << 0.0;
}

void TestTextNumbers::fieldEnds()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, commaSeparates);
    QFETCH(int, length);
    QFETCH(double, expected);

    double value = -1.0;
    const FieldSeparators separators =
            commaSeparates ? FieldSeparators::WhiteSpaceAndComma : FieldSeparators::WhiteSpace;
    const char *end =
            scanDoubleField(text.constData(), text.constData() + text.size(), separators, value);
    QCOMPARE(int(end - text.constData()), length);
    QCOMPARE(bitsOf(value), bitsOf(expected));
}

void TestTextNumbers::intValues_data()
{
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << QByteArray("150") << 150;
    QTest::newRow("plus sign") << QByteArray("+3") << 3;
    QTest::newRow("leading zero is still decimal") << QByteArray("010") << 10;
    QTest::newRow("blanks around") << QByteArray(" 7 ") << 7;
    QTest::newRow("negative zero") << QByteArray("-0") << 0;
    QTest::newRow("negative") << QByteArray("-5") << -5;
    QTest::newRow("largest int") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("smallest int") << QByteArray("-2147483648") << int(-2147483647 - 1);
    QTest::newRow("beyond int") << QByteArray("2147483648") << 0;
    QTest::newRow("far beyond int") << QByteArray("99999999999999999999") << 0;
    QTest::newRow("many leading zeros") << QByteArray("0000000000012") << 12;
    QTest::newRow("decimal point") << QByteArray("3.0") << 0;
    QTest::newRow("exponent") << QByteArray("1e3") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("two signs") << QByteArray("+-1") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0;
    QTest::newRow("text") << QByteArray("x") << 0;
}

void TestTextNumbers::intValues()
{
    QFETCH(QByteArray, token);
    QFETCH(int, expected);
    QCOMPARE(fastInt(token), expected);
}

void TestTextNumbers::generatedIntsMatchToolkit()
{
    QRandomGenerator rng(7);
    for (int i = 0; i < 200000; ++i) {
        QByteArray token;
        switch (i % 4) {
        case 0:
            token = QByteArray::number(qint64(rng.generate64() >> rng.bounded(64)))
                            .mid(rng.bounded(2));
            break;
        case 1:
            token = (rng.bounded(2) ? "-" : "+") + digits(rng, rng.bounded(0, 13));
            break;
        case 2:
            token = digits(rng, rng.bounded(0, 12));
            break;
        default:
            token = soup(rng);
            break;
        }
        const int fast = fastInt(token);
        const int toolkit = toolkitInt(token);
        if (fast != toolkit)
            QFAIL(qPrintable(QStringLiteral("token \"%1\": %2 instead of %3")
                                     .arg(QString::fromLatin1(token.toPercentEncoding()))
                                     .arg(fast)
                                     .arg(toolkit)));
    }
}

void TestTextNumbers::blankRunFields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("empty line") << QString() << QStringList { QString() };
    QTest::newRow("one blank") << QStringLiteral(" ") << QStringList { QString(), QString() };
    QTest::newRow("one field") << QStringLiteral("150") << QStringList { QStringLiteral("150") };
    QTest::newRow("three fields")
            << QStringLiteral("1 2.5 -3e4")
            << QStringList { QStringLiteral("1"), QStringLiteral("2.5"), QStringLiteral("-3e4") };
    QTest::newRow("leading blank keeps an empty first field")
            << QStringLiteral(" 7") << QStringList { QString(), QStringLiteral("7") };
    QTest::newRow("trailing blank keeps an empty last field")
            << QStringLiteral("7 ") << QStringList { QStringLiteral("7"), QString() };
    QTest::newRow("a run of blanks is one separator")
            << QStringLiteral("  a   b  ")
            << QStringList { QString(), QStringLiteral("a"), QStringLiteral("b"), QString() };
    QTest::newRow("other white space is part of a field")
            << QStringLiteral("a\tb\u3000c d")
            << QStringList { QStringLiteral("a\tb\u3000c"), QStringLiteral("d") };
}

void TestTextNumbers::blankRunFields()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(splitAtBlankRuns(line), fields);
}

// The readers split simplified lines, in point tables after turning commas into
// blanks; on such lines the blank-run split must be the white-space expression's.
void TestTextNumbers::simplifiedLinesSplitLikeWhiteSpaceExpression()
{
    const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QVector<QChar> alphabet { QLatin1Char(' '),  QLatin1Char('\t'), QLatin1Char('\r'),
                                    QLatin1Char(','),  QLatin1Char('1'),  QLatin1Char('e'),
                                    QLatin1Char('-'),  QChar(0x00a0),     QChar(0x2003),
                                    QChar(0x3000),     QChar(0x2028),     QChar(0x200b),
                                    QChar(0x00e9),     QChar(0x0085),     QChar(0x180e) };
    QRandomGenerator rng(11);
    for (int i = 0; i < 20000; ++i) {
        QString raw;
        const int length = rng.bounded(0, 24);
        for (int k = 0; k < length; ++k)
            raw.append(alphabet.at(rng.bounded(alphabet.size())));
        QString line = raw.simplified();
        if (i % 2)
            line.replace(QLatin1Char(','), QLatin1Char(' '));
        const QStringList expected = line.split(whiteSpace);
        if (splitAtBlankRuns(line) != expected)
            QFAIL(qPrintable(QStringLiteral("line \"%1\": [%2] instead of [%3]")
                                     .arg(line, splitAtBlankRuns(line).join(QLatin1Char('|')),
                                          expected.join(QLatin1Char('|')))));
    }
}

QTEST_APPLESS_MAIN(TestTextNumbers)
#include "tst_textnumbers.moc"
