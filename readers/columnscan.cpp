// SPDX-License-Identifier: GPL-3.0-or-later
#include "columnscan.h"

#include "builtinrecipes.h"

#include <QCoreApplication>

#include <optional>

namespace {

QString badRowsText(const ColumnReader &reader)
{
    const BadRow &first = reader.badRows().front();
    QString text = QCoreApplication::translate("Recordings", "line %1: %2")
                       .arg(first.line)
                       .arg(first.reason);
    if (reader.badRowCount() > 1)
        text += QCoreApplication::translate("Recordings", " (and %1 more such lines)")
                    .arg(reader.badRowCount() - 1);
    return text;
}

std::optional<Recipe> chooseRecipe(const Recipe *given, const QStringList &names, QString &error)
{
    if (given)
        return *given;
    std::optional<Recipe> r = builtinRecipe(names);
    if (!r)
        error = QCoreApplication::translate("Recordings",
                                            "no built-in recipe fits the columns %1; give a recipe")
                    .arg(columnNamesText(names));
    return r;
}

} // namespace

QString columnNamesText(const QStringList &names)
{
    return names.mid(0, 16).join(QStringLiteral(" "))
        + (names.size() > 16 ? QStringLiteral(" ...") : QString());
}

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

ScanRead readColumnScan(QIODevice &device, const Recipe *recipe, int firstLine)
{
    ScanRead scan;
    const ColumnHeader header = readColumnHeader(device, firstLine);
    if (!header.ok()) {
        scan.error = header.error;
        return scan;
    }
    scan.columnNames = header.names;
    const std::optional<Recipe> chosen = chooseRecipe(recipe, header.names, scan.error);
    if (!chosen) {
        scan.needsRecipe = true;
        return scan;
    }
    scan.recipe = *chosen;
    CompiledRecipe compiled;
    if (!compiled.compile(scan.recipe, header.names)) {
        scan.error = compiled.error();
        if (!compiled.unknownNames().isEmpty())
            scan.error += QCoreApplication::translate("Recordings", "; the columns are %1")
                              .arg(columnNamesText(header.names));
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
    if (scan.ok() && reader.lastLineUnended())
        scan.note = QCoreApplication::translate("Recordings",
                                                "the last line, %1, has no line end: the file may "
                                                "be truncated")
                        .arg(reader.lastLine());
    if (scan.ok() && reader.emptyFieldRows() > 0) {
        if (!scan.note.isEmpty())
            scan.note += QStringLiteral("; ");
        scan.note += QCoreApplication::translate("Recordings",
                                                 "%1 row(s) with fields left empty, read as "
                                                 "missing values (nan), the first in line %2, "
                                                 "field %3")
                             .arg(reader.emptyFieldRows())
                             .arg(reader.firstEmptyField().first)
                             .arg(reader.firstEmptyField().second);
    }
    if (!scan.ok())
        scan.points.clear();
    return scan;
}

ColumnPreview previewColumnFile(QIODevice &device, int maxRows)
{
    ColumnPreview preview;
    const ColumnHeader header = readColumnHeader(device);
    if (!header.ok()) {
        preview.error = header.error;
        return preview;
    }
    preview.names = header.names;
    ColumnReader reader(device, header);
    ColumnBlock block;
    reader.readBlock(maxRows, block);
    for (int r = 0; r < block.rows(); ++r) {
        std::vector<double> row;
        for (const std::vector<double> &c : block.columns)
            row.push_back(c[size_t(r)]);
        preview.rows.push_back(row);
    }
    return preview;
}

QString checkRecipe(const QString &recipeText, const QStringList &names)
{
    const RecipeParse parsed = parseRecipe(recipeText);
    if (!parsed.ok())
        return parsed.line > 0 ? QStringLiteral("line %1: %2").arg(parsed.line).arg(parsed.error)
                               : parsed.error;
    CompiledRecipe compiled;
    compiled.compile(parsed.recipe, names);
    return compiled.error();
}
