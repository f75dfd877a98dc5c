// Qt
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "automation/batchcmd.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include "imagedata/ui/selectafile.h"
#include "imagedata/ui/selectaimgfile.h"
#include "recon/dataseries.h"
#include "recon/seriesmanifest.h"
#include "tests/app/reconcommand.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tests/common/debuglog.h"
#include "tools/phantom/phantom.h"
#include "tools/scanfile/scanfilewriter.h"
#include "widgets/rawdisp.h"
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

/// Loading projections into the window: files, scan files, TIFF and ITEX sets, what a load refuses,
/// the centre of rotation guessed on a loaded set; and sequential CT-XAFS runs, set after set, over a
/// small series of three energies, checked against the same series without a window.
class TestBodyLoading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unusableFileInTheMiddleIsSkippedAndSaid_data();
    void unusableFileInTheMiddleIsSkippedAndSaid();
    void defaultsFollowKeepConditions_data();
    void defaultsFollowKeepConditions();
    void guessCorFindsTheDemoAxis_data();
    void guessCorFindsTheDemoAxis();
    void scanFileLoadsItsFrames_data();
    void scanFileLoadsItsFrames();
    void calcSaysWhatTheCorrectionLacks_data();
    void calcSaysWhatTheCorrectionLacks();
    void newSeriesSetsTheSize_data();
    void newSeriesSetsTheSize();
    void sequenceWritesEachEnergyLikeTheCommand();
    void stopping_data();
    void stopping();
    void setsTakenAndWhereTheRunEnds_data();
    void setsTakenAndWhereTheRunEnds();
    void tiffSetGoesAsTheItexSet();

private:
    QString image(const QString &name, int w, int h, uint32_t value = 1000);
    /// A window with the series listed, the I0 files and BG chosen, the geometry of a loaded set and
    /// saving of slices 4, 7, 10 into per-energy folders of `out`.
    /// With `scans`, the series is one scan file per energy, each with its own flats and darks; else
    /// the I0 images are those of `i0Dir` (by default the series').
    std::unique_ptr<Body> preparedBody(
        const QString &projections, const QString &out, bool scans = false, QString i0Dir = {});
    /// Clicks "Seq. Calc." and waits for the run to finish (false if it never did); `stages`: the
    /// stage messages shown.
    static bool runSequence(
        Body &body, QStringList &stages, const std::function<void(const QString &)> &onStage = {});
    /// The first data file under `dir` that lacks lines of the region 0 … 63; empty if none.
    static QString shortDataFile(const QString &dir);

    QTemporaryDir dir_;
    QString projections_, i0Dir_, bg_; // the series
    QString scan(const QString &format) const { return dir_.filePath(format); } // the ITEX or TIFF set
};

QString TestBodyLoading::image(const QString &name, int w, int h, uint32_t value)
{
    const std::vector<uint32_t> px(static_cast<size_t>(w) * h, value);
    const QString path = dir_.filePath(name);
    return writeItexFile(path, {w, h, 2, 1.0, px}) ? path : QString();
}

void TestBodyLoading::initTestCase()
{
    QVERIFY(dir_.isValid());
    // A series of three energies.
    XafsSeriesSetup setup;
    setup.scan.width = 64;
    setup.scan.height = 16;
    setup.scan.cor = 33;
    setup.scan.projections = 60;
    setup.energies = 3;
    projections_ = dir_.filePath(u"projections"_s);
    i0Dir_ = dir_.filePath(u"i0"_s);
    bg_ = dir_.filePath(u"bg.img"_s);
    QVERIFY(writeXafsSeries(setup, projections_, i0Dir_, bg_));

    // The demo object on a 48-pixel detector, 8 rows, axis vertical at 23.5, written twice.
    ScanSetup tiffs;
    tiffs.width = 48;
    tiffs.height = 8;
    tiffs.cor = 23.5;
    tiffs.projections = 60;
    for (const QString &format : {u"img"_s, u"tif"_s}) {
        tiffs.tiff = format == u"tif"_s;
        const QString dir = scan(format);
        QVERIFY(writeScan(demoPhantom(48), tiffs, dir + u"/p"_s, u"ct_"_s, dir + u"/i0."_s + format,
            dir + u"/bg."_s + format));
    }
    QCOMPARE(QDir(scan(u"tif"_s) + u"/p"_s).entryList({u"*.tif"_s}, QDir::Files).size(), 60);
}

void TestBodyLoading::unusableFileInTheMiddleIsSkippedAndSaid_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("at"); // its place among three
    QTest::addColumn<QString>("message"); // of the file itself
    QTest::newRow("another size") << u"size"_s << 1 << u"^Mismatch image size.*b1.img$"_s;
    QTest::newRow("not an image") << u"text"_s << 1 << u"^Unknown file type : .*b1.img$"_s;
    QTest::newRow("pixels missing") << u"short"_s << 1 << u"^File is not ready to access .*b1.img$"_s;
    QTest::newRow("a TIFF without an image, first")
        << u"tiff"_s << 0 << u"^File is not ready to access .*/a.tif$"_s;
}

void TestBodyLoading::unusableFileInTheMiddleIsSkippedAndSaid()
{
    QFETCH(QString, kind);
    QFETCH(int, at);
    QFETCH(QString, message);
    Body body;
    QString bad = dir_.filePath(kind == u"tiff"_s ? u"a.tif"_s : u"b1.img"_s);
    if (kind == u"size"_s)
        bad = image(u"b1.img"_s, 16, 20);
    else if (kind == u"text"_s)
        QVERIFY(writeText(bad, "just some text"));
    else if (kind == u"tiff"_s)
        QVERIFY(writeText(bad, QByteArray("II*\0\0\0\0\0", 8)));
    else
        QVERIFY(writeText(bad, readBytes(image(u"b1full.img"_s, 20, 16)).chopped(10)));
    QStringList files {image(u"b0.img"_s, 20, 16), image(u"b2.img"_s, 20, 16)};
    const QStringList good = files;
    files.insert(at, bad);
    DebugLog log;
    QVERIFY(loadFiles(body, files));
    QCOMPARE(body.imageSet()->count(), 2);
    QCOMPARE(body.imageSet()->width(), 20);
    QCOMPARE(body.ui().CTFiles->files(), good);
    // The projections after the file take its angle: the count and the log say so (before, "Count"
    // read "2" and only the file's own message told).
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"2 (1 not loaded)"_s);
    QCOMPARE(body.ui().CTFiles->ui().Count->styleSheet(), SelectAFile::badStyle());
    QCOMPARE(log.count(message), 1);
    QCOMPARE(log.count(u"^Loading failed: 1 of 3 files could not be used, 2 images are loaded: .*"_s
                 + QFileInfo(bad).fileName() + u"$"_s),
        1);
    // The next load that loses nothing says so too.
    QVERIFY(loadFiles(body, good));
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"2"_s);
    QVERIFY(body.ui().CTFiles->ui().Count->styleSheet().isEmpty());
    if (kind != u"tiff"_s)
        return;
    // The command refuses such a set rather than reconstruct from a short one.
    QString text;
    const QString out = dir_.filePath(u"out"_s);
    QCOMPARE(runRecon({dir_.path(), u"a.t?f"_s, u"b[02].img"_s, u"--out"_s, out}, &text), 1);
    QVERIFY2(text.contains(u"quorvel-recon: cannot use "_s + bad), qPrintable(text));
    QVERIFY(!QFileInfo::exists(out));
}

void TestBodyLoading::defaultsFollowKeepConditions_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("slice");
    QTest::addColumn<double>("cor");
    QTest::addColumn<int>("sliceTo");
    // The second set is 40 wide and 30 high. Kept: the values set by hand after the first load; the
    // last slice, still the first set's default, follows the new set.
    QTest::newRow("keep, horizontal axis") << true << false << 5 << 7.5 << 39;
    QTest::newRow("reset, horizontal axis") << false << false << 20 << 15.0 << 39;
    QTest::newRow("reset, vertical axis") << false << true << 15 << 20.0 << 29;
}

void TestBodyLoading::defaultsFollowKeepConditions()
{
    QFETCH(bool, keep);
    QFETCH(bool, vertical);
    QFETCH(int, slice);
    QFETCH(double, cor);
    QFETCH(int, sliceTo);
    Body body;
    ProcCtrl *p = body.ui().procCtrl;
    body.ui().CTFiles->ui().KeepConditions->setChecked(keep);
    // The first load after start always applies the defaults: 20 wide, 16 high, horizontal axis.
    QVERIFY(loadFiles(body, {image(u"k0.img"_s, 20, 16)}));
    QCOMPARE(p->sliceNo(), 10);
    QCOMPARE(p->cor(), 8.0);
    QCOMPARE(p->sliceTo(), 19);
    p->setSliceNo(5);
    p->setCor(7.5);
    p->setRotAxV(vertical);
    QVERIFY(loadFiles(body, {image(u"k1.img"_s, 40, 30)})); // a new series sets its own size
    QCOMPARE(p->sliceNo(), slice);
    QCOMPARE(p->cor(), cor);
    QCOMPARE(p->sliceTo(), sliceTo);
}

void TestBodyLoading::guessCorFindsTheDemoAxis_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("axis");
    QTest::addColumn<int>("start"); // −1: no partial data set
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("searches"); // "agree", "differ", or "none" when there is no guess
    QTest::newRow("whole set: images 0 and 179") << QSize(128, 128) << 66.0 << -1 << 0 << u"agree"_s;
    QTest::newRow("partial 0:180") << QSize(128, 128) << 66.0 << 0 << 180 << u"agree"_s;
    // Before, image 10 was compared with itself and the guess drifted to 70 for an axis at 66.
    QTest::newRow("partial 10:170: no facing image") << QSize(128, 128) << 66.0 << 10 << 170 << u"none"_s;
    // On 48 pixels the mirror search climbs to another hill, ten pixels off; the Fourier one finds
    // the axis. The window says so beside the button and in the log, and the chosen one is used.
    QTest::newRow("searches that disagree") << QSize(48, 8) << 25.9 << -1 << 0 << u"differ"_s;
    // A guess called off (a batch line's time out) takes nothing, whatever it found.
    QTest::newRow("called off") << QSize(128, 128) << 66.0 << -1 << 0 << u"called off"_s;
}

void TestBodyLoading::guessCorFindsTheDemoAxis()
{
    QFETCH(QSize, size);
    QFETCH(double, axis);
    QFETCH(int, start);
    QFETCH(int, images);
    QFETCH(QString, searches);
    const bool differ = searches == u"differ"_s;
    // A noiseless scan of the demo object in 180 projections, the axis vertical.
    QTemporaryDir data;
    ScanSetup setup;
    setup.width = size.width();
    setup.height = size.height();
    setup.projections = 180;
    setup.cor = axis;
    setup.noise = 0.0;
    QVERIFY(writeScan(demoPhantom(setup.width), setup, data.filePath(u"p"_s), u"ct_"_s,
        data.filePath(u"i0.img"_s), data.filePath(u"bg.img"_s)));
    const std::unique_ptr<Body> window = loadedWindow({data.filePath(u"p"_s)}, 0);
    QVERIFY(window);
    Body &body = *window;
    QCOMPARE(body.imageSet()->count(), 180);
    QCOMPARE(body.ui().procCtrl->cor(), size.width() / 2.0); // the middle of the line
    QVERIFY(body.sinogram()->data().hasData());
    if (start >= 0) {
        body.ui().procCtrl->setUsePartialDataSet(true);
        body.ui().procCtrl->setDataSetStartImageNo(start);
        body.ui().procCtrl->setDataSetUsingImages(images);
    }
    if (differ) {
        body.ui().I0ImgSel->selectFile(data.filePath(u"i0.img"_s));
        body.ui().BGImgSel->selectFile(data.filePath(u"bg.img"_s));
        QVERIFY(body.execCommand(parseBatchCmd(u"ct_cor_guess_method fourier"_s)));
        QVERIFY(!body.execCommand(parseBatchCmd(u"ct_cor_guess_method vo"_s))); // refused, the choice kept
    }
    DebugLog log;
    if (searches == u"called off"_s) {
        QSignalSpy finished(body.sinogram(), &Sinogram::guessFinished);
        QVERIFY(body.sinogram()->startGuessCor());
        QVERIFY(!body.sinogram()->startGuessCor()); // one guess at a time
        body.sinogram()->stopGuessCor();
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(body.ui().procCtrl->cor(), size.width() / 2.0);
        QCOMPARE(log.count(u"^Guess CoR: called off"_s), 1);
        return;
    }
    QVERIFY(guessAndWait(body));
    const double guess = body.ui().procCtrl->cor();
    if (searches == u"none"_s) {
        QCOMPARE(guess, 64.0); // left where it was, and said why
        QCOMPARE(
            log.count(u"^Guess CoR: no mirror centre of rotation: no image lies 180 degrees from image 10 "
                      "among the 170 images used"_s),
            1);
        return;
    }
    // The facing lines are mirrored about the trial centre itself: the guess lands on the axis.
    QVERIFY2(std::abs(guess - axis) <= (differ ? 0.3 : 0.1 + 1e-9), qPrintable(QString::number(guess)));
    QCOMPARE(body.sinogram()->ui().Cor->text(), QString::number(guess, 'g', 6));
    QCOMPARE(
        log.count(u"^Guess CoR: the mirror and Fourier centres of rotation differ by"_s), differ ? 1 : 0);
    QCOMPARE(body.sinogram()->ui().GuessResult->styleSheet().isEmpty(), !differ);
    if (differ) {
        QVERIFY(body.sinogram()->ui().GuessResult->toolTip().contains(u"differ"_s));
        return;
    }
    // Both searches are shown. (Without an I0 image the lines keep the flat field's gentle ripple,
    // which moves the Fourier search by a few hundredths.)
    const CorGuesses &g = body.sinogram()->lastGuesses();
    QVERIFY(g.mirror && g.fourier);
    QVERIFY2(std::abs(g.fourier->cor - axis) < 0.15, qPrintable(QString::number(g.fourier->cor)));
    QCOMPARE(body.sinogram()->ui().TakeMirror->text(), u"Mirror %1"_s.arg(g.mirror->cor, 0, 'f', 2));
    QCOMPARE(body.sinogram()->ui().TakeFourier->text(), u"Fourier %1"_s.arg(g.fourier->cor, 0, 'f', 2));
    QCOMPARE(body.sinogram()->ui().GuessResult->text(), u"mirror taken"_s);
}

Q_DECLARE_METATYPE(ScanFileRecipe)

void TestBodyLoading::scanFileLoadsItsFrames_data()
{
    QTest::addColumn<ScanFileRecipe>("recipe");
    QTest::addColumn<bool>("chooseI0"); // an I0 file is chosen before the scan is loaded
    QTest::addColumn<int>("images"); // loaded; 0: the scan is refused
    QTest::addColumn<int>("dataSetImages");
    QTest::addColumn<QString>("i0"); // what the I0 field says
    QTest::addColumn<QString>("bg");

    ScanFileRecipe nx; // 19 projections at 0, 10, … 180 degrees, the last facing the first
    nx.width = 24;
    nx.height = 16;
    nx.keys = {2, 1, 1};
    for (int k = 0; k < 19; ++k) {
        if (k == 9)
            nx.keys.insert(nx.keys.end(), {3, 2, 1});
        nx.keys.push_back(0);
    }
    int projection = 0;
    for (int key : nx.keys)
        nx.angles.push_back(key == 0 ? 10.0 * projection++ : 0.0);
    QTest::newRow("NXtomo, flats and darks between, ending at the end angle")
        << nx << false << 19 << 18 << u"from scan.nxs: mean of 3 flats"_s
        << u"from scan.nxs: mean of 2 darks"_s;
    QTest::newRow("the I0 file chosen is kept")
        << nx << true << 19 << 18 << u"i0scan.img"_s << u"from scan.nxs: mean of 2 darks"_s;
    ScanFileRecipe dx;
    dx.layout = ScanFileRecipe::Layout::DataExchange;
    dx.width = 24;
    dx.height = 16;
    dx.projections = 12; // 30 degrees apart over 360
    for (int k = 0; k < 12; ++k)
        dx.angles.push_back(30.0 * k);
    QTest::newRow("Data Exchange without flats or darks")
        << dx << false << 12 << 12 << QString() << QString();
    ScanFileRecipe uneven = nx;
    uneven.angles[10] += 3.0;
    QTest::newRow("uneven angles refuse the scan") << uneven << false << 0 << 0 << QString() << QString();
}

void TestBodyLoading::scanFileLoadsItsFrames()
{
    QFETCH(ScanFileRecipe, recipe);
    QFETCH(bool, chooseI0);
    QFETCH(int, images);
    QFETCH(int, dataSetImages);
    QFETCH(QString, i0);
    QFETCH(QString, bg);
    Body body;
    // The flats of an earlier scan are that scan's: a scan without flats lets go of them.
    ScanFileRecipe earlier = recipe;
    earlier.layout = ScanFileRecipe::Layout::DataExchange;
    earlier.projections = 2;
    earlier.flats = earlier.darks = 1;
    earlier.angles = {0.0, 90.0};
    QVERIFY(writeScanFile(dir_.filePath(u"earlier.h5"_s), earlier));
    QVERIFY(loadFiles(body, {dir_.filePath(u"earlier.h5"_s)}));
    QVERIFY(body.ui().I0ImgSel->holdsComputed());
    if (chooseI0)
        body.ui().I0ImgSel->selectFile(image(u"i0scan.img"_s, recipe.width, recipe.height, 30000));

    const QString file = dir_.filePath(u"scan.nxs"_s);
    QVERIFY(writeScanFile(file, recipe));
    DebugLog log;
    QVERIFY(loadFiles(body, {file}));
    const QStringList said = log.messages();
    if (images == 0) { // refused: the earlier scan's two projections stay
        QCOMPARE(body.imageSet()->count(), 2);
        QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"2 (1 not loaded)"_s);
        QCOMPARE(said.filter(u"are not evenly spaced: from projection 6 (60°) to 7 (73°)"_s).size(), 1);
        return;
    }
    QCOMPARE(body.imageSet()->count(), images);
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), QString::number(images));
    QCOMPARE(body.ui().CTFiles->files(), QStringList(images, file));
    QCOMPARE(body.ui().procCtrl->dataSetImages(), dataSetImages);
    QCOMPARE(body.ui().procCtrl->dataSetRangeDeg(),
        recipe.layout == ScanFileRecipe::Layout::NXtomo ? 180.0 : 360.0);
    // Projection k is the k-th frame of key 0, in order, with its own pixels.
    std::vector<double> row(size_t(recipe.width));
    for (int k : {0, 9, images - 1}) {
        body.imageSet()->image(k)->getRow(5, row.data());
        QCOMPARE(row[7], scanPattern(0, k, 7, 5));
    }
    for (auto [selector, text, kind] :
        {std::tuple {body.ui().I0ImgSel, i0, 1}, std::tuple {body.ui().BGImgSel, bg, 2}}) {
        QVERIFY2(selector->filePath().endsWith(text), qPrintable(selector->filePath()));
        QCOMPARE(bool(selector->img()), !text.isEmpty());
        if (selector->holdsComputed()) { // the mean of the frames of that kind
            const int frames = int(std::count(recipe.keys.cbegin(), recipe.keys.cend(), kind));
            double mean = 0.0;
            for (int f = 0; f < frames; ++f)
                mean += scanPattern(kind, f, 7, 5) / frames;
            selector->img()->getRow(5, row.data());
            QCOMPARE(row[7], mean);
        }
    }
    QVERIFY(body.imageSet()->projectionSet().i0 || i0.isEmpty());

    // A setup file names the scan file and records, inert, where I0 and BG came from.
    const QString setup = dir_.filePath(u"scan.cfg"_s);
    QVERIFY(body.saveSetup(setup));
    const QString text = readText(setup);
    QVERIFY2(
        text.contains(u"#images_load             "_s + dir_.path() + u" scan.nxs\n"_s), qPrintable(text));
    if (!i0.isEmpty() && !chooseI0)
        QVERIFY2(text.contains(u"#i0_load                 \"from scan.nxs: mean of 3 flats\"\n"_s),
            qPrintable(text));
}

void TestBodyLoading::newSeriesSetsTheSize_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QSize>("files"); // the size of the two files loaded
    QTest::addColumn<int>("count");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("said"); // a pattern of the log
    // The set before: 3 images of 20 x 16, with an I0 of that size.
    const QSize before(20, 16), other(32, 24);
    QTest::newRow("a new series of another size")
        << u"new"_s << other << 2 << other << u"^2 images of 32 x 24 loaded"_s;
    QTest::newRow("cleared, then another size")
        << u"clear"_s << other << 2 << other << u"^Raw images cleared: the next load sets the image size"_s;
    QTest::newRow("a new series of which nothing can be used")
        << u"refused"_s << other << 3 << before
        << u"^Loading failed: 2 of 2 files could not be used, 0 images are loaded; the 3 images loaded "
           "before stay"_s;
    QTest::newRow("an empty selection")
        << u"empty"_s << other << 3 << before
        << u"^Loading: no file was selected; nothing is loaded; the 3 images loaded before stay$"_s;
    QTest::newRow("added files of another size")
        << u"add"_s << other << 3 << before
        << u"^Mismatch image size: \\(20, 16\\) != \\(32, 24\\) : .*y0.img$"_s;
    QTest::newRow("added files") << u"add"_s << before << 5 << before << u"^5 images of 20 x 16 loaded"_s;
    // "Multi": the first file, as many times as asked, as a new series.
    QTest::newRow("multi") << u"multi"_s << before << 7 << before << u"^7 images of 20 x 16 loaded"_s;
}

void TestBodyLoading::newSeriesSetsTheSize()
{
    QFETCH(QString, how);
    QFETCH(QSize, files);
    QFETCH(int, count);
    QFETCH(QSize, size);
    QFETCH(QString, said);
    Body body;
    const QStringList before {
        image(u"z0.img"_s, 20, 16), image(u"z1.img"_s, 20, 16), image(u"z2.img"_s, 20, 16)};
    QVERIFY(loadFiles(body, before));
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"3"_s);
    body.ui().I0ImgSel->selectFile(image(u"zi0.img"_s, 20, 16, 2000));
    body.ui().seekCtrl->setValue(2);
    const QImage picture = body.rawDisp()->image();
    const QStringList other {
        image(u"y0.img"_s, files.width(), files.height()), image(u"y1.img"_s, files.width(), files.height())};
    DebugLog log;
    if (how == u"clear"_s) {
        body.ui().CTFiles->ui().Clear->click();
        QCOMPARE(body.imageSet()->count(), 0);
        QCOMPARE(body.imageSet()->width(), 0);
        QVERIFY(body.rawDisp()->image().isNull());
        QCOMPARE(body.ui().procCtrl->dataSetImages(), 0);
    }
    if (how == u"refused"_s) {
        const QString text = dir_.filePath(u"notes.img"_s);
        QVERIFY(writeText(text, "no image\n"));
        QVERIFY(loadFiles(body, {text, text}));
    } else {
        body.ui().CTFiles->ui().AddFiles->setChecked(how == u"add"_s);
        body.ui().CTFiles->ui().LoadMultiTimes->setChecked(how == u"multi"_s);
        body.ui().CTFiles->ui().MultiTimes->setText(u"7"_s);
        QVERIFY(loadFiles(body, how == u"empty"_s ? QStringList() : other));
    }
    QCOMPARE(log.count(u" images of 0 x 0 loaded"_s), 0);
    QVERIFY2(log.count(said) == 1, qPrintable(log.messages().join(u'\n')));
    QCOMPARE(body.imageSet()->count(), count);
    QCOMPARE(QSize(body.imageSet()->width(), body.imageSet()->height()), size);
    QCOMPARE(body.rawDisp()->image().size(), size);
    QCOMPARE(body.ui().procCtrl->dataSetImages(), count);
    QCOMPARE(body.ui().CTFiles->count(), count);
    QCOMPARE(body.ui().seekCtrl->maximum(), count - 1);
    if (how == u"multi"_s)
        QCOMPARE(body.ui().CTFiles->files(), QStringList(7, other.first()));
    // The I0 image of 20 x 16 is usable only with raw images of its size; it says so until replaced.
    const bool fits = size == QSize(20, 16);
    QCOMPARE(body.ui().I0ImgSel->filePathEdit()->styleSheet(),
        fits ? SelectAFile::goodStyle() : SelectAFile::badStyle());
    QCOMPARE(bool(body.imageSet()->projectionSet().i0), fits);
    if (how == u"refused"_s || how == u"empty"_s) { // all as it was: the files listed, the projection shown
        QCOMPARE(body.ui().CTFiles->files(), before);
        QCOMPARE(body.ui().seekCtrl->value(), 2);
        QCOMPARE(body.rawDisp()->image(), picture);
        QVERIFY(!body.sinogram()->ui().DispSinogram->image().isNull());
    }
    if (!fits) {
        body.ui().I0ImgSel->selectFile(image(u"yi0.img"_s, 32, 24, 2000));
        QCOMPARE(body.ui().I0ImgSel->filePathEdit()->styleSheet(), SelectAFile::goodStyle());
        QVERIFY(body.imageSet()->projectionSet().i0);
    }
}

void TestBodyLoading::calcSaysWhatTheCorrectionLacks_data()
{
    QTest::addColumn<QSize>("i0"); // empty: none chosen
    QTest::addColumn<QSize>("bg");
    QTest::addColumn<QString>("said"); // the run's warning; empty: none
    const QSize fits(20, 16);
    QTest::newRow("both") << fits << fits << QString();
    QTest::newRow("neither")
        << QSize() << QSize()
        << u"^No I0 and no BG image is selected: the slices are -ln of the raw counts$"_s;
    QTest::newRow("no I0") << QSize() << fits
                           << u"^No I0 image is selected: the slices are not corrected for it$"_s;
    QTest::newRow("no BG") << fits << QSize()
                           << u"^No BG image is selected: the slices are not corrected for it$"_s;
    QTest::newRow("I0 of another size") << QSize(16, 20) << fits << u"^I0 image not used for this run"_s;
}

void TestBodyLoading::calcSaysWhatTheCorrectionLacks()
{
    QFETCH(QSize, i0);
    QFETCH(QSize, bg);
    QFETCH(QString, said);
    Body body(nullptr, 1);
    QVERIFY(loadFiles(body, {image(u"c0.img"_s, 20, 16, 900), image(u"c1.img"_s, 20, 16, 900)}));
    DebugLog log;
    if (i0.isValid())
        body.ui().I0ImgSel->selectFile(image(u"ci0.img"_s, i0.width(), i0.height(), 1000));
    if (bg.isValid())
        body.ui().BGImgSel->selectFile(image(u"cbg.img"_s, bg.width(), bg.height(), 10));
    // An I0 of another size is refused at once, and said so.
    const bool i0Fits = i0 == QSize(20, 16);
    QCOMPARE(bool(body.imageSet()->projectionSet().i0), i0Fits);
    if (i0.isValid())
        QCOMPARE(body.ui().I0ImgSel->filePathEdit()->styleSheet(),
            i0Fits ? SelectAFile::goodStyle() : SelectAFile::badStyle());
    QCOMPARE(log.count(u"^Image size \\(16, 20\\) differs from the raw images \\(20, 16\\)"_s) > 0,
        i0 == QSize(16, 20));
    log.clear();
    QSignalSpy finished(&body, &Body::calcFinished);
    body.toggleCalcCt();
    QVERIFY(finished.wait(10000));
    const QString problems = u"^(No I0|No BG|I0 image not|BG image not)"_s;
    QVERIFY2(log.count(problems) == (said.isEmpty() ? 0 : 1), qPrintable(log.messages().join(u'\n')));
    if (!said.isEmpty())
        QCOMPARE(log.count(said), 1);
}

QString TestBodyLoading::shortDataFile(const QString &dir)
{
    for (const QString &f : filesUnder(dir)) {
        if (f.endsWith(u".dat"_s) && readBytes(QDir(dir).filePath(f)).count('\n') != 6 + 63 * 63)
            return f;
    }
    return {};
}

std::unique_ptr<Body> TestBodyLoading::preparedBody(
    const QString &projections, const QString &out, bool scans, QString i0Dir)
{
    auto body = std::make_unique<Body>(nullptr, 2);
    Ui_Body &ui = body->ui();
    ui.procCtrl->setRotAxV(true);
    if (scans) {
        ui.SelDDir->ui().Pattern->setText(u"*.nxs"_s);
        ui.SelDDir->selectDir(projections);
    } else {
        ui.SelDDir->selectDir(projections);
        ui.SelI0Files->selectDirFiles(i0Dir.isEmpty() ? i0Dir_ : i0Dir, {u"*.img"_s});
        ui.BGImgSel->selectFile(bg_);
    }
    // The operator looks at a set first: its geometry is kept for the others ("keep Conds.").
    QSignalSpy loaded(body.get(), &Body::seqSetLoaded);
    if (!body->seqExecSet() || !loaded.wait(10000))
        return nullptr;
    ui.procCtrl->setCor(33);
    setSlices(ui.procCtrl, 4, 10, 3);
    saveInto(*body, out, {}, true, u"w"_s);
    ui.SaveInSubFolders->setChecked(true);
    ui.SubOfEnergy->setChecked(true);
    ui.SubOfSlice->setChecked(false);
    return body;
}

bool TestBodyLoading::runSequence(
    Body &body, QStringList &stages, const std::function<void(const QString &)> &onStage)
{
    stages.clear();
    const auto c
        = QObject::connect(body.ui().ProgressMsg, &QLineEdit::textChanged, &body, [&](const QString &t) {
              stages << t;
              if (onStage)
                  onStage(t);
          });
    body.ui().SeqCalc->click();
    // Then the window has taken the end of the run.
    const bool ended = QTest::qWaitFor([&] { return stages.contains(u"Finished"_s); }, 60000)
        && QTest::qWaitFor([&] { return !body.isSeqCalcRunning(); }, 5000);
    QObject::disconnect(c);
    return ended;
}

void TestBodyLoading::sequenceWritesEachEnergyLikeTheCommand()
{
    QTemporaryDir fromWindow, fromCommand;
    QStringList stages;
    {
        std::unique_ptr<Body> body = preparedBody(projections_, fromWindow.path());
        QVERIFY(body);
        QCOMPARE(body->ui().SeqCalcFrom->value(), 1);
        QCOMPARE(body->ui().SeqCalcTo->value(), 3);
        QCOMPARE(body->i0Energies(), QList<double>({7090.0, 7115.0, 7140.0}));
        QString seqStyleWhileRunning;
        QVERIFY(runSequence(*body, stages, [&](const QString &t) {
            if (t == u"Calculating"_s)
                seqStyleWhileRunning = body->ui().SeqCalc->styleSheet();
        }));
        QCOMPARE(seqStyleWhileRunning, u"background-color: rgb(255, 255, 128);"_s);
        QCOMPARE(body->ui().SeqCalc->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
        // The last set's I0 and tag are in place.
        QCOMPARE(body->ui().I0ImgSel->filePath(), QDir(i0Dir_).absoluteFilePath(u"I0-7140eV-0001.img"_s));
        QCOMPARE(body->ui().SelectDataSaveDir->tag(), u"7140eV"_s);
        QCOMPARE(body->ui().SelectImageSaveDir->tag(), u"7140eV"_s);
        bool ok = false;
        body->ui().DeltaET->text().toDouble(&ok);
        QVERIFY(ok);
        QVERIFY(body->ui().TotalET->text().toInt(&ok) >= 0 && ok);
    } // closing the window writes everything handed to the saver
    QCOMPARE(stages,
        QStringList({u"Data Loading"_s, u"Loading first Data Set"_s, u"Calculating"_s, u"Finished Calc."_s,
            u"Loading next Data Set"_s, u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s,
            u"Calculating"_s, u"Finished Calc."_s, u"Loading next Data Set"_s, u"Finished"_s}));

    QStringList expected;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s})
        for (const QString &s : {u"00004"_s, u"00007"_s, u"00010"_s})
            for (const QString &ext : {u"dat"_s, u"png"_s})
                expected << u"%1/w-%1-%2.%3"_s.arg(e, s, ext);
    expected.sort();
    QCOMPARE(filesUnder(fromWindow.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    // The manifest says what each set was made from and what came of it.
    const std::vector<ManifestEntry> manifest = readManifest(fromWindow.filePath(u"series-manifest.tsv"_s));
    QCOMPARE(manifest.size(), size_t(3));
    for (int k = 0; k < 3; ++k) {
        const ManifestEntry &e = manifest[size_t(k)];
        const QString field = QStringList {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s}[k];
        QCOMPARE(e.set, k + 1);
        QCOMPARE(e.tag, field);
        QCOMPARE(e.i0, QDir(i0Dir_).absoluteFilePath(u"I0-%1-0001.img"_s.arg(field)));
        QCOMPARE(e.i0Energy.value_or(0), e.energy);
        QCOMPARE(e.images, 60);
        QCOMPARE(e.slices, u"4:10:3"_s);
        QCOMPARE(e.files, 6);
        QCOMPARE(e.outcome, u"done"_s);
    }

    // The same series without a window: the same bytes.
    QCOMPARE(
        runRecon({u"--series"_s, projections_, u"--i0-files"_s, i0Dir_, u"--bg"_s, bg_, u"--axis"_s, u"v"_s,
            u"--cor"_s, u"33"_s, u"--slices"_s, u"4:10:3"_s, u"--region"_s, u"0,0,63,63"_s, u"--name"_s,
            u"w"_s, u"--sub-folders"_s, u"energy"_s, u"--out"_s, fromCommand.path(), u"--block"_s, u"2"_s}),
        0);
    QCOMPARE(filesUnder(fromCommand.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    QCOMPARE(firstDifferentFile(fromWindow.path(), fromCommand.path(), expected), QString());
    // Each energy was corrected with its own I0: the sets differ beyond the edge.
    const QByteArray below = readBytes(fromWindow.filePath(u"7090eV/w-7090eV-00007.dat"_s));
    QVERIFY(!below.isEmpty() && below != readBytes(fromWindow.filePath(u"7140eV/w-7140eV-00007.dat"_s)));

    // One scan file per energy, each with that energy's I0 as its flats: the window takes each set's
    // flats and darks in turn and writes the files of the image series with its I0 files.
    QTemporaryDir scans, fromScans;
    for (const SeriesSet &set : scanSeries(projections_, SeriesLayout::OrmelStd, u"*.img"_s))
        QVERIFY(writeScanOfImages(scans.filePath(u"demo-%1-0001.nxs"_s.arg(set.tag)), set.files,
            QDir(i0Dir_).filePath(u"I0-%1-0001.img"_s.arg(set.tag)), bg_, 3.0));
    {
        std::unique_ptr<Body> body = preparedBody(scans.path(), fromScans.path(), true);
        QVERIFY(body);
        QCOMPARE(body->ui().SeqCalcTo->value(), 3);
        QVERIFY(runSequence(*body, stages));
        QCOMPARE(stages.count(u"Calculating"_s), 3);
        QCOMPARE(body->ui().I0ImgSel->filePath(), u"from demo-7140eV-0001.nxs: mean of 2 flats"_s);
        QCOMPARE(body->ui().procCtrl->dataSetImages(), 60);
    }
    // The slices' files; the manifest names other inputs.
    QCOMPARE(filesUnder(fromScans.path()), QStringList(expected) << u"series-manifest.tsv"_s);
    QCOMPARE(firstDifferentFile(fromWindow.path(), fromScans.path(), expected), QString());
}

void TestBodyLoading::stopping_data()
{
    QTest::addColumn<QString>("stopAt"); // empty: the window is closed as the first slice is handed out
    QTest::addColumn<QStringList>("energies"); // written
    QTest::newRow("during loading") << u"Loading first Data Set"_s << QStringList {};
    QTest::newRow("during calculation") << u"Calculating"_s << QStringList {u"7090eV"_s};
    QTest::newRow("closed during calculation") << QString() << QStringList {};
}

void TestBodyLoading::stopping()
{
    QFETCH(QString, stopAt);
    QFETCH(QStringList, energies);
    QTemporaryDir out;
    {
        std::unique_ptr<Body> body = preparedBody(projections_, out.path());
        QVERIFY(body);
        QSignalSpy loads(body.get(), &Body::finishedLoadingCTFiles);
        QSignalSpy runs(body.get(), &Body::calcFinished);
        QSignalSpy dispatched(body.get(), &Body::startCt);
        bool stopped = false;
        QStringList stages;
        if (stopAt.isEmpty()) {
            body->ui().SeqCalc->click();
            QVERIFY(dispatched.wait(20000)); // a poll for the run could miss one quicker than the poll
            QVERIFY(body->isCalculating());
        } else {
            QVERIFY(runSequence(*body, stages, [&](const QString &t) {
                if (t == stopAt && !stopped) {
                    stopped = true;
                    body->ui().SeqCalc->click(); // the second click ends the run
                }
            }));
            QCOMPARE(body->ui().SeqCalc->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
            // The load or calculation under way completes; nothing follows it.
            QTRY_COMPARE_WITH_TIMEOUT(loads.size(), 1, 10000);
            if (!energies.isEmpty())
                QTRY_COMPARE_WITH_TIMEOUT(runs.size(), 1, 30000);
            QTest::qWait(300); // would a next step come, it would come now
            QCOMPARE(loads.size(), 1);
            QCOMPARE(runs.size(), energies.size());
            QVERIFY(!body->isCalculating());
            QVERIFY(!body->isLoading());
            QCOMPARE(stages.count(u"Finished"_s), 1);
            QVERIFY(!stages.contains(u"Loading next Data Set"_s));
        }
    } // a window closed during a calculation goes without a crash or a hang
    // Every file is whole: no temporary file is left, every data file has all its lines.
    QStringList files = filesUnder(out.path());
    files.removeAll(u"series-manifest.tsv"_s);
    for (const QString &f : std::as_const(files))
        QVERIFY2(f.endsWith(u".dat"_s) || f.endsWith(u".png"_s), qPrintable(f));
    QCOMPARE(shortDataFile(out.path()), QString());
    if (stopAt.isEmpty()) // the slices handed out are saved, however many they were
        return;
    QCOMPARE(QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), energies);
    QCOMPARE(files.size(), energies.size() * 6);
    // The set whose run was stopped is recorded as such.
    const std::vector<ManifestEntry> manifest = readManifest(out.filePath(u"series-manifest.tsv"_s));
    QCOMPARE(manifest.size(), size_t(energies.size()));
    if (!manifest.empty())
        QCOMPARE(manifest[0].outcome, u"done"_s); // stopped after its calculation, which completed
}

void TestBodyLoading::setsTakenAndWhereTheRunEnds_data()
{
    QTest::addColumn<QString>("fault"); // or the sets chosen
    QTest::addColumn<QString>("message"); // the last stage before "Finished"
    QTest::addColumn<QStringList>("energies"); // reconstructed
    const QStringList first {u"7090eV"_s};
    QTest::newRow("from 2 to 2, kept on a new scan")
        << u"2:2"_s << u"Loading next Data Set"_s << QStringList {u"7115eV"_s};
    // No set in the range: the run ends where the first set would have been loaded.
    QTest::newRow("from beyond the list: nothing")
        << u"7:9"_s << u"Loading first Data Set"_s << QStringList {};
    QTest::newRow("no image of the set loads")
        << u"all"_s << u"Data set 2 (demo 7115eV) loaded no image"_s << first;
    QTest::newRow("one image of another size")
        << u"one"_s << u"Data set 2 (demo 7115eV) loaded 59 of 60 images"_s << first;
    // The window would load "59 of 59" and reconstruct them over the wrong angles.
    QTest::newRow("one image missing")
        << u"missing"_s
        << u"Data set 2 (demo 7115eV) is not loaded: 59 images where the series has 60, number 31 missing"_s
        << first;
    // The set would be corrected with the I0 of the set before.
    QTest::newRow("its I0 cannot be read")
        << u"I0"_s
        << u"Data set 2 (demo 7115eV) is not loaded: its I0 image I0DIR/I0-7115eV-0001.img cannot be read"_s
        << first;
    // zz-7140eV-* beside demo-7140eV-*: both would write 7140eV files. Nothing starts.
    QTest::newRow("two sets share a tag") << u"tag"_s
                                          << u"Seq. Calc. refused: the files of sets that share a tag would "
                                             u"overwrite each other (sets 3 (demo), 4 "
                                             "(zz) share the tag 7140eV)"_s
                                          << QStringList {};
}

void TestBodyLoading::setsTakenAndWhereTheRunEnds()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QStringList, energies);
    QTemporaryDir series, i0, out;
    const QDir from(projections_);
    QVERIFY(copyFolder(projections_, series.path()) && copyFolder(i0Dir_, i0.path()));
    const std::vector<uint32_t> small(8 * 8, 1000);
    for (const QString &name : from.entryList({u"demo-7115eV-*"_s}, QDir::Files)) {
        if (fault == u"all"_s)
            QVERIFY(writeText(series.filePath(name), "broken"));
        else if (name.endsWith(u"-0031.img"_s) && fault == u"one"_s)
            QVERIFY(writeItexFile(series.filePath(name), {8, 8, 2, 1.0, small}));
        else if (name.endsWith(u"-0031.img"_s) && fault == u"missing"_s)
            QVERIFY(QFile::remove(series.filePath(name)));
    }
    if (fault == u"I0"_s) {
        QFile f(i0.filePath(u"I0-7115eV-0001.img"_s));
        QVERIFY(f.resize(f.size() / 2));
        message.replace(u"I0DIR"_s, i0.path());
    } else if (fault == u"tag"_s) {
        for (const QString &name : from.entryList({u"demo-7140eV-*"_s}, QDir::Files))
            QVERIFY(QFile::copy(from.filePath(name), series.filePath(u"zz"_s + name.mid(4))));
    }
    {
        std::unique_ptr<Body> body = preparedBody(series.path(), out.path(), false, i0.path());
        QVERIFY(body);
        Ui_Body &ui = body->ui();
        QCOMPARE(ui.SeqCalcTo->value(), fault == u"tag"_s ? 4 : 3);
        if (fault == u"2:2"_s) {
            ui.SeqCalcFrom->setValue(2);
            ui.SeqCalcTo->setValue(2);
            ui.keepOnNewSet->setChecked(true);
            ui.SelDDir->selectDir(series.path()); // the sets written show what was kept
        } else if (fault == u"7:9"_s) { // without "Keep on New Sets" a scan takes all sets again
            ui.SeqCalcFrom->setValue(3);
            ui.SelDDir->selectDir(series.path());
            QCOMPARE(ui.SeqCalcFrom->value(), 1);
            QCOMPARE(ui.SeqCalcTo->value(), 3);
            ui.SeqCalcFrom->setValue(7);
            ui.SeqCalcTo->setValue(9);
        }
        QStringList stages;
        QVERIFY(runSequence(*body, stages));
        QCOMPARE(stages.mid(stages.size() - 2), QStringList({message, u"Finished"_s}));
        QCOMPARE(stages.count(u"Calculating"_s), energies.size());
    }
    // The sets chosen are reconstructed and recorded up to a failed one; that and those after it
    // are not.
    QCOMPARE(QDir(out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), energies);
    QStringList recorded;
    for (const ManifestEntry &e : readManifest(out.filePath(u"series-manifest.tsv"_s)))
        recorded << e.tag;
    QCOMPARE(recorded, energies);
}

void TestBodyLoading::tiffSetGoesAsTheItexSet()
{
    // The command writes the same files, the window builds the same sinogram from either format.
    QTemporaryDir out;
    std::vector<double> sinograms[2];
    for (int i = 0; i < 2; ++i) {
        const QString format = i == 0 ? u"img"_s : u"tif"_s;
        const QString dir = scan(format);
        QString text;
        QCOMPARE(runRecon({dir + u"/p"_s, u"*."_s + format, u"--i0"_s, dir + u"/i0."_s + format, u"--bg"_s,
                              dir + u"/bg."_s + format, u"--axis"_s, u"v"_s, u"--cor"_s, u"guess"_s,
                              u"--slices"_s, u"0:7:7"_s, u"--out"_s, out.filePath(format)},
                     &text),
            0);
        QVERIFY2(text.contains(u"progress: 2/2 slices"_s), qPrintable(text));

        Body body;
        body.ui().procCtrl->setRotAxV(true);
        body.ui().I0ImgSel->selectFile(dir + u"/i0."_s + format);
        body.ui().BGImgSel->selectFile(dir + u"/bg."_s + format);
        QVERIFY(loadDir(body, dir + u"/p"_s, {u"*."_s + format}));
        QCOMPARE(body.imageSet()->count(), 60);
        const ProjectionSet set = body.imageSet()->projectionSet();
        QVERIFY(set.i0 && set.bg); // the I0 and BG files are taken
        QVERIFY(body.sinogram()->data().hasData());
        QCOMPARE(body.sinogram()->data().height, 60);
        sinograms[i] = body.sinogram()->data().att;
    }
    QCOMPARE(sinograms[1], sinograms[0]);
    const QStringList files = filesUnder(out.filePath(u"img"_s));
    QCOMPARE(files.size(), 4);
    QCOMPARE(filesUnder(out.filePath(u"tif"_s)), files);
    QCOMPARE(firstDifferentFile(out.filePath(u"img"_s), out.filePath(u"tif"_s), files), QString());
}

QTEST_MAIN(TestBodyLoading)
#include "tst_bodyloading.moc"
