// Qt
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "app/recon/reconoptions.h"
#include "app/recon/reconrun.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include "tools/phantom/phantom.h"
#include <vector>

using namespace Qt::StringLiterals;

/// A TIFF series goes through the window and the command exactly as the same series in ITEX files.
class TestTiffSeries : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commandWritesTheSameFiles();
    void windowBuildsTheSameSinogram();
    void imageWithoutPixelsIsNeverAProjection_data();
    void imageWithoutPixelsIsNeverAProjection();

private:
    QString scan(const QString &format) const { return data_.filePath(format); }
    int run(const QStringList &args, QString *out = nullptr);
    QTemporaryDir data_;
};

void TestTiffSeries::initTestCase()
{
    // The demo object on a 48-pixel detector, 8 rows, axis vertical at 23.5, written twice.
    ScanSetup setup;
    setup.width = 48;
    setup.height = 8;
    setup.cor = 23.5;
    setup.projections = 60;
    for (const bool tiff : {false, true}) {
        setup.tiff = tiff;
        const QString dir = scan(tiff ? u"tif"_s : u"img"_s);
        const QString ext = tiff ? u".tif"_s : u".img"_s;
        QVERIFY(writeScan(
            demoPhantom(48), setup, dir + u"/p"_s, u"ct_"_s, dir + u"/i0"_s + ext, dir + u"/bg"_s + ext));
    }
    QCOMPARE(QDir(scan(u"tif"_s) + u"/p"_s).entryList({u"*.tif"_s}, QDir::Files).size(), 60);
}

int TestTiffSeries::run(const QStringList &args, QString *out)
{
    ReconOptions options;
    QString error;
    if (!parseReconOptions(args, options, error))
        return 2;
    QString text;
    QTextStream stream(&text);
    const int code = ReconRun(options, stream, stream).exec();
    if (out)
        *out = text;
    return code;
}

void TestTiffSeries::commandWritesTheSameFiles()
{
    QTemporaryDir out;
    for (const QString &format : {u"img"_s, u"tif"_s}) {
        const QString dir = scan(format);
        QString text;
        QCOMPARE(run({dir + u"/p"_s, u"*."_s + format, u"--i0"_s, dir + u"/i0."_s + format, u"--bg"_s,
                         dir + u"/bg."_s + format, u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s, u"--slices"_s,
                         u"0:7:7"_s, u"--out"_s, out.filePath(format)},
                     &text),
            0);
        QVERIFY2(text.contains(u"progress: 2/2 slices"_s), qPrintable(text));
    }
    const QStringList files = QDir(out.filePath(u"img"_s)).entryList(QDir::Files);
    QCOMPARE(files.size(), 4);
    QCOMPARE(QDir(out.filePath(u"tif"_s)).entryList(QDir::Files), files);
    for (const QString &name : files) {
        QFile a(out.filePath(u"img/"_s + name)), b(out.filePath(u"tif/"_s + name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestTiffSeries::windowBuildsTheSameSinogram()
{
    std::vector<double> sinograms[2];
    for (int i = 0; i < 2; ++i) {
        const QString format = i == 0 ? u"img"_s : u"tif"_s;
        const QString dir = scan(format);
        Body body;
        body.ui().procCtrl->setRotAxV(true);
        body.ui().I0ImgSel->selectFile(dir + u"/i0."_s + format);
        body.ui().BGImgSel->selectFile(dir + u"/bg."_s + format);
        QCOMPARE(body.ui().I0ImgSel->filePathEdit()->styleSheet(), SelectAFile::goodStyle());
        QCOMPARE(body.ui().BGImgSel->filePathEdit()->styleSheet(), SelectAFile::goodStyle());
        QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
        body.ui().CTFiles->selectDirFiles(dir + u"/p"_s, {u"*."_s + format});
        QVERIFY(done.wait(10000));
        QCOMPARE(body.imageSet()->count(), 60);
        QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"60"_s);
        const ProjectionSet set = body.imageSet()->projectionSet();
        QVERIFY(set.i0 && set.bg);
        QVERIFY(body.sinogram()->data().hasData());
        QCOMPARE(body.sinogram()->data().height, 60);
        sinograms[i] = body.sinogram()->data().att;
    }
    QCOMPARE(sinograms[1], sinograms[0]);
}

void TestTiffSeries::imageWithoutPixelsIsNeverAProjection_data()
{
    // A TIFF that holds no image, first in a series of ITEX projections.
    QTest::addColumn<bool>("window");
    QTest::newRow("command") << false;
    QTest::newRow("window") << true;
}

void TestTiffSeries::imageWithoutPixelsIsNeverAProjection()
{
    QFETCH(bool, window);
    QTemporaryDir dir;
    QFile empty(dir.filePath(u"a.tif"_s));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.write("II*\0\0\0\0\0", 8);
    empty.close();
    const std::vector<uint32_t> px(16 * 8, 1000);
    for (const QString &name : {u"b.img"_s, u"c.img"_s})
        QVERIFY(writeItexFile(dir.filePath(name), {16, 8, 2, 1.0, px}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Can not read TIFF file .*/a.tif$"_s));
    if (!window) {
        // The command refuses the set rather than reconstruct from a short one.
        QString text;
        QCOMPARE(run({dir.path(), u"*"_s, u"--out"_s, dir.filePath(u"out"_s)}, &text), 1);
        QVERIFY2(text.contains(u"quorvel-recon: cannot use "_s + dir.filePath(u"a.tif"_s)), qPrintable(text));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"out"_s)));
        return;
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^File is not ready to access .*/a.tif$"_s));
    Body body;
    QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->selectDirFiles(dir.path(), {u"*.tif"_s, u"*.img"_s});
    QVERIFY(done.wait(10000));
    QCOMPARE(body.imageSet()->count(), 2);
    QCOMPARE(body.imageSet()->width(), 16);
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"2 (1 not loaded)"_s);
    QCOMPARE(body.ui().CTFiles->files(), QStringList({dir.filePath(u"b.img"_s), dir.filePath(u"c.img"_s)}));
}

QTEST_MAIN(TestTiffSeries)
#include "tst_tiffseries.moc"
