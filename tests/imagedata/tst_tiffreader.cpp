// Qt
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/imagelimits.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgdatatiff.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/nonfinite.h"
#include "imagedata/tiffwriter.h"
#include "tests/common/debuglog.h"
#include "tests/imagedata/numitexfile.h"
#include <cmath>
#include <cstring>
#include <sys/resource.h>
#include <tiffio.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// How a test file is laid out; written by libtiff itself, not by our writer.
struct Layout
{
    int width = 37;
    int height = 21;
    int bits = 16;
    int format = SAMPLEFORMAT_UINT;
    int samplesPerPixel = 1;
    int photometric = PHOTOMETRIC_MINISBLACK;
    int compression = COMPRESSION_NONE;
    int predictor = PREDICTOR_NONE;
    int rowsPerStrip = 0; // 0: the whole image in one strip
    int tileSize = 0; // 0: strips
    bool bigEndian = false;
};

} // namespace
Q_DECLARE_METATYPE(Layout)

namespace {

// The test pattern, in each sample type's range (unsigned 32-bit above 2^31, floats with fractions).
double expected(const Layout &l, int x, int y)
{
    if (l.format == SAMPLEFORMAT_IEEEFP)
        return (x - 2.0 * y) * 0.375;
    switch (l.bits) {
    case 8:
        return (x * 7 + y * 13) % 256;
    case 16:
        return (x * 1000 + y * 37) % 65536;
    default:
        return 4000000000.0 - (x * 100000.0 + y * 7);
    }
}

void putSample(const Layout &l, int x, int y, unsigned char *out)
{
    const double v = expected(l, x, y);
    const int bytes = l.bits / 8;
    if (l.format == SAMPLEFORMAT_IEEEFP && l.bits == 32) {
        const float f = float(v);
        std::memcpy(out, &f, 4);
    } else if (l.bits == 8 || l.bits == 16 || l.bits == 32) {
        const uint32_t u = uint32_t(v);
        if (bytes == 1)
            *out = uint8_t(u);
        else if (bytes == 2) {
            const uint16_t s = uint16_t(u);
            std::memcpy(out, &s, 2);
        } else
            std::memcpy(out, &u, 4);
    } // other layouts are only written to be refused: their samples stay 0
}

bool writeWithLibtiff(const QString &path, const Layout &l)
{
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), l.bigEndian ? "wb" : "wl");
    if (!t)
        return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(l.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(l.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(l.bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(l.samplesPerPixel));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, uint16_t(l.format));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(l.photometric));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(l.compression));
    if (l.predictor != PREDICTOR_NONE)
        TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(l.predictor));
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(size_t(1) << l.bits, 0);
        TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    const size_t pixelBytes = size_t(std::max(l.bits / 8, 1)) * l.samplesPerPixel;
    bool ok = true;
    if (l.tileSize > 0) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(l.tileSize));
        TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(l.tileSize));
        std::vector<unsigned char> tile(size_t(l.tileSize) * l.tileSize * pixelBytes);
        for (int y0 = 0; y0 < l.height; y0 += l.tileSize)
            for (int x0 = 0; x0 < l.width; x0 += l.tileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = y0; y < std::min(l.height, y0 + l.tileSize); ++y)
                    for (int x = x0; x < std::min(l.width, x0 + l.tileSize); ++x)
                        putSample(
                            l, x, y, tile.data() + (size_t(y - y0) * l.tileSize + (x - x0)) * pixelBytes);
                ok = ok && TIFFWriteTile(t, tile.data(), uint32_t(x0), uint32_t(y0), 0, 0) >= 0;
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(l.rowsPerStrip > 0 ? l.rowsPerStrip : l.height));
        const size_t rowBytes = l.bits >= 8 ? l.width * pixelBytes : (size_t(l.width) * l.bits + 7) / 8;
        std::vector<unsigned char> row(rowBytes);
        for (int y = 0; y < l.height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            if (l.bits >= 8 && l.samplesPerPixel == 1)
                for (int x = 0; x < l.width; ++x)
                    putSample(l, x, y, row.data() + x * pixelBytes);
            ok = ok && TIFFWriteScanline(t, row.data(), uint32_t(y), 0) >= 0;
        }
    }
    TIFFClose(t);
    return ok;
}

// A little-endian TIFF by hand: one strip of `stripBytes` announced at offset 122, right after the
// header and its eight directory entries, followed by only 16 bytes of pixel data.
QByteArray handMadeTiff(
    uint32_t width, uint32_t height, uint16_t bits, uint16_t compression, uint32_t stripBytes)
{
    QByteArray b("II*\0\x08\0\0\0", 8);
    auto put16 = [&b](uint16_t v) { b.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](uint32_t v) {
        put16(uint16_t(v & 0xffff));
        put16(uint16_t(v >> 16));
    };
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        put16(tag);
        put16(type);
        put32(1);
        if (type == 3) { // SHORT, left-justified in the value field
            put16(uint16_t(value));
            put16(0);
        } else {
            put32(value);
        }
    };
    put16(8);
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, bits);
    entry(259, 3, compression);
    entry(262, 3, PHOTOMETRIC_MINISBLACK);
    entry(273, 4, 8 + 2 + 8 * 12 + 4 + 12); // strip offset
    entry(278, 4, height);
    entry(279, 4, stripBytes);
    put32(0); // no next directory
    b.append(QByteArray(12 + 16, '\x11'));
    return b;
}

int openFileCount()
{
    return int(
        QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

} // namespace

class TestTiffReader : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatLibtiffWrites_data();
    void readsWhatLibtiffWrites();
    void refuses_data();
    void refuses();
    void ourWriterRoundTrips_data();
    void ourWriterRoundTrips();
    void imageLargerThanTheBoundIsRefused();
    // Pixels that are not finite: replaced as dead pixels, or the image refused.
    void repairRow_data();
    void repairRow();
    // Sets of images: the size of the first, and what leaves one out.
    void sizeIsFixedByTheFirstImage();
    void newSeriesSetsItsOwnSize_data();
    void newSeriesSetsItsOwnSize();
    void projectionSetLeavesOutWrongSizeI0AndBg();
    void loadedImagesHoldNoOpenFile();

private:
    /// An ITEX file of w × h pixels of `value`.
    QString itex(const QString &name, int w, int h, uint32_t value);
    QTemporaryDir dir_;
};

void TestTiffReader::repairRow_data()
{
    const double nan = qQNaN(), inf = qInf();
    QTest::addColumn<QList<double>>("row");
    QTest::addColumn<QList<double>>("repaired");
    QTest::addColumn<int>("found");
    QTest::newRow("all finite") << QList<double> {1, 2, 3} << QList<double> {1, 2, 3} << 0;
    QTest::newRow("one between two") << QList<double> {1, nan, 3} << QList<double> {1, 2, 3} << 1;
    QTest::newRow("a run: on the line")
        << QList<double> {10, nan, inf, -inf, 50} << QList<double> {10, 20, 30, 40, 50} << 3;
    QTest::newRow("at the start: the nearest")
        << QList<double> {nan, nan, 7, 8} << QList<double> {7, 7, 7, 8} << 2;
    QTest::newRow("at the end: the nearest") << QList<double> {4, 5, inf} << QList<double> {4, 5, 5} << 1;
    QTest::newRow("two runs") << QList<double> {nan, 2, nan, 4, nan} << QList<double> {2, 2, 3, 4, 4} << 3;
    QTest::newRow("one finite") << QList<double> {nan, 6, nan} << QList<double> {6, 6, 6} << 2;
}

void TestTiffReader::repairRow()
{
    QFETCH(QList<double>, row);
    QFETCH(QList<double>, repaired);
    QFETCH(int, found);
    std::vector<double> values(row.cbegin(), row.cend());
    const NonFiniteCount c = ::repairRow(values);
    QCOMPARE(c.found, found);
    QCOMPARE(c.pixels, row.size());
    QCOMPARE(c.rowsWithout, 0);
    QCOMPARE(QList<double>(values.cbegin(), values.cend()), repaired);
    // No finite sample: left as it is, and the image not to be used.
    std::vector<double> dead(4, qQNaN());
    const NonFiniteCount d = ::repairRow(dead);
    QCOMPARE(d.rowsWithout, 1);
    QVERIFY(d.tooMany());
    QVERIFY(std::isnan(dead[0]));
}

QString TestTiffReader::itex(const QString &name, int w, int h, uint32_t value)
{
    return writeItexImage(dir_.filePath(name), w, h, [value](int, int) { return value; });
}

void TestTiffReader::readsWhatLibtiffWrites_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::newRow("16-bit, one strip") << Layout {};
    QTest::newRow("8-bit, strips of one row") << Layout {.bits = 8, .rowsPerStrip = 1};
    QTest::newRow("8-bit, white is zero: values as stored")
        << Layout {.bits = 8, .photometric = PHOTOMETRIC_MINISWHITE, .rowsPerStrip = 1};
    QTest::newRow("16-bit big-endian, strips of 5 rows, LZW with predictor")
        << Layout {.compression = COMPRESSION_LZW,
               .predictor = PREDICTOR_HORIZONTAL,
               .rowsPerStrip = 5,
               .bigEndian = true};
    QTest::newRow("32-bit unsigned above 2^31, deflate")
        << Layout {.bits = 32, .compression = COMPRESSION_ADOBE_DEFLATE, .rowsPerStrip = 4};
    QTest::newRow("32-bit float, 16 x 16 tiles cut at the edges, deflate") << Layout {.bits = 32,
        .format = SAMPLEFORMAT_IEEEFP,
        .compression = COMPRESSION_ADOBE_DEFLATE,
        .predictor = PREDICTOR_FLOATINGPOINT,
        .tileSize = 16};
    QTest::newRow("16-bit big-endian tiles, PackBits")
        << Layout {.compression = COMPRESSION_PACKBITS, .tileSize = 32, .bigEndian = true};
    QTest::newRow("one pixel") << Layout {.width = 1, .height = 1};
}

void TestTiffReader::readsWhatLibtiffWrites()
{
    QFETCH(Layout, layout);
    const QString path = dir_.filePath(u"libtiff.tif"_s);
    QVERIFY(writeWithLibtiff(path, layout));
    QCOMPARE(checkFileType(path), ImgFileType::TIFF); // "II" or "MM"

    for (const bool inMemory : {true, false}) {
        DebugLog log;
        const int files = openFileCount();
        auto img = createImgData(checkFileType(path));
        QVERIFY(img);
        img->setReadAll(inMemory);
        img->setFileName(path);
        QVERIFY2(img->open(), qPrintable(log.messages().join(u'\n')));
        // File-read mode keeps its file open until the image goes; an image in memory holds none.
        QCOMPARE(openFileCount(), inMemory ? files : files + 1);
        QCOMPARE(img->width(), layout.width);
        QCOMPARE(img->height(), layout.height);
        // Rows bottom up and columns right to left, so that file-read mode moves between bands.
        std::vector<double> row(layout.width), column(layout.height);
        for (int y = layout.height - 1; y >= 0; --y) {
            img->getRow(y, row.data());
            for (int x = 0; x < layout.width; ++x)
                QCOMPARE(row[x], expected(layout, x, y));
        }
        for (int x = layout.width - 1; x >= 0; --x) {
            img->getColumn(x, column.data());
            for (int y = 0; y < layout.height; ++y)
                QCOMPARE(column[y], expected(layout, x, y));
        }
        QCOMPARE(log.messages(), QStringList());
        img.reset();
        QCOMPARE(openFileCount(), files);
    }
}

void TestTiffReader::refuses_data()
{
    QTest::addColumn<Layout>("layout"); // written by libtiff when `bytes` is empty
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason"); // a regular expression for the text in the parentheses
    QTest::addColumn<int>("messages");

    QTest::newRow("RGB") << Layout {.bits = 8, .samplesPerPixel = 3, .photometric = PHOTOMETRIC_RGB}
                         << QByteArray() << u"^3 samples per pixel"_s << 1;
    QTest::newRow("16-bit signed") << Layout {.format = SAMPLEFORMAT_INT} << QByteArray()
                                   << u"^16-bit signed integer samples"_s << 1;
    QTest::newRow("64-bit float") << Layout {.bits = 64, .format = SAMPLEFORMAT_IEEEFP} << QByteArray()
                                  << u"^64-bit floating-point samples"_s << 1;
    QTest::newRow("bilevel") << Layout {.bits = 1} << QByteArray() << u"^1-bit unsigned integer samples"_s
                             << 1;
    QTest::newRow("colour map") << Layout {.bits = 8, .photometric = PHOTOMETRIC_PALETTE} << QByteArray()
                                << u"^photometric interpretation 3"_s << 1;

    QTest::newRow("header without an image") << Layout {} << QByteArray("II*\0\0\0\0\0", 8) << u"."_s << 1;
    QTest::newRow("empty after the magic") << Layout {} << QByteArray("MM", 2) << u"."_s << 1;
    QTest::newRow("pixels announced beyond the end of the file")
        << Layout {} << handMadeTiff(1000, 1000, 16, COMPRESSION_NONE, 2000000)
        << u"^the file is shorter than its 1000 x 1000 pixels of 2 bytes$"_s << 1;
    QTest::newRow("a zero width") << Layout {} << handMadeTiff(0, 10, 16, COMPRESSION_NONE, 16) << u"."_s
                                  << 1;
    // Decoding fails only when the pixels are read: the reader's reason, then the opener's line.
    QTest::newRow("deflate stream cut short")
        << Layout {} << handMadeTiff(100, 100, 16, COMPRESSION_ADOBE_DEFLATE, 16) << u"."_s << 2;
}

void TestTiffReader::refuses()
{
    QFETCH(Layout, layout);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(int, messages);
    const QString path = dir_.filePath(u"refused.tif"_s);
    QFile::remove(path);
    QVERIFY(bytes.isEmpty() ? writeWithLibtiff(path, layout) : writeBytes(path, bytes));
    DebugLog log;
    QVERIFY(!openImgData(path));
    // A message that names the file and the reason.
    QCOMPARE(log.messages().size(), messages);
    if (messages > 1)
        QCOMPARE(log.messages()[1], u"Can not open ImgData "_s + path);
    const QRegularExpression message(u"^Can not read TIFF file \\((.*)\\) : (.*)$"_s);
    const QRegularExpressionMatch m = message.match(log.messages().constFirst());
    QVERIFY2(m.hasMatch(), qPrintable(log.messages().constFirst()));
    QVERIFY2(QRegularExpression(reason).match(m.captured(1)).hasMatch(), qPrintable(m.captured(1)));
    QCOMPARE(m.captured(2), path);
}

void TestTiffReader::ourWriterRoundTrips_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<int>("height"); // more than one strip of 64 KiB from 2048 rows of 16 pixels
    QTest::newRow("16-bit, clipped above 65535") << 16 << false << 5;
    QTest::newRow("8-bit, clipped above 255") << 8 << false << 3;
    QTest::newRow("32-bit, several strips") << 32 << false << 2048;
    QTest::newRow("float") << 32 << true << 7;
}

void TestTiffReader::ourWriterRoundTrips()
{
    QFETCH(int, bits);
    QFETCH(bool, isFloat);
    QFETCH(int, height);
    const int width = 16;
    std::vector<uint32_t> counts(size_t(width) * height);
    std::vector<float> values(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
        counts[i] = uint32_t(i * 2654435761u); // spread over the whole 32-bit range
        values[i] = float(i) * -0.125f;
    }
    const QString path = dir_.filePath(u"ours.tif"_s);
    QString error;
    QVERIFY2(writeTiffFile(path, {width, height, bits, isFloat, counts, values}, &error), qPrintable(error));
    auto img = openImgData(path);
    QVERIFY(img);
    QCOMPARE(img->width(), width);
    QCOMPARE(img->height(), height);
    const double top = bits == 8 ? 255.0 : bits == 16 ? 65535.0 : 4294967295.0;
    std::vector<double> row(width);
    for (int y = 0; y < height; ++y) {
        img->getRow(y, row.data());
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * width + x;
            QCOMPARE(row[x], isFloat ? double(values[i]) : std::min(double(counts[i]), top));
        }
    }
    // A description that does not fit its pixels writes nothing.
    QFile::remove(path);
    QVERIFY(!writeTiffFile(path, {width, height + 1, bits, isFloat, counts, values}, &error));
    QVERIFY(!QFile::exists(path));
}

void TestTiffReader::imageLargerThanTheBoundIsRefused()
{
    // 37 × 21 pixels of 2 bytes are 1554 bytes; a bound just below refuses both formats before
    // allocating, one just above reads them.
    Layout l;
    l.compression = COMPRESSION_ADOBE_DEFLATE; // not bounded by the file's size
    const QString tiff = dir_.filePath(u"bound.tif"_s);
    QVERIFY(writeWithLibtiff(tiff, l));
    const QString image = itex(u"bound.img"_s, 37, 21, 5);
    struct RestoreBound
    {
        ~RestoreBound() { setMaxImageBytes(0); }
    } restore;
    for (const qint64 bound : {qint64(1553), qint64(1554)}) {
        setMaxImageBytes(bound);
        DebugLog log;
        const bool fits = bound >= 1554;
        QCOMPARE(bool(openImgData(tiff)), fits);
        QCOMPARE(bool(openImgData(image)), fits);
        QCOMPARE(log.messages().size(), fits ? 0 : 3);
        if (!fits) {
            QVERIFY2(log.messages()[0].contains(u"more than the 1553 bytes an image may hold"_s),
                qPrintable(log.messages()[0]));
            QVERIFY2(log.messages()[1].contains(u"does not fit in memory"_s), qPrintable(log.messages()[1]));
            QCOMPARE(log.messages()[2], u"Can not open ImgData "_s + image);
        }
    }
    setMaxImageBytes(0);
    QVERIFY(maxImageBytes() > qint64(1) << 28); // the machine's memory again
}

void TestTiffReader::sizeIsFixedByTheFirstImage()
{
    // A TIFF without an image first: the set takes its size from the first image that has pixels, and
    // counts only images it can use, a TIFF of that size among them.
    ImgDatas set;
    const QString empty = dir_.filePath(u"empty.tif"_s);
    const QString fits = dir_.filePath(u"fits.tif"_s), other = dir_.filePath(u"other.tif"_s);
    const std::vector<uint32_t> px(8 * 6, 9), wide(9 * 6, 9);
    QVERIFY(writeBytes(empty, QByteArray("II*\0\0\0\0\0", 8)));
    QVERIFY(writeTiffFile(fits, {8, 6, 16, false, px, {}}));
    QVERIFY(writeTiffFile(other, {9, 6, 16, false, wide, {}}));
    {
        DebugLog log;
        QVERIFY(!set.add(empty));
        QVERIFY(set.add(itex(u"a.img"_s, 8, 6, 1)));
        QVERIFY(set.add(itex(u"b.img"_s, 8, 6, 2)));
        QVERIFY(!set.add(itex(u"c.img"_s, 6, 8, 3)));
        QVERIFY(set.add(fits));
        QVERIFY(!set.add(other));
        const QStringList said = log.messages();
        QCOMPARE(said.size(), 4);
        QVERIFY2(said[1].startsWith(u"File is not ready to access"_s), qPrintable(said[1]));
        QVERIFY2(said[2].contains(
                     QRegularExpression(u"^Mismatch image size: \\(8, 6\\) != \\(6, 8\\) : .*c.img$"_s)),
            qPrintable(said[2]));
    }
    QCOMPARE(set.count(), 3);
    QCOMPARE(QSize(set.width(), set.height()), QSize(8, 6));
    QCOMPARE(set.image(1)->fileName(), dir_.filePath(u"b.img"_s));
    QVERIFY(!set.image(3));
    QVERIFY(!set.image(-1));

    // A new series keeps the size: another size is refused file by file.
    set.clearImgs();
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.width(), 8);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Mismatch image size"_s));
    QVERIFY(!set.add(itex(u"d.img"_s, 4, 4, 3)));
    QVERIFY(set.add(itex(u"e.img"_s, 8, 6, 3)));

    set.clear();
    QCOMPARE(set.width(), 0);
    QVERIFY(set.add(itex(u"f.img"_s, 4, 4, 3)));
    QCOMPARE(set.height(), 4);
}

void TestTiffReader::newSeriesSetsItsOwnSize_data()
{
    QTest::addColumn<QList<QSize>>("series"); // sizes of the new series' files; (0, 0): unreadable
    QTest::addColumn<int>("count"); // images after the series has ended
    QTest::addColumn<QSize>("size");
    QTest::newRow("another size") << QList<QSize> {{4, 4}, {4, 4}} << 2 << QSize(4, 4);
    QTest::newRow("the first file unreadable") << QList<QSize> {{0, 0}, {5, 3}, {5, 3}} << 2 << QSize(5, 3);
    QTest::newRow("a stray size within") << QList<QSize> {{4, 4}, {8, 6}} << 1 << QSize(4, 4);
    // Nothing of the series could be used: the set loaded before stays whole.
    QTest::newRow("every file unreadable") << QList<QSize> {{0, 0}, {0, 0}} << 3 << QSize(8, 6);
    QTest::newRow("no file at all") << QList<QSize> {} << 3 << QSize(8, 6);
}

void TestTiffReader::newSeriesSetsItsOwnSize()
{
    QFETCH(QList<QSize>, series);
    QFETCH(int, count);
    QFETCH(QSize, size);
    ImgDatas set;
    for (int i = 0; i < 3; ++i)
        QVERIFY(set.add(itex(u"old%1.img"_s.arg(i), 8, 6, 7)));
    const ImgData *first = set.image(0);
    set.startSeries();
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.width(), 0);
    const QString broken = dir_.filePath(u"notanimage.img"_s);
    QVERIFY(writeBytes(broken, "IM\x03\x00xx"));
    int k = 0;
    QSize fixed; // by the series' first readable file
    for (const QSize &s : series) {
        const bool refused = s.isEmpty() || (fixed.isValid() && s != fixed);
        if (refused)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^(File is not ready|Mismatch image size)"_s));
        else
            fixed = s;
        const QString file = s.isEmpty() ? broken : itex(u"new%1.img"_s.arg(k++), s.width(), s.height(), 9);
        QCOMPARE(set.add(file), !refused);
    }
    QCOMPARE(set.endSeries(), count != 3);
    QCOMPARE(set.count(), count);
    QCOMPARE(QSize(set.width(), set.height()), size);
    QCOMPARE(set.image(0) == first, count == 3);
}

void TestTiffReader::projectionSetLeavesOutWrongSizeI0AndBg()
{
    ImgDatas set;
    ImgDatas::ImageSlot i0 = openImgData(itex(u"i0.img"_s, 8, 6, 1000));
    ImgDatas::ImageSlot bg = openImgData(itex(u"bg.img"_s, 6, 8, 100));
    set.setI0Ref(&i0);
    set.setBgRef(&bg);
    // Before the set has a size every image fits.
    QVERIFY(set.fitsSize(bg.get()));
    QVERIFY(set.add(itex(u"p.img"_s, 8, 6, 500)));
    const ProjectionSet view = set.projectionSet();
    QCOMPARE(view.count(), 1);
    QCOMPARE(view.i0.get(), i0.get());
    QVERIFY(!view.bg);
    // A selector's new image takes effect without telling the set.
    bg = openImgData(itex(u"bg2.img"_s, 8, 6, 100));
    QCOMPARE(set.projectionSet().bg.get(), bg.get());
    // A snapshot keeps its images alive when the selector lets go of them.
    const ProjectionSet held = set.projectionSet();
    const ImgData *old = i0.get();
    i0.reset();
    QVERIFY(!set.projectionSet().i0);
    QCOMPARE(held.i0.get(), old);
    QCOMPARE(held.i0->width(), 8);
}

void TestTiffReader::loadedImagesHoldNoOpenFile()
{
    // With the usual limit of 1024 open files, 1100 projections once loaded as 1014: every image kept
    // its file open. Here the limit is 40 files more than are open now, and 120 images of each format
    // must load.
    const int n = 120;
    QStringList files;
    for (int i = 0; i < n; ++i)
        files << itex(u"fd%1.img"_s.arg(i), 4, 3, i);
    const QString tiff = dir_.filePath(u"fd.tif"_s);
    QVERIFY(writeWithLibtiff(tiff, Layout {.rowsPerStrip = 2}));
    const int before = openFileCount();
    rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(before + 40);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
    ImgDatas set;
    std::vector<std::unique_ptr<ImgData>> tiffs;
    int loaded = 0;
    for (const QString &f : files) {
        loaded += set.add(f) ? 1 : 0;
        tiffs.push_back(openImgData(tiff));
        loaded += tiffs.back() ? 1 : 0;
    }
    setrlimit(RLIMIT_NOFILE, &old);
    QCOMPARE(loaded, 2 * n);
    QCOMPARE(openFileCount(), before);
    std::vector<double> row(4);
    set.image(n - 1)->getRow(2, row.data()); // the pixels stay in memory
    QCOMPARE(row[3], double(n - 1));
}

QTEST_APPLESS_MAIN(TestTiffReader)
#include "tst_tiffreader.moc"
