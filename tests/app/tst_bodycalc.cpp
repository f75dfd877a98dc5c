// Qt
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "ct/savenaming.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "imagedata/imgdatas.h"
#include "tools/phantom/phantom.h"
#include "widgets/colorbar.h"
#include <memory>
#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace {

struct Dispatch
{
    int worker;
    int slice;
};

} // namespace

class TestBodyCalc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dispatchOrderAndRunEnd_data();
    void dispatchOrderAndRunEnd();
    void stepZeroAndOneThread();
    void columnRunsGoOutInBlocks();
    void stoppingMidRunSavesSlicesInProgress();
    void savedFilesForSubFolderRules_data();
    void savedFilesForSubFolderRules();
    void tiffBesideTheDataFile();
    void regionLargerThanTheImage();
    void regionExchangeEnds();
    void colourScaleIsFixedForAllPanels();
    void ct1MatchesCt2_data();
    void ct1MatchesCt2();
    void loadWaitsForTheWorkers();
    void failedWriteTurnsTheSelectorRed();
    void saverDrainsAtExit();
    void closingDuringARunLosesNothing();

private:
    std::unique_ptr<Body> loadedBody(int workers);
    QList<Dispatch> runAndRecord(Body &body);
    QTemporaryDir data_;
};

void TestBodyCalc::initTestCase()
{
    Phantom phantom;
    phantom.parts.push_back({5, -3, 0, 10, 7, 100, 0.3, 0.02});
    ScanSetup setup;
    setup.width = 64;
    setup.height = 24;
    setup.cor = 32;
    setup.projections = 60;
    setup.noise = 0;
    QVERIFY(writeScan(phantom, setup, data_.filePath(u"p"_s), u"p"_s, data_.filePath(u"i0.img"_s),
        data_.filePath(u"bg.img"_s)));
}

std::unique_ptr<Body> TestBodyCalc::loadedBody(int workers)
{
    auto body = std::make_unique<Body>(nullptr, workers);
    body->ui().procCtrl->setRotAxV(true);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CTFiles->selectDirFiles(data_.filePath(u"p"_s), {});
    if (!loaded.wait(10000))
        return nullptr;
    body->ui().procCtrl->setCor(32);
    body->ui().SelectCt2->setChecked(true);
    return body;
}

QList<Dispatch> TestBodyCalc::runAndRecord(Body &body)
{
    QList<Dispatch> dispatched;
    connect(&body, &Body::startCt, this, [&](CtCalc2 *target, const Ct2Job &job) {
        const auto &w = body.workers();
        dispatched.append({int(std::find(w.begin(), w.end(), target) - w.begin()), job.task.sinogram.slice});
    });
    QSignalSpy finished(&body, &Body::calcFinished);
    body.ui().CalcCT->click();
    if (!finished.wait(30000))
        dispatched.append({-1, -1});
    return dispatched;
}

void TestBodyCalc::dispatchOrderAndRunEnd_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("threads");
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<QList<int>>("workers");
    QTest::newRow("10..20 step 5, 4 threads")
        << 10 << 20 << 5 << 4 << QList<int> {10, 15, 20} << QList<int> {0, 1, 2};
    QTest::newRow("20..10 step 5") << 20 << 10 << 5 << 4 << QList<int> {20, 15, 10} << QList<int> {0, 1, 2};
    QTest::newRow("one thread serialises")
        << 2 << 6 << 2 << 1 << QList<int> {2, 4, 6} << QList<int> {0, 0, 0};
    QTest::newRow("from = to") << 7 << 7 << 3 << 4 << QList<int> {7} << QList<int> {0};
}

void TestBodyCalc::dispatchOrderAndRunEnd()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, threads);
    QFETCH(QList<int>, slices);
    QFETCH(QList<int>, workers);
    auto body = loadedBody(4);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(from);
    p->setSliceTo(to);
    p->setSliceStep(step);
    p->setThreads(threads);
    const QList<Dispatch> d = runAndRecord(*body);
    QCOMPARE(d.size(), slices.size());
    for (qsizetype i = 0; i < d.size(); ++i) {
        QCOMPARE(d[i].slice, slices[i]);
        QCOMPARE(d[i].worker, workers[i]);
    }
    QVERIFY(!body->isCalculating());
    QCOMPARE(body->slicesInProgress(), 0);
    QCOMPARE(body->ui().ProgPerCent->text(), u"100.0 %"_s);
    QCOMPARE(body->ui().CalcCT->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
    QVERIFY(!body->ui().CalcEndT->text().isEmpty());
    QCOMPARE(body->ctDisp()->count(), slices.size()); // "Show Res." is on
}

void TestBodyCalc::stepZeroAndOneThread()
{
    auto body = loadedBody(2);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(3);
    p->setSliceTo(5);
    p->setSliceStep(0);
    p->setThreads(0);
    QCOMPARE(p->threads(), 1);
    const QList<Dispatch> d = runAndRecord(*body);
    QCOMPARE(d.size(), 3); // a step of 0 reads as 1 and does not hang
    QCOMPARE(p->ui().SliceStep->text(), u"1"_s);
}

void TestBodyCalc::columnRunsGoOutInBlocks()
{
    // With the axis horizontal a worker takes consecutive slices whose sinograms it builds in one
    // pass, and every file is that of the slice reconstructed alone.
    QTemporaryDir blocks, single;
    auto setUp = [](Body &body, const QString &dir) {
        body.ui().procCtrl->setRotAxV(false);
        body.ui().procCtrl->setCor(11.5);
        body.ui().AutoSaveData->setChecked(true);
        body.ui().SelectDataSaveDir->setDir(dir);
        body.ui().SelectDataSaveDir->setTag(u"b"_s);
        body.ui().SaveInSubFolders->setChecked(false);
    };
    auto body = loadedBody(2);
    QVERIFY(body);
    setUp(*body, blocks.path());
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(5);
    p->setSliceTo(24);
    p->setSliceStep(1);
    p->setThreads(2);
    QList<std::vector<int>> jobBlocks;
    connect(body.get(), &Body::startCt, this,
        [&](CtCalc2 *, const Ct2Job &job) { jobBlocks.append(job.task.sinogramBlock); });
    const QList<Dispatch> d = runAndRecord(*body);
    QCOMPARE(d.size(), 20);
    QList<int> slices[2];
    for (qsizetype i = 0; i < d.size(); ++i) {
        QVERIFY(d[i].worker == 0 || d[i].worker == 1);
        slices[d[i].worker].append(d[i].slice);
        QVERIFY(std::find(jobBlocks[i].begin(), jobBlocks[i].end(), d[i].slice) != jobBlocks[i].end());
    }
    // The first block is half the range; later ones shrink towards the end (which worker gets which
    // depends on timing), but each worker's slices come in order and every slice comes once.
    QCOMPARE(jobBlocks.first(), std::vector<int>({5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    QList<int> all = slices[0] + slices[1];
    std::sort(all.begin(), all.end());
    QList<int> range;
    for (int k = 5; k <= 24; ++k)
        range << k;
    QCOMPARE(all, range);
    for (const QList<int> &w : slices)
        QVERIFY(std::is_sorted(w.begin(), w.end()));
    QCOMPARE(body->ui().ProgPerCent->text(), u"100.0 %"_s);
    body.reset(); // drains the saver

    for (int slice : {5, 14, 15, 24}) {
        auto alone = loadedBody(1);
        QVERIFY(alone);
        setUp(*alone, single.path());
        alone->ui().procCtrl->setSliceNo(slice);
        QCOMPARE(runAndRecord(*alone).size(), 1);
    }
    const QStringList files = QDir(single.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 4);
    for (const QString &name : files) {
        QFile a(blocks.filePath(name)), b(single.filePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
    }
}

void TestBodyCalc::stoppingMidRunSavesSlicesInProgress()
{
    QTemporaryDir out;
    auto body = loadedBody(2);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(0);
    p->setSliceTo(20);
    p->setThreads(1);
    body->ui().AutoSaveData->setChecked(true);
    body->ui().SelectDataSaveDir->setDir(out.path());
    body->ui().SelectDataSaveDir->setTag(u"s"_s);
    body->ui().SaveInSubFolders->setChecked(false);
    int dispatched = 0;
    connect(body.get(), &Body::startCt, this, [&] { ++dispatched; });
    QSignalSpy ended(body.get(), &Body::calcFinished);
    body->ui().CalcCT->click();
    QCOMPARE(dispatched, 1);
    body->ui().CalcCT->click(); // stop at once: no further slice, the one in work completes
    QCOMPARE(ended.count(), 1);
    QVERIFY(!body->isCalculating());
    QTRY_COMPARE_WITH_TIMEOUT(body->slicesInProgress(), 0, 10000);
    QCOMPARE(dispatched, 1);
    body.reset(); // drains the saver
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList {u"s-00000.dat"_s});
}

void TestBodyCalc::savedFilesForSubFolderRules_data()
{
    QTest::addColumn<bool>("sub");
    QTest::addColumn<bool>("energy");
    QTest::addColumn<bool>("slice");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("directly") << false << false << true
                              << QStringList {u"ct-E01-00007.dat"_s, u"ct-E01-00007.png"_s};
    QTest::newRow("neither: slice folder")
        << true << false << false << QStringList {u"00007/ct-E01-00007.dat"_s, u"00007/ct-E01-00007.png"_s};
    QTest::newRow("energy only") << true << true << false
                                 << QStringList {u"E01/ct-E01-00007.dat"_s, u"E01/ct-E01-00007.png"_s};
    QTest::newRow("both") << true << true << true
                          << QStringList {u"00007/ct-E01-00007.dat"_s, u"00007/ct-E01-00007.png"_s,
                                 u"E01/ct-E01-00007.dat"_s, u"E01/ct-E01-00007.png"_s};
}

void TestBodyCalc::savedFilesForSubFolderRules()
{
    QFETCH(bool, sub);
    QFETCH(bool, energy);
    QFETCH(bool, slice);
    QFETCH(QStringList, files);
    QTemporaryDir out;
    {
        auto body = loadedBody(1);
        QVERIFY(body);
        body->ui().procCtrl->setSliceNo(7);
        for (SelectSaveDir *s : {body->ui().SelectImageSaveDir, body->ui().SelectDataSaveDir}) {
            s->setDir(out.filePath(u"results"_s)); // made at run start
            s->setName(u"ct"_s);
            s->setTag(u"E01"_s);
        }
        body->ui().AutoSaveImage->setChecked(true);
        body->ui().AutoSaveData->setChecked(true);
        body->ui().SaveInSubFolders->setChecked(sub);
        body->ui().SubOfEnergy->setChecked(energy);
        body->ui().SubOfSlice->setChecked(slice);
        QCOMPARE(runAndRecord(*body).size(), 1);
    }
    QDir results(out.filePath(u"results"_s));
    QStringList found;
    for (const QString &d : results.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString &f : QDir(results.filePath(d)).entryList(QDir::Files))
            found << d + u'/' + f;
    found << results.entryList(QDir::Files);
    found.sort();
    QCOMPARE(found, files);
    QFile dat(results.filePath(files.first()));
    QVERIFY(dat.open(QIODevice::ReadOnly));
    const QByteArray text = dat.readAll();
    QVERIFY(text.startsWith("#QRVL-CTImg\n# Range_X0       : 0\n"));
    // After loading, the regions are 0 … L − 1 = 63: more than the image of N = 60 (CoR 32 on 64
    // pixels), so the lines past the image hold 0 + offset.
    QVERIFY(text.contains("# sx,sy, ex,ey   : 0\t0\t62\t62\n"));
    QCOMPARE(text.count('\n'), 6 + 63 * 63);
}

void TestBodyCalc::tiffBesideTheDataFile()
{
    // "Float TIFF" alone: the TIFF goes where the data file would, named like it, the region's size.
    QTemporaryDir out;
    {
        auto body = loadedBody(1);
        QVERIFY(body);
        body->ui().procCtrl->setSliceNo(7);
        body->ui().SelectDataSaveDir->setDir(out.filePath(u"data"_s)); // made at run start
        body->ui().SelectDataSaveDir->setName(u"ct"_s);
        body->ui().SelectDataSaveDir->setTag(u"E01"_s);
        body->ui().AutoSaveData->setChecked(false);
        body->ui().AutoSaveTiff->setChecked(true);
        body->ui().SaveInSubFolders->setChecked(false);
        QCOMPARE(runAndRecord(*body).size(), 1);
    }
    const QDir data(out.filePath(u"data"_s));
    QCOMPARE(data.entryList(QDir::Files), QStringList {u"ct-E01-00007.tif"_s});
    TIFF *tif = TIFFOpen(data.filePath(u"ct-E01-00007.tif"_s).toLocal8Bit().constData(), "r");
    QVERIFY(tif);
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFClose(tif);
    QCOMPARE(QSize(int(w), int(h)), QSize(63, 63)); // the regions after loading: 0 … L − 1
}

void TestBodyCalc::regionLargerThanTheImage()
{
    QTemporaryDir out;
    {
        auto body = loadedBody(1);
        QVERIFY(body);
        body->workerPanels()[0]->setCR(-2, 58, 62, 60);
        body->ui().AutoSaveData->setChecked(true);
        body->ui().SelectDataSaveDir->setDir(out.path());
        body->ui().SaveInSubFolders->setChecked(false);
        QCOMPARE(runAndRecord(*body).size(), 1);
    }
    QFile dat(out.filePath(u"-00012.dat"_s)); // no name, no tag; the middle slice of 24 rows
    QVERIFY(dat.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = dat.readAll().split('\n');
    QCOMPARE(lines[1], QByteArray("# Range_X0       : -2"));
    QCOMPARE(lines[6], QByteArray("-2\t58\t10")); // outside the image: 0 + offset
    QCOMPARE(lines[6 + 63], QByteArray("61\t58\t10"));
    QCOMPARE(lines.size(), 6 + 64 * 2 + 1);
}

void TestBodyCalc::regionExchangeEnds()
{
    auto body = std::make_unique<Body>(nullptr, 3);
    CtCalc2Ui *first = body->workerPanels()[0];
    QSignalSpy fromCt1(body->ctCalc(), &CtPanel::cRUpdated);
    QSignalSpy fromFirst(first, &CtPanel::dRUpdated);
    first->setCR(10, 5, 101, 80);
    for (CtPanel *p :
        std::initializer_list<CtPanel *> {body->ctCalc(), body->workerPanels()[1], body->workerPanels()[2]})
        QCOMPARE(p->ui().Crx1->text(), u"101"_s);
    QCOMPARE(fromCt1.count(), 1); // each panel passes a change on once
    body->workerPanels()[2]->setDR(1, 2, 30, 40);
    QCOMPARE(fromFirst.count(), 1);
    QCOMPARE(body->ctCalc()->dispRegion().x1, 30.0);
    // "Set To C. Region" rounds the display region outward.
    body->ctCalc()->setDR(10.2, 5.9, 100.1, 80);
    body->ctCalc()->ui().SetCRegion->click();
    const Region r = first->calcRegion();
    QCOMPARE(QList<double>({r.x0, r.z0, r.x1, r.z1}), QList<double>({10, 5, 101, 80}));
}

void TestBodyCalc::colourScaleIsFixedForAllPanels()
{
    auto body = std::make_unique<Body>(nullptr, 2);
    body->setColorMin(-0.5);
    body->setColorMax(2.25);
    body->setFixColorScale(true);
    for (CtPanel *p :
        std::initializer_list<CtPanel *> {body->ctCalc(), body->workerPanels()[0], body->workerPanels()[1]}) {
        QVERIFY(p->colorBar()->isFixed());
        QCOMPARE(p->colorBar()->minV(), -0.5);
        QCOMPARE(p->colorBar()->maxV(), 2.25);
    }
}

void TestBodyCalc::ct1MatchesCt2_data()
{
    QTest::addColumn<bool>("atOnce");
    QTest::newRow("at once") << true;
    QTest::newRow("one by one") << false;
}

void TestBodyCalc::ct1MatchesCt2()
{
    QFETCH(bool, atOnce);
    auto body = loadedBody(1);
    QVERIFY(body);
    body->ui().procCtrl->setSliceNo(9);
    QCOMPARE(runAndRecord(*body).size(), 1);
    const QImage ct2 = body->workerPanels()[0]->ui().DispCt->image();
    body->ui().SelectCt1->click();
    body->ctCalc()->ui().CalcAtOnce->setChecked(atOnce);
    QSignalSpy finished(body.get(), &Body::calcFinished);
    body->ctCalc()->ui().StartCalc->click();
    QVERIFY(finished.wait(20000));
    QCOMPARE(body->ctCalc()->ui().ShowSliceNo->text(), u"9"_s);
    QCOMPARE(body->ctCalc()->ui().DispCt->image(), ct2);
    QCOMPARE(body->ctCalc()->engine().projections(), 60);
}

void TestBodyCalc::loadWaitsForTheWorkers()
{
    auto body = loadedBody(1);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setAutoExec(true);
    p->setSliceFrom(0);
    p->setSliceTo(3);
    QSignalSpy finished(body.get(), &Body::calcFinished);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CalcCT->click();
    body->ui().CTFiles->selectDirFiles(data_.filePath(u"p"_s), {});
    QVERIFY(!body->isLoading());
    QCOMPARE(body->ui().CTFiles->ui().Count->text(), u"waits"_s);
    QCOMPARE(body->imageSet()->count(), 60); // untouched while the run reads it
    QVERIFY(finished.wait(20000));
    QVERIFY(loaded.wait(10000));
    QCOMPARE(body->imageSet()->count(), 60);
    // A run asked for during a load starts when the load has finished.
    body->ui().CTFiles->selectDirFiles(data_.filePath(u"p"_s), {});
    QVERIFY(body->isLoading());
    body->ui().CalcCT->click();
    QVERIFY(body->isWaitingToStart());
    QVERIFY(!body->isCalculating());
    QVERIFY(loaded.wait(10000));
    QVERIFY(body->isCalculating() || finished.count() == 2);
    QVERIFY(finished.count() == 2 || finished.wait(20000));
}

void TestBodyCalc::failedWriteTurnsTheSelectorRed()
{
    QTemporaryDir out;
    QFile blocker(out.filePath(u"file"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto body = loadedBody(1);
    QVERIFY(body);
    body->ui().AutoSaveData->setChecked(true);
    body->ui().SelectDataSaveDir->setDir(out.filePath(u"file/sub"_s)); // a folder inside a file
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(u"^Can't make the directory to save in"_s));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(u"^Can't save data file :.*file/sub"_s));
    QCOMPARE(runAndRecord(*body).size(), 1);
    QTRY_VERIFY(body->ui().SelectDataSaveDir->isFailed());
    QVERIFY(!body->ui().SelectImageSaveDir->isFailed());
}

void TestBodyCalc::saverDrainsAtExit()
{
    QTemporaryDir out;
    {
        Body body(nullptr, 1);
        CtCalc2 *worker = body.workers()[0];
        for (int i = 0; i < 300; ++i)
            emit worker->saveDataWDiscard(
                new SavingData {out.path(), u"d"_s, u"t"_s, sliceText(i), QByteArray(2000, 'x')});
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 300);
}

void TestBodyCalc::closingDuringARunLosesNothing()
{
    QTemporaryDir out;
    int dispatched = 0;
    {
        auto body = loadedBody(2);
        QVERIFY(body);
        ProcCtrl *p = body->ui().procCtrl;
        p->setAutoExec(true);
        p->setSliceFrom(0);
        p->setSliceTo(23);
        p->setThreads(2);
        body->ui().AutoSaveData->setChecked(true);
        body->ui().SelectDataSaveDir->setDir(out.path());
        body->ui().SaveInSubFolders->setChecked(false);
        connect(body.get(), &Body::startCt, this, [&] { ++dispatched; });
        body->ui().CalcCT->click();
        body->close(); // the two slices handed out are still in work
        QCOMPARE(dispatched, 2);
    } // destroyed while slices are in work
    QVERIFY(dispatched >= 2);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), dispatched);
}

QTEST_MAIN(TestBodyCalc)
#include "tst_bodycalc.moc"
