// SPDX-License-Identifier: GPL-3.0-or-later
#include "decimaltext.h"

#include <QtTest>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>

class TestDecimalText : public QObject
{
    Q_OBJECT
private slots:
    void significant_data();
    void significant();
    void exact_data();
    void exact();
    void randomValuesReadBack();
};

namespace {

QByteArray significantText(double v, int digits)
{
    char buffer[32];
    return QByteArray(buffer, int(writeSignificant(buffer, v, digits) - buffer));
}

QByteArray exactText(double v)
{
    char buffer[32];
    return QByteArray(buffer, int(writeExact(buffer, v) - buffer));
}

double readBack(const QByteArray &text)
{
    double v = std::numeric_limits<double>::quiet_NaN();
    std::from_chars(text.constData(), text.constData() + text.size(), v);
    return v;
}

} // namespace

void TestDecimalText::significant_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("integer part and fraction") << 123456.789 << 10 << QByteArray("123456.789");
    QTest::newRow("trailing zeros dropped") << 2.5 << 10 << QByteArray("2.5");
    QTest::newRow("rounded up to a new digit") << 9.9999999999 << 10 << QByteArray("10");
    QTest::newRow("three digits of an error") << 0.0123456 << 3 << QByteArray("0.0123");
    QTest::newRow("small: exponent") << 1.5e-7 << 10 << QByteArray("1.5e-07");
    QTest::newRow("large: exponent") << 2e20 << 10 << QByteArray("2e+20");
    QTest::newRow("last fixed exponent") << 1.25e16 << 10 << QByteArray("12500000000000000");
    QTest::newRow("negative") << -0.00125 << 10 << QByteArray("-0.00125");
    QTest::newRow("power of ten") << 1000.0 << 10 << QByteArray("1000");
    QTest::newRow("exponent of three digits") << 1e-200 << 10 << QByteArray("1e-200");
    QTest::newRow("zero") << 0.0 << 10 << QByteArray("0");
    QTest::newRow("negative zero: no sign") << -0.0 << 10 << QByteArray("0");
    QTest::newRow("subnormal") << 4.9406564584124654e-324 << 10 << QByteArray("4.940656458e-324");
    QTest::newRow("smallest normal") << 2.2250738585072014e-308 << 10
                                     << QByteArray("2.225073859e-308");
    QTest::newRow("rounded up across the fixed limit") << 9.9999999995e-5 << 10
                                                       << QByteArray("0.0001");
    QTest::newRow("first exponent below") << 1e-5 << 10 << QByteArray("1e-05");
    QTest::newRow("power of ten, exponent") << 1e22 << 10 << QByteArray("1e+22");
    QTest::newRow("one digit, scientific") << 3e-9 << 1 << QByteArray("3e-09");
    QTest::newRow("fraction after many digits") << 1234567.891 << 10 << QByteArray("1234567.891");
    QTest::newRow("just below a power of ten rounds up to it")
            << std::nextafter(1000.0, 0.0) << 10 << QByteArray("1000");
    QTest::newRow("ten digits, all whole") << 1234567890.0 << 10 << QByteArray("1234567890");
    QTest::newRow("two digits, whole, zeros after") << 1.2e9 << 10 << QByteArray("1200000000");
    QTest::newRow("nine digits of a fraction") << 0.123456789 << 10 << QByteArray("0.123456789");
    QTest::newRow("three digits, zeros dropped") << 0.00290000001 << 3 << QByteArray("0.0029");
    QTest::newRow("three digits rounded up to a new digit") << 999.5 << 3 << QByteArray("1000");
    QTest::newRow("three digits, scientific") << -1.234e-7 << 3 << QByteArray("-1.23e-07");
    QTest::newRow("next to halfway, below") << 999999.99994999997 << 10 << QByteArray("999999.9999");
    QTest::newRow("halfway: to even, as printf") << 1.125 << 3 << QByteArray("1.12");
    QTest::newRow("eleven digits") << 12345.678901 << 11 << QByteArray("12345.678901");
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 10 << QByteArray("nan");
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << 10 << QByteArray("-inf");
}

void TestDecimalText::significant()
{
    QFETCH(double, value);
    QFETCH(int, digits);
    QFETCH(QByteArray, text);
    QCOMPARE(significantText(value, digits), text);
}

void TestDecimalText::exact_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("count") << 123456.0 << QByteArray("123456");
    QTest::newRow("negative integer") << -42.0 << QByteArray("-42");
    QTest::newRow("2^53 - 1") << 9007199254740991.0 << QByteArray("9007199254740991");
    QTest::newRow("fraction, shortest") << 0.1 << QByteArray("0.1");
    QTest::newRow("negative zero keeps its sign") << -0.0 << QByteArray("-0");
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << QByteArray("nan");
}

void TestDecimalText::exact()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(exactText(value), text);
}

// Across the whole range of magnitudes, and next to halfway between two
// ten-digit decimals where a product of doubles may round the wrong way: the
// same digits as the library's correctly rounded ones (read back to the same
// double); exact text to the same double.
void TestDecimalText::randomValuesReadBack()
{
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-250, 250);
    std::uniform_int_distribution<std::int64_t> tenDigits(1000000000, 9999999999);
    std::uniform_int_distribution<int> ulps(-8, 8);
    for (int i = 0; i < 200000; ++i) {
        double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        if (i % 4 == 0) {
            const int e = exponent(rng) / 10;
            v = (double(tenDigits(rng)) + 0.5) * std::pow(10.0, e);
            for (int k = ulps(rng); k != 0; k += k > 0 ? -1 : 1)
                v = std::nextafter(v, k > 0 ? 2 * v : 0.0);
        }
        v *= i % 2 ? 1 : -1;
        char reference[40];
        const char *end = std::to_chars(reference, reference + sizeof reference, v,
                                        std::chars_format::general, 10)
                                  .ptr;
        QVERIFY2(readBack(significantText(v, 10)) == readBack(QByteArray(reference, int(end - reference))),
                 qPrintable(QString::number(v, 'g', 17)));
        QCOMPARE(readBack(exactText(v)), v);
    }
}

QTEST_APPLESS_MAIN(TestDecimalText)
#include "tst_decimaltext.moc"
