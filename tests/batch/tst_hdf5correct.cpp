// SPDX-License-Identifier: GPL-3.0-or-later
// Correcting HDF5 scans: the same numbers as the same scan in a column file,
// the new HDF5 file of --output-dir, and damaged scans that leave nothing.
#include "batchrun.h"
#include "decimaltext.h"
#include "h5scan.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <hdf5.h>

#include <cstring>

namespace {

const char recipeRates[] = "elements = 1-4\n"
                           "i0 = I0 / (TSCALER / 50e6)\n"
                           "icr = OutputCounts_mca{n} * DTFactor_mca{n} / (Clock_mca{n} / 80e6)\n"
                           "sca = OutputCounts_mca{n} / (Clock_mca{n} / 80e6)\n";
const char recipeDatasets[] = "[datasets]\n"
                              "I0 = /entry/scaler/I0\nTSCALER = /entry/scaler/TSCALER\n"
                              "OutputCounts_mca{n} = /entry/xspress3/OutputCounts[{i}]\n"
                              "DTFactor_mca{n} = /entry/xspress3/DTFactor[{i}]\n"
                              "Clock_mca{n} = /entry/xspress3/mca{n:02}/Clock\n";
// The pre-amplifier dead times the simulated scan was made with.
const QString tau0s = QStringLiteral("2e-7,2.5e-7,3e-7,3.5e-7");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray sha256(const QString &path)
{
    return QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256);
}

// The scan's values as a column file, columns in the order of the recipe's
// datasets (the order the HDF5 scan's columns take in the output).
// The values in the exact form the correction writes numbers it did not read
// as text in.
QByteArray shortest(double v)
{
    char buf[40];
    return QByteArray(buf, int(writeExact(buf, v) - buf));
}

QByteArray asColumnFile(const h5scan::Scan &scan, const h5scan::Spec &spec)
{
    auto num = [&spec](double v) { return shortest(h5scan::stored(spec.countType, v)); };
    QByteArray text = "# I0 TSCALER";
    for (const char *name : { "OutputCounts", "DTFactor", "Clock" })
        for (int e = 1; e <= spec.elements; ++e)
            text += QByteArray(" ") + name + "_mca" + QByteArray::number(e);
    text += '\n';
    for (int p = 0; p < spec.points; ++p) {
        text += num(scan.i0[p]) + ' ' + shortest(scan.tscaler[p]);
        for (int e = 0; e < spec.elements; ++e)
            text += ' ' + num(scan.outputCounts[e][p]);
        for (int e = 0; e < spec.elements; ++e)
            text += ' ' + shortest(scan.dtFactor[e][p]);
        for (int e = 0; e < spec.elements; ++e)
            text += ' ' + shortest(scan.clock[e][p]);
        text += '\n';
    }
    return text;
}

// A dataset's bytes as stored (in its own type), or nothing.
QByteArray datasetBytes(hid_t file, const char *path)
{
    const hid_t d = H5Dopen2(file, path, H5P_DEFAULT);
    if (d < 0)
        return QByteArray();
    const hid_t type = H5Dget_type(d);
    QByteArray bytes(int(H5Dget_storage_size(d)), '\0');
    const hsize_t size = H5Tget_size(type);
    const hid_t space = H5Dget_space(d);
    bytes.resize(int(size * hsize_t(H5Sget_simple_extent_npoints(space))));
    if (H5Dread(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, bytes.data()) < 0)
        bytes.clear();
    H5Sclose(space);
    H5Tclose(type);
    H5Dclose(d);
    return bytes;
}

// What a scan's writer adds beside the datasets: an attribute of the root
// (a variable-length string, as NeXus writers store them) and a soft link.
bool addRootAttributeAndLink(const QString &path)
{
    const hid_t file = H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDWR, H5P_DEFAULT);
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t attribute = H5Acreate2(file, "creator", type, space, H5P_DEFAULT, H5P_DEFAULT);
    const char *value = "beamline scan writer 2.1";
    const bool ok = attribute >= 0 && H5Awrite(attribute, type, &value) >= 0
            && H5Lcreate_soft("/entry/scaler/I0", file, "latest", H5P_DEFAULT, H5P_DEFAULT) >= 0;
    H5Aclose(attribute);
    H5Sclose(space);
    H5Tclose(type);
    H5Fclose(file);
    return ok;
}

QString rootAttribute(hid_t file, const char *name)
{
    const hid_t attribute = H5Aopen(file, name, H5P_DEFAULT);
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    char *value = nullptr;
    QString text;
    if (attribute >= 0 && H5Aread(attribute, type, &value) >= 0 && value)
        text = QString::fromUtf8(value);
    H5free_memory(value);
    H5Tclose(type);
    H5Aclose(attribute);
    return text;
}

std::vector<double> datasetValues(hid_t file, const QByteArray &path)
{
    std::vector<double> values;
    const hid_t d = H5Dopen2(file, path.constData(), H5P_DEFAULT);
    if (d < 0)
        return values;
    const hid_t space = H5Dget_space(d);
    values.resize(size_t(H5Sget_simple_extent_npoints(space)));
    if (H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0)
        values.clear();
    H5Sclose(space);
    H5Dclose(d);
    return values;
}

} // namespace

class TestHdf5Correct : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsColumnFile_data();
    void sameAsColumnFile();
    void hdf5Output();
    void unusableScan_data();
    void unusableScan();

private:
    QString writeScan(const QString &name, const h5scan::Spec &spec, h5scan::Scan *scan = nullptr);
    QTemporaryDir dir;
};

void TestHdf5Correct::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(testsupport::writeFileBytes(dir.filePath("h5.recipe"),
                                        QByteArray(recipeRates) + recipeDatasets));
    QVERIFY(testsupport::writeFileBytes(dir.filePath("text.recipe"), recipeRates));
}

QString TestHdf5Correct::writeScan(const QString &name, const h5scan::Spec &spec,
                                   h5scan::Scan *out)
{
    const h5scan::Scan scan = h5scan::simulate(spec);
    const QString path = dir.filePath(name);
    if (!h5scan::writeScan(QFile::encodeName(path).toStdString(), spec, scan))
        qFatal("cannot write %s", qPrintable(path));
    if (out)
        *out = scan;
    return path;
}

void TestHdf5Correct::sameAsColumnFile_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<unsigned>("chunkRows");
    QTest::addColumn<int>("type");
    QTest::newRow("a few points, contiguous") << 20 << 0u << int(h5scan::Type::UInt32);
    // Blocks of 37,449 rows: the last one partly filled, chunks across them.
    QTest::newRow("three blocks, chunked, compressed") << 80000 << 1000u
                                                       << int(h5scan::Type::Float64);
}

// The HDF5 scan corrected into a column file gives the very bytes of the same
// scan written as a column file and corrected, and the true rates it was
// simulated from.
void TestHdf5Correct::sameAsColumnFile()
{
    QFETCH(int, points);
    QFETCH(unsigned, chunkRows);
    QFETCH(int, type);
    h5scan::Spec spec;
    spec.points = points;
    spec.layout = h5scan::Layout::Both;
    spec.chunkRows = chunkRows;
    spec.deflate = chunkRows ? 1 : 0;
    spec.countType = h5scan::Type(type);
    h5scan::Scan scan;
    const QString h5 = writeScan(QStringLiteral("scan.h5"), spec, &scan);
    const QByteArray before = sha256(h5);
    QVERIFY(testsupport::writeFileBytes(dir.filePath("same.txt"), asColumnFile(scan, spec)));
    const QStringList typed { "--model", "paralyzable", "--tau0", tau0s };

    const BatchRun fromH5 = runBatchCommand(QStringList { "correct" } + typed
                                            + QStringList { "--recipe", "h5.recipe", "scan.h5" },
                                            dir.path());
    QCOMPARE(fromH5.err, QString());
    QCOMPARE(fromH5.status, 0);
    const BatchRun fromText = runBatchCommand(
            QStringList { "correct" } + typed + QStringList { "--recipe", "text.recipe", "same.txt" },
            dir.path());
    QCOMPARE(fromText.status, 0);
    const QByteArray h5Output = fileBytes(dir.filePath("scan_dtc.tsv"));
    QCOMPARE(h5Output, fileBytes(dir.filePath("same_dtc.tsv")));
    QCOMPARE(h5Output.count('\n'), points + 1);
    QCOMPARE(sha256(h5), before);

    // ntrue{n} is the input rate g_n I0 the counts were simulated from, up to
    // the rounding of the stored counts to whole numbers.
    const QList<QByteArray> lines = h5Output.split('\n');
    const QList<QByteArray> names = lines.front().split('\t');
    for (int p : { 0, points / 2, points - 1 }) {
        const QList<QByteArray> fields = lines.at(p + 1).split('\t');
        const double i0Rate = scan.i0[size_t(p)] / (scan.tscaler[size_t(p)] / 50e6);
        for (int e = 0; e < spec.elements; ++e) {
            const double nTrue = fields.at(names.indexOf("ntrue" + QByteArray::number(e + 1))).toDouble();
            QVERIFY2(qAbs(nTrue / (scan.gain[size_t(e)] * i0Rate) - 1) < 2e-4,
                     qPrintable(QStringLiteral("point %1 element %2: %3").arg(p).arg(e).arg(nTrue)));
        }
    }
}

// --output-dir: a new HDF5 file with every dataset of the scan copied byte
// for byte and the added columns in /dtc, equal to those of the column file.
void TestHdf5Correct::hdf5Output()
{
    h5scan::Spec spec;
    spec.points = 500;
    spec.layout = h5scan::Layout::Both;
    spec.chunkRows = 64;
    const QString h5 = writeScan(QStringLiteral("copied.h5"), spec);
    QVERIFY(addRootAttributeAndLink(h5));
    const QByteArray before = sha256(h5);
    // Any column serves as a region of interest: here the output counts.
    const QStringList args { "correct", "--model", "paralyzable", "--tau0", tau0s, "--recipe",
                             "h5.recipe", "--roi", "OutputCounts_mca{n}", "copied.h5" };
    QVERIFY(QDir(dir.path()).mkpath("out"));
    const BatchRun run = runBatchCommand(args + QStringList { "--output-dir", "out" }, dir.path());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(runBatchCommand(args, dir.path()).status, 0);
    QCOMPARE(sha256(h5), before);
    QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden),
             QStringList { "copied_dtc.h5" });

    const hid_t in = H5Fopen(QFile::encodeName(h5).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t out = H5Fopen(QFile::encodeName(dir.filePath("out/copied_dtc.h5")).constData(),
                              H5F_ACC_RDONLY, H5P_DEFAULT);
    QVERIFY(in >= 0 && out >= 0);
    for (const char *path : { "/entry/scaler/I0", "/entry/scaler/TSCALER",
                              "/entry/xspress3/OutputCounts", "/entry/xspress3/DTFactor",
                              "/entry/xspress3/mca03/Clock" }) {
        const QByteArray original = datasetBytes(in, path);
        QVERIFY2(!original.isEmpty(), path);
        QVERIFY2(datasetBytes(out, path) == original, path);
    }
    QCOMPARE(rootAttribute(out, "creator"), QStringLiteral("beamline scan writer 2.1"));
    H5L_info_t link;
    QVERIFY(H5Lget_info(out, "latest", &link, H5P_DEFAULT) >= 0);
    QCOMPARE(int(link.type), int(H5L_TYPE_SOFT));
    QCOMPARE(datasetBytes(out, "/latest"), datasetBytes(in, "/entry/scaler/I0"));
    // The column file's numbers have 10 digits; the HDF5 file's all of them.
    const QList<QByteArray> lines = fileBytes(dir.filePath("copied_dtc.tsv")).split('\n');
    const QList<QByteArray> names = lines.front().split('\t');
    const int firstAdded = names.indexOf("ntrue1");
    QCOMPARE(firstAdded, 14);
    QCOMPARE(names.size(), 14 + 4 * 5);
    QCOMPARE(names.back(), QByteArray("OutputCounts_mca4_corr"));
    for (int c = firstAdded; c < names.size(); ++c) {
        const std::vector<double> values = datasetValues(out, "/dtc/" + names.at(c));
        QCOMPARE(int(values.size()), spec.points);
        for (int p = 0; p < spec.points; p += 37) {
            const double expected = lines.at(p + 1).split('\t').at(c).toDouble();
            QVERIFY2(std::isnan(expected) ? std::isnan(values[size_t(p)])
                                          : qAbs(values[size_t(p)] - expected)
                                    <= 1e-9 * qAbs(expected) + 1e-12,
                     names.at(c).constData());
        }
    }
    H5Fclose(in);
    H5Fclose(out);

    // A scan of the same name from another folder would replace that file.
    QVERIFY(QDir(dir.path()).mkpath("again"));
    QVERIFY(QFile::copy(h5, dir.filePath("again/copied.h5")));
    const BatchRun twice = runBatchCommand(args + QStringList { "again/copied.h5", "--output-dir",
                                                                "twice" },
                                           dir.path());
    QCOMPARE(twice.status, 2);
    QVERIFY(twice.err.contains("copied.h5 and again/copied.h5 would both be corrected into "
                               "twice/copied_dtc.h5"));
    QVERIFY(!QFileInfo::exists(dir.filePath("twice")));
}

void TestHdf5Correct::unusableScan_data()
{
    QTest::addColumn<QString>("damage"); // truncate, missing (a dataset of the recipe), norecipe
    QTest::addColumn<bool>("toHdf5");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated, into a column file")
            << "truncate" << false << "cannot be opened as HDF5; the file is truncated";
    QTest::newRow("truncated, into an HDF5 file")
            << "truncate" << true << "cannot be opened as HDF5; the file is truncated";
    QTest::newRow("dataset missing, into an HDF5 file")
            << "missing" << true << "no dataset /entry/scaler/I1";
    QTest::newRow("no recipe names the datasets")
            << "norecipe" << false << "read through a recipe with a [datasets] section";
}

// A scan that cannot be read gives one message naming the file and the
// cause, exit status 1, no output (not even a temporary one), and is left as
// it was.
void TestHdf5Correct::unusableScan()
{
    QFETCH(QString, damage);
    QFETCH(bool, toHdf5);
    QFETCH(QString, message);
    h5scan::Spec spec;
    spec.points = 300;
    const QString h5 = writeScan(QStringLiteral("bad.h5"), spec);
    if (damage == QLatin1String("truncate"))
        QVERIFY(QFile::resize(h5, QFileInfo(h5).size() / 2));
    QByteArray recipe = QByteArray(recipeRates) + recipeDatasets;
    if (damage == QLatin1String("missing"))
        recipe.replace("/entry/scaler/I0", "/entry/scaler/I1");
    QVERIFY(testsupport::writeFileBytes(dir.filePath("bad.recipe"), recipe));
    const QByteArray before = sha256(h5);
    QDir(dir.filePath("bad")).removeRecursively();
    QVERIFY(QDir(dir.path()).mkpath("bad"));
    QStringList args { "correct", "--model", "paralyzable", "--tau0", tau0s, "--recipe",
                       "bad.recipe", "bad.h5" };
    if (damage == QLatin1String("norecipe"))
        args.removeAt(args.indexOf("--recipe") + 1), args.removeOne("--recipe");
    args << (toHdf5 ? "--output-dir" : "-o") << (toHdf5 ? "bad" : "bad/bad_dtc.tsv");
    const BatchRun run = runBatchCommand(args, dir.path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.startsWith("ratelens-batch: bad.h5: ") && run.err.contains(message),
             qPrintable(run.err));
    QCOMPARE(QDir(dir.filePath("bad")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(sha256(h5), before);
}

QTEST_GUILESS_MAIN(TestHdf5Correct)
#include "tst_hdf5correct.moc"
