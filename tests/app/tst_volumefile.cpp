// Qt
#include <QFileSystemWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "recon/volumefile.h"
#include "recon/volumejoin.h"
#include "tests/app/reconcommand.h"
#include "tests/app/volumeread.h"
#include "tools/phantom/phantom.h"
#include <cmath>
#include <csignal>
#include <cstring>

using namespace Qt::StringLiterals;

/// The volume file of a run (--hdf5): the values of the float TIFF slices, slice for slice, whatever
/// the compression and the order the slices finish in; a reader while it is written; an unfinished
/// file started again; blocks joined into one volume.
class TestVolumeFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void equalsTheTiffSlices_data();
    void equalsTheTiffSlices();
    void slicesInAnyOrderAndAReaderMidRun();
    void refusesWhatDoesNotFit();
    void blocksJoinIntoOneVolume();
    void seriesMasterOverTheEnergies();
    void aKilledRunStartsItsFileAgain();

private:
    QTemporaryDir data_;
};

namespace {

// A slice of `height` × `width` whose every value tells its slice and position.
RegionFloats marked(int slice, int height, int width)
{
    RegionFloats r;
    r.width = width;
    r.height = height;
    for (int i = 0; i < width * height; ++i)
        r.values.push_back(float(slice * 1000 + i) + 0.25f);
    return r;
}

bool bitEqual(const float *a, const float *b, size_t n)
{
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

// The filter of the volume's dataset (H5Z_FILTER_DEFLATE, 32004), or -1 without one besides shuffle.
int compressionFilter(const QString &file)
{
    const hdf5::Lock lock;
    hdf5::Id f(H5Fopen(QFile::encodeName(file).constData(), H5F_ACC_RDONLY, H5P_DEFAULT));
    hdf5::Id set(f ? H5Dopen2(f.get(), "/entry/data/data", H5P_DEFAULT) : H5I_INVALID_HID);
    hdf5::Id create(set ? H5Dget_create_plist(set.get()) : H5I_INVALID_HID);
    int filter = -1;
    for (int i = 0; create && i < H5Pget_nfilters(create.get()); ++i) {
        unsigned flags = 0;
        size_t count = 0;
        const H5Z_filter_t id
            = H5Pget_filter2(create.get(), unsigned(i), &flags, &count, nullptr, 0, nullptr, nullptr);
        if (id != H5Z_FILTER_SHUFFLE)
            filter = int(id);
    }
    return filter;
}

} // namespace

void TestVolumeFile::initTestCase()
{
    ScanSetup setup;
    setup.width = 48;
    setup.height = 14;
    setup.cor = 24.5;
    setup.projections = 60;
    QVERIFY(writeScan(demoPhantom(48), setup, data_.filePath(u"p"_s), u"p"_s, data_.filePath(u"i0.img"_s),
        data_.filePath(u"bg.img"_s)));
}

void TestVolumeFile::equalsTheTiffSlices_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QList<int>>("slices");
    QTest::newRow("plain") << u"--slices 2:11"_s << -1 << QList<int> {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("gzip") << u"--slices 2:11 --hdf5-compress gzip"_s << int(H5Z_FILTER_DEFLATE)
                          << QList<int> {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("lz4") << u"--slices 2:11 --hdf5-compress lz4"_s << 32004
                         << QList<int> {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    // Descending, by a step, in blocks of two on two workers: finished out of order, stored by number.
    QTest::newRow("descending blocks")
        << u"--slices 13:1:3 --block 2"_s << -1 << QList<int> {1, 4, 7, 10, 13};
    // A region reaching beyond the image: its pixels outside are 0 in both files.
    QTest::newRow("region beyond the image")
        << u"--slices 5:6 --region -3.5,10,60,30.5 --single"_s << -1 << QList<int> {5, 6};
}

void TestVolumeFile::equalsTheTiffSlices()
{
    QFETCH(QString, options);
    QFETCH(int, filter);
    QFETCH(QList<int>, slices);
    QTemporaryDir out;
    QString text;
    const QStringList args = QStringList {data_.filePath(u"p"_s), u"--i0"_s, data_.filePath(u"i0.img"_s),
                                 u"--bg"_s, data_.filePath(u"bg.img"_s), u"--out"_s, out.path()}
        + words(u"--axis v --cor 24.5 --no-png --no-data --tiff --hdf5 vol.h5 --threads 2 "_s + options);
    QCOMPARE(runRecon(args, &text), 0);
    const QString file = out.filePath(u"vol.h5"_s);
    QVERIFY2(text.contains(u"wrote "_s + file), qPrintable(text));
    QVERIFY(!QFile::exists(volumePartPath(file)));
    QCOMPARE(compressionFilter(file), filter);

    std::vector<hsize_t> dims;
    const std::vector<float> volume = volumeValues(file, &dims);
    QCOMPARE(dims.size(), size_t(3));
    QCOMPARE(volumeSlices(file), std::vector<int>(slices.cbegin(), slices.cend()));
    QCOMPARE(dims[0], hsize_t(slices.size()));
    const size_t pixels = size_t(dims[1] * dims[2]);
    for (qsizetype z = 0; z < slices.size(); ++z) {
        QSize size;
        const std::vector<std::vector<float>> pages
            = tiffPages(out.filePath(u"ct-%1.tif"_s.arg(slices[z], 5, 10, QLatin1Char('0'))), nullptr, &size);
        QCOMPARE(pages.size(), size_t(1));
        QCOMPARE(hsize_t(size.height()), dims[1]);
        QCOMPARE(hsize_t(size.width()), dims[2]);
        QVERIFY2(bitEqual(volume.data() + size_t(z) * pixels, pages[0].data(), pixels),
            qPrintable(u"slice %1"_s.arg(slices[z])));
    }
    const auto cor = readDataset<double>(file, "/entry/reconstruction/centre_of_rotation", H5T_NATIVE_DOUBLE);
    QCOMPARE(cor, std::vector<double>(size_t(slices.size()), 24.5));
    const auto written
        = readDataset<unsigned char>(file, "/entry/reconstruction/slice_written", H5T_NATIVE_UCHAR);
    QCOMPARE(written, std::vector<unsigned char>(size_t(slices.size()), 1));
    const auto angles = readDataset<double>(file, "/entry/reconstruction/rotation_angle", H5T_NATIVE_DOUBLE);
    QCOMPARE(angles.size(), size_t(60));
    QCOMPARE(angles.front(), 0.0);
    QVERIFY(std::abs(angles.back() - 177.0) < 1e-9);
}

void TestVolumeFile::slicesInAnyOrderAndAReaderMidRun()
{
    QTemporaryDir out;
    const QString file = out.filePath(u"v.h5"_s);
    VolumeLayout layout;
    layout.slices = {7, 3, 5, 1};
    layout.program = u"test"_s;
    const Region region {0, 0, 3, 2};
    QString error;
    {
        VolumeFileWriter writer;
        QVERIFY2(writer.start(file, layout, &error), qPrintable(error));
        QVERIFY(writer.addSlice(5, 20.5, region, marked(5, 2, 3), &error));
        QVERIFY(writer.addSlice(1, 21.5, region, marked(1, 2, 3), &error));
        QVERIFY(QFile::exists(volumePartPath(file)));
        QVERIFY(!QFile::exists(file));
        // Another process reads the file while it is open for writing: what the last flush left.
        const QString h5dump = QStandardPaths::findExecutable(u"h5dump"_s);
        if (!h5dump.isEmpty()) {
            QProcess dump;
            dump.start(h5dump, {u"-d"_s, u"/entry/reconstruction/slice_written"_s, volumePartPath(file)});
            QVERIFY(dump.waitForFinished(10000));
            const QString shown = QString::fromLatin1(dump.readAllStandardOutput());
            QVERIFY2(dump.exitCode() == 0 && shown.contains(u"(0): 1, 0, 1, 0"_s), qPrintable(shown));
        }
        const std::vector<float> midRun = volumeValues(volumePartPath(file));
        QCOMPARE(midRun.size(), size_t(24));
        QVERIFY(bitEqual(midRun.data(), marked(1, 2, 3).values.data(), 6));
        QVERIFY(std::isnan(midRun[6]) && std::isnan(midRun[23]));
        QVERIFY(bitEqual(midRun.data() + 12, marked(5, 2, 3).values.data(), 6));
        // Two slices missing: the file stays unfinished under its temporary name.
        QVERIFY(!writer.finish(&error));
        QVERIFY2(error.contains(u"2 of 4 slices missing (3, 7)"_s), qPrintable(error));
        QVERIFY(QFile::exists(volumePartPath(file)) && !QFile::exists(file));
    }
    // The next run starts the unfinished file again.
    VolumeFileWriter writer;
    QVERIFY(writer.start(file, layout, &error));
    QVERIFY(!QFile::exists(volumePartPath(file)));
    for (int slice : {7, 3, 1, 5})
        QVERIFY2(writer.addSlice(slice, slice + 0.5, region, marked(slice, 2, 3), &error), qPrintable(error));
    QVERIFY2(writer.finish(&error), qPrintable(error));
    QVERIFY(QFile::exists(file) && !QFile::exists(volumePartPath(file)));
    const std::vector<float> values = volumeValues(file);
    QCOMPARE(values.size(), size_t(24));
    const int order[] = {1, 3, 5, 7};
    for (size_t z = 0; z < 4; ++z)
        QVERIFY(bitEqual(values.data() + z * 6, marked(order[z], 2, 3).values.data(), 6));
    QCOMPARE(readDataset<double>(file, "/entry/reconstruction/centre_of_rotation", H5T_NATIVE_DOUBLE),
        (std::vector<double> {1.5, 3.5, 5.5, 7.5}));
}

void TestVolumeFile::refusesWhatDoesNotFit()
{
    QTemporaryDir out;
    const QString file = out.filePath(u"v.h5"_s);
    VolumeLayout layout;
    layout.slices = {1, 2};
    QString error;
    VolumeFileWriter writer;
    QVERIFY(!writer.start(out.filePath(u"no/such/folder/v.h5"_s), layout, &error));
    QVERIFY(writer.start(file, layout, &error));
    const Region region {0, 0, 3, 2};
    QVERIFY(!writer.addSlice(4, 1.0, region, marked(4, 2, 3), &error));
    QVERIFY2(error.contains(u"not one of the run's slices"_s), qPrintable(error));
    QVERIFY(writer.addSlice(1, 1.0, region, marked(1, 2, 3), &error));
    QVERIFY(!writer.addSlice(2, 1.0, region, marked(2, 3, 3), &error));
    QVERIFY2(error.contains(u"3 × 3 pixels"_s), qPrintable(error));
    QCOMPARE(writer.written(), 1);
}

void TestVolumeFile::blocksJoinIntoOneVolume()
{
    QTemporaryDir out;
    QVERIFY(QDir(out.path()).mkdir(u"a"_s));
    QString file = out.filePath(u"a/s-7100eV.h5"_s);
    const Region region {0, 0, 4, 3};
    QStringList blocks;
    QString error;
    // The tasks' blocks, the later one written first.
    for (const std::vector<int> &slices : {std::vector<int> {4, 5, 6}, std::vector<int> {0, 1, 2, 3}}) {
        VolumeLayout layout;
        layout.slices = slices;
        layout.anglesDeg = {0.0, 1.0};
        const QString block = volumeBlockPath(file, slices.front() == 0 ? 0 : 1);
        VolumeFileWriter writer;
        QVERIFY(writer.start(block, layout, &error));
        for (int s : slices)
            QVERIFY(writer.addSlice(s, 10.0 + s, region, marked(s, 3, 4), &error));
        QVERIFY2(writer.finish(&error), qPrintable(error));
        blocks << block;
    }
    QCOMPARE(blocks.constLast(), out.filePath(u"a/s-7100eV.block000.h5"_s));
    QVERIFY2(joinVolumeBlocks(file, blocks, &error), qPrintable(error));
    // The folder moved whole: the joined file finds its blocks beside it.
    QVERIFY(QDir(out.path()).rename(u"a"_s, u"b"_s));
    file = out.filePath(u"b/s-7100eV.h5"_s);
    std::vector<hsize_t> dims;
    const std::vector<float> values = volumeValues(file, &dims);
    QCOMPARE(dims, (std::vector<hsize_t> {7, 3, 4}));
    for (int s = 0; s < 7; ++s)
        QVERIFY2(bitEqual(values.data() + size_t(s) * 12, marked(s, 3, 4).values.data(), 12),
            qPrintable(QString::number(s)));
    QCOMPARE(volumeSlices(file), (std::vector<int> {0, 1, 2, 3, 4, 5, 6}));
    QCOMPARE(readDataset<double>(file, "/entry/reconstruction/centre_of_rotation", H5T_NATIVE_DOUBLE).back(),
        16.0);
    QCOMPARE(readDataset<double>(file, "/entry/reconstruction/rotation_angle", H5T_NATIVE_DOUBLE).size(),
        size_t(2));

    // Two energies over the joined file and a plain one: a 4D master of virtual datasets.
    const QString other = out.filePath(u"s-7200eV.h5"_s);
    VolumeLayout layout;
    layout.slices = {0, 1, 2, 3, 4, 5, 6};
    VolumeFileWriter writer;
    QVERIFY(writer.start(other, layout, &error));
    for (int s = 0; s < 7; ++s)
        QVERIFY(writer.addSlice(s, 1.0, region, marked(s + 100, 3, 4), &error));
    QVERIFY(writer.finish(&error));
    QVERIFY(QDir().mkpath(out.filePath(u"m"_s)));
    const QString master = out.filePath(u"m/series.h5"_s);
    QVERIFY2(writeSeriesMaster(master, {{7200.0, other}, {7100.0, file}}, &error), qPrintable(error));
    const std::vector<float> all = volumeValues(master, &dims);
    QCOMPARE(dims, (std::vector<hsize_t> {2, 7, 3, 4}));
    QVERIFY(bitEqual(all.data(), values.data(), 84));
    QVERIFY(bitEqual(all.data() + 84, marked(100, 3, 4).values.data(), 12));
    QCOMPARE(readDataset<double>(master, "/entry/data/energy", H5T_NATIVE_DOUBLE),
        (std::vector<double> {7100.0, 7200.0}));
    // Volumes of other slices make no series.
    layout.slices = {0, 1};
    QVERIFY(writer.start(out.filePath(u"short.h5"_s), layout, &error));
    QVERIFY(writer.addSlice(0, 1.0, region, marked(0, 3, 4), &error)
        && writer.addSlice(1, 1.0, region, marked(1, 3, 4), &error));
    QVERIFY(writer.finish(&error));
    QVERIFY(!writeSeriesMaster(master, {{7100.0, file}, {7300.0, out.filePath(u"short.h5"_s)}}, &error));
    QVERIFY2(
        error.contains(u"2 slices of 4 × 3 pixels"_s) && error.contains(u"must match"_s), qPrintable(error));
}

void TestVolumeFile::seriesMasterOverTheEnergies()
{
    // The same series whole and as a job array's tasks (each its own block's file, joined by the run
    // that resumes after them): the same values in each energy's file and in the master, which holds
    // every energy's slices in energy order.
    QTemporaryDir data, whole, tasks;
    XafsSeriesSetup setup;
    setup.scan.width = 40;
    setup.scan.height = 9;
    setup.scan.cor = 20;
    setup.scan.projections = 30;
    setup.energies = 3;
    const QString p = data.filePath(u"p"_s), i0 = data.filePath(u"i0"_s), bg = data.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, p, i0, bg));
    const QStringList args = QStringList {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, bg}
        + words(u"--axis v --cor 20 --slices 1:8 --block 3 --sub-folders energy --name s --no-png --tiff "
                "--hdf5 series.h5 --threads 2"_s);
    QString text;
    QCOMPARE(runRecon(args + QStringList {u"--out"_s, whole.path()}, &text), 0);
    for (int task = 0; task < 9; ++task)
        QCOMPARE(
            runRecon(args + QStringList {u"--out"_s, tasks.path(), u"--task"_s, QString::number(task)}), 0);
    QVERIFY(!QFile::exists(tasks.filePath(u"series.h5"_s)));
    QVERIFY(QFile::exists(tasks.filePath(u"7090eV/s-7090eV.block002.h5"_s)));
    text.clear();
    QCOMPARE(runRecon(args + QStringList {u"--out"_s, tasks.path(), u"--resume"_s}, &text), 0);
    QVERIFY2(
        text.contains(u"(its blocks joined)"_s) && !text.contains(u"s-7090eV-00001.tif"_s), qPrintable(text));

    std::vector<hsize_t> dims;
    const std::vector<float> master = volumeValues(whole.filePath(u"series.h5"_s), &dims);
    QCOMPARE(dims.size(), size_t(4));
    QCOMPARE(dims[0], hsize_t(3));
    QCOMPARE(dims[1], hsize_t(8));
    QCOMPARE(volumeValues(tasks.filePath(u"series.h5"_s)), master);
    QCOMPARE(readDataset<double>(whole.filePath(u"series.h5"_s), "/entry/data/energy", H5T_NATIVE_DOUBLE),
        xafsSeriesEnergies(3));
    const size_t volume = size_t(dims[1] * dims[2] * dims[3]);
    const size_t pixels = size_t(dims[2] * dims[3]);
    for (size_t e = 0; e < 3; ++e) {
        const QString tag = energyFieldText(xafsSeriesEnergies(3)[e]);
        const QString file = u"%1/s-%1.h5"_s.arg(tag);
        QVERIFY(bitEqual(volumeValues(whole.filePath(file)).data(), master.data() + e * volume, volume));
        QVERIFY(bitEqual(volumeValues(tasks.filePath(file)).data(), master.data() + e * volume, volume));
        // The master's slice of the energy is the TIFF slice.
        const std::vector<float> tiff = tiffValues(whole.filePath(u"%1/s-%1-00005.tif"_s.arg(tag)));
        QCOMPARE(tiff.size(), pixels);
        QVERIFY(bitEqual(tiff.data(), master.data() + e * volume + 4 * pixels, pixels));
    }
}

void TestVolumeFile::aKilledRunStartsItsFileAgain()
{
    // A series killed (kill -9) while it writes a set's volume: the file stays under its temporary
    // name, no file under its own; --resume skips the sets done and starts that file again.
    QTemporaryDir data, whole, resumed;
    XafsSeriesSetup setup;
    setup.scan.width = 96;
    setup.scan.height = 40;
    setup.scan.cor = 48;
    setup.scan.projections = 120;
    setup.energies = 3;
    const QString p = data.filePath(u"p"_s), i0 = data.filePath(u"i0"_s), bg = data.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, p, i0, bg));
    const QStringList args = QStringList {u"--series"_s, p, u"--i0-files"_s, i0, u"--bg"_s, bg}
        + words(u"--axis v --cor 48 --slices 0:39 --name s --no-png --no-data --hdf5 all.h5 --threads 1"_s);
    QCOMPARE(runRecon(args + QStringList {u"--out"_s, whole.path()}), 0);

    QProcess recon;
    QString killedIn;
    QFileSystemWatcher watcher({resumed.path()});
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, [&] {
        const QStringList parts = QDir(resumed.path()).entryList({u"*.h5.part"_s});
        // The second set's file, once its first slices are in.
        if (killedIn.isEmpty() && parts.contains(u"s-7115eV.h5.part"_s)
            && recon.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(recon.processId()), SIGKILL);
            killedIn = parts.first();
        }
    });
    recon.start(QStringLiteral(QUORVEL_RECON), args + QStringList {u"--out"_s, resumed.path()});
    QVERIFY(recon.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(recon.state() == QProcess::NotRunning, 60000);
    QVERIFY2(recon.exitStatus() == QProcess::CrashExit, "the run ended before the test could kill it");
    QVERIFY(QFile::exists(resumed.filePath(u"s-7090eV.h5"_s)));
    QVERIFY(QFile::exists(resumed.filePath(u"s-7115eV.h5.part"_s)));
    QVERIFY(!QFile::exists(resumed.filePath(u"s-7115eV.h5"_s)));
    QVERIFY(!QFile::exists(resumed.filePath(u"all.h5"_s)));

    QString text;
    QCOMPARE(runRecon(args + QStringList {u"--out"_s, resumed.path(), u"--resume"_s}, &text), 0);
    QVERIFY2(text.contains(u"data set 1 (demo 7090eV): its files are complete: skipped"_s), qPrintable(text));
    QVERIFY(!QFile::exists(resumed.filePath(u"s-7115eV.h5.part"_s)));
    for (const QString &name : {u"s-7090eV.h5"_s, u"s-7115eV.h5"_s, u"s-7140eV.h5"_s, u"all.h5"_s})
        QCOMPARE(volumeValues(resumed.filePath(name)), volumeValues(whole.filePath(name)));
    std::vector<hsize_t> dims;
    volumeValues(resumed.filePath(u"all.h5"_s), &dims);
    QCOMPARE(dims, (std::vector<hsize_t> {3, 40, 92, 92})); // the image of 92 pixels about the centre 48
}

QTEST_GUILESS_MAIN(TestVolumeFile)
#include "tst_volumefile.moc"
