// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnscan.h"

#include "builtinrecipes.h"

#include <optional>

namespace {

QString badRowsText(const ColumnReader &reader)
{
    const BadRow &first = reader.badRows().front();
    QString text = QStringLiteral("line %1: %2").arg(first.line).arg(first.reason);
    if (reader.badRowCount() > 1)
        text += QStringLiteral(" (and %1 more such lines)").arg(reader.badRowCount() - 1);
    return text;
}

std::optional<Recipe> chooseRecipe(const Recipe *given, const QStringList &names, QString &error)
{
    if (given)
        return *given;
    std::optional<Recipe> r = builtinRecipe(names);
    if (!r)
        error = QStringLiteral("no built-in recipe fits the columns %1; give a recipe")
                        .arg(names.mid(0, 12).join(QStringLiteral(" "))
                             + (names.size() > 12 ? QStringLiteral(" ...") : QString()));
    return r;
}

} // namespace

bool appendScanPoints(const CompiledRecipe &recipe, const ColumnBlock &block,
                      QVector<ScanPoint> &points, QString &error)
{
    std::vector<ElementRates> rates;
    RecipeRowError rowError;
    if (!recipe.evaluate(block, rates, &rowError)) {
        error = rowErrorText(rowError);
        return false;
    }
    const int elements = recipe.elementCount();
    for (int r = 0; r < block.rows(); ++r) {
        ScanPoint p;
        p.i0 = elements > 0 ? rates.front().i0[size_t(r)] : 0.0;
        p.icrs.resize(elements);
        p.scas.resize(elements);
        for (int e = 0; e < elements; ++e) {
            p.icrs[e] = rates[size_t(e)].icr[size_t(r)];
            p.scas[e] = rates[size_t(e)].sca[size_t(r)];
        }
        p.line = block.lines[size_t(r)];
        points.append(p);
    }
    return true;
}

ScanRead readColumnScan(QIODevice &device, const Recipe *recipe)
{
    ScanRead scan;
    const ColumnHeader header = readColumnHeader(device);
    if (!header.ok()) {
        scan.error = header.error;
        return scan;
    }
    scan.columnNames = header.names;
    const std::optional<Recipe> chosen = chooseRecipe(recipe, header.names, scan.error);
    if (!chosen)
        return scan;
    scan.recipe = *chosen;
    CompiledRecipe compiled;
    if (!compiled.compile(scan.recipe, header.names)) {
        scan.error = compiled.error();
        return scan;
    }
    ColumnReader reader(device, header);
    ColumnBlock block;
    while (scan.ok() && reader.readBlock(scanBlockRows, block))
        appendScanPoints(compiled, block, scan.points, scan.error);
    if (scan.ok() && reader.badRowCount() > 0)
        scan.error = badRowsText(reader);
    if (scan.ok() && !reader.deviceError().isEmpty())
        scan.error = reader.deviceError();
    if (!scan.ok())
        scan.points.clear();
    return scan;
}
