// Qt
#include <QTemporaryDir>
#include <QTest>

// Local
#include "display/greyscale.h"
#include "imagedata/imgdataitex.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexcomment.h"
#include "imagedata/lineblock.h"
#include "imagedata/transmission.h"
#include "tests/common/debuglog.h"
#include "tests/imagedata/numitexfile.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sys/stat.h>
#include <vector>

using namespace Qt::StringLiterals;

class TestItexReader : public QObject
{
    Q_OBJECT
private slots:
    void pixelsReadBackEveryWay_data();
    void pixelsReadBackEveryWay();
    void comments_data();
    void comments();
    void areaSourceExtents_data();
    void areaSourceExtents();
    void fileTypes();
    void specialFilesAreNeverOpened();
    void minMaxAndGreyImage();
    void attenuation_data();
    void attenuation();
    // Lines of a few slices read straight from a file equal those of the whole image; the others are
    // not there.
    void linesEqualTheWholeImage_data();
    void linesEqualTheWholeImage();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();

private:
    QString write(const QString &name, const QByteArray &bytes);
    /// An ITEX file of random counts over the whole range of `bpp` bytes.
    QString randomItex(const QString &name, int w, int h, int bpp);
    QTemporaryDir dir_;
};

QString TestItexReader::write(const QString &name, const QByteArray &bytes)
{
    const QString path = dir_.filePath(name);
    return writeBytes(path, bytes) ? path : QString();
}

QString TestItexReader::randomItex(const QString &name, int w, int h, int bpp)
{
    std::mt19937 rng(static_cast<uint32_t>(w * 131 + h * 7 + bpp));
    std::uniform_int_distribution<uint32_t> counts(0, bpp == 2 ? 65535u : 4000000000u);
    return writeItexImage(
        dir_.filePath(name), w, h, [&](int, int) { return counts(rng); }, bpp);
}

namespace {

std::vector<uint32_t> ramp(int w, int h, uint32_t scale)
{
    std::vector<uint32_t> v(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v[static_cast<size_t>(y) * w + x] = scale * static_cast<uint32_t>(y * w + x);
    return v;
}

} // namespace

void TestItexReader::pixelsReadBackEveryWay_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<int>>("columns");
    QTest::newRow("16-bit, every column") << 2 << 7 << 5 << QList<int> {0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("32-bit, every column") << 4 << 5 << 6 << QList<int> {0, 1, 2, 3, 4};
    QTest::newRow("one pixel") << 2 << 1 << 1 << QList<int> {0};
    // 70 × 37: the column sweep goes eight rows at a time, and 37 leaves five at the end.
    QTest::newRow("a run") << 2 << 70 << 37 << QList<int> {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    QTest::newRow("a run, 32-bit") << 4 << 70 << 37 << QList<int> {0, 1, 2, 3};
    QTest::newRow("falling, with gaps and a repeat") << 2 << 70 << 37 << QList<int> {30, 28, 26, 26, 20};
    QTest::newRow("the last column") << 2 << 70 << 37 << QList<int> {69};
    QTest::newRow("far apart") << 4 << 70 << 37 << QList<int> {0, 69, 35};
    QTest::newRow("some outside") << 2 << 70 << 37 << QList<int> {-1, 3, 70, 4, 1000000};
}

void TestItexReader::pixelsReadBackEveryWay()
{
    QFETCH(int, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QList<int>, columns);
    // Spread over the whole range of the pixel, unsigned 32-bit counts above 2^31 among them.
    std::vector<uint32_t> px(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<uint32_t>((i * 2654435761u) % (bytes == 2 ? 65536u : 4000000000u));
    const QString path = dir_.filePath(u"pixels.img"_s);
    QVERIFY(writeItexFile(path, {width, height, bytes, 0.25, px}));
    auto img = openImgData(path);
    QVERIFY(img);
    QCOMPARE(QSize(img->width(), img->height()), QSize(width, height));
    QCOMPARE(img->expTime(), 0.25);
    // File-read mode hands out the same pixels.
    auto byFile = createImgData(ImgFileType::ITEX);
    byFile->setReadAll(false);
    byFile->setFileName(path);
    QVERIFY(byFile->open());
    const std::vector<int> xs(columns.begin(), columns.end());
    const size_t stride = height + 3;
    for (const ImgData *image : {img.get(), byFile.get()}) {
        std::vector<double> row(width);
        for (int y = 0; y < height; ++y) {
            image->getRow(y, row.data());
            for (int x = 0; x < width; ++x)
                QCOMPARE(row[x], double(px[static_cast<size_t>(y) * width + x]));
        }
        // Columns read together equal columns read alone; those outside the image leave the buffer
        // untouched.
        std::vector<double> together(xs.size() * stride, -7.0);
        image->getColumns(xs.data(), static_cast<int>(xs.size()), together.data(), stride);
        for (size_t i = 0; i < xs.size(); ++i) {
            std::vector<double> alone(stride, -7.0);
            image->getColumn(xs[i], alone.data());
            QCOMPARE(std::vector<double>(together.begin() + i * stride, together.begin() + (i + 1) * stride),
                alone);
            const bool inside = xs[i] >= 0 && xs[i] < width;
            for (int y = 0; y < height; ++y)
                QCOMPARE(alone[y], inside ? double(px[static_cast<size_t>(y) * width + xs[i]]) : -7.0);
        }
        std::vector<double> buf(16, -7.0);
        for (int y : {-1, height, 1000000})
            QCOMPARE(image->getRow(y, buf.data()), buf.data());
        QCOMPARE(buf, std::vector<double>(16, -7.0));
    }
}

void TestItexReader::areaSourceExtents_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<int>("areaWidth");
    QTest::addColumn<int>("areaHeight");
    QTest::newRow("ordinary") << u"areSource=\"10,20,14,23\","_s << 4 << 3;
    QTest::newRow("upside down stays negative") << u"areSource=\"10,0,4,3\","_s << -6 << 3;
    // Differences beyond 32 bits give no size (they wrapped round, one of them to 2^31 − 1).
    QTest::newRow("x1 - x0 below -2^31") << u"areSource=\"2147483647,0,-2,3\","_s << 0 << 3;
    QTest::newRow("x1 - x0 above 2^31 - 1") << u"areSource=\"-2147483648,0,2147483647,3\","_s << 0 << 3;
    QTest::newRow("a lone corner of -2^31") << u"areSource=-2147483648,"_s << 0 << 0;
}

void TestItexReader::areaSourceExtents()
{
    QFETCH(QString, comment);
    QFETCH(int, areaWidth);
    QFETCH(int, areaHeight);
    const ItexProps props = parseItexComment(comment);
    QCOMPARE(props.areaWidth, areaWidth);
    QCOMPARE(props.areaHeight, areaHeight);
}

void TestItexReader::comments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("bytesPerPixel");
    QTest::addColumn<double>("expTime");
    QTest::addColumn<QString>("message"); // regular expression, or empty for none

    // The pixels of a 4 × 3 image behind the comment given. Bytes after the pixels (a camera's own
    // trailer) are not read.
    const std::vector<uint32_t> px = ramp(4, 3, 3);
    auto file = [&px](const QByteArray &comment, int bpp = 2) {
        return itexFileBytes({4, 3, bpp, 1.0, px}, comment);
    };
    const QByteArray trailer(300, '\x7f');
    QTest::newRow("plain keys") << file("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=2,") + trailer
                                << true << 2 << 1.0 << QString();
    QTest::newRow("later exposure wins") << file("Prop_ExposureTime1=0.1,Prop_ImageWidth=4,Prop_ImageHeight="
                                                 "3,BytesPerPixel=4,Prop_ExposureTime2=0.2,",
                                                4)
            + trailer << true << 4 << 0.2 << QString();
    QTest::newRow("comma inside quotes")
        << file("Note=\"a,Prop_ImageWidth=99,\",Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=2,")
            + trailer
        << true << 2 << 1.0 << QString();
    QTest::newRow("area source only")
        << file("BytesPerPixel=2,areSource=\"10,20,14,23\",Prop_ImageWidth=,") + trailer << true << 2 << 1.0
        << QString();
    QTest::newRow("non-numeric width falls back to the area")
        << file("Prop_ImageWidth=wide,Prop_ImageHeight=3,areSource=\"0,0,4,9\",BytesPerPixel=2,") + trailer
        << true << 2 << 1.0 << QString();
    QTest::newRow("quoted values") << file(
                                          "Prop_ImageWidth=\"4\",Prop_ImageHeight=\"3\",BytesPerPixel=\"2\",")
            + trailer << true << 2 << 1.0
                                   << QString();
    QTest::newRow("camera sections joined by CR LF, key first in a section")
        << file("[Application]\r\nDate=06/12/2026,Software=\"HiCam, v2\",\r\n"
                "[Camera]\r\nBytesPerPixel=4,Prop_ExposureTime1=0.05,Mode=\"Fast scan\",\r\n"
                "[Acquisition]\r\nareSource=\"0,0,4,3\",NrExposure=1,\r\n"
                "[Scaling]\r\nScalingXUnit=\"um\",areSource=\"0,0,0,0\"",
               4)
            + trailer
        << true << 4 << 0.05 << QString();

    const QByteArray good = file("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=2,");
    QTest::newRow("comment length 0") << file({}) << false << 2 << 1.0 << QString();
    QTest::newRow("height only in the last item, no comma")
        << file("Prop_ImageWidth=4,BytesPerPixel=2,Prop_ImageHeight=3") << false << 2 << 1.0 << QString();
    QTest::newRow("no BytesPerPixel") << file("Prop_ImageWidth=4,Prop_ImageHeight=3,") << false << 2 << 1.0
                                      << u"Unsupported BytesPerPixel"_s;
    QTest::newRow("BytesPerPixel 1") << file("Prop_ImageWidth=4,Prop_ImageHeight=3,BytesPerPixel=1,") << false
                                     << 2 << 1.0 << u"Unsupported BytesPerPixel"_s;
    QTest::newRow("width too large for 32 bits")
        << file("Prop_ImageWidth=4294967300,Prop_ImageHeight=3,BytesPerPixel=2,") << false << 2 << 1.0
        << QString();
    QTest::newRow("truncated pixel block")
        << good.left(good.size() - 1) << false << 2 << 1.0 << u"shorter than 4 x 3 x 2 bytes"_s;
    QTest::newRow("huge announced size")
        << file("Prop_ImageWidth=2000000000,Prop_ImageHeight=2000000000,BytesPerPixel=4,") << false << 2
        << 1.0 << u"shorter than 2000000000 x 2000000000 x 4"_s;
    QTest::newRow("comment shorter than announced") << good.left(64 + 10) << false << 2 << 1.0 << QString();
    QTest::newRow("header shorter than 10 bytes")
        << QByteArray("IM\x05\x00", 4) << false << 2 << 1.0 << u"^Error on reading ITEX file props."_s;
}

void TestItexReader::comments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, opens);
    QFETCH(int, bytesPerPixel);
    QFETCH(double, expTime);
    QFETCH(QString, message);
    const QString path = write(u"comment.img"_s, bytes);
    DebugLog log;
    auto img = createImgData(checkFileType(path));
    QVERIFY(img);
    img->setFileName(path);
    QCOMPARE(img->open(), opens);
    QCOMPARE(img->isOpen(), opens);
    // The expected message and nothing beyond it.
    const QStringList said = log.messages();
    QCOMPARE(said.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(said.first().contains(QRegularExpression(message)), qPrintable(said.first()));
    if (!opens)
        return;
    QCOMPARE(QSize(img->width(), img->height()), QSize(4, 3));
    QCOMPARE(static_cast<ImgDataITEX *>(img.get())->bytesPerPixel(), bytesPerPixel);
    QCOMPARE(img->expTime(), expTime);
    QCOMPARE(static_cast<ImgDataITEX *>(img.get())->dataOffset(), bytes.size() - 300 - 12 * bytesPerPixel);
    double min = -1, max = -1;
    img->getMinMax(min, max);
    QCOMPARE(min, 0.0);
    QCOMPARE(max, 3.0 * (4 * 3 - 1));
}

void TestItexReader::fileTypes()
{
    // Recognised as TIFF; a file that holds no image is refused (the TIFF reader has its own tests).
    const QString tiff = write(u"a.tif"_s, QByteArray("II*\0", 4));
    QCOMPARE(checkFileType(tiff), ImgFileType::TIFF);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Can not read TIFF file .*/a.tif$"_s));
    QVERIFY(!openImgData(tiff));
    QCOMPARE(checkFileType(write(u"b.tif"_s, QByteArray("MM\0*", 4))), ImgFileType::TIFF);

    const QString text = write(u"notes.txt"_s, "hello");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Unknown file type : .*notes.txt$"_s));
    QCOMPARE(checkFileType(text), ImgFileType::UNKNOWN);
    QVERIFY(!createImgData(ImgFileType::UNKNOWN));

    const QString one = write(u"one.img"_s, "I");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Unknown file type"_s));
    QCOMPARE(checkFileType(one), ImgFileType::UNKNOWN);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Check File Type \\(ITEX\\):: Can not open"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Check File Type \\(TIFF\\):: Can not open"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Unknown file type"_s));
    QCOMPARE(checkFileType(dir_.filePath(u"absent.img"_s)), ImgFileType::UNKNOWN);
    int w = 0, h = 0;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
    QVERIFY(!readImageSize(dir_.filePath(u"absent.img"_s), w, h));
    QCOMPARE(w, 0);

    // Little-endian pixels: bytes 0x34 0x12 are 4660 (the counts above 2^31 read back unsigned with
    // the other pixels).
    QByteArray bytes
        = itexFileBytes({2, 1, 2, 1.0, {}}, "Prop_ImageWidth=2,Prop_ImageHeight=1,BytesPerPixel=2,");
    bytes[bytes.size() - 4] = '\x34';
    bytes[bytes.size() - 3] = '\x12';
    auto le = openImgData(write(u"le.img"_s, bytes));
    QVERIFY(le);
    double row[2];
    le->getRow(0, row);
    QCOMPARE(row[0], 4660.0);
}

void TestItexReader::specialFilesAreNeverOpened()
{
    // Opening a FIFO for reading blocks until a writer comes: the type check and the reader must not.
    const QString fifo = dir_.filePath(u"camera.img"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    DebugLog log;
    QCOMPARE(checkFileType(fifo), ImgFileType::UNKNOWN);
    auto img = createImgData(ImgFileType::ITEX);
    img->setFileName(fifo);
    QVERIFY(!img->open());
    img->setFileName(u"/dev/zero"_s);
    QVERIFY(!img->open());
    QCOMPARE(log.messages(),
        QStringList({u"Check File Type (ITEX):: Can not open "_s + fifo,
            u"Check File Type (TIFF):: Can not open "_s + fifo, u"Unknown file type : "_s + fifo,
            u"Not a regular file (a named pipe), not read : "_s + fifo,
            u"Not a regular file (a device), not read : /dev/zero"_s}));
}

void TestItexReader::minMaxAndGreyImage()
{
    const std::vector<uint32_t> px {100, 200, 300, 500};
    const QString path = dir_.filePath(u"grey.img"_s);
    QVERIFY(writeItexFile(path, {2, 2, 2, 1.0, px}));
    auto img = openImgData(path);
    QVERIFY(img);
    GreyScale scale;
    QImage picture = img->toImage(scale);
    QCOMPARE(scale.minV, 100.0);
    QCOMPARE(scale.maxV, 500.0);
    QCOMPARE(picture.format(), QImage::Format_Grayscale8);
    QCOMPARE(qGray(picture.pixel(0, 0)), 0);
    QCOMPARE(qGray(picture.pixel(1, 0)), 64); // (200 − 100)/400 · 256
    QCOMPARE(qGray(picture.pixel(1, 1)), 255); // 256 clamps to 255

    scale = GreyScale {0.0, 1000.0, 0.0, 1.0, true};
    picture = img->toImage(scale);
    QCOMPARE(scale.maxV, 1000.0); // a fixed scale keeps its range
    QCOMPARE(qGray(picture.pixel(1, 1)), 128);
}

void TestItexReader::attenuation_data()
{
    QTest::addColumn<double>("i0");
    QTest::addColumn<double>("bg");
    QTest::addColumn<double>("raw");
    QTest::addColumn<double>("expected");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Without I0 and BG images the lines are 1.0 and 0.0.
    QTest::newRow("no I0/BG") << 1.0 << 0.0 << 100.0 << -std::log(100.0);
    QTest::newRow("no I0/BG, raw 0") << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("hand computed ln 2") << 1000.0 << 100.0 << 550.0 << std::log(2.0);
    QTest::newRow("raw below BG: denominator 1") << 1000.0 << 100.0 << 50.0 << std::log(900.0);
    QTest::newRow("raw at BG") << 1000.0 << 100.0 << 100.0 << std::log(900.0);
    QTest::newRow("I0 below BG: numerator 1") << 90.0 << 100.0 << 550.0 << -std::log(450.0);
    QTest::newRow("both non-positive") << 100.0 << 100.0 << 100.0 << 0.0;
    QTest::newRow("BG above I0 and raw") << 1000.0 << 2000.0 << 10.0 << 0.0;
    QTest::newRow("more than I0 counts") << 1000.0 << 100.0 << 1900.0 << std::log(0.5);
    QTest::newRow("a NaN passes the clamp unchanged") << 1000.0 << 100.0 << nan << nan;
    QTest::newRow("NaN I0") << nan << 0.0 << 5.0 << nan;
}

void TestItexReader::attenuation()
{
    QFETCH(double, i0);
    QFETCH(double, bg);
    QFETCH(double, raw);
    QFETCH(double, expected);
    QCOMPARE(::attenuation(i0, bg, raw), expected);
    // The line version, into an output shorter than its inputs: nothing is written past its end.
    const double i0s[] {i0, i0}, bgs[] {bg, bg}, raws[] {raw, raw};
    double att[] {-99.0, -99.0};
    attenuationLine(i0s, bgs, raws, std::span<double>(att, 1));
    QCOMPARE(att[0], expected);
    QCOMPARE(att[1], -99.0);
}

void TestItexReader::linesEqualTheWholeImage_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<bool>("rows");
    QTest::addColumn<QList<int>>("lines");
    QTest::newRow("rows, 16-bit") << 37 << 23 << 2 << true << QList<int> {0, 5, 6, 22};
    QTest::newRow("columns, 16-bit") << 37 << 23 << 2 << false << QList<int> {0, 1, 17, 36};
    QTest::newRow("rows, 32-bit") << 19 << 11 << 4 << true << QList<int> {3, 10};
    QTest::newRow("columns, 32-bit") << 19 << 11 << 4 << false << QList<int> {18};
    // Rows of 64 KB: the column reader streams the file in several chunks.
    QTest::newRow("columns across chunks") << 32768 << 150 << 2 << false << QList<int> {2, 30000, 32767};
    QTest::newRow("no line") << 8 << 8 << 2 << true << QList<int> {};
}

void TestItexReader::linesEqualTheWholeImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bpp);
    QFETCH(bool, rows);
    QFETCH(QList<int>, lines);
    const QString file = randomItex(u"%1x%2x%3.img"_s.arg(width).arg(height).arg(bpp), width, height, bpp);
    QVERIFY(!file.isEmpty());
    const std::unique_ptr<ImgData> whole = openImgData(file);
    QVERIFY(whole);
    int w = 0, h = 0; // as the header gives it
    QVERIFY(readImageSize(file, w, h));
    QCOMPARE(QSize(w, h), QSize(width, height));
    const std::vector<int> wanted(lines.cbegin(), lines.cend());
    const std::shared_ptr<const ImgData> block = readLineBlock(file, rows, wanted, width, height);
    QVERIFY(block);
    QCOMPARE(block->width(), width);
    QCOMPARE(block->height(), height);
    const auto *lineBlock = dynamic_cast<const ImgDataLineBlock *>(block.get());
    QVERIFY(lineBlock);
    const size_t length = static_cast<size_t>(rows ? width : height);
    QCOMPARE(lineBlock->bytes(), wanted.size() * length * static_cast<size_t>(bpp));
    const std::vector<double> untouched(length, -7.0);
    for (int line = 0; line < (rows ? height : width); ++line) {
        std::vector<double> a(length), b = untouched;
        if (rows) {
            whole->getRow(line, a.data());
            block->getRow(line, b.data());
        } else {
            whole->getColumn(line, a.data());
            block->getColumn(line, b.data());
        }
        const bool in = std::find(wanted.begin(), wanted.end(), line) != wanted.end();
        QVERIFY2(b == (in ? a : untouched), qPrintable(u"line %1"_s.arg(line)));
    }
    // Lines across those of the block: none.
    std::vector<double> across(rows ? height : width, -7.0);
    if (rows)
        block->getColumn(0, across.data());
    else
        block->getRow(0, across.data());
    QCOMPARE(across, std::vector<double>(across.size(), -7.0));
}

void TestItexReader::refusesWhatItCannotRead_data()
{
    // Lines asked of a 10 × 6 file as rows, the size the set expects, the file.
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("file");
    QTest::newRow("line outside") << QList<int> {1, 6} << 10 << u"refuse.img"_s;
    QTest::newRow("lines out of order") << QList<int> {2, 1} << 10 << u"refuse.img"_s;
    QTest::newRow("repeated line") << QList<int> {2, 2} << 10 << u"refuse.img"_s;
    QTest::newRow("another size") << QList<int> {1, 2} << 12 << u"refuse.img"_s;
    QTest::newRow("missing file") << QList<int> {1, 2} << 10 << u"none.img"_s;
    QTest::newRow("not an image") << QList<int> {1, 2} << 10 << u"text.img"_s;
}

void TestItexReader::refusesWhatItCannotRead()
{
    QFETCH(QList<int>, lines);
    QFETCH(int, width);
    QFETCH(QString, file);
    QVERIFY(!randomItex(u"refuse.img"_s, 10, 6, 2).isEmpty());
    QVERIFY(!write(u"text.img"_s, "not an image at all").isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
    QVERIFY(
        !readLineBlock(dir_.filePath(file), true, std::vector<int>(lines.begin(), lines.end()), width, 6));
}

QTEST_APPLESS_MAIN(TestItexReader)
#include "tst_itexreader.moc"
