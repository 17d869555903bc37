// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "columnfile.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

// A recipe says how the columns of a recorded scan become measurement
// points: for every detector element n, expressions over column names for the
// incident intensity, the input count rate and the count rate inside the
// window. It is a small text a scientist writes by hand:
//
//   elements = 1-4                  # a range a-b, or a list 1,2,4
//   i0  = I0 / (TSCALER / 50e6)
//   icr = OutputCounts_mca{n} * DTFactor_mca{n} / (Clock_mca{n} / 80e6)
//   sca = OutputCounts_mca{n} / (Clock_mca{n} / 80e6)
//
//   [datasets]                      # HDF5: the names above as dataset paths
//   I0 = /entry/scaler/I0
//   OutputCounts_mca{n} = /entry/xspress3/OutputCounts[{i}]
//
// Keys are case-insensitive and "#" starts a comment. In the expressions and
// the dataset lines {n} is the element number, {i} its position from 0 in the
// element list, {n:02} the number zero-padded to two digits; $7 is the 7th
// column. For multi-element MCA files "window = 100-1900" gives the bins whose
// counts are summed, and the names of the file's ENVIRONMENT entries can be
// used in the expressions (see mcafile.h). "scan = 3" reads scan 3 of a SPEC
// file of several.
struct Recipe
{
    std::vector<int> elements;
    bool elementsGiven = false; // false: the default, element 1 (an MCA file: all)
    QString i0;
    QString icr;
    QString sca;
    // [datasets]: name template -> dataset path template, in file order.
    std::vector<std::pair<QString, QString>> datasets;
    int windowLow = -1; // MCA window, bins, both included; -1: not given
    int windowHigh = -1;
    // SPEC files of several scans: the scan to read, by its "#S" number;
    // 0: none chosen.
    int scan = 0;
    // Where the recipe came from, for messages: a file name or the built-in
    // recipe's title.
    QString origin;

    bool hasWindow() const { return windowLow >= 0; }
    // The recipe as text, in the form parseRecipe reads.
    QString toText() const;
};

// The outcome of parsing a recipe text: the recipe, or the line (from 1) and
// the reason it does not parse.
struct RecipeParse
{
    Recipe recipe;
    int line = 0;
    QString error;

    bool ok() const { return error.isEmpty(); }
};

// What the recipe is read for. A fit needs both rates of every element; a
// correction from the SCA needs no ICR, and a detector whose electronics
// count only the output has none to give.
enum class RecipeUse { Fit, Correction };

// The line of the error is 0 when it is about the recipe as a whole (an
// expression that is missing).
RecipeParse parseRecipe(const QString &text, RecipeUse use = RecipeUse::Fit);

// The text with {n}, {i} and {n:0W} replaced for element number n at position i.
QString expandElement(const QString &text, int n, int i);

// One element's values over a block of rows.
struct ElementRates
{
    std::vector<double> i0;
    std::vector<double> icr;
    std::vector<double> sca;
};

// A row whose value could not be computed: an expression gave infinity or
// not-a-number from finite values (a division by zero, an overflow).
struct RecipeRowError
{
    enum Cause { Unknown, DivisionByZero, Overflow };

    int line = 0; // the row's line in the file (or point number)
    int element = 0; // element number n
    QString quantity; // "i0", "icr" or "sca"
    QString expression; // the expression for that element
    Cause cause = Unknown; // as far as it can be told
};

// A recipe compiled against the column names of one file. The expressions
// refer to columns by name (exactly, or else ignoring case), by $N, or by the
// name with every character other than letters, digits and "_" made "_".
// Numeric results follow IEEE arithmetic; a row where an expression turns
// finite values into infinity or not-a-number (a division by zero) is an
// error that names the row: values that are not finite in the file itself
// pass through as they are, so that the fits can reject them.
class CompiledRecipe
{
public:
    CompiledRecipe();
    ~CompiledRecipe();
    CompiledRecipe(CompiledRecipe &&) noexcept;
    CompiledRecipe &operator=(CompiledRecipe &&) noexcept;

    // Compiles every element's expressions; an expression the recipe leaves
    // out (a correction's icr) gives its quantity no values. Fails with
    // error() naming the
    // unknown names (unknownNames()) or the expression that does not parse.
    bool compile(const Recipe &recipe, const QStringList &columnNames);

    QString error() const;
    QStringList unknownNames() const;
    // Column indices the expressions read.
    std::vector<int> usedColumns() const;
    int elementCount() const;
    const std::vector<int> &elementNumbers() const;

    // Evaluates over a block; out gets one entry per element, each as long as
    // the block. Returns false with *rowError set at the first row whose
    // value is not finite from finite inputs.
    bool evaluate(const ColumnBlock &block, std::vector<ElementRates> &out,
                  RecipeRowError *rowError) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The message for a row error, naming the line, the element and the cause.
QString rowErrorText(const RecipeRowError &e);
