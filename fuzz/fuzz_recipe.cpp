// SPDX-License-Identifier: GPL-3.0-or-later
// The recipe parser and evaluator: the input is a recipe, then a line "%%",
// then a column file it is applied to. Nothing may fail; a recipe that parses
// must read back the same from its own text; an evaluation that succeeds
// gives every element one value per row.
#include "columnfile.h"
#include "fuzzsupport.h"
#include "recipe.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

using namespace fuzzsupport;

namespace {

void checkRoundTrip(const Recipe &r)
{
    const RecipeParse again = parseRecipe(r.toText());
    if (!again.ok())
        fail("a recipe's own text does not parse", again.error + QStringLiteral("\n") + r.toText());
    if (again.recipe.elements != r.elements || again.recipe.i0 != r.i0
        || again.recipe.datasets != r.datasets)
        fail("a recipe's own text reads back otherwise", r.toText());
}

void evaluateOver(const Recipe &r, const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    const ColumnHeader header = readColumnHeader(buffer);
    if (!header.ok())
        return;
    CompiledRecipe compiled;
    if (!compiled.compile(r, header.names))
        return;
    ColumnReader reader(buffer, header);
    ColumnBlock block;
    std::vector<ElementRates> rates;
    RecipeRowError rowError;
    while (reader.readBlock(64, block)) {
        if (!compiled.evaluate(block, rates, &rowError)) {
            if (rowErrorText(rowError).isEmpty())
                fail("a row error without words", QString());
            return;
        }
        for (const ElementRates &e : rates) {
            if (int(e.i0.size()) != block.rows() || int(e.icr.size()) != block.rows()
                || int(e.sca.size()) != block.rows())
                fail("an element without one value per row", QString::number(block.rows()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    startApplication(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (std::size_t(1) << 16))
        return 0;
    const QByteArray bytes = inputBytes(data, size);
    const int split = bytes.indexOf("\n%%\n");
    const QByteArray recipeText = split < 0 ? bytes : bytes.left(split);
    const RecipeParse parsed = parseRecipe(QString::fromUtf8(recipeText));
    if (!parsed.ok()) {
        if (parsed.error.isEmpty())
            fail("a failed parse without a reason", QString());
        return 0;
    }
    // Expressions of many elements over many rows only cost time.
    if (parsed.recipe.elements.size() > 64)
        return 0;
    checkRoundTrip(parsed.recipe);
    if (split >= 0)
        evaluateOver(parsed.recipe, bytes.mid(split + 4));
    return 0;
}
