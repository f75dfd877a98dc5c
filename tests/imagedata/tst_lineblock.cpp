// Qt
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include "imagedata/lineblock.h"
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

/// Lines of a few slices read straight from a file equal those of the whole image.
class TestLineBlock : public QObject
{
    Q_OBJECT
private slots:
    void linesEqualTheWholeImage_data();
    void linesEqualTheWholeImage();
    void otherLinesAreLeftUntouched();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void sizeFromTheHeader();

private:
    QString image(const QString &name, int w, int h, int bpp);
    QTemporaryDir dir_;
};

QString TestLineBlock::image(const QString &name, int w, int h, int bpp)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    std::mt19937 rng(static_cast<uint32_t>(w * 131 + h * 7 + bpp));
    std::uniform_int_distribution<uint32_t> counts(0, bpp == 2 ? 65535u : 4000000000u);
    for (auto &v : px)
        v = counts(rng);
    const QString path = dir_.filePath(name);
    return writeItexFile(path, {w, h, bpp, 1.0, px}) ? path : QString();
}

void TestLineBlock::linesEqualTheWholeImage_data()
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

void TestLineBlock::linesEqualTheWholeImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bpp);
    QFETCH(bool, rows);
    QFETCH(QList<int>, lines);
    const QString file = image(u"%1x%2x%3.img"_s.arg(width).arg(height).arg(bpp), width, height, bpp);
    QVERIFY(!file.isEmpty());
    const std::unique_ptr<ImgData> whole = openImgData(file);
    QVERIFY(whole);
    const std::vector<int> wanted(lines.cbegin(), lines.cend());
    const std::shared_ptr<const ImgData> block = readLineBlock(file, rows, wanted, width, height);
    QVERIFY(block);
    QCOMPARE(block->width(), width);
    QCOMPARE(block->height(), height);
    const auto *lineBlock = dynamic_cast<const ImgDataLineBlock *>(block.get());
    QVERIFY(lineBlock);
    const size_t length = static_cast<size_t>(rows ? width : height);
    QCOMPARE(lineBlock->bytes(), wanted.size() * length * static_cast<size_t>(bpp));
    std::vector<double> a(length), b(length);
    for (int line : wanted) {
        if (rows) {
            whole->getRow(line, a.data());
            block->getRow(line, b.data());
        } else {
            whole->getColumn(line, a.data());
            block->getColumn(line, b.data());
        }
        QVERIFY2(a == b, qPrintable(u"line %1"_s.arg(line)));
    }
}

void TestLineBlock::otherLinesAreLeftUntouched()
{
    const QString file = image(u"untouched.img"_s, 12, 9, 2);
    const std::vector<int> rows {2, 4};
    const std::shared_ptr<const ImgData> block = readLineBlock(file, true, rows, 12, 9);
    QVERIFY(block);
    std::vector<double> buffer(12, -7.0);
    block->getRow(3, buffer.data()); // not in the block
    QCOMPARE(buffer, std::vector<double>(12, -7.0));
    block->getColumn(2, buffer.data()); // columns of a row block: none
    QCOMPARE(buffer, std::vector<double>(12, -7.0));
    block->getRow(4, buffer.data());
    QVERIFY(buffer != std::vector<double>(12, -7.0));
}

void TestLineBlock::refusesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("problem");
    QTest::newRow("line outside") << u"outside"_s;
    QTest::newRow("lines out of order") << u"order"_s;
    QTest::newRow("repeated line") << u"repeat"_s;
    QTest::newRow("another size") << u"size"_s;
    QTest::newRow("missing file") << u"missing"_s;
    QTest::newRow("not an image") << u"text"_s;
}

void TestLineBlock::refusesWhatItCannotRead()
{
    QFETCH(QString, problem);
    QString file = image(u"refuse.img"_s, 10, 6, 2);
    std::vector<int> lines {1, 2};
    int w = 10, h = 6;
    if (problem == u"outside"_s)
        lines = {1, 6};
    else if (problem == u"order"_s)
        lines = {2, 1};
    else if (problem == u"repeat"_s)
        lines = {2, 2};
    else if (problem == u"size"_s)
        w = 12;
    else if (problem == u"missing"_s)
        file = dir_.filePath(u"none.img"_s);
    else {
        file = dir_.filePath(u"text.img"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an image at all");
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
    QVERIFY(!readLineBlock(file, true, lines, w, h));
}

void TestLineBlock::sizeFromTheHeader()
{
    int w = 0, h = 0;
    QVERIFY(readImageSize(image(u"size.img"_s, 21, 13, 4), w, h));
    QCOMPARE(w, 21);
    QCOMPARE(h, 13);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
    QVERIFY(!readImageSize(dir_.filePath(u"absent.img"_s), w, h));
    QCOMPARE(w, 0);
}

QTEST_GUILESS_MAIN(TestLineBlock)
#include "tst_lineblock.moc"
