// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdf5scancorrection.h"

#include "atomicfile.h"
#include "hdf5columns.h"
#include "hdf5scan.h"
#include "hdf5scanwriter.h"
#include "samefile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>

const char correctionGroup[] = "/dtc";

namespace {

// Values read per block: at most 4 MiB of doubles, and no more rows than a
// column file's block, whose text takes some 32 bytes a value. A block costs
// the start of the helper, a few milliseconds.
constexpr quint64 blockValues = quint64(1) << 19;

// The recipe's datasets, a block of rows per run of the helper.
class Hdf5BlockSource : public ScanBlockSource
{
public:
    Hdf5BlockSource(const QString &file, std::vector<Hdf5Request> requests)
        : m_file(file)
        , m_requests(std::move(requests))
        , m_blockRows(std::clamp<quint64>(blockValues / std::max<size_t>(1, m_requests.size()), 1,
                                          correctionBlockRows))
    {
        for (const Hdf5Request &r : m_requests)
            m_names.append(r.name);
    }
    QStringList columnNames() const override { return m_names; }
    bool readBlock(ColumnBlock &block, QString &error) override
    {
        if (m_done)
            return false;
        Hdf5Columns read = readHdf5Columns(m_file, m_requests, Hdf5Limits(),
                                           Hdf5RowRange { m_first, m_blockRows });
        if (!read.ok()) {
            // The report names the file before the cause.
            error = read.error;
            const QString prefix = m_file + QStringLiteral(": ");
            if (error.startsWith(prefix))
                error.remove(0, prefix.size());
            return false;
        }
        block.columns = std::move(read.columns);
        const quint64 rows = block.columns.empty() ? 0 : block.columns.front().size();
        block.lines.resize(size_t(rows));
        for (quint64 r = 0; r < rows; ++r)
            block.lines[size_t(r)] = int(m_first + r + 1);
        m_first += rows;
        m_done = rows < m_blockRows;
        return rows > 0;
    }

private:
    QString m_file;
    std::vector<Hdf5Request> m_requests;
    QStringList m_names;
    quint64 m_blockRows;
    quint64 m_first = 0;
    bool m_done = false;
};

// The added columns into a new HDF5 file, through the helper program.
class Hdf5Sink : public CorrectionSink
{
public:
    Hdf5Sink(const QString &scan, const QString &output)
        : m_scan(scan)
        , m_output(output)
    { }
    QString begin(const QStringList &addedNames) override
    {
        Hdf5WriteJob job { m_scan, m_output, QLatin1String(correctionGroup), {} };
        for (const QString &name : addedNames) {
            const bool flag = name.endsWith(QLatin1String("_flag"));
            job.columns.push_back({ name, flag ? Hdf5ColumnKind::Flag : Hdf5ColumnKind::Value });
        }
        m_writer = std::make_unique<Hdf5ScanWriter>(job);
        return stripped(m_writer->start());
    }
    QString write(const std::vector<std::vector<double>> &added) override
    {
        return stripped(m_writer->write(added));
    }
    QString completeFile() { return stripped(m_writer->completeFile()); }

private:
    QString stripped(QString error) const
    {
        const QString prefix = m_scan + QStringLiteral(": ");
        if (error.startsWith(prefix))
            error.remove(0, prefix.size());
        return error;
    }
    QString m_scan;
    QString m_output;
    std::unique_ptr<Hdf5ScanWriter> m_writer;
};

ScanCorrectionReport toColumnFile(const ScanCorrectionSetup &setup, Hdf5BlockSource &source,
                                  const QString &output)
{
    ScanCorrectionReport report;
    const FileReplacement written = replaceFile(output, [&](QIODevice &out) {
        report = correctScanBlocks(setup, source, &out);
        return report.ok();
    });
    if (!written.error.isEmpty())
        report.error = written.error;
    return report;
}

// The helper writes the new file by name, which is then renamed over the
// output.
ScanCorrectionReport toHdf5File(const ScanCorrectionSetup &setup, Hdf5BlockSource &source,
                                const QString &scan, const QString &output)
{
    ScanCorrectionReport report;
    const FileReplacement written = replaceFileByName(output, [&](const QString &temporary) {
        Hdf5Sink sink(scan, temporary);
        report = correctScanBlocks(setup, source, nullptr, &sink);
        if (report.ok())
            report.error = sink.completeFile();
        return report.ok();
    });
    if (!written.error.isEmpty())
        report.error = written.error;
    return report;
}

} // namespace

QString correctedHdf5Path(const QString &scan, const QString &dir)
{
    const QFileInfo info(scan);
    return QDir(dir).filePath(info.completeBaseName() + QStringLiteral("_dtc.h5"));
}

ScanCorrectionReport correctHdf5ScanFile(const ScanCorrectionSetup &setup, const QString &scan,
                                         const QString &output, Hdf5ScanOutput kind)
{
    ScanCorrectionReport report;
    if (!setup.recipe || setup.recipe->datasets.empty()) {
        // No built-in recipe names datasets: where they lie is the writer's choice.
        report.needsRecipe = true;
        report.error = QStringLiteral("an HDF5 scan is read through a recipe with a [datasets] "
                                      "section, and none was given");
        return report;
    }
    if (sameFile(scan, output)) {
        report.error = QStringLiteral("the output would overwrite the scan");
        return report;
    }
    std::vector<Hdf5Request> requests;
    if (!hdf5Requests(*setup.recipe, requests, report.error))
        return report;
    report.recipeOrigin = setup.recipe->origin;
    Hdf5BlockSource source(scan, std::move(requests));
    report = kind == Hdf5ScanOutput::Hdf5File ? toHdf5File(setup, source, scan, output)
                                              : toColumnFile(setup, source, output);
    // The rows of an HDF5 scan are its points, not lines.
    if (report.error.startsWith(QLatin1String("line ")))
        report.error.replace(0, 4, QStringLiteral("point"));
    return report;
}
