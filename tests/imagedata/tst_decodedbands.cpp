// Qt
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/chunkcodec.h"
#include "imagedata/decodedbands.h"
#include "imagedata/imagesource.h"
#include "imagedata/imgdata.h"
#include "imagedata/scratchfile.h"
#include "tools/scanfile/scanfilewriter.h"
#include <cmath>
#include <hdf5.h>
#include <lz4.h>
#include <unistd.h>
#include <zlib.h>

using namespace Qt::StringLiterals;
using Bytes = std::vector<unsigned char>;

Q_DECLARE_METATYPE(ScanFileRecipe)
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(std::vector<ChunkFilter>)

namespace {

// 16-bit samples of a smooth pattern: compressible, every byte of them telling.
Bytes samples(size_t count)
{
    Bytes b(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint16_t>(1000 + 700 * std::sin(double(i) * 0.01) + double(i % 7));
        b[2 * i] = static_cast<unsigned char>(v & 0xff);
        b[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    return b;
}

Bytes deflated(const Bytes &in)
{
    uLongf size = compressBound(uLong(in.size()));
    Bytes out(size);
    compress2(out.data(), &size, in.data(), uLong(in.size()), 1);
    out.resize(size);
    return out;
}

Bytes shuffled(const Bytes &in, size_t size)
{
    Bytes out(in);
    const size_t n = in.size() / size;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < size; ++j)
            out[j * n + i] = in[i * size + j];
    return out;
}

void bigEndian(Bytes &out, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// The LZ4 plugin's framing: blocks of `block` bytes; the last one stored as it is.
Bytes lz4Framed(const Bytes &in, std::uint32_t block)
{
    Bytes out;
    bigEndian(out, in.size(), 8);
    bigEndian(out, block, 4);
    for (size_t at = 0; at < in.size(); at += block) {
        const int size = int(std::min<size_t>(block, in.size() - at));
        const bool last = at + size_t(size) == in.size();
        Bytes packed(size_t(LZ4_compressBound(size)));
        const int n = last ? size
                           : LZ4_compress_default(reinterpret_cast<const char *>(in.data() + at),
                               reinterpret_cast<char *>(packed.data()), size, int(packed.size()));
        bigEndian(out, std::uint32_t(n), 4);
        out.insert(out.end(), last ? in.begin() + ptrdiff_t(at) : packed.begin(),
            last ? in.end() : packed.begin() + n);
    }
    return out;
}

std::vector<ChunkFilter> pipeline(std::initializer_list<int> ids)
{
    std::vector<ChunkFilter> p;
    for (int id : ids)
        p.push_back({id, id == chunkfilter::shuffle ? std::vector<unsigned> {2} : std::vector<unsigned> {}});
    return p;
}

// A frame of `width` × `height` whose every value tells its kind, frame, row and column apart.
ScanFileRecipe patterned(int width, int height)
{
    ScanFileRecipe r;
    r.width = width;
    r.height = height;
    r.fill = [width](int kind, int index, int y, double *row) {
        for (int x = 0; x < width; ++x)
            row[x] = 1000 * kind + 37 * index + 5 * y + x;
    };
    return r;
}

} // namespace

/// Compressed frames decoded outside the library, once for all the blocks of a run, give the lines
/// the library gives; damaged chunks are refused, and the scratch file leaves nothing behind.
class TestDecodedBands : public QObject
{
    Q_OBJECT
private slots:
    void decodesChunks_data();
    void decodesChunks();
    void blocksEqualTheLibrarysLines_data();
    void blocksEqualTheLibrarysLines();
    void damagedChunkIsRefused();
    void scratchFilesLeaveNothingBehind();

private:
    QTemporaryDir dir_;
};

void TestDecodedBands::decodesChunks_data()
{
    QTest::addColumn<std::vector<ChunkFilter>>("filters");
    QTest::addColumn<unsigned>("skipped");
    QTest::addColumn<Bytes>("raw");
    QTest::addColumn<QString>("refusal"); // empty: decodes to the samples
    const Bytes s = samples(5003); // an odd count: blocks and bytes that do not divide evenly
    const auto row
        = [](const char *name, std::vector<ChunkFilter> f, unsigned skipped, Bytes raw,
              const QString &refusal = {}) { QTest::newRow(name) << f << skipped << raw << refusal; };
    row("deflate", pipeline({chunkfilter::deflate}), 0, deflated(s));
    row("shuffle and deflate", pipeline({chunkfilter::shuffle, chunkfilter::deflate}), 0,
        deflated(shuffled(s, 2)));
    row("shuffle alone", pipeline({chunkfilter::shuffle}), 0, shuffled(s, 2));
    row("deflate skipped for this chunk", pipeline({chunkfilter::shuffle, chunkfilter::deflate}), 2,
        shuffled(s, 2));
    row("LZ4 in blocks, the last stored as it is", pipeline({chunkfilter::lz4}), 0, lz4Framed(s, 4096));
    row("shuffle and LZ4", pipeline({chunkfilter::shuffle, chunkfilter::lz4}), 0,
        lz4Framed(shuffled(s, 2), 1 << 30));
    Bytes cut = deflated(s);
    cut.resize(cut.size() / 2);
    row("deflate cut short", pipeline({chunkfilter::deflate}), 0, cut,
        u"does not inflate to its 10006 bytes"_s);
    Bytes other = s;
    other.pop_back();
    row("deflate of another size", pipeline({chunkfilter::deflate}), 0, deflated(other),
        u"does not inflate"_s);
    Bytes claims = lz4Framed(s, 4096);
    claims[7] ^= 1;
    row("LZ4 header of another size", pipeline({chunkfilter::lz4}), 0, claims, u"it holds 10007 bytes"_s);
    Bytes zero = lz4Framed(s, 4096);
    std::fill(zero.begin() + 8, zero.begin() + 12, 0);
    row("LZ4 blocks of 0 bytes", pipeline({chunkfilter::lz4}), 0, zero, u"blocks of 0 bytes"_s);
    Bytes beyond = lz4Framed(s, 4096);
    beyond[12] = 0x7f;
    row("LZ4 block beyond the chunk", pipeline({chunkfilter::lz4}), 0, beyond, u"runs past its end"_s);
    Bytes header(s.begin(), s.begin() + 7);
    row("LZ4 without a header", pipeline({chunkfilter::lz4}), 0, header, u"hold no header"_s);
    row("deflate before shuffle: the library's", pipeline({chunkfilter::deflate, chunkfilter::shuffle}), 0,
        deflated(s), u"decoded by the library only"_s);
}

void TestDecodedBands::decodesChunks()
{
    QFETCH(std::vector<ChunkFilter>, filters);
    QFETCH(unsigned, skipped);
    QFETCH(Bytes, raw);
    QFETCH(QString, refusal);
    const Bytes expected = samples(5003);
    Bytes out(expected.size(), 0xAA), work;
    QString error;
    const bool ok = chunkcodec::decode(filters, skipped, 2, raw, work, out, error);
    QCOMPARE(ok, refusal.isEmpty());
    if (ok)
        QVERIFY(out == expected);
    else
        QVERIFY2(error.contains(refusal), qPrintable(error));
}

void TestDecodedBands::blocksEqualTheLibrarysLines_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe");
    QTest::addColumn<bool>("rows");
    QTest::addColumn<bool>("scratch"); // a scratch folder: one pass, else one per block
    const auto nxtomo = [](ScanFileRecipe r) {
        r.keys = {2, 1, 0, 0, 1, 0, 3, 0, 0, 2, 0, 1};
        return r;
    };
    ScanFileRecipe gzip = nxtomo(patterned(11, 9));
    gzip.gzip = 1;
    QTest::newRow("gzip, a chunk a frame, rows") << gzip << true << true;
    QTest::newRow("gzip, a chunk a frame, columns") << gzip << false << true;
    QTest::newRow("no scratch folder: every block anew") << gzip << false << false;
    ScanFileRecipe tiles = nxtomo(patterned(11, 9));
    tiles.gzip = 1;
    tiles.shuffle = true;
    tiles.type = ScanFileRecipe::Type::F32;
    tiles.chunkFrames = 3;
    tiles.chunkRows = 4;
    tiles.chunkColumns = 5;
    QTest::newRow("shuffled floats in chunks of 3 frames of 4 x 5, edges beyond the frame")
        << tiles << false << true;
    ScanFileRecipe swapped = patterned(11, 9);
    swapped.layout = ScanFileRecipe::Layout::DataExchange;
    swapped.type = ScanFileRecipe::Type::U32; // big-endian: into this machine's order once decoded
    swapped.gzip = 2;
    swapped.projections = 5;
    swapped.flats = 2;
    QTest::newRow("big-endian samples") << swapped << true << true;
    if (scanFilterAvailable(32004)) {
        ScanFileRecipe lz4 = nxtomo(patterned(11, 9));
        lz4.plugin = 32004;
        lz4.type = ScanFileRecipe::Type::U8;
        QTest::newRow("LZ4 of 8-bit samples") << lz4 << false << true;
    }
}

void TestDecodedBands::blocksEqualTheLibrarysLines()
{
    QFETCH(ScanFileRecipe, recipe);
    QFETCH(bool, rows);
    QFETCH(bool, scratch);
    const QString path = dir_.filePath(u"bands.nxs"_s);
    QVERIFY(writeScanFile(path, recipe));
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(path, error);
    QVERIFY2(scan, qPrintable(error));
    const int w = scan->width(), h = scan->height();
    // Every projection, and the means of the flats and the darks, as a run reads them.
    std::vector<ImageSource> sources;
    for (int k = 0; k < scan->count(Hdf5Scan::Kind::Projection); ++k)
        sources.push_back({path, scan, Hdf5Scan::Kind::Projection, k});
    for (Hdf5Scan::Kind kind : {Hdf5Scan::Kind::Flat, Hdf5Scan::Kind::Dark})
        if (scan->count(kind) > 0)
            sources.push_back({path, scan, kind, -1});
    const std::vector<ImageSource> plain = sources;
    DecodedBands::Plan plan;
    plan.rowLines = rows;
    plan.blocks = rows ? std::vector<std::vector<int>> {{0, 1, 2}, {3, 5}, {8}}
                       : std::vector<std::vector<int>> {{0, 1, 2, 3}, {4, 9}, {10}};
    plan.threads = 2;
    const QString folder = dir_.filePath(u"scratch"_s);
    plan.scratchFolder = scratch ? folder : QString();
    std::vector<ImageSource *> pointers;
    for (ImageSource &s : sources)
        pointers.push_back(&s);
    const std::shared_ptr<DecodedBands> bands = DecodedBands::attach(plan, pointers);
    QVERIFY(bands);
    QVERIFY(std::all_of(
        sources.cbegin(), sources.cend(), [&](const ImageSource &s) { return s.bands == bands; }));
    // Blocks out of order and again, a part of one, and lines of two blocks (from the scratch file,
    // or else the library's read).
    const std::vector<std::vector<int>> asked = rows
        ? std::vector<std::vector<int>> {{3, 5}, {0, 1, 2}, {8}, {3, 5}, {1}, {2, 3}}
        : std::vector<std::vector<int>> {{4, 9}, {0, 1, 2, 3}, {10}, {4, 9}, {2, 3}, {3, 4}};
    const int length = rows ? w : h;
    for (const std::vector<int> &lines : asked) {
        for (size_t k = 0; k < sources.size(); ++k) {
            const auto mine = readLineBlock(sources[k], rows, lines, w, h);
            const auto theirs = readLineBlock(plain[k], rows, lines, w, h);
            QVERIFY(mine && theirs);
            for (int line : lines) {
                std::vector<double> a(size_t(length), -1.0), b(size_t(length), -2.0);
                rows ? mine->getRow(line, a.data()) : mine->getColumn(line, a.data());
                rows ? theirs->getRow(line, b.data()) : theirs->getColumn(line, b.data());
                QVERIFY2(a == b, qPrintable(u"%1 line %2"_s.arg(sources[k].label()).arg(line)));
            }
        }
    }
    // Each chunk decoded once with a scratch file; else once for each block asked anew (5 times).
    QCOMPARE(bands->chunksDecoded(), bands->chunksHeld() * (scratch ? 1 : 5));
    QCOMPARE(bands->passes(), scratch ? 1 : 5);
    QCOMPARE(bands->scratchBytes() > 0, scratch);
    if (scratch) // no name in the folder while it is used
        QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestDecodedBands::damagedChunkIsRefused()
{
    // A deflate chunk whose bytes are not zlib's, written as the file's own.
    const QString path = dir_.filePath(u"damaged.h5"_s);
    {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        const hid_t file = H5Fcreate(path.toLocal8Bit().constData(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
        const hid_t group = H5Gcreate2(file, "/exchange", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
        const hsize_t dims[3] = {2, 4, 6};
        const hsize_t chunk[3] = {1, 4, 6};
        const hid_t space = H5Screate_simple(3, dims, nullptr);
        const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
        H5Pset_chunk(create, 3, chunk);
        H5Pset_deflate(create, 1);
        const hid_t set
            = H5Dcreate2(file, "/exchange/data", H5T_STD_U16LE, space, H5P_DEFAULT, create, H5P_DEFAULT);
        const Bytes good = deflated(samples(24)), bad(good.size(), 0x5A);
        for (hsize_t f = 0; f < 2; ++f) {
            const hsize_t offset[3] = {f, 0, 0};
            const Bytes &bytes = f == 0 ? good : bad;
            QVERIFY(H5Dwrite_chunk(set, H5P_DEFAULT, 0, offset, bytes.size(), bytes.data()) >= 0);
        }
        for (hid_t id : {set, create, space, group})
            H5Idec_ref(id);
        H5Fclose(file);
    }
    QString error;
    const std::shared_ptr<const Hdf5Scan> scan = Hdf5Scan::open(path, error);
    QVERIFY2(scan, qPrintable(error));
    ImageSource source {path, scan, Hdf5Scan::Kind::Projection, 1};
    DecodedBands::Plan plan;
    plan.blocks = {{0, 1}, {2, 3}}; // the pass fails, and then the other block too
    plan.scratchFolder = dir_.filePath(u"scratch"_s);
    ImageSource *pointer = &source;
    QVERIFY(DecodedBands::attach(plan, std::span<ImageSource *const>(&pointer, 1)));
    const std::vector<int> lines {0, 1};
    QVERIFY(!readLineBlock(source, true, lines, 6, 4));
    QVERIFY(!readLineBlock(source, true, std::vector<int> {2, 3}, 6, 4));
    QString why;
    std::vector<std::uint16_t> out(12);
    QCOMPARE(source.bands->readLines(*scan, Hdf5Scan::Kind::Projection, 1, true, lines,
                 Hdf5Scan::Samples::UInt16, out.data(), why),
        DecodedBands::Outcome::Failed);
    QVERIFY2(why.contains(u"/exchange/data, frame 1: a gzip chunk does not inflate"_s), qPrintable(why));
}

void TestDecodedBands::scratchFilesLeaveNothingBehind()
{
    const QString folder = dir_.filePath(u"stale"_s);
    QVERIFY(QDir().mkpath(folder));
    // Names of this machine's processes: one that has ended, this one; and another machine's.
    QProcess ended;
    ended.start(u"true"_s, {});
    QVERIFY(ended.waitForFinished());
    const QString host = QSysInfo::machineHostName();
    const QStringList names {ScratchFile::namePrefix(host, ended.processId()) + u"a1b2c3"_s,
        ScratchFile::namePrefix(host, QCoreApplication::applicationPid()) + u"d4e5f6"_s,
        ScratchFile::namePrefix(host + u"x"_s, ended.processId()) + u"g7h8i9"_s};
    for (const QString &name : names) {
        QFile f(QDir(folder).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QString error;
    const std::unique_ptr<ScratchFile> file = ScratchFile::create(folder, 1 << 20, error);
    QVERIFY2(file, qPrintable(error));
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList {names[1], names[2]}));
    const Bytes data = samples(1000);
    QVERIFY(file->write((1 << 20) - qint64(data.size()), data.data(), data.size(), error));
    Bytes back(data.size());
    QVERIFY(file->read((1 << 20) - qint64(data.size()), back.data(), back.size(), error));
    QVERIFY(back == data);
    QVERIFY(!file->read(1 << 20, back.data(), 1, error));
    // A folder that cannot be: under a file.
    QVERIFY(!ScratchFile::create(QDir(folder).filePath(names[1]) + u"/sub"_s, 1024, error));
    QVERIFY2(error.contains(u"no scratch file can be made"_s), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestDecodedBands)
#include "tst_decodedbands.moc"
