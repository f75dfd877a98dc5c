// Qt
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/hdf5probe.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectaimgfile.h"
#include "imagedata/ui/selectdatafiles.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tests/common/debuglog.h"
#include "tools/scanfile/scanfilewriter.h"
#include "widgets/imgdisp.h"
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// `projections` frames of 24 × 16 after a flat and a dark, 180° / `projections` apart from `first`
// (none recorded when `first` is NaN).
ScanFileRecipe scanFrom(double first, int projections = 18)
{
    ScanFileRecipe r;
    r.width = 24;
    r.height = 16;
    r.keys = {1, 2};
    r.keys.insert(r.keys.end(), size_t(projections), 0);
    // A flat well above the dark, and projections between them.
    r.fill = [](int kind, int index, int y, double *row) {
        for (int x = 0; x < 24; ++x)
            row[x] = kind == 1 ? 4000.0 : kind == 2 ? 100.0 : 1000.0 + 50.0 * ((x + y + index) % 20);
    };
    if (!std::isnan(first)) {
        r.angles.assign(r.keys.size(), 0.0);
        for (int k = 0; k < projections; ++k)
            r.angles[size_t(k) + 2] = first + 180.0 / projections * k;
    }
    return r;
}

} // namespace

/// Scan files in the window: a damaged one leaves everything as it was, and a scan's first recorded
/// angle becomes the angle origin.
class TestBodyScan : public QObject
{
    Q_OBJECT
private slots:
    void damagedFileLeavesTheWindowAsItWas();
    void angleOriginFromTheScan_data();
    void angleOriginFromTheScan();
    void newSetAfterTheDemo_data();
    void newSetAfterTheDemo();
    void sinogramOfTheWholeSetAfterOneImage();
    void scanFileChosenAsI0OrBg_data();
    void scanFileChosenAsI0OrBg();

private:
    QTemporaryDir dir_;
};

void TestBodyScan::damagedFileLeavesTheWindowAsItWas()
{
    const QString good = dir_.filePath(u"good.nxs"_s);
    QVERIFY(writeScanFile(good, scanFrom(0.0)));
    QFile input(QStringLiteral(QUORVEL_FUZZ_CORPUS "/hdf5probe/library-segv-damaged-local-heap"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QString damaged = dir_.filePath(u"damaged.h5"_s);
    QVERIFY(writeText(damaged, input.readAll().mid(1)));

    Body body(nullptr, 1);
    QVERIFY(loadFiles(body, {good}));
    QCOMPARE(body.imageSet()->count(), 18);
    DebugLog log;
    QVERIFY(loadFiles(body, {damaged}));
    // Refused with the reason; the scan loaded before stays, with its I0 and BG.
    QCOMPARE(
        log.count(u"^Scan file refused \\("_s + QRegularExpression::escape(scanprobe::damagedText())), 1);
    QCOMPARE(body.imageSet()->count(), 18);
    QCOMPARE(body.ui().CTFiles->files(), QStringList(18, good));
    QCOMPARE(body.ui().CTFiles->ui().Count->text(), u"18 (1 not loaded)"_s);
    QVERIFY(body.ui().I0ImgSel->holdsComputed() && body.ui().BGImgSel->holdsComputed());
    // And it still works: a run of one slice writes its file.
    setSlices(body.ui().procCtrl, 8, 8);
    saveInto(body, dir_.path(), u"t"_s);
    QVERIFY(calcAndWait(body));
    QVERIFY(QFile::exists(dir_.filePath(u"t-00008.dat"_s)));
}

void TestBodyScan::angleOriginFromTheScan_data()
{
    QTest::addColumn<double>("first"); // NaN: no angles recorded
    QTest::addColumn<bool>("typed"); // 5 typed into the field while the frames load
    QTest::addColumn<double>("origin");
    QTest::newRow("the first recorded angle") << 90.0 << false << 90.0;
    QTest::newRow("typed while the scan loads") << 90.0 << true << 5.0;
    QTest::newRow("no angles recorded: as it was") << qQNaN() << false << 12.0;
}

void TestBodyScan::angleOriginFromTheScan()
{
    QFETCH(double, first);
    QFETCH(bool, typed);
    QFETCH(double, origin);
    const QString file = dir_.filePath(u"origin.nxs"_s);
    QVERIFY(writeScanFile(file, scanFrom(first, 200)));
    Body body(nullptr, 1);
    ProcCtrl *p = body.ui().procCtrl;
    p->setAngleOriginDeg(12.0);
    QSignalSpy done(&body, &Body::finishedLoadingCTFiles);
    body.ui().CTFiles->filesChosen({file});
    if (typed) { // once the first frames are in, before the last
        while (body.imageSet()->count() < 2)
            QCoreApplication::processEvents();
        QVERIFY(done.isEmpty());
        p->ui().AngleOriginDeg->setText(u"5"_s);
    }
    QVERIFY(done.wait(10000));
    QCOMPARE(body.imageSet()->count(), 200);
    QCOMPARE(p->angleOriginDeg(), origin);
}

void TestBodyScan::newSetAfterTheDemo_data()
{
    QTest::addColumn<bool>("tooth"); // the tooth scan (and its guess), else a phantom of 320 x 2
    QTest::addColumn<bool>("typed"); // a centre and a region typed for the demo, which fit the next set
    QTest::newRow("the tooth scan, the demo's defaults") << true << false;
    QTest::newRow("the tooth scan, typed centre and region") << true << true;
    QTest::newRow("a phantom, typed centre and region") << false << true;
}

void TestBodyScan::newSetAfterTheDemo()
{
    QFETCH(bool, tooth);
    QFETCH(bool, typed);
    const QString toothFile = qEnvironmentVariable("QV_TOOTH_SCAN", QStringLiteral(QV_TOOTH_SCAN));
    if (tooth && !QFileInfo::exists(toothFile))
        QSKIP("the tooth scan is not there (QV_TOOTH_SCAN names it)");
    // The demo's set: 256 x 256 about 130.
    const QString demo = dir_.filePath(u"demo"_s);
    ScanSetup setup;
    setup.height = 210;
    setup.projections = 24;
    QVERIFY(
        writeScan(demoPhantom(256), setup, demo + u"/p"_s, u"p"_s, demo + u"/i0.img"_s, demo + u"/bg.img"_s));
    std::unique_ptr<Body> body = loadedWindow({demo + u"/p"_s}, 1);
    QVERIFY(body);
    QVERIFY(body->ui().CTFiles->keepConditions());
    ProcCtrl *p = body->ui().procCtrl;
    setSlices(p, 60, 200, 10);
    p->setSliceNo(200);
    if (typed) {
        p->setCor(99.0);
        body->ctCalc()->setCR(10, 20, 110, 120);
    } else {
        // The demo's road: its centre guessed (a centre chosen, which fits the next set too), a slice
        // made with CT1 and shown.
        QVERIFY(body->sinogram()->guessCor());
        body->ui().SelectCt1->click();
        QVERIFY(calcAndWait(*body));
        setSlices(p, 60, 200, 10);
    }
    const double demoCor = p->cor();
    // The demo's own I0 and BG chosen: they do not fit the next set's frames.
    body->ui().I0ImgSel->selectFile(demo + u"/i0.img"_s);
    body->ui().BGImgSel->selectFile(demo + u"/bg.img"_s);
    QVERIFY(body->ui().I0ImgSel->img() && body->ui().BGImgSel->img());
    QString next;
    double axis = 0.0;
    if (tooth) {
        next = toothFile;
        axis = 295.75;
    } else {
        next = dir_.filePath(u"next"_s);
        ScanSetup line;
        line.width = 320;
        line.height = 2;
        line.cor = axis = 170.3;
        line.projections = 90;
        QVERIFY(writeScan(
            demoPhantom(320), line, next + u"/p"_s, u"p"_s, next + u"/i0.img"_s, next + u"/bg.img"_s));
    }
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    DebugLog log;
    if (tooth)
        body->ui().CTFiles->filesChosen({next});
    else
        body->ui().CTFiles->selectDirFiles(next + u"/p"_s, {});
    QVERIFY(loaded.wait(20000));
    const int across = tooth ? 640 : 320;
    // A scan file's flats and darks take the place of images that do not fit its frames.
    QCOMPARE(body->ui().I0ImgSel->holdsComputed(), tooth);
    QCOMPARE(body->ui().BGImgSel->holdsComputed(), tooth);
    if (tooth)
        QCOMPARE(body->ui().I0ImgSel->filePath(), u"from tooth.h5: mean of 10 flats"_s);
    // What does not fit the two lines is reset to the new set's defaults, and said.
    QCOMPARE(p->sliceNo(), 1);
    QCOMPARE(p->sliceFrom(), 0);
    QCOMPARE(p->sliceTo(), 1);
    const QString said = log.messages().join(u'\n');
    QVERIFY2(said.contains(u", slice 200"_s) && said.contains(u"last slice 200"_s)
            && said.contains(u"first slice 60"_s),
        qPrintable(said));
    // A centre and a region chosen for the demo that fit stay; the demo's default region follows the
    // new set.
    const Region cr = body->ctCalc()->calcRegion();
    QCOMPARE(cr.x1, typed ? 110.0 : across - 1.0);
    QCOMPARE(p->cor(), typed ? 99.0 : demoCor);
    // "Clear" lets an I0 or BG image go, whether chosen or the scan's.
    body->ui().BGImgSel->findChild<QPushButton *>(u"ClearImg"_s)->click();
    QVERIFY(!body->ui().BGImgSel->img());
    QVERIFY(body->ui().BGImgSel->filePath().isEmpty());
    // The guess finds the scan's own centre, from wherever the field stood (on the tooth from 99 the
    // mirror search stays at 99; the slice at the Fourier centre is the sharper).
    if (!tooth)
        return;
    QVERIFY(body->sinogram()->guessCor());
    const CorGuesses &g = body->sinogram()->lastGuesses();
    QVERIFY2(p->cor() >= 295.5 && p->cor() <= 296.0,
        qPrintable(u"%1 (mirror %2, Fourier %3; %4)"_s.arg(p->cor())
                       .arg(g.mirror ? g.mirror->cor : -1)
                       .arg(g.fourier ? g.fourier->cor : -1)
                       .arg(body->sinogram()->lastChoice().reason)));
    QCOMPARE(body->sinogram()->ui().TakeFourier->text(), u"Fourier %1"_s.arg(g.fourier->cor, 0, 'f', 2));
    // Each search's centre is a click away.
    const double guessed = p->cor();
    body->sinogram()->ui().TakeMirror->click();
    QCOMPARE(p->cor(), g.mirror->cor);
    if (typed)
        return;
    // The slice at the centre guessed covers the scan's whole width (the CT image is as wide as the
    // lines reach on both sides of the axis): the tooth reaches beyond the demo's 256 columns, and
    // the view shows all of it.
    p->setCor(guessed);
    body->ui().SelectCt1->click();
    QVERIFY(calcAndWait(*body));
    const CtFbp &engine = body->ctCalc()->engine();
    const int n = engine.imageN();
    QVERIFY2(n > 500 && n <= across, qPrintable(QString::number(n)));
    for (const Region &r : {body->ctCalc()->calcRegion(), body->ctCalc()->dispRegion()})
        QVERIFY(r.x0 <= 0.0 && r.z0 <= 0.0 && r.x1 >= n - 1 && r.z1 >= n - 1);
    double beyond = 0.0; // the largest attenuation right of the demo's width, on the middle row
    for (int x = 300; x < n; ++x)
        beyond = std::max(beyond, std::abs(engine.imageRow(n / 2)[x]));
    QVERIFY2(beyond > 0.0, "nothing was calculated beyond the demo's width");
}

void TestBodyScan::sinogramOfTheWholeSetAfterOneImage()
{
    const QString scan = dir_.filePath(u"one-then-all"_s);
    QVERIFY(writeEllipseScan(scan, 8, 40));
    QStringList files;
    for (const QFileInfo &f : QDir(scan + u"/p"_s).entryInfoList({u"*.img"_s}, QDir::Files, QDir::Name))
        files << f.absoluteFilePath();
    QCOMPARE(files.size(), 40);
    Body body(nullptr, 1);
    body.ui().procCtrl->setRotAxV(false); // slices are columns
    QVERIFY(loadFiles(body, {files.first()}));
    QVERIFY(loadFiles(body, files));
    QCOMPARE(body.imageSet()->count(), 40);
    ProcCtrl *p = body.ui().procCtrl;
    QCOMPARE(p->sliceNo(), 32);
    p->setSliceFrom(3);
    p->setSliceTo(60);
    // Slices run down the images now: the slice at the horizontal axis's default takes the vertical
    // one's, the end of the range beyond the 8 rows is reset, the start that fits stays.
    p->setRotAxV(true);
    QCOMPARE(p->sliceNo(), 4);
    QCOMPARE(p->sliceFrom(), 3);
    QCOMPARE(p->sliceTo(), 7);
    // Every projection is a row of the sinogram, as CT1 and the guess take them.
    QCOMPARE(body.sinogram()->data().height, 40);
    const ImgDisp *page = body.sinogram()->ui().DispSinogram->imgDisp();
    QCOMPARE(page->image().size(), QSize(2 * 64, 2 * 40));
    // And the page shows all of them, not the strip the one image's sinogram was.
    QCOMPARE(page->view(), QRectF(0, 0, 2 * 64, 2 * 40));
}

void TestBodyScan::scanFileChosenAsI0OrBg_data()
{
    QTest::addColumn<bool>("i0"); // chosen as I0, else as BG
    QTest::addColumn<int>("frames"); // flats (darks) in the file
    QTest::addColumn<double>("value"); // of the image held then; NaN: none, the choice refused
    QTest::newRow("I0: its flats") << true << 2 << 4000.0;
    QTest::newRow("BG: its darks") << false << 2 << 100.0;
    QTest::newRow("BG of a scan without darks: refused") << false << 0 << qQNaN();
}

void TestBodyScan::scanFileChosenAsI0OrBg()
{
    QFETCH(bool, i0);
    QFETCH(int, frames);
    QFETCH(double, value);
    ScanFileRecipe recipe = scanFrom(qQNaN());
    recipe.keys.erase(recipe.keys.begin(), recipe.keys.begin() + 2); // `frames` of the kind asked for
    recipe.keys.insert(recipe.keys.begin(), size_t(frames), i0 ? 1 : 2);
    recipe.keys.insert(recipe.keys.begin(), i0 ? 2 : 1);
    const QString file = dir_.filePath(u"chosen-%1-%2.nxs"_s.arg(i0).arg(frames));
    QVERIFY(writeScanFile(file, recipe));
    Body body(nullptr, 1);
    SelectAImgFile *selector = i0 ? body.ui().I0ImgSel : body.ui().BGImgSel;
    DebugLog log;
    selector->selectFile(file);
    if (std::isnan(value)) {
        QVERIFY(!selector->img());
        QCOMPARE(log.count(u"^BG: the scan file has no darks"_s), 1);
        return;
    }
    // The file is the operator's choice (a setup names it), its image the mean of those frames.
    QVERIFY2(selector->img() && !selector->holdsComputed(), qPrintable(log.messages().join(u'\n')));
    QCOMPARE(selector->filePath(), file);
    QVERIFY(selector->checkSize(24, 16));
    std::vector<double> row(24);
    for (int y : {0, 15})
        QCOMPARE(selector->img()->getRow(y, row.data())[y + 3], value);
}

QTEST_MAIN(TestBodyScan)
#include "tst_bodyscan.moc"
