// Qt
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/hdf5scan.h"
#include "imagedata/imagelimits.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdatascanframe.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/scanangles.h"
#include "tools/scanfile/scanfilewriter.h"
#include <algorithm>
#include <cmath>
#include <hdf5.h>
#include <numbers>
#include <vector>
#include <zlib.h>

using namespace Qt::StringLiterals;
using Kind = Hdf5Scan::Kind;

Q_DECLARE_METATYPE(ScanFileRecipe)

/// Scan files written by another writer (the library's C API here, h5py for the fixtures) are read
/// frame for frame as they were written, and every file that cannot be used is refused with a reason.
class TestHdf5Scan : public QObject
{
    Q_OBJECT
private slots:
    void readsTheFramesOfEachKind_data();
    void readsTheFramesOfEachKind();
    void linesEqualTheWholeFrames_data();
    void linesEqualTheWholeFrames();
    void refusesWhatItCannotUse_data();
    void refusesWhatItCannotUse();
    void refusesATruncatedFile();
    void refusesADamagedChunk_data();
    void refusesADamagedChunk();
    void refusesPlainChunksOfAnotherSize();
    void readsTheLayoutsBeamlinesWrite_data();
    void readsTheLayoutsBeamlinesWrite();
    void anglesFitEvenSteps_data();
    void anglesFitEvenSteps();

private:
    QString write(const QString &name, const ScanFileRecipe &recipe);
    QTemporaryDir dir_;
};

QString TestHdf5Scan::write(const QString &name, const ScanFileRecipe &recipe)
{
    const QString path = dir_.filePath(name);
    QString error;
    if (!writeScanFile(path, recipe, &error))
        qWarning() << error;
    return path;
}

namespace {

ScanFileRecipe nxtomo(std::vector<int> keys)
{
    ScanFileRecipe s;
    s.width = 7;
    s.height = 5;
    s.keys = std::move(keys);
    return s;
}

ScanFileRecipe exchange(int projections, int flats, int darks)
{
    ScanFileRecipe s;
    s.layout = ScanFileRecipe::Layout::DataExchange;
    s.width = 6;
    s.height = 3;
    s.projections = projections;
    s.flats = flats;
    s.darks = darks;
    return s;
}

// The value the writer was given for pixel (x, y) of frame `index` of `kind`.
double written(const ScanFileRecipe &recipe, int kind, int index, int x, int y)
{
    if (!recipe.fill)
        return scanPattern(kind, index, x, y);
    std::vector<double> row(size_t(recipe.width));
    recipe.fill(kind, index, y, row.data());
    return row[size_t(x)];
}

std::vector<double> evenAngles(int n, double step, double first = 0.0)
{
    std::vector<double> a(size_t(n), 0.0);
    for (int k = 0; k < n; ++k)
        a[size_t(k)] = first + k * step;
    return a;
}

} // namespace

void TestHdf5Scan::readsTheFramesOfEachKind_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe"); // of a fixture: its size only
    QTest::addColumn<QString>("fixture"); // empty: the file is written from the recipe
    QTest::addColumn<QList<int>>("counts"); // projections, flats, darks
    QTest::addColumn<int>("invalid");

    // Darks and flats before, between and after the projections, an invalid frame among them; the
    // angles are one per frame, the flats' and darks' included.
    ScanFileRecipe interleaved = nxtomo({2, 2, 1, 1, 0, 0, 3, 0, 1, 0, 0, 2, 1});
    interleaved.angles = {0, 0, 0, 0, 0, 45, 90, 90, 0, 135, 180, 0, 0};
    QTest::newRow("NXtomo interleaved") << interleaved << QString() << QList<int> {5, 4, 3} << 1;
    ScanFileRecipe gzip = interleaved;
    gzip.gzip = 6;
    QTest::newRow("NXtomo gzip chunks") << gzip << QString() << QList<int> {5, 4, 3} << 1;
    ScanFileRecipe noKeys = nxtomo({0, 0, 0});
    noKeys.noKeys = true;
    QTest::newRow("NXtomo without image_key: all projections")
        << noKeys << QString() << QList<int> {3, 0, 0} << 0;
    for (auto [name, type] : {std::pair {"8-bit", ScanFileRecipe::Type::U8},
             std::pair {"32-bit big-endian", ScanFileRecipe::Type::U32},
             std::pair {"float", ScanFileRecipe::Type::F32}}) {
        ScanFileRecipe typed = exchange(4, 2, 1);
        typed.type = type;
        typed.chunked = true;
        if (type == ScanFileRecipe::Type::U8) {
            typed.fill = [](int kind, int index, int y, double *row) {
                for (int x = 0; x < 6; ++x)
                    row[x] = kind * 60 + index * 12 + y * 6 + x;
            };
        }
        QTest::newRow(qPrintable(u"Data Exchange, "_s + QLatin1String(name)))
            << typed << QString() << QList<int> {4, 2, 1} << 0;
    }
    // Chunks that hold two frames and cross rows and columns, partly outside the frames at the
    // edges; shuffled, compressed and big-endian.
    ScanFileRecipe crossing = exchange(5, 2, 2);
    crossing.width = 7;
    crossing.height = 5;
    crossing.type = ScanFileRecipe::Type::U32;
    crossing.chunked = true;
    crossing.gzip = 4;
    crossing.shuffle = true;
    crossing.chunkFrames = 2;
    crossing.chunkRows = 2;
    crossing.chunkColumns = 3;
    QTest::newRow("gzip chunks across frames, rows and columns")
        << crossing << QString() << QList<int> {5, 2, 2} << 0;
    ScanFileRecipe plainCrossing = crossing;
    plainCrossing.gzip = 0;
    plainCrossing.shuffle = false;
    QTest::newRow("plain chunks across frames, rows and columns")
        << plainCrossing << QString() << QList<int> {5, 2, 2} << 0;
    ScanFileRecipe compact = exchange(3, 1, 1);
    compact.compact = true;
    QTest::newRow("frames in the dataset's header") << compact << QString() << QList<int> {3, 1, 1} << 0;
    QTest::newRow("Data Exchange without flats or darks")
        << exchange(5, 0, 0) << QString() << QList<int> {5, 0, 0} << 0;
    if (scanFilterAvailable(32004)) { // LZ4, when the plugin package is installed
        ScanFileRecipe lz4 = exchange(3, 1, 1);
        lz4.plugin = 32004;
        QTest::newRow("LZ4 through the plugin") << lz4 << QString() << QList<int> {3, 1, 1} << 0;
    }
    // Written by tests/imagedata/data/make_scan_fixtures.py (h5py): see there for the contents.
    ScanFileRecipe fixture;
    fixture.width = 12;
    fixture.height = 9;
    QTest::newRow("h5py: NXtomo, gzip, image_key of int8")
        << fixture << u"nxtomo_h5py.nxs"_s << QList<int> {10, 3, 2} << 1;
    QTest::newRow("h5py: Data Exchange, theta in radians")
        << fixture << u"dxchange_h5py.h5"_s << QList<int> {8, 2, 1} << 0;
}

void TestHdf5Scan::readsTheFramesOfEachKind()
{
    QFETCH(ScanFileRecipe, recipe);
    QFETCH(QString, fixture);
    QFETCH(QList<int>, counts);
    QFETCH(int, invalid);
    const QString path
        = fixture.isEmpty() ? write(u"scan.nxs"_s, recipe) : QStringLiteral(QUORVEL_TEST_DATA "/") + fixture;
    QCOMPARE(checkFileType(path), ImgFileType::HDF5);
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(path, error);
    QVERIFY2(scan, qPrintable(error));
    QCOMPARE(scan->width(), recipe.width);
    QCOMPARE(scan->height(), recipe.height);
    QCOMPARE(scan->invalidFrames(), invalid);
    std::vector<double> row(size_t(recipe.width)), column(size_t(recipe.height));
    for (Kind kind : {Kind::Projection, Kind::Flat, Kind::Dark}) {
        const int kindNo = int(kind);
        QCOMPARE(scan->count(kind), counts[kindNo]);
        for (int k = 0; k < scan->count(kind); ++k) {
            // Memory mode and reading from the file give the written pattern of that very frame.
            for (bool whole : {true, false}) {
                ImgDataScanFrame frame(scan, kind, k);
                frame.setReadAll(whole);
                QVERIFY(frame.open());
                frame.getRow(recipe.height - 1, row.data());
                frame.getColumn(recipe.width - 2, column.data());
                for (int x = 0; x < recipe.width; ++x)
                    QCOMPARE(row[size_t(x)], written(recipe, kindNo, k, x, recipe.height - 1));
                for (int y = 0; y < recipe.height; ++y)
                    QCOMPARE(column[size_t(y)], written(recipe, kindNo, k, recipe.width - 2, y));
            }
        }
    }
    // Projection angles only, in projection order.
    if (recipe.layout == ScanFileRecipe::Layout::NXtomo && !recipe.angles.empty())
        QCOMPARE(scan->angles(), (std::vector<double> {0, 45, 90, 135, 180}));
    if (!fixture.isEmpty()) { // even steps over 180 degrees, in radians in the Data Exchange file
        QVERIFY(std::abs(scan->angles().back() - 180.0 * (counts[0] - 1) / counts[0]) < 1e-3);
        const AngleFit fit = fitAngles(scan->angles(), 180.0);
        QVERIFY2(fit.ok, qPrintable(fit.problem));
        QCOMPARE(fit.images, counts[0]);
    }
    // The mean of the flats: the mean of their patterns.
    if (counts[1] > 0) {
        const std::unique_ptr<ImgData> mean = meanOfFrames(scan, Kind::Flat, error);
        QVERIFY2(mean, qPrintable(error));
        mean->getRow(1, row.data());
        double expected = 0.0;
        for (int k = 0; k < counts[1]; ++k)
            expected += written(recipe, 1, k, 3, 1) / counts[1];
        QVERIFY(std::abs(row[3] - expected) < 1e-9);
    }
}

void TestHdf5Scan::linesEqualTheWholeFrames_data()
{
    QTest::addColumn<bool>("rows");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<int>("frame"); // −1: the mean of the flats
    QTest::addColumn<bool>("gzip"); // chunks, else one contiguous stretch
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>(
        "holes"); // pixels that are not finite per frame: 0, 5 (repaired) or 60 and more (refused)
    const QSize small(11, 10);
    QTest::newRow("rows in runs") << true << QList<int> {0, 1, 2, 5, 9} << 2 << true << small << 0;
    // Dead pixels of a float detector: NaN within rows, infinities at their ends, a run of two.
    const QSize holed(60, 10);
    QTest::newRow("holes, rows") << true << QList<int> {2, 4, 6, 8} << 1 << false << holed << 5;
    QTest::newRow("holes, columns") << false << QList<int> {0, 6, 20, 21, 59} << 2 << true << holed << 5;
    QTest::newRow("holes, mean of the flats, columns")
        << false << QList<int> {0, 7} << -1 << false << holed << 5;
    QTest::newRow("holes, mean of the flats, rows") << true << QList<int> {2, 8} << -1 << false << holed << 5;
    QTest::newRow("too many holes, rows") << true << QList<int> {2} << 1 << false << holed << 60;
    QTest::newRow("too many holes, columns") << false << QList<int> {3} << 1 << false << holed << 60;
    QTest::newRow("too many holes, mean") << true << QList<int> {2} << -1 << false << holed << 60;
    QTest::newRow("columns in runs, chunks")
        << false << QList<int> {0, 2, 3, 4, 10} << 1 << true << small << 0;
    QTest::newRow("columns in runs, contiguous")
        << false << QList<int> {0, 2, 3, 4, 10} << 1 << false << small << 0;
    QTest::newRow("one column") << false << QList<int> {10} << 0 << true << small << 0;
    QTest::newRow("mean of the flats, columns") << false << QList<int> {1, 7, 8} << -1 << false << small << 0;
    QTest::newRow("mean of the flats, rows") << true << QList<int> {0, 9} << -1 << true << small << 0;
    QTest::newRow("no line") << true << QList<int> {} << 2 << false << small << 0;
    // Rows of 16 kB in memory: the columns come in several bands of rows.
    const QSize wide(2048, 600);
    QTest::newRow("columns of a wide frame, in bands")
        << false << QList<int> {0, 1, 2000, 2047} << 2 << false << wide << 0;
    QTest::newRow("mean columns of a wide frame, in bands")
        << false << QList<int> {5, 6} << -1 << false << wide << 0;
}

void TestHdf5Scan::linesEqualTheWholeFrames()
{
    QFETCH(bool, rows);
    QFETCH(QList<int>, lines);
    QFETCH(int, frame);
    QFETCH(bool, gzip);
    QFETCH(QSize, size);
    QFETCH(int, holes);
    const int w = size.width(), h = size.height();
    ScanFileRecipe recipe = exchange(3, 2, 1);
    recipe.width = w;
    recipe.height = h;
    recipe.type = ScanFileRecipe::Type::F32;
    recipe.gzip = gzip ? 1 : 0;
    const auto value = [](int kind, int index, int y, int x) {
        return std::sin(kind * 7.0 + index * 1.3 + y * 0.7 + x * 0.11) * 1000.0 + 0.125;
    };
    recipe.fill = [w, holes, value](int kind, int index, int y, double *row) {
        for (int x = 0; x < w; ++x)
            row[x] = value(kind, index, y, x);
        if (holes == 5 && y == 2)
            row[5 + index] = qQNaN();
        else if (holes == 5 && y == 4)
            row[w - 1] = qInf();
        else if (holes == 5 && y == 6)
            row[0] = -qInf();
        else if (holes == 5 && y == 8)
            row[20] = row[21] = qQNaN();
        else if (holes == 60) // a dead row, and a dead column
            for (int x = 0; x < w; ++x)
                row[x] = y == 2 || x == 3 ? qQNaN() : row[x];
    };
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(write(u"lines.h5"_s, recipe), error);
    QVERIFY2(scan, qPrintable(error));
    const Kind kind = frame < 0 ? Kind::Flat : Kind::Projection;
    std::unique_ptr<ImgData> whole;
    if (holes > 0) // said or refused once per frame read whole, and per frame's lines of the block
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not finite|no finite pixel"_s));
    if (frame < 0) {
        whole = meanOfFrames(scan, kind, error);
    } else {
        whole = std::make_unique<ImgDataScanFrame>(scan, kind, frame);
        if (!whole->open())
            whole.reset();
    }
    const std::vector<int> wanted(lines.cbegin(), lines.cend());
    const std::shared_ptr<const ImgData> block
        = readLineBlock(ImageSource {scan->fileName(), scan, kind, frame}, rows, wanted, w, h);
    if (holes > 5) { // more than 1 % of the frame, and a whole row: neither reading takes it
        QVERIFY(!whole);
        QVERIFY(!block);
        return;
    }
    QVERIFY(whole);
    QVERIFY(block);
    if (holes > 0 && frame >= 0) { // between finite neighbours: their mean, stored as a float
        std::vector<double> row(static_cast<size_t>(w));
        whole->getRow(2, row.data());
        const double left = float(value(0, frame, 2, 4 + frame)),
                     right = float(value(0, frame, 2, 6 + frame));
        QCOMPARE(row[size_t(5 + frame)], double(float(left + 0.5 * (right - left))));
        whole->getRow(4, row.data()); // at an end: the nearest
        QCOMPARE(row[size_t(w - 1)], double(float(value(0, frame, 4, w - 2))));
    }
    const int length = rows ? w : h;
    for (int line = 0; line < (rows ? h : w); ++line) {
        std::vector<double> a(size_t(length), -1.0), b(size_t(length), -1.0);
        if (rows) {
            whole->getRow(line, a.data());
            block->getRow(line, b.data());
        } else {
            whole->getColumn(line, a.data());
            block->getColumn(line, b.data());
        }
        if (lines.contains(line)) {
            QVERIFY(b == a); // bit for bit, the mean summed in the same order
            QVERIFY(std::all_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); }));
        } else
            QVERIFY(b == std::vector<double>(size_t(length), -1.0));
    }
}

void TestHdf5Scan::refusesWhatItCannotUse_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe");
    QTest::addColumn<QString>("reason");
    ScanFileRecipe rank2 = nxtomo({0});
    rank2.rank = 2;
    QTest::newRow("rank 2") << rank2 << u"rank 2"_s;
    ScanFileRecipe signedSamples = exchange(2, 0, 0);
    signedSamples.type = ScanFileRecipe::Type::I16;
    QTest::newRow("signed samples") << signedSamples << u"16-bit signed integer"_s;
    ScanFileRecipe doubles = exchange(2, 0, 0);
    doubles.type = ScanFileRecipe::Type::F64;
    QTest::newRow("64-bit floats") << doubles << u"64-bit float"_s;
    ScanFileRecipe shortKeys = nxtomo({0, 1, 0, 0});
    shortKeys.keyCount = 3;
    QTest::newRow("image_key too short") << shortKeys << u"3 values for 4 frames"_s;
    QTest::newRow("image_key out of range") << nxtomo({0, 5, 0}) << u"is 5 at frame 1"_s;
    QTest::newRow("no projections") << nxtomo({1, 2}) << u"no projection frames"_s;
    ScanFileRecipe angles = nxtomo({0, 1, 0, 0});
    angles.angles = {0, 90};
    QTest::newRow("angles of another count") << angles << u"2 angles for 4 frames (3 projections)"_s;
    ScanFileRecipe billion = nxtomo({});
    billion.declaredFrames = 1000000000;
    QTest::newRow("a billion frames") << billion << u"1000000000 frames"_s;
    ScanFileRecipe cutShort = exchange(3, 0, 0);
    cutShort.chunked = true;
    cutShort.declaredFrames = 5;
    QTest::newRow("a scan cut short") << cutShort << u"3 of its 5 chunks are stored"_s;
    ScanFileRecipe unwritten = exchange(0, 0, 0);
    unwritten.chunked = true;
    unwritten.declaredFrames = 1 << 20;
    QTest::newRow("frames declared, none written") << unwritten << u"0 of its 1048576 chunks"_s;
    ScanFileRecipe neverWritten = exchange(0, 0, 0);
    neverWritten.declaredFrames = 4;
    QTest::newRow("a block never written") << neverWritten << u"144 bytes is stored (never written)"_s;
    ScanFileRecipe huge = exchange(1, 0, 0);
    huge.declaredFrames = 1;
    huge.declaredWidth = 1 << 30;
    huge.declaredHeight = 1 << 30;
    QTest::newRow("a frame beyond memory") << huge << u"frames of 1073741824 x 1073741824"_s;
    ScanFileRecipe bitshuffle = exchange(2, 0, 0);
    bitshuffle.filter = 32008;
    QTest::newRow("a filter that is not installed") << bitshuffle << u"filter bitshuffle (32008)"_s;
    QTest::newRow("an NXtomo entry of no frames") << ScanFileRecipe {} << u"no projection frames"_s;
    ScanFileRecipe neither;
    neither.layout = ScanFileRecipe::Layout::Neither;
    QTest::newRow("neither layout") << neither << u"neither an NXtomo entry"_s;
}

void TestHdf5Scan::refusesWhatItCannotUse()
{
    QFETCH(ScanFileRecipe, recipe);
    QFETCH(QString, reason);
    const QString path = write(u"bad.h5"_s, recipe);
    QString error;
    QVERIFY(!Hdf5Scan::open(path, error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    // The command's view of the same file: refused with the reason, nothing read.
    std::vector<ImageSource> sources;
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QVERIFY(!expandSources({path}, sources, scans, error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(sources.empty());
}

void TestHdf5Scan::refusesATruncatedFile()
{
    ScanFileRecipe recipe = exchange(40, 0, 0);
    recipe.width = 64;
    recipe.height = 64;
    const QString path = write(u"cut.h5"_s, recipe);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(file.size() / 2));
    file.close();
    QString error;
    QVERIFY(!Hdf5Scan::open(path, error));
    QVERIFY2(!error.isEmpty(), "a reason is given");
    // Not an HDF5 file at all, and a text that only carries the name.
    QFile text(dir_.filePath(u"text.nxs"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a scan\n");
    text.close();
    QCOMPARE(checkFileType(text.fileName()), ImgFileType::UNKNOWN);
    QVERIFY(!Hdf5Scan::open(text.fileName(), error));
    QVERIFY2(error.contains(u"not an HDF5 file"_s), qPrintable(error));
}

void TestHdf5Scan::refusesADamagedChunk_data()
{
    // (A plain chunk's size is the index's to say, which the library's writer cannot falsify: such
    // files are in the fuzzer's seeds.)
    QTest::addColumn<bool>("shuffle");
    QTest::addColumn<int>("bytes"); // of samples the chunk stores (a whole one: 2 × 6 × 3)
    QTest::addColumn<QString>("reason");
    QTest::newRow("inflates short") << false << 20 << u"the chunk at frame 1"_s;
    QTest::newRow("inflates long") << false << 48 << u"the chunk at frame 1"_s;
    QTest::newRow("shuffled, inflates short") << true << 34 << u"the chunk at frame 1"_s;
}

/// A compressed chunk that decodes to another size than a chunk's is refused, never read beyond.
void TestHdf5Scan::refusesADamagedChunk()
{
    QFETCH(bool, shuffle);
    QFETCH(int, bytes);
    QFETCH(QString, reason);
    ScanFileRecipe recipe = exchange(3, 0, 0);
    recipe.chunked = true;
    recipe.gzip = 6;
    recipe.shuffle = shuffle;
    const QString path = write(u"damaged.h5"_s, recipe);
    const std::vector<unsigned char> samples(size_t(bytes), 7);
    uLongf packed = compressBound(uLong(bytes));
    std::vector<unsigned char> stored(packed);
    QCOMPARE(compress(stored.data(), &packed, samples.data(), uLong(bytes)), Z_OK);
    stored.resize(packed);
    { // the middle frame's chunk replaced, as stored
        const hid_t file = H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDWR, H5P_DEFAULT);
        QVERIFY(file >= 0);
        const hid_t set = H5Dopen2(file, "/exchange/data", H5P_DEFAULT);
        const hsize_t at[3] = {1, 0, 0};
        const herr_t written = H5Dwrite_chunk(set, H5P_DEFAULT, 0, at, stored.size(), stored.data());
        H5Dclose(set);
        H5Fclose(file);
        QVERIFY(written >= 0);
    }
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::openHere(path, error);
    QVERIFY2(scan, qPrintable(error));
    std::vector<double> frame(size_t(recipe.width * recipe.height));
    QVERIFY(scan->readRect(Kind::Projection, 0, 0, recipe.height, 0, recipe.width, Hdf5Scan::Samples::Float64,
        frame.data(), error));
    QVERIFY(!scan->readRect(Kind::Projection, 1, 0, recipe.height, 0, recipe.width,
        Hdf5Scan::Samples::Float64, frame.data(), error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!scan->readLines(
        Kind::Projection, 1, false, std::vector<int> {2}, Hdf5Scan::Samples::Float64, frame.data(), error));
}

/// Chunks stored as they are, of another size in the index than a chunk's (a compressed file whose
/// filters were lost): found by fuzzing, where the library read beyond the chunk's buffer.
void TestHdf5Scan::refusesPlainChunksOfAnotherSize()
{
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan
        = Hdf5Scan::openHere(QStringLiteral(QUORVEL_TEST_DATA "/chunks_sized_wrongly.h5"), error);
    QVERIFY2(scan, qPrintable(error));
    std::vector<double> frame(size_t(scan->width() * scan->height()));
    QVERIFY(!scan->readRect(Kind::Projection, 0, 0, scan->height(), 0, scan->width(),
        Hdf5Scan::Samples::Float64, frame.data(), error));
    QVERIFY2(error.contains(u"is 144 bytes, not 216"_s), qPrintable(error));
}

void TestHdf5Scan::readsTheLayoutsBeamlinesWrite_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe");
    // 40 frames of 64 x 40 (204800 bytes, more than the master file holds), 4.5 degrees apart.
    ScanFileRecipe linked = exchange(40, 2, 1);
    linked.width = 64;
    linked.height = 40;
    for (int k = 0; k < 40; ++k)
        linked.angles.push_back(4.5 * k);
    linked.externalFrames = u"frames.h5"_s;
    QTest::newRow("Data Exchange frames in another file") << linked;
    ScanFileRecipe gzip = linked;
    gzip.gzip = 1;
    QTest::newRow("the same, gzip") << gzip;
    ScanFileRecipe master = nxtomo({2, 1, 0, 0, 0, 0, 1});
    master.angles = {0, 0, 0, 45, 90, 135, 0};
    master.externalFrames = u"sub/master_data_000001.h5"_s;
    QTest::newRow("NXtomo master file linking its detector's file") << master;
    ScanFileRecipe numpy = exchange(40, 0, 0);
    for (int k = 0; k < 40; ++k)
        numpy.angles.push_back(std::numbers::pi / 40 * k);
    numpy.radians = true;
    numpy.paddedUnits = true; // "rad" in three bytes, no terminator
    QTest::newRow("radians written as numpy's S3") << numpy;
}

void TestHdf5Scan::readsTheLayoutsBeamlinesWrite()
{
    QFETCH(ScanFileRecipe, recipe);
    QTemporaryDir scans;
    const QString path = scans.filePath(u"scan.h5"_s);
    QVERIFY(writeScanFile(path, recipe));
    // Another scan's frames file of the same name where the program runs: never the one read.
    QTemporaryDir here;
    ScanFileRecipe other = recipe;
    other.fill = [](int, int, int, double *row) { std::fill(row, row + 4, 7.0); };
    if (!recipe.externalFrames.isEmpty())
        QVERIFY(writeScanFile(here.filePath(u"decoy.h5"_s), other));
    const QString before = QDir::currentPath();
    QDir::setCurrent(here.path());
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(path, error);
    QDir::setCurrent(before);
    QVERIFY2(scan, qPrintable(error));
    QCOMPARE(scan->width(), recipe.width);
    std::vector<double> row(size_t(recipe.width));
    for (Kind kind : {Kind::Projection, Kind::Flat, Kind::Dark}) {
        for (int k = 0; k < scan->count(kind); ++k) {
            ImgDataScanFrame frame(scan, kind, k);
            QVERIFY(frame.open());
            frame.getRow(recipe.height - 1, row.data());
            QCOMPARE(row[3], scanPattern(int(kind), k, 3, recipe.height - 1));
        }
    }
    // Projection angles in degrees, whatever the units' padding.
    const std::vector<double> &angles = scan->angles();
    QVERIFY(!angles.empty());
    QVERIFY(std::abs(angles[2] - (recipe.layout == ScanFileRecipe::Layout::NXtomo ? 90.0 : 9.0)) < 1e-4);
}

void TestHdf5Scan::anglesFitEvenSteps_data()
{
    QTest::addColumn<std::vector<double>>("angles");
    QTest::addColumn<double>("asked");
    QTest::addColumn<double>("range"); // 0: refused
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("problem");
    QTest::newRow("181 over 180, without the end")
        << evenAngles(181, 180.0 / 181) << 180.0 << 180.0 << 181 << QString();
    QTest::newRow("181 at 0 … 180, the last facing the first")
        << evenAngles(181, 1.0) << 180.0 << 180.0 << 180 << QString();
    QTest::newRow("400 over 360") << evenAngles(400, 0.9, 10.0) << 180.0 << 360.0 << 400 << QString();
    QTest::newRow("361 at 0 … 360") << evenAngles(361, 1.0) << 180.0 << 360.0 << 360 << QString();
    QTest::newRow("turning the other way")
        << evenAngles(180, -1.0, 90.0) << 180.0 << -180.0 << 180 << QString();
    QTest::newRow("the range set, 90") << evenAngles(91, 1.0) << 90.0 << 90.0 << 90 << QString();
    std::vector<double> jitter = evenAngles(181, 1.0);
    for (size_t k = 1; k + 1 < jitter.size(); k += 2)
        jitter[k] += 0.004; // steps of 1 ± 0.4 %
    QTest::newRow("steps within 1 %") << jitter << 180.0 << 180.0 << 180 << QString();
    std::vector<double> uneven = evenAngles(181, 1.0);
    for (size_t k = 60; k < uneven.size(); ++k)
        uneven[k] += 0.5; // one step of 1.5
    QTest::newRow("one uneven step") << uneven << 180.0 << 0.0 << 0
                                     << u"from projection 59 (59°) to 60 (60.5°) the step is 1.5°"_s;
    QTest::newRow("an overscan of 190") << evenAngles(191, 1.0) << 180.0 << 0.0 << 0 << u"cover 191°"_s;
    QTest::newRow("an overscan of 190 set as the range")
        << evenAngles(191, 1.0) << 190.0 << 190.0 << 190 << QString();
    QTest::newRow("angles that do not advance")
        << std::vector<double>(5, 3.0) << 180.0 << 0.0 << 0 << u"do not advance"_s;
    QTest::newRow("one angle") << std::vector<double> {0.0} << 180.0 << 0.0 << 0 << u"give no step"_s;
}

void TestHdf5Scan::anglesFitEvenSteps()
{
    QFETCH(std::vector<double>, angles);
    QFETCH(double, asked);
    QFETCH(double, range);
    QFETCH(int, images);
    QFETCH(QString, problem);
    const AngleFit fit = fitAngles(angles, asked);
    QCOMPARE(fit.ok, range != 0.0);
    if (fit.ok) {
        QCOMPARE(fit.rangeDeg, range);
        QCOMPARE(fit.images, images);
    } else {
        QVERIFY2(fit.problem.contains(problem), qPrintable(fit.problem));
    }
}

QTEST_GUILESS_MAIN(TestHdf5Scan)
#include "tst_hdf5scan.moc"
