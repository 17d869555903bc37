// SPDX-License-Identifier: GPL-3.0-or-later
#include "builtinrecipes.h"
#include "recipe.h"

#include <QtTest>

#include <cmath>

namespace {

ColumnBlock blockOf(const std::vector<std::vector<double>> &columns)
{
    ColumnBlock b;
    b.columns = columns;
    for (size_t r = 0; r < columns.front().size(); ++r)
        b.lines.push_back(int(r) + 10);
    return b;
}

} // namespace

class TestRecipe : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseErrors_data();
    void parseErrors();
    void expand_data();
    void expand();
    void evaluate_data();
    void evaluate();
    void unknownNames();
    void notFiniteNamesTheRowAndCause_data();
    void notFiniteNamesTheRowAndCause();
    void valuesNotFiniteInTheFilePassThrough();
    void patternsThatMatchOtherThanOne_data();
    void patternsThatMatchOtherThanOne();
    void builtin_data();
    void builtin();
};

void TestRecipe::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<int>>("elements");
    QTest::addColumn<QString>("icr");
    QTest::addColumn<int>("datasets");

    QTest::newRow("range, comments, keys in any case")
        << "# xspress\nELEMENTS = 1-4  # four\nI0 = I0\nIcr = a{n}\nsca = b{n}\n"
        << QVector<int> { 1, 2, 3, 4 } << "a{n}" << 0;
    QTest::newRow("list and ranges mixed") << "elements = 1, 3-4, 7\ni0=x\nicr=y\nsca=z\n"
                                           << QVector<int> { 1, 3, 4, 7 } << "y" << 0;
    QTest::newRow("no elements: element 1")
        << "i0 = x\nicr = y\nsca = z" << QVector<int> { 1 } << "y" << 0;
    QTest::newRow("datasets section, CR LF")
        << "elements = 1-2\r\ni0 = I0\r\nicr = c{n}\r\nsca = c{n}\r\n[Datasets]\r\n"
           "I0 = /entry/I0\r\nc{n} = /entry/c[{i}]\r\n"
        << QVector<int> { 1, 2 } << "c{n}" << 2;
    QTest::newRow("MCA: window, icr and sca optional") << "window = 100-1900\ni0 = I0\n"
                                                       << QVector<int> { 1 } << "" << 0;
}

void TestRecipe::parse()
{
    QFETCH(QString, text);
    QFETCH(QVector<int>, elements);
    QFETCH(QString, icr);
    QFETCH(int, datasets);
    const RecipeParse p = parseRecipe(text);
    QVERIFY2(p.ok(), qPrintable(p.error));
    QCOMPARE(QVector<int>(p.recipe.elements.begin(), p.recipe.elements.end()), elements);
    QCOMPARE(p.recipe.icr, icr);
    QCOMPARE(int(p.recipe.datasets.size()), datasets);
    // What toText writes reads back the same.
    const RecipeParse again = parseRecipe(p.recipe.toText());
    QVERIFY(again.ok());
    QCOMPARE(again.recipe.elements, p.recipe.elements);
    QCOMPARE(again.recipe.datasets, p.recipe.datasets);
}

void TestRecipe::parseErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("error");

    QTest::newRow("unknown key")
        << "i0 = a\n\nicrs = b\n"
        << 3 << "unknown key \"icrs\" (expected elements, i0, icr, sca, window or scan)";
    QTest::newRow("not a key line") << "i0 a\n" << 1 << "expected name = value, not \"i0 a\"";
    QTest::newRow("a long line, quoted by its beginning")
            << "i0 " + QString(200000, 'x') << 1
            << "expected name = value, not \"i0 " + QString(77, 'x') + "...\"";
    QTest::newRow("reversed range")
        << "elements = 4-1\n"
        << 1 << "\"4-1\" is not an element number or a range a-b of them";
    QTest::newRow("unknown section") << "i0 = a\n[columns]\n"
                                     << 2 << "unknown section [columns] (expected [datasets])";
    QTest::newRow("window not a range") << "window = 100\n"
                                        << 1 << "the window \"100\" is not a range of bins a-b";
    QTest::newRow("too many elements") << "elements = 0-9999\n" << 1 << "more than 1000 elements";
    QTest::newRow("no i0") << "icr = a\nsca = b\n" << 0 << "no i0 expression";
    QTest::newRow("no sca") << "i0 = a\nicr = b\n" << 0 << "no sca expression";
    QTest::newRow("no icr: a fit needs one") << "i0 = a\nsca = b\n" << 0 << "no icr expression";
    QTest::newRow("a key given twice, as in two recipes one after the other")
            << "elements = 1-2\ni0 = a\nicr = b\nsca = c\nElements = 3-4\n" << 5
            << "elements is given twice";
    // What the expression library would take otherwise than meant.
    QTest::newRow("{n} in i0: one I0 for all elements")
            << "elements = 1-4\ni0 = I0_{n}\nicr = a\nsca = b\n" << 2
            << "i0 = I0_{n}: the incident intensity is one for all elements, and {n} or {i} "
               "has no element to stand for";
    QTest::newRow("a comma list: only the last would count")
            << "i0 = I0\nicr = ICR1, ICR2\nsca = b\n" << 2
            << "icr = ICR1, ICR2: a comma outside a function's parentheses; give one expression "
               "(a column name with a comma is written in backticks)";
    QTest::newRow("an assignment") << "i0 = I0\nicr = a\nsca = b = 2\n" << 3
                                   << "sca = b = 2: \"=\" would assign; compare with \"==\"";
    QTest::newRow("a scan that is no number") << "scan = two\n" << 1
                                              << "the scan \"two\" is not a scan number";
}

void TestRecipe::parseErrors()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, error);
    const RecipeParse p = parseRecipe(text);
    QCOMPARE(p.error, error);
    QCOMPARE(p.line, line);
}

void TestRecipe::expand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");

    QTest::newRow("number and position") << "OCR{n}[{i}]"
                                         << "OCR7[2]";
    QTest::newRow("zero-padded") << "ICR{n:02}/ICR{n:03}"
                                 << "ICR07/ICR007";
    QTest::newRow("nothing to expand") << "I0 / 2"
                                       << "I0 / 2";
}

void TestRecipe::expand()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QCOMPARE(expandElement(text, 7, 2), expanded);
}

void TestRecipe::evaluate_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QStringList>("names");
    // element 2's values in the two rows
    QTest::addColumn<QVector<double>>("i0");
    QTest::addColumn<QVector<double>>("icr");
    QTest::addColumn<QVector<double>>("sca");

    const QStringList names { "I0", "t", "Out_mca1", "Out_mca2", "DT_mca1", "DT_mca2", "mu(E)" };
    const QVector<double> i0 { 100, 200 }, t { 2, 4 };
    QTest::newRow("factor times output over time")
        << "elements = 1-2\ni0 = I0/t\nicr = Out_mca{n} * DT_mca{n} / t\nsca = Out_mca{n}/t"
        << names << QVector<double> { 50, 50 } << QVector<double> { 40.0 * 1.5 / 2, 80.0 * 2.0 / 4 }
        << QVector<double> { 20, 20 };
    QTest::newRow("names ignoring case, $N, functions, constants")
        << "elements = 2\ni0 = $1\nicr = sqrt(out_MCA{n}) * _pi / _pi\nsca = $4" << names << i0
        << QVector<double> { std::sqrt(40.0), std::sqrt(80.0) } << QVector<double> { 40, 80 };
    QTest::newRow("a file without names: $N counts from 1")
        << "elements = 2\ni0 = $1\nicr = $2\nsca = $3"
        << QStringList { "$1", "$2", "$3", "$4", "$5", "$6", "$7" } << i0 << t
        << QVector<double> { 10, 20 };
    QTest::newRow("a name made fit for expressions")
        << "elements = 2\ni0 = mu_E_\nicr = mu_E_ * 1e1\nsca = 1" << names
        << QVector<double> { 7, 14 } << QVector<double> { 70, 140 } << QVector<double> { 1, 1 };
    QTest::newRow("a column over another, in the order written")
        << "elements = 2\ni0 = I0\nicr = t / Out_mca{n}\nsca = Out_mca{n}" << names << i0
        << QVector<double> { 2.0 / 40, 4.0 / 80 } << QVector<double> { 40, 80 };
    QTest::newRow("a column over itself")
        << "elements = 2\ni0 = I0\nicr = Out_mca{n}/Out_mca{n}\nsca = t" << names << i0
        << QVector<double> { 1, 1 } << t;
    QTest::newRow("a column over a number")
        << "elements = 2\ni0 = I0\nicr = Out_mca{n} / 4\nsca = t" << names << i0
        << QVector<double> { 10, 20 } << t;
    QTest::newRow("a name in backticks, as it is written")
        << "elements = 2\ni0 = `mu(E)`\nicr = `DT_mca{n}` * 2\nsca = t" << names
        << QVector<double> { 7, 14 } << QVector<double> { 3, 4 } << t;
    QTest::newRow("a trailing * matches one column; min, max and == still work")
        << "elements = 2\ni0 = I0\nicr = Out_* / (t == 2 ? 1 : 2)\n"
           "sca = min(DT_mca{n}, 3) * mu*"
        << QStringList { "I0", "t", "Out_x", "Out2", "DT_mca1", "DT_mca2", "mu(E)" } << i0
        << QVector<double> { 10, 10 } << QVector<double> { 1.5 * 7, 2.0 * 14 };
    QTest::newRow("a * between blanks still multiplies")
        << "elements = 2\ni0 = I0 * 2\nicr = t *3\nsca = t" << names
        << QVector<double> { 200, 400 } << QVector<double> { 6, 12 } << t;
}

void TestRecipe::evaluate()
{
    QFETCH(QString, recipe);
    QFETCH(QStringList, names);
    QFETCH(QVector<double>, i0);
    QFETCH(QVector<double>, icr);
    QFETCH(QVector<double>, sca);
    const RecipeParse p = parseRecipe(recipe);
    QVERIFY2(p.ok(), qPrintable(p.error));
    CompiledRecipe compiled;
    QVERIFY2(compiled.compile(p.recipe, names), qPrintable(compiled.error()));
    const ColumnBlock block = blockOf(
        { { 100, 200 }, { 2, 4 }, { 10, 20 }, { 40, 80 }, { 1.0, 1.0 }, { 1.5, 2.0 }, { 7, 14 } });
    std::vector<ElementRates> rates;
    QVERIFY(compiled.evaluate(block, rates, nullptr));
    const ElementRates &e = rates.back();
    QCOMPARE(int(e.i0.size()), 2);
    QCOMPARE(int(e.icr.size()), 2);
    QCOMPARE(int(e.sca.size()), 2);
    for (int r = 0; r < 2; ++r) {
        QCOMPARE(e.i0[size_t(r)], i0.at(r));
        QCOMPARE(e.icr[size_t(r)], icr.at(r));
        QCOMPARE(e.sca[size_t(r)], sca.at(r));
    }
}

void TestRecipe::unknownNames()
{
    const RecipeParse p
        = parseRecipe("elements = 1-3\ni0 = I0\nicr = ICR{n}\nsca = OCR{n} / Clock");
    CompiledRecipe compiled;
    QVERIFY(!compiled.compile(p.recipe, { "I0", "ICR1", "ICR2", "ICR3", "OCR1", "OCR2" }));
    QCOMPARE(compiled.unknownNames(), QStringList({ "Clock", "OCR3" }));
    QCOMPARE(compiled.error(), QString("unknown names Clock, OCR3"));

    CompiledRecipe syntax;
    QVERIFY(!syntax.compile(parseRecipe("i0 = (I0\nicr = I0\nsca = I0").recipe, { "I0" }));
    QVERIFY2(syntax.error().startsWith("the expression \"(I0\" does not parse: "),
             qPrintable(syntax.error()));
}

void TestRecipe::notFiniteNamesTheRowAndCause_data()
{
    QTest::addColumn<QString>("icr");
    QTest::addColumn<QString>("message"); // of row 11, element 2, after "line 11: icr of ... = "

    QTest::newRow("a column over a zero one") << "c{n} / t{n}"
                                              << "c2 / t2 is not finite (division by zero)";
    QTest::newRow("a zero divisor in an expression")
            << "2 * c{n} / t{n}" << "2 * c2 / t2 is not finite (division by zero)";
    QTest::newRow("an overflow, not a division")
            << "c{n} ^ 1e308" << "c2 ^ 1e308 is not finite (overflow)";
    QTest::newRow("a long expression, quoted by its beginning")
            << "c{n} / t{n}" + QString(" + 0 * c{n}").repeated(40)
            << "c2 / t2 + 0 * c2 + 0 * c2 + 0 * c2 + 0 * c2 + 0 * c2 + 0 * c2 + 0 * c2 + 0 * c2 "
               "... is not finite (division by zero)";
    QTest::newRow("neither: no cause") << "sqrt(t{n} - c{n})" << "sqrt(t2 - c2) is not finite";
}

void TestRecipe::notFiniteNamesTheRowAndCause()
{
    QFETCH(QString, icr);
    QFETCH(QString, message);
    const RecipeParse p = parseRecipe("elements = 1-2\ni0 = I0\nicr = " + icr + "\nsca = c{n}");
    CompiledRecipe compiled;
    QVERIFY(compiled.compile(p.recipe, { "I0", "c1", "c2", "t1", "t2" }));
    // Element 2 at line 11: c2 = 7 over t2 = 0; elsewhere every value is fine.
    const ColumnBlock block
        = blockOf({ { 1, 2, 3 }, { 1, 1, 1 }, { 1, 7, 1 }, { 1, 1, 1 }, { 2, 0, 2 } });
    std::vector<ElementRates> rates;
    RecipeRowError e;
    QVERIFY(!compiled.evaluate(block, rates, &e));
    QCOMPARE(rowErrorText(e), "line 11: icr of element 2 = " + message);
}

void TestRecipe::valuesNotFiniteInTheFilePassThrough()
{
    // A dead element recorded as nan, or zero counts over a good time, are
    // kept for the fits to judge; only the recipe's own division is an error.
    const RecipeParse p = parseRecipe("i0 = I0\nicr = c / t\nsca = c");
    CompiledRecipe compiled;
    QVERIFY(compiled.compile(p.recipe, { "I0", "c", "t" }));
    std::vector<ElementRates> rates;
    QVERIFY(compiled.evaluate(blockOf({ { 1, 2 }, { qQNaN(), 0 }, { 1, 1 } }), rates, nullptr));
    QVERIFY(std::isnan(rates[0].icr[0]));
    QCOMPARE(rates[0].icr[1], 0.0);
}

void TestRecipe::patternsThatMatchOtherThanOne_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QString>("error");
    QTest::newRow("several") << "elements = 1\ni0 = I0\nicr = D1_ICR*\nsca = I0"
                             << "D1_ICR* matches the columns D1_ICR_c2, D1_ICR_c2_err; make it "
                                "match one";
    QTest::newRow("none") << "elements = 1\ni0 = I0\nicr = D9_*\nsca = I0" << "unknown name D9_*";
}

// A pattern is a column only where it matches exactly one.
void TestRecipe::patternsThatMatchOtherThanOne()
{
    QFETCH(QString, recipe);
    QFETCH(QString, error);
    CompiledRecipe compiled;
    QVERIFY(!compiled.compile(parseRecipe(recipe).recipe, { "I0", "D1_ICR_c2", "D1_ICR_c2_err" }));
    QCOMPARE(compiled.error(), error);
}

void TestRecipe::builtin_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QVector<int>>("elements");
    QTest::addColumn<QString>("i0");
    QTest::addColumn<QString>("icr");
    QTest::addColumn<QString>("sca");
    QTest::addColumn<bool>("asRates");

    QTest::newRow("ICR_mca/OCR_mca with count_time")
        << QStringList { "energy",   "I0",       "count_time", "ICR_mca1",
                         "ICR_mca2", "OCR_mca1", "OCR_mca2" }
        << QVector<int> { 1, 2 } << "I0 / count_time"
        << "ICR_mca{n} / count_time"
        << "OCR_mca{n} / count_time" << false;
    QTest::newRow("lower case, zero-padded, no time: rates")
        << QStringList { "i0", "icr01", "icr02", "ocr01", "ocr02", "ocr03" }
        << QVector<int> { 1, 2 } << "i0"
        << "icr{n:02}"
        << "ocr{n:02}" << true;
    QTest::newRow("ICRmca, IntTime") << QStringList { "I0", "IntTime", "ICRmca3", "OCRmca3" }
                                     << QVector<int> { 3 } << "I0 / IntTime"
                                     << "ICRmca{n} / IntTime"
                                     << "OCRmca{n} / IntTime" << false;
    QTest::newRow("output counts and dead-time factor")
        << QStringList { "I0", "seconds", "OutputCounts_mca1", "DTFactor_mca1" }
        << QVector<int> { 1 } << "I0 / seconds"
        << "OutputCounts_mca{n} * DTFactor_mca{n} / seconds"
        << "OutputCounts_mca{n} / seconds" << false;
    QTest::newRow("no I0: none") << QStringList { "ICR1", "OCR1" } << QVector<int> {} << ""
                                 << ""
                                 << "" << false;
    QTest::newRow("ICR without OCR: none")
        << QStringList { "I0", "ICR1", "ICR2" } << QVector<int> {} << ""
        << ""
        << "" << false;
    QTest::newRow("element number first, running suffixes, CountTime")
        << QStringList { "I0", "CountTime", "D1_MgKa_c3", "D2_MgKa_c4", "D1_ICR_c5", "D2_ICR_c6",
                         "D1_OCR_c7", "D2_OCR_c8" }
        << QVector<int> { 1, 2 } << "I0 / CountTime"
        << "D{n}_ICR_c* / CountTime"
        << "D{n}_OCR_c* / CountTime" << false;
    QTest::newRow("a column time is no counting time")
        << QStringList { "time", "I0", "ICR1", "OCR1" } << QVector<int> { 1 } << "I0"
        << "ICR{n}"
        << "OCR{n}" << true;
    QTest::newRow("EPICS names, quoted; elements from 0")
        << QStringList { "I0", "dxp0:InputCountRate", "dxp1:InputCountRate",
                         "dxp0:OutputCountRate", "dxp1:OutputCountRate" }
        << QVector<int> { 0, 1 } << "I0"
        << "`dxp{n}:InputCountRate`"
        << "`dxp{n}:OutputCountRate`" << true;
    QTest::newRow("fast and slow channels")
        << QStringList { "IC0", "Seconds", "Iffast1", "Iffast2", "Ifslow1", "Ifslow2" }
        << QVector<int> { 1, 2 } << "IC0 / Seconds"
        << "Iffast{n} / Seconds"
        << "Ifslow{n} / Seconds" << false;
    QTest::newRow("counts over live and real time")
        << QStringList { "I0", "mca1.R0", "mca2.R0", "mca1.ELTM", "mca2.ELTM", "mca1.ERTM",
                         "mca2.ERTM" }
        << QVector<int> { 1, 2 } << "I0"
        << "`mca{n}.R0` / `mca{n}.ELTM`"
        << "`mca{n}.R0` / `mca{n}.ERTM`" << false;
    QTest::newRow("a pattern that would match two columns: none")
        << QStringList { "I0", "D1_ICR_c5", "D1_ICR_c5_err", "D2_ICR_c6", "D1_OCR_c7",
                         "D2_OCR_c8" }
        << QVector<int> {} << ""
        << ""
        << "" << false;
}

void TestRecipe::builtin()
{
    QFETCH(QStringList, names);
    QFETCH(QVector<int>, elements);
    QFETCH(QString, i0);
    QFETCH(QString, icr);
    QFETCH(QString, sca);
    QFETCH(bool, asRates);
    const std::optional<Recipe> r = builtinRecipe(names);
    QCOMPARE(r.has_value(), !elements.isEmpty());
    if (!r)
        return;
    QCOMPARE(QVector<int>(r->elements.begin(), r->elements.end()), elements);
    QCOMPARE(r->i0, i0);
    QCOMPARE(r->icr, icr);
    QCOMPARE(r->sca, sca);
    QCOMPARE(r->origin.contains("taken as rates"), asRates);
    // Every built-in recipe compiles against the names it was made for.
    CompiledRecipe compiled;
    QVERIFY2(compiled.compile(*r, names), qPrintable(compiled.error()));
}

QTEST_APPLESS_MAIN(TestRecipe)
#include "tst_recipe.moc"
