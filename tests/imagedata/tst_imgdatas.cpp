// Qt
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include <sys/resource.h>
#include <vector>

using namespace Qt::StringLiterals;

class TestImgDatas : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sizeIsFixedByTheFirstImage();
    void newSeriesSetsItsOwnSize_data();
    void newSeriesSetsItsOwnSize();
    void unreadableFileIsSkipped();
    void projectionSetLeavesOutWrongSizeI0AndBg();
    void loadedImagesHoldNoOpenFile();

private:
    QString image(const QString &name, int w, int h, uint32_t value);
    QTemporaryDir dir_;
};

QString TestImgDatas::image(const QString &name, int w, int h, uint32_t value)
{
    const std::vector<uint32_t> px(static_cast<size_t>(w) * h, value);
    const QString path = dir_.filePath(name);
    if (!writeItexFile(path, {w, h, 2, 1.0, px}))
        return QString();
    return path;
}

void TestImgDatas::initTestCase()
{
    QVERIFY(dir_.isValid());
}

void TestImgDatas::sizeIsFixedByTheFirstImage()
{
    ImgDatas set;
    QVERIFY(set.add(image(u"a.img"_s, 8, 6, 1)));
    QVERIFY(set.add(image(u"b.img"_s, 8, 6, 2)));
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(u"^Mismatch image size: \\(8, 6\\) != \\(6, 8\\) : .*c.img$"_s));
    QVERIFY(!set.add(image(u"c.img"_s, 6, 8, 3)));
    QCOMPARE(set.count(), 2);
    QCOMPARE(set.image(1)->fileName(), dir_.filePath(u"b.img"_s));
    QVERIFY(!set.image(2));
    QVERIFY(!set.image(-1));

    // A new series keeps the size: another size is refused file by file.
    set.clearImgs();
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.width(), 8);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Mismatch image size"_s));
    QVERIFY(!set.add(image(u"d.img"_s, 4, 4, 3)));
    QVERIFY(set.add(image(u"e.img"_s, 8, 6, 3)));

    set.clear();
    QCOMPARE(set.width(), 0);
    QVERIFY(set.add(image(u"f.img"_s, 4, 4, 3)));
    QCOMPARE(set.height(), 4);
}

void TestImgDatas::newSeriesSetsItsOwnSize_data()
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

void TestImgDatas::newSeriesSetsItsOwnSize()
{
    QFETCH(QList<QSize>, series);
    QFETCH(int, count);
    QFETCH(QSize, size);
    ImgDatas set;
    for (int i = 0; i < 3; ++i)
        QVERIFY(set.add(image(u"old%1.img"_s.arg(i), 8, 6, 7)));
    const ImgData *first = set.image(0);
    set.startSeries();
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.width(), 0);
    const QString broken = dir_.filePath(u"notanimage.img"_s);
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("IM\x03\x00xx") > 0);
    f.close();
    int k = 0;
    QSize fixed; // by the series' first readable file
    for (const QSize &s : series) {
        const bool refused = s.isEmpty() || (fixed.isValid() && s != fixed);
        if (refused)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^(File is not ready|Mismatch image size)"_s));
        else
            fixed = s;
        const QString file = s.isEmpty() ? broken : image(u"new%1.img"_s.arg(k++), s.width(), s.height(), 9);
        QCOMPARE(set.add(file), !refused);
    }
    QCOMPARE(set.endSeries(), count != 3);
    QCOMPARE(set.count(), count);
    QCOMPARE(QSize(set.width(), set.height()), size);
    QCOMPARE(set.image(0) == first, count == 3);
}

void TestImgDatas::unreadableFileIsSkipped()
{
    ImgDatas set;
    const QString broken = dir_.filePath(u"broken.img"_s);
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("IM\x03\x00xxxxxxxx");
    f.close();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^File is not ready to access .*broken.img$"_s));
    QVERIFY(!set.add(broken));
    QCOMPARE(set.count(), 0);
    QCOMPARE(set.width(), 0);
}

void TestImgDatas::projectionSetLeavesOutWrongSizeI0AndBg()
{
    ImgDatas set;
    ImgDatas::ImageSlot i0 = openImgData(image(u"i0.img"_s, 8, 6, 1000));
    ImgDatas::ImageSlot bg = openImgData(image(u"bg.img"_s, 6, 8, 100));
    set.setI0Ref(&i0);
    set.setBgRef(&bg);
    // Before the set has a size every image fits.
    QVERIFY(set.fitsSize(bg.get()));
    QVERIFY(set.add(image(u"p.img"_s, 8, 6, 500)));
    const ProjectionSet view = set.projectionSet();
    QCOMPARE(view.count(), 1);
    QCOMPARE(view.i0.get(), i0.get());
    QVERIFY(!view.bg);
    // A selector's new image takes effect without telling the set.
    bg = openImgData(image(u"bg2.img"_s, 8, 6, 100));
    QCOMPARE(set.projectionSet().bg.get(), bg.get());
    // A snapshot keeps its images alive when the selector lets go of them.
    const ProjectionSet held = set.projectionSet();
    const ImgData *old = i0.get();
    i0.reset();
    QVERIFY(!set.projectionSet().i0);
    QCOMPARE(held.i0.get(), old);
    QCOMPARE(held.i0->width(), 8);
}

void TestImgDatas::loadedImagesHoldNoOpenFile()
{
    // With the usual limit of 1024 open files, 1100 projections once loaded as 1014: every image kept
    // its file open. Here the limit is 40 files more than are open now, and 120 images must load.
    const int n = 120;
    QStringList files;
    for (int i = 0; i < n; ++i)
        files << image(u"fd%1.img"_s.arg(i), 4, 3, i);
    const int open = int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
    rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(open + 40);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
    ImgDatas set;
    int loaded = 0;
    for (const QString &f : files)
        loaded += set.add(f) ? 1 : 0;
    setrlimit(RLIMIT_NOFILE, &old);
    QCOMPARE(loaded, n);
    std::vector<double> row(4);
    set.image(n - 1)->getRow(2, row.data()); // the pixels stay in memory
    QCOMPARE(row[3], double(n - 1));
}

QTEST_APPLESS_MAIN(TestImgDatas)
#include "tst_imgdatas.moc"
