// Qt
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

// Local
#include "tests/xafs/xafsseries.h"
#include "xafs/resample.h"
#include "xafs/seriesaligner.h"
#include "xafs/xanesoptions.h"
#include <hdf5.h>

/// A CT-XAFS series aligned by the command's code: the shifts recovered, aligned.h5 read back with
/// the HDF5 library, NaN where data came from outside, and the series and options refused.
class TestSeriesAlign : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recoversTheDrift_data();
    void recoversTheDrift();
    void alignedFileHoldsTheVolumes_data();
    void alignedFileHoldsTheVolumes();
    void chainIsCheckedAgainstTheDirectRegistration();
    void readsDataFilesWithoutTiff();
    void refusals_data();
    void refusals();
    void badOptions_data();
    void badOptions();

private:
    int align(const QStringList &args, const QString &series, QString *messages = nullptr,
        AlignOptions *tuned = nullptr);
    QTemporaryDir data_;
    QString series_;
    std::vector<Shift3> drift_;
    const VolumeShape shape_ {32, 64, 64};
    static constexpr int energies = 8;
};

int TestSeriesAlign::align(
    const QStringList &args, const QString &series, QString *messages, AlignOptions *tuned)
{
    XanesOptions parsed;
    QString error;
    if (!parseXanesOptions(QStringList {series} + args, parsed, error)) {
        if (messages)
            *messages = error;
        return 2;
    }
    AlignOptions &options = parsed.align;
    if (tuned)
        options.chainTolerance = tuned->chainTolerance;
    QString text;
    QTextStream out(&text);
    const int status = alignSeries(options, out, out, QStringLiteral("quorvel-xanes"));
    out.flush();
    if (messages)
        *messages = text;
    return status;
}

void TestSeriesAlign::initTestCase()
{
    // Eight energies drifting by up to 4 voxels, the element 5x stronger from the fourth on.
    series_ = data_.filePath(QStringLiteral("series"));
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-4.0, 4.0);
    for (int i = 0; i < energies; ++i) {
        drift_.push_back({u(rng), u(rng), u(rng)});
        QVERIFY(writeEnergy(series_, testTag(i), phantomVolume(shape_, drift_.back(), testContrast(i))));
    }
}

namespace {

struct TableLine
{
    double energy;
    double d[3];
    double peak;
};

std::vector<TableLine> readShifts(const QString &path)
{
    QFile f(path);
    std::vector<TableLine> lines;
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    const QStringList text = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    if (text.isEmpty() || text.first() != QLatin1String("# energy_eV\tdz\tdy\tdx\tpeak"))
        return lines;
    for (const QString &line : text.mid(1)) {
        const QStringList v = line.split(u'\t');
        if (v.size() == 5)
            lines.push_back(
                {v[0].toDouble(), {v[1].toDouble(), v[2].toDouble(), v[3].toDouble()}, v[4].toDouble()});
    }
    return lines;
}

// A dataset of the aligned file read whole as doubles (floats for the data), with its dimensions.
template<typename T>
std::vector<T> readDataset(const QString &file, const char *path, std::vector<hsize_t> &dims)
{
    std::vector<T> values;
    const hid_t f = H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    if (f < 0)
        return values;
    const hid_t d = H5Dopen2(f, path, H5P_DEFAULT);
    if (d >= 0) {
        const hid_t space = H5Dget_space(d);
        dims.assign(std::size_t(H5Sget_simple_extent_ndims(space)), 0);
        H5Sget_simple_extent_dims(space, dims.data(), nullptr);
        hsize_t count = 1;
        for (hsize_t n : dims)
            count *= n;
        values.resize(std::size_t(count));
        const hid_t type = std::is_same_v<T, float> ? H5T_NATIVE_FLOAT : H5T_NATIVE_DOUBLE;
        if (count > 0 && H5Dread(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0)
            values.clear();
        H5Sclose(space);
        H5Dclose(d);
    }
    H5Fclose(f);
    return values;
}

QString stringAttribute(const QString &file, const char *object, const char *name)
{
    QString value;
    const hid_t f = H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    const hid_t a = f >= 0 ? H5Aopen_by_name(f, object, name, H5P_DEFAULT, H5P_DEFAULT) : -1;
    if (a >= 0) {
        const hid_t type = H5Aget_type(a);
        QByteArray text(int(H5Tget_size(type)) + 1, '\0');
        if (H5Aread(a, type, text.data()) >= 0)
            value = QString::fromUtf8(text.constData());
        H5Tclose(type);
        H5Aclose(a);
    }
    if (f >= 0)
        H5Fclose(f);
    return value;
}

} // namespace

void TestSeriesAlign::recoversTheDrift_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("reference");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("to the highest energy") << QStringList() << energies - 1 << 0.05;
    QTest::newRow("to an energy in the middle, one thread") << QStringList {
        QStringLiteral("--reference-energy"), QStringLiteral("7115.02"), QStringLiteral("--threads"),
        QStringLiteral("1")} << 3 << 0.05;
    QTest::newRow("on a box") << QStringList {QStringLiteral("--box"), QStringLiteral("6,8,8,25,55,55")}
                              << energies - 1 << 0.05;
    // Seven links of a few hundredths each add up.
    QTest::newRow("along a chain") << QStringList {QStringLiteral("--chain")} << energies - 1 << 0.1;
}

void TestSeriesAlign::recoversTheDrift()
{
    QFETCH(QStringList, args);
    QFETCH(int, reference);
    QFETCH(double, tolerance);
    QTemporaryDir out;
    QString messages;
    QCOMPARE(align(args + QStringList {QStringLiteral("--out"), out.path()}, series_, &messages), 0);
    const std::vector<TableLine> lines = readShifts(out.filePath(QStringLiteral("shifts.tsv")));
    QCOMPARE(int(lines.size()), energies);
    for (int i = 0; i < energies; ++i) {
        QCOMPARE(lines[std::size_t(i)].energy, testEnergy(i));
        for (int a = 0; a < 3; ++a) {
            const double truth = drift_[std::size_t(i)][a] - drift_[std::size_t(reference)][a];
            QVERIFY2(std::abs(lines[std::size_t(i)].d[a] - truth) < tolerance,
                qPrintable(QStringLiteral("energy %1, axis %2: %3, the truth %4")
                               .arg(i)
                               .arg(a)
                               .arg(lines[std::size_t(i)].d[a])
                               .arg(truth)));
        }
        QVERIFY(lines[std::size_t(i)].peak > 0.9);
    }
    // Every energy has its progress line; the picture has its three energies' columns (two when the
    // reference is the highest).
    QCOMPARE(messages.count(QStringLiteral(", peak ")), energies);
    const QImage picture(out.filePath(QStringLiteral("alignment.png")));
    QVERIFY(!picture.isNull());
    QVERIFY(picture.width() > (reference == energies - 1 ? 2 : 3) * 256);
}

void TestSeriesAlign::alignedFileHoldsTheVolumes_data()
{
    QTest::addColumn<bool>("noAlign");
    QTest::newRow("as they are") << true;
    QTest::newRow("aligned") << false;
}

void TestSeriesAlign::alignedFileHoldsTheVolumes()
{
    QFETCH(bool, noAlign);
    QTemporaryDir out;
    QStringList args {QStringLiteral("--out"), out.path()};
    if (noAlign)
        args << QStringLiteral("--no-align");
    QCOMPARE(align(args, series_), 0);
    const QString file = out.filePath(QStringLiteral("aligned.h5"));
    std::vector<hsize_t> dims, edims, sdims, shiftDims;
    const std::vector<float> data = readDataset<float>(file, "/entry/data/data", dims);
    const std::vector<double> energy = readDataset<double>(file, "/entry/data/energy", edims);
    const std::vector<double> slices = readDataset<double>(file, "/entry/data/slice", sdims);
    const std::vector<double> shifts = readDataset<double>(file, "/entry/alignment/shift", shiftDims);
    QCOMPARE(dims, (std::vector<hsize_t> {energies, 32, 64, 64}));
    QCOMPARE(energy.size(), std::size_t(energies));
    QCOMPARE(energy[2], testEnergy(2));
    QCOMPARE(stringAttribute(file, "/entry/data/energy", "units"), QStringLiteral("eV"));
    QCOMPARE(stringAttribute(file, "/entry/data", "signal"), QStringLiteral("data"));
    QCOMPARE(slices.front(), 10.0); // the slices 10, 12, … 72 along z
    QCOMPARE(slices.back(), 72.0);
    QCOMPARE(shiftDims, (std::vector<hsize_t> {energies, 3}));
    for (int i = 0; i < energies; ++i) {
        const Shift3 estimate {
            shifts[std::size_t(3 * i)], shifts[std::size_t(3 * i + 1)], shifts[std::size_t(3 * i + 2)]};
        // The volume read, moved by the shift the file records: the phantom drawn at the drift less
        // that shift (the reference's drift, up to the error of the estimate), NaN where the source
        // lay outside the volume.
        const Volume expected = phantomVolume(shape_, drift_[std::size_t(i)] - estimate, testContrast(i));
        const ValidRange rz = validRange(32, estimate.z), ry = validRange(64, estimate.y),
                         rx = validRange(64, estimate.x);
        double worst = 0.0, edge = 0.0;
        std::size_t nan = 0;
        for (int z = 0; z < 32; ++z)
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x) {
                    const float got = data[((std::size_t(i) * 32 + z) * 64 + y) * 64 + x];
                    const bool outside = z < rz.first || z >= rz.end || y < ry.first || y >= ry.end
                        || x < rx.first || x >= rx.end;
                    QCOMPARE(std::isnan(got), outside);
                    nan += outside ? 1 : 0;
                    // Where the mirrored ends of the splines do not reach, the spline's own accuracy.
                    const bool deep = z >= rz.first + 3 && z < rz.end - 3 && y >= ry.first + 3
                        && y < ry.end - 3 && x >= rx.first + 3 && x < rx.end - 3;
                    if (!outside)
                        (deep ? worst : edge)
                            = std::max(deep ? worst : edge, double(std::abs(got - expected.at(z, y, x))));
                }
        if (noAlign) {
            QCOMPARE(nan, std::size_t(0));
            QCOMPARE(std::max(worst, edge), 0.0); // exactly the slices read
        } else {
            // Within 1 % of the largest contrast (the element's, 0.5 or 2.5) inside, 5 % at the faces.
            const double contrast = std::max(1.0, 0.5 * testContrast(i));
            QVERIFY2(worst < 0.01 * contrast && edge < 0.05 * contrast,
                qPrintable(QStringLiteral("energy %1: %2, %3").arg(i).arg(worst).arg(edge)));
            QVERIFY(i == energies - 1 || nan > 0);
        }
    }
}

void TestSeriesAlign::chainIsCheckedAgainstTheDirectRegistration()
{
    // The chain's far end is registered straight to the reference too; a gap above the tolerance is
    // said, and none here reaches a tenth of a voxel.
    for (const double tolerance : {0.2, 1e-6}) {
        QTemporaryDir out;
        AlignOptions tuned;
        tuned.chainTolerance = tolerance;
        QString messages;
        QCOMPARE(align({QStringLiteral("--chain"), QStringLiteral("--out"), out.path()}, series_, &messages,
                     &tuned),
            0);
        QCOMPARE(messages.contains(QStringLiteral("from its direct registration")), tolerance < 0.1);
        QVERIFY(messages.contains(QStringLiteral("(closing check)")));
    }
}

void TestSeriesAlign::readsDataFilesWithoutTiff()
{
    // Three energies as CT image data files only: read through the volume view's reader, aligned alike.
    QTemporaryDir dir;
    const QString series = dir.filePath(QStringLiteral("series"));
    const int picked[] = {0, 3, energies - 1};
    for (const int i : picked)
        QVERIFY(writeEnergy(
            series, testTag(i), phantomVolume(shape_, drift_[std::size_t(i)], testContrast(i)), 10, 2, true));
    QString messages;
    QCOMPARE(align({QStringLiteral("--out"), dir.filePath(QStringLiteral("out"))}, series, &messages), 0);
    const std::vector<TableLine> lines = readShifts(dir.filePath(QStringLiteral("out/shifts.tsv")));
    QCOMPARE(lines.size(), std::size_t(3));
    for (int k = 0; k < 3; ++k)
        for (int a = 0; a < 3; ++a)
            QVERIFY(std::abs(lines[std::size_t(k)].d[a]
                        - (drift_[std::size_t(picked[k])][a] - drift_[energies - 1][a]))
                < 0.05);
}

void TestSeriesAlign::refusals_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("written"); // energies in aligned.h5, -1 for no file
    QTest::newRow("a slice missing") << QStringLiteral("remove 7115eV/demo-7115eV-00024.tif") << QStringList()
                                     << 1 << QStringLiteral("7115eV lacks slice 24") << -1;
    QTest::newRow("reference energy not in the series")
        << QString() << QStringList {QStringLiteral("--reference-energy"), QStringLiteral("7112")} << 2
        << QStringLiteral("is not an energy of the series") << -1;
    QTest::newRow("a folder without energy") << QStringLiteral("mkdir notes") << QStringList() << 1
                                             << QStringLiteral("has no energy in its name") << -1;
    QTest::newRow("slices not evenly spaced") << QStringLiteral("remove-slice 00030") << QStringList() << 1
                                              << QStringLiteral("not evenly spaced") << -1;
    QTest::newRow("a box beyond the volume")
        << QString() << QStringList {QStringLiteral("--box"), QStringLiteral("0,0,0,40,63,63")} << 2
        << QStringLiteral("beyond the volume") << -1;
    QTest::newRow("a slice that cannot be read")
        << QStringLiteral("garble 7125eV/demo-7125eV-00040.tif") << QStringList() << 1
        << QStringLiteral("energy 7125eV failed") << energies - 1;
    QTest::newRow("an energy unlike the reference") << QStringLiteral("noise 7105eV") << QStringList() << 1
                                                    << QStringLiteral("below 0.3") << energies - 1;
}

void TestSeriesAlign::refusals()
{
    QFETCH(QString, damage);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(int, written);
    QTemporaryDir copy;
    const QString series = copy.filePath(QStringLiteral("series"));
    for (int i = 0; i < energies; ++i)
        QVERIFY(
            writeEnergy(series, testTag(i), phantomVolume(shape_, drift_[std::size_t(i)], testContrast(i))));
    const QString what = damage.section(u' ', 0, 0), where = damage.section(u' ', 1);
    if (what == QLatin1String("remove"))
        QVERIFY(QFile::remove(QDir(series).filePath(where)));
    else if (what == QLatin1String("mkdir"))
        QVERIFY(QDir(series).mkdir(where));
    else if (what == QLatin1String("remove-slice"))
        for (int i = 0; i < energies; ++i)
            QVERIFY(QFile::remove(
                QDir(series).filePath(QStringLiteral("%1/demo-%1-%2.tif").arg(testTag(i), where))));
    else if (what == QLatin1String("garble")) {
        QFile f(QDir(series).filePath(where));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("II*\0garbage") > 0);
    } else if (what == QLatin1String("noise")) {
        Volume v;
        v.shape = shape_;
        v.values.assign(shape_.voxels(), 1.0f);
        addNoise(v, 1.0, 3);
        QVERIFY(QDir(QDir(series).filePath(where)).removeRecursively() && writeEnergy(series, where, v));
    }
    QTemporaryDir out;
    QString messages;
    QCOMPARE(align(args + QStringList {QStringLiteral("--out"), out.path()}, series, &messages), status);
    QVERIFY2(messages.contains(message), qPrintable(messages));
    const QString file = out.filePath(QStringLiteral("aligned.h5"));
    QCOMPARE(QFileInfo::exists(file), written >= 0);
    if (written >= 0) {
        std::vector<hsize_t> dims;
        readDataset<double>(file, "/entry/data/energy", dims);
        QCOMPARE(dims, std::vector<hsize_t> {hsize_t(written)});
        const std::vector<double> failed = readDataset<double>(file, "/entry/alignment/failed_energy", dims);
        QCOMPARE(failed.size(), std::size_t(1));
        QCOMPARE(readShifts(out.filePath(QStringLiteral("shifts.tsv"))).size(), std::size_t(energies));
    }
    // Nothing half-written is left behind under any name.
    QCOMPARE(
        QDir(out.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".aligned")).size(), 0);
}

void TestSeriesAlign::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no output folder") << QStringList {QStringLiteral("S")};
    QTest::newRow("a box of five numbers") << QStringList {QStringLiteral("S"), QStringLiteral("--out"),
        QStringLiteral("O"), QStringLiteral("--box"), QStringLiteral("1,2,3,4,5")};
    QTest::newRow("a box upside down") << QStringList {QStringLiteral("S"), QStringLiteral("--out"),
        QStringLiteral("O"), QStringLiteral("--box"), QStringLiteral("9,0,0,4,5,5")};
    QTest::newRow("no alignment along a chain") << QStringList {QStringLiteral("S"), QStringLiteral("--out"),
        QStringLiteral("O"), QStringLiteral("--no-align"), QStringLiteral("--chain")};
    QTest::newRow("no threads") << QStringList {QStringLiteral("S"), QStringLiteral("--out"),
        QStringLiteral("O"), QStringLiteral("--threads"), QStringLiteral("0")};
    QTest::newRow("an energy that is no number") << QStringList {QStringLiteral("S"), QStringLiteral("--out"),
        QStringLiteral("O"), QStringLiteral("--reference-energy"), QStringLiteral("edge")};
}

void TestSeriesAlign::badOptions()
{
    QFETCH(QStringList, args);
    XanesOptions options;
    QString error;
    QVERIFY(!parseXanesOptions(args, options, error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestSeriesAlign)
#include "tst_seriesalign.moc"
