// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5scan.h"

#include "expressiontext.h"
#include "hdf5columns.h"

#include <QRegularExpression>
#include <QSet>

namespace {

bool addRequest(const QString &name, const QString &path, std::vector<Hdf5Request> &requests,
                QSet<QString> &seen, QString &error)
{
    static const QRegularExpression form(QStringLiteral("^(/[^\\[\\]]*)(?:\\[(\\d{1,6})\\])?$"));
    if (seen.contains(name))
        return true;
    const QRegularExpressionMatch m = form.match(path);
    if (!m.hasMatch()) {
        error = QStringLiteral("dataset \"%1\" for %2: expected /path or /path[column]")
                    .arg(path, name);
        return false;
    }
    seen.insert(name);
    Hdf5Request r;
    r.name = name;
    r.dataset = m.captured(1);
    r.column = m.captured(2).isEmpty() ? -1 : m.captured(2).toInt();
    requests.push_back(r);
    return true;
}

ColumnBlock blockOf(Hdf5Columns &read)
{
    ColumnBlock block;
    block.columns = std::move(read.columns);
    const size_t rows = block.columns.empty() ? 0 : block.columns.front().size();
    for (size_t r = 0; r < rows; ++r)
        block.lines.push_back(int(r + 1));
    return block;
}

} // namespace

bool hdf5Requests(const Recipe &recipe, std::vector<Hdf5Request> &requests, QString &error)
{
    QSet<QString> seen;
    for (const auto &[name, path] : recipe.datasets) {
        if (!usesElement(name) && !usesElement(path)) {
            if (!addRequest(name, path, requests, seen, error))
                return false;
            continue;
        }
        for (size_t i = 0; i < recipe.elements.size(); ++i) {
            const int n = recipe.elements[i];
            if (!addRequest(expandElement(name, n, int(i)), expandElement(path, n, int(i)),
                            requests, seen, error))
                return false;
        }
    }
    return true;
}

ScanRead readHdf5Scan(const QString &path, const Recipe *recipe)
{
    ScanRead scan;
    if (!recipe || recipe->datasets.empty()) {
        scan.error = QStringLiteral("an HDF5 file needs a recipe with a [datasets] section");
        scan.needsRecipe = true;
        return scan;
    }
    scan.recipe = *recipe;
    std::vector<Hdf5Request> requests;
    if (!hdf5Requests(*recipe, requests, scan.error))
        return scan;
    Hdf5Columns read = readHdf5Columns(path, requests);
    if (!read.ok()) {
        // The loader names the file before the cause.
        scan.error = read.error;
        const QString prefix = path + QStringLiteral(": ");
        if (scan.error.startsWith(prefix))
            scan.error.remove(0, prefix.size());
        return scan;
    }
    scan.columnNames = read.names;
    CompiledRecipe compiled;
    if (!compiled.compile(*recipe, read.names)) {
        scan.error = compiled.error();
        if (!compiled.unknownNames().isEmpty())
            scan.error += QStringLiteral(" (not in [datasets])");
        return scan;
    }
    const ColumnBlock block = blockOf(read);
    if (!appendScanPoints(compiled, block, scan.points, scan.error)) {
        scan.error.replace(0, 4, QStringLiteral("point"));
        scan.points.clear();
    }
    return scan;
}
