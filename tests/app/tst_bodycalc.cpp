// Qt
#include <QDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "automation/batchcmd.h"
#include "ct/datasaver.h"
#include "ct/offsetaxis.h"
#include "ct/savenaming.h"
#include "ct/sliceworker.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/ctdisp.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "imagedata/itexwriter.h"
#include "tests/app/reconcommand.h"
#include "tests/app/roadfixture.h"
#include "tests/app/winfixture.h"
#include "tests/common/debuglog.h"
#include "tools/phantom/phantom.h"
#include "view3d/ui/ctview.h"
#include "view3d/ui/slicesctrl.h"
#include "widgets/colorbar.h"
#include "widgets/imgdisp.h"
#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Dispatch
{
    int worker;
    int slice;
};

} // namespace

/// Runs of the calculators from the window: dispatch, progress, saving, regions, stops and ends.
class TestBodyCalc : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void dispatchOrderAndRunEnd_data();
    void dispatchOrderAndRunEnd();
    void columnRunsGoOutInBlocks();
    void stoppingMidRunSavesSlicesInProgress_data();
    void stoppingMidRunSavesSlicesInProgress();
    void savedFilesForSubFolderRules_data();
    void savedFilesForSubFolderRules();
    void panelsShareRegionsAndColourScale();
    void loadWaitsForTheWorkers();
    void saveProblemsAreSaid_data();
    void saveProblemsAreSaid();
    void runWaitsForABusySaver();
    void corBetweenTheLastTwoPixels_data();
    void corBetweenTheLastTwoPixels();
    void usingImagesBeyondTheSet();
    void saverDrainsAtExit();
    void corScanTrialsAreTheRunsSlices();
    void recordedCorsPutEachSliceOnTheLine_data();
    void recordedCorsPutEachSliceOnTheLine();
    void thousandsOfBackToBackCt1Runs();
    void ct1TakesAutoExecOffAndMatchesCt2_data();
    void ct1TakesAutoExecOffAndMatchesCt2();
    void windowAndCommandWriteTheSameFiles();
    void offsetAxisInTheWindow();

private:
    std::unique_ptr<Body> loadedBody(int workers);
    QList<Dispatch> runAndRecord(Body &body);
    QTemporaryDir data_;
    QStringList tiny_; // projections of 8 × 3, for runs by the thousand
};

void TestBodyCalc::initTestCase()
{
    QVERIFY(writeEllipseScan(data_.path(), 24, 60));
    // Four projections of 8 × 3 with a bump that moves: a sinogram 5 samples wide, N = 4.
    for (int k = 0; k < 4; ++k) {
        std::vector<uint32_t> px(8 * 3, 1000);
        for (int y = 0; y < 3; ++y)
            px[static_cast<size_t>(y) * 8 + 2 + k] = 400;
        tiny_ << data_.filePath(u"t%1.img"_s.arg(k));
        QVERIFY(writeItexFile(tiny_.last(), {8, 3, 2, 1.0, px}));
    }
}

std::unique_ptr<Body> TestBodyCalc::loadedBody(int workers)
{
    auto body = loadedWindow({data_.filePath(u"p"_s)}, workers);
    if (body) {
        body->ui().procCtrl->setCor(32);
        body->ui().SelectCt2->setChecked(true);
    }
    return body;
}

QList<Dispatch> TestBodyCalc::runAndRecord(Body &body)
{
    QList<Dispatch> dispatched;
    const QMetaObject::Connection recording
        = connect(&body, &Body::startCt, this, [&](SliceWorker *target, const SliceTask &task) {
              const auto &w = body.workers();
              dispatched.append(
                  {int(std::find(w.begin(), w.end(), target) - w.begin()), task.sinogram.slice});
          });
    if (!calcAndWait(body, 30000))
        dispatched.append({-1, -1});
    disconnect(recording);
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
    QTest::addColumn<QStringList>("progress"); // every figure shown after "0 %"
    const QStringList thirds {u"33.3 %"_s, u"66.6 %"_s, u"100.0 %"_s};
    QTest::newRow("10..20 step 5, 4 threads")
        << 10 << 20 << 5 << 4 << QList<int> {10, 15, 20} << QList<int> {0, 1, 2} << thirds;
    QTest::newRow("20..10 step 5") << 20 << 10 << 5 << 4 << QList<int> {20, 15, 10} << QList<int> {0, 1, 2}
                                   << thirds;
    QTest::newRow("one thread serialises")
        << 2 << 6 << 2 << 1 << QList<int> {2, 4, 6} << QList<int> {0, 0, 0} << thirds;
    // Handed out less those in work, over the slices of the range: 2 of 5 with 2 in work is 1/5.
    QTest::newRow("0..4, 2 threads") << 0 << 4 << 1 << 2 << QList<int> {0, 1, 2, 3, 4}
                                     << QList<int> {0, 1, -1, -1, -1}
                                     << QStringList {
                                            u"20.0 %"_s, u"40.0 %"_s, u"60.0 %"_s, u"80.0 %"_s, u"100.0 %"_s};
    QTest::newRow("from = to") << 7 << 7 << 3 << 4 << QList<int> {7} << QList<int> {0}
                               << QStringList {u"100.0 %"_s};
    // A step of 0 reads as 1 and does not hang; 0 threads read as 1.
    QTest::newRow("step 0, 0 threads")
        << 3 << 5 << 0 << 0 << QList<int> {3, 4, 5} << QList<int> {0, 0, 0} << thirds;
}

void TestBodyCalc::dispatchOrderAndRunEnd()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, threads);
    QFETCH(QList<int>, slices);
    QFETCH(QList<int>, workers);
    QFETCH(QStringList, progress);
    auto body = loadedBody(4);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    setSlices(p, from, to, step, threads);
    QCOMPARE(p->threads(), std::max(threads, 1));
    QStringList shown;
    QStringList spent; // "Spent" while the run goes: never the last run's figure
    body->ui().CalcSpentT->setText(u"99.9"_s);
    connect(body->ui().ProgPerCent, &QLineEdit::textChanged, this, [&](const QString &t) {
        shown << t;
        spent << body->ui().CalcSpentT->text();
    });
    // A worker's panel shows no end before its slice's start.
    QStringList panelTimes;
    for (CtCalc2Ui *panel : body->workerPanels())
        connect(panel->ui().StartT, &QLineEdit::textChanged, this,
            [&panelTimes, panel] { panelTimes << panel->ui().EndT->text(); });
    const QList<Dispatch> d = runAndRecord(*body);
    QCOMPARE(spent.size(), progress.size());
    QCOMPARE(spent.mid(0, spent.size() - 1), QStringList(spent.size() - 1, u"--"_s));
    QCOMPARE(panelTimes, QStringList(panelTimes.size(), u"--"_s));
    QVERIFY(!panelTimes.isEmpty());
    QCOMPARE(d.size(), slices.size());
    for (qsizetype i = 0; i < d.size(); ++i) {
        QCOMPARE(d[i].slice, slices[i]);
        if (workers[i] >= 0) // −1: whichever worker finished first
            QCOMPARE(d[i].worker, workers[i]);
    }
    QCOMPARE(shown, progress);
    QVERIFY(!body->isCalculating());
    QCOMPARE(body->slicesInProgress(), 0);
    QCOMPARE(body->ui().ProgPerCent->text(), u"100.0 %"_s);
    QCOMPARE(body->ui().CalcCT->styleSheet(), u"background-color: rgb(213, 245, 255);"_s);
    QVERIFY(!body->ui().CalcEndT->text().isEmpty());
    QCOMPARE(body->ctDisp()->count(), slices.size()); // "Show Res." is on
    QCOMPARE(p->ui().SliceStep->text(), QString::number(std::max(step, 1)));
}

void TestBodyCalc::columnRunsGoOutInBlocks()
{
    // With the axis horizontal a worker takes consecutive slices whose sinograms it builds in one
    // pass, and every file is that of the slice reconstructed alone.
    QTemporaryDir blocks, single;
    auto setUp = [](Body &body, const QString &dir) {
        body.ui().procCtrl->setRotAxV(false);
        body.ui().procCtrl->setCor(11.5);
        saveInto(body, dir, u"b"_s);
    };
    auto body = loadedBody(2);
    QVERIFY(body);
    setUp(*body, blocks.path());
    ProcCtrl *p = body->ui().procCtrl;
    setSlices(p, 5, 24, 1, 2);
    QList<std::vector<int>> jobBlocks;
    connect(body.get(), &Body::startCt, this,
        [&](SliceWorker *, const SliceTask &task) { jobBlocks.append(task.sinogramBlock); });
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
    const QStringList files = filesUnder(single.path());
    QCOMPARE(files.size(), 4);
    QCOMPARE(firstDifferentFile(blocks.path(), single.path(), files), QString());
}

void TestBodyCalc::stoppingMidRunSavesSlicesInProgress_data()
{
    QTest::addColumn<bool>("close"); // the window is closed and destroyed, else "Calc" stops the run
    QTest::addColumn<int>("threads");
    QTest::newRow("stopped with Calc") << false << 1;
    QTest::newRow("window closed") << true << 2;
}

void TestBodyCalc::stoppingMidRunSavesSlicesInProgress()
{
    // No further slice is handed out, the slices in work complete and nothing handed out is lost.
    QFETCH(bool, close);
    QFETCH(int, threads);
    QTemporaryDir out;
    auto body = loadedBody(2);
    QVERIFY(body);
    setSlices(body->ui().procCtrl, 0, 23, 1, threads);
    saveInto(*body, out.path(), u"s"_s);
    int dispatched = 0;
    connect(body.get(), &Body::startCt, this, [&] { ++dispatched; });
    QSignalSpy ended(body.get(), &Body::calcFinished);
    body->ui().CalcCT->click();
    QCOMPARE(dispatched, threads);
    if (close) {
        body->close();
        body.reset(); // destroyed while slices are in work
    } else {
        body->ui().CalcCT->click();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!body->isCalculating());
        QTRY_COMPARE_WITH_TIMEOUT(body->slicesInProgress(), 0, 10000);
        body.reset(); // drains the saver
    }
    QCOMPARE(dispatched, threads);
    const QStringList all {u"s-00000.dat"_s, u"s-00001.dat"_s};
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), all.mid(0, threads));
}

void TestBodyCalc::savedFilesForSubFolderRules_data()
{
    QTest::addColumn<bool>("sub");
    QTest::addColumn<bool>("energy");
    QTest::addColumn<bool>("slice");
    QTest::addColumn<bool>("show"); // "Show Res."
    QTest::addColumn<QStringList>("files");
    QTest::newRow("directly, not shown")
        << false << false << true << false << QStringList {u"ct-E01-00007.dat"_s, u"ct-E01-00007.png"_s};
    QTest::newRow("energy only") << true << true << false << true
                                 << QStringList {u"E01/ct-E01-00007.dat"_s, u"E01/ct-E01-00007.png"_s};
    // "Float TIFF" alone: the TIFF goes where the data file would, named like it, the region's size.
    QTest::newRow("float TIFF alone, not shown")
        << false << false << true << false << QStringList {u"ct-E01-00007.tif"_s};
}

void TestBodyCalc::savedFilesForSubFolderRules()
{
    QFETCH(bool, sub);
    QFETCH(bool, energy);
    QFETCH(bool, slice);
    QFETCH(bool, show);
    QFETCH(QStringList, files);
    const bool tiff = files.first().endsWith(u".tif"_s);
    QTemporaryDir out;
    {
        auto body = loadedBody(1);
        QVERIFY(body);
        body->ui().procCtrl->setSliceNo(7);
        saveInto(*body, out.filePath(u"results"_s), u"E01"_s, !tiff, u"ct"_s); // made at run start
        body->ui().AutoSaveData->setChecked(!tiff);
        body->ui().AutoSaveTiff->setChecked(tiff);
        body->ui().SaveInSubFolders->setChecked(sub);
        body->ui().SubOfEnergy->setChecked(energy);
        body->ui().SubOfSlice->setChecked(slice);
        body->ui().ShowCalcRes->setChecked(show);
        QCOMPARE(runAndRecord(*body).size(), 1);
        // Without "Show Res." no picture is made for the screen; one saved goes to "CT Images" too.
        QCOMPARE(body->ctDisp()->count(), show || !tiff ? 1 : 0);
        QCOMPARE(body->workerPanels()[0]->ui().DispCt->image().isNull(), !show);
        // The 3D View's "Select" and "Select Run…" open where the slices went.
        QCOMPARE(body->ctView()->sets().front()->dialogDirectory(), out.filePath(u"results"_s));
    }
    const QDir results(out.filePath(u"results"_s));
    QCOMPARE(filesUnder(results.path()), files);
    if (tiff) {
        QSize size;
        QCOMPARE(tiffPages(results.filePath(files.first()), nullptr, &size).size(), size_t(1));
        QCOMPARE(size, QSize(63, 63)); // the regions after loading: 0 … L − 1
        return;
    }
    const QByteArray text = readBytes(results.filePath(files.first()));
    QVERIFY(text.startsWith("#QRVL-CTImg\n# Range_X0       : 0\n"));
    // After loading, the regions are 0 … L − 1 = 63: more than the image of N = 60 (CoR 32 on 64
    // pixels), so the lines past the image hold 0 + offset.
    QVERIFY(text.contains("# sx,sy, ex,ey   : 0\t0\t62\t62\n"));
    QCOMPARE(text.count('\n'), 6 + 63 * 63);
}

void TestBodyCalc::panelsShareRegionsAndColourScale()
{
    auto body = loadedBody(3);
    QVERIFY(body);
    CtCalc2Ui *first = body->workerPanels()[0];
    // A fixed colour scale is every panel's.
    body->setColorMin(-0.005);
    body->setColorMax(0.02);
    body->setFixColorScale(true);
    for (CtPanel *p : std::initializer_list<CtPanel *> {
             body->ctCalc(), body->workerPanels()[0], body->workerPanels()[1], body->workerPanels()[2]}) {
        QVERIFY(p->colorBar()->isFixed());
        QCOMPARE(p->colorBar()->minV(), -0.005);
        QCOMPARE(p->colorBar()->maxV(), 0.02);
    }
    // A new slice is drawn through the fixed scale, not through its own range.
    QCOMPARE(runAndRecord(*body).size(), 1);
    QCOMPARE(first->colorBar()->minV(), -0.005);
    QCOMPARE(first->colorBar()->maxV(), 0.02);
    const CtFbp &engine = body->workers()[0]->engine(); // the worker rests: its image can be read
    const int n = engine.imageN();
    QCOMPARE(n, 60);
    const QImage expected = greyImage(engine.image(), n, n, GreyScale {-0.005, 0.02, 0.0, 1.0, true});
    const QImage shown = first->ui().DispCt->image();
    QCOMPARE(shown, expected);
    QVERIFY(shown != greyImage(engine.image(), n, n, [&] {
        GreyScale own;
        own.adoptRange(*std::min_element(engine.image().begin(), engine.image().end()),
            *std::max_element(engine.image().begin(), engine.image().end()));
        return own;
    }()));

    // A region set on one panel is every panel's.
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

    // Typing into a region field (not the setter) changes the region of every panel and of the
    // next run's data files.
    CtCalc2Ui *second = body->workerPanels()[1];
    second->show();
    const std::pair<QLineEdit *, QString> typed[] {{second->ui().Crx0, u"20"_s}, {second->ui().Crz0, u"30"_s},
        {second->ui().Crx1, u"23"_s}, {second->ui().Crz1, u"31"_s}};
    for (const auto &[edit, text] : typed) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    for (CtPanel *p : std::initializer_list<CtPanel *> {body->ctCalc(), first, second}) {
        const Region r = p->calcRegion();
        QCOMPARE(QList<double>({r.x0, r.z0, r.x1, r.z1}), QList<double>({20, 30, 23, 31}));
    }
    QCOMPARE(first->ui().Crx1->text(), u"23"_s);
    QTemporaryDir out;
    saveInto(*body, out.path());
    QCOMPARE(runAndRecord(*body).size(), 1);
    const QList<QByteArray> lines = readBytes(out.filePath(u"-00012.dat"_s)).split('\n');
    QCOMPARE(lines.size(), 6 + 3 + 1);
    QVERIFY(lines[6].startsWith("20\t30\t"));
    QVERIFY(lines[8].startsWith("22\t30\t"));

    // The display region takes typing, Return or not, and "Set To C. Region" calculates it; a
    // calculation region typed is shown, so the button gives it back rather than an older view.
    Ui_CtCalc &ct1 = body->ctCalc()->ui();
    for (const bool display : {true, false}) {
        const QList<QLineEdit *> edits = display ? QList {ct1.Drx0, ct1.Drz0, ct1.Drx1, ct1.Drz1}
                                                 : QList {ct1.Crx0, ct1.Crz0, ct1.Crx1, ct1.Crz1};
        const QStringList texts = display ? QStringList {u"2"_s, u"3.5"_s, u"40"_s, u"50.2"_s}
                                          : QStringList {u"0"_s, u"0"_s, u"59"_s, u"59"_s};
        for (qsizetype i = 0; i < 4; ++i) {
            edits[i]->selectAll();
            QTest::keyClicks(edits[i], texts[i]);
            if (!display)
                QTest::keyClick(edits[i], Qt::Key_Return);
        }
        ct1.SetCRegion->click();
        const Region c = first->calcRegion(), d = first->dispRegion();
        const QList<double> calc = display ? QList<double> {2, 3, 40, 51} : QList<double> {0, 0, 59, 59};
        const QList<double> shown = display ? QList<double> {2, 3.5, 40, 50.2} : calc;
        QCOMPARE(QList<double>({c.x0, c.z0, c.x1, c.z1}), calc);
        QCOMPARE(QList<double>({d.x0, d.z0, d.x1, d.z1}), shown);
    }
}

void TestBodyCalc::loadWaitsForTheWorkers()
{
    auto body = loadedBody(1);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    setSlices(p, 0, 3);
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

void TestBodyCalc::saveProblemsAreSaid_data()
{
    QTest::addColumn<QString>("dir"); // inside the test's folder unless absolute
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag"); // ".." and "file" are saved in the tag's folder
    QTest::addColumn<bool>("refused"); // the run saves nothing, else its data file fails
    QTest::addColumn<QString>("message"); // a pattern
    // Before, an empty folder wrote "-00012.dat" into the working directory.
    QTest::newRow("no folder") << u"<none>"_s << QString() << QString() << true << u"no directory is given"_s;
    QTest::newRow("a folder inside a file")
        << u"file/sub"_s << QString() << u"t"_s << true << u"cannot be made"_s;
    // Before, every slice was computed and each of its files failed.
    QTest::newRow("a folder that takes no files")
        << u"/proc"_s << QString() << u"t"_s << true << u"cannot be made in"_s;
    // Before, these wrote outside the folder.
    QTest::newRow("name going up") << u"deep/er"_s << u"../../x"_s << u"t"_s << true << u"path separator"_s;
    QTest::newRow("tag with a separator")
        << u"deep/er"_s << u"x"_s << u"a/b"_s << true << u"path separator"_s;
    QTest::newRow("tag going up") << u"deep/er"_s << u"x"_s << u".."_s << true << u"path separator"_s;
    QTest::newRow("backslash") << u"deep/er"_s << u"..\\x"_s << u"t"_s << true << u"path separator"_s;
    // Known only when the data file is written, and then the image saving is untouched.
    QTest::newRow("the tag's folder blocked by a file")
        << u"."_s << QString() << u"file"_s << false
        << u"^Can't save data file :.*file.*\\(cannot make the folder"_s;
}

void TestBodyCalc::saveProblemsAreSaid()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QFETCH(bool, refused);
    QFETCH(QString, message);
    QTemporaryDir root;
    QVERIFY(writeText(root.filePath(u"file"_s), {}));
    QVERIFY(QDir().mkpath(root.filePath(u"deep/er"_s)));
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.path()));
    auto back = qScopeGuard([&] { QDir::setCurrent(cwd); });
    auto body = loadedBody(1);
    QVERIFY(body);
    const QString target = dir == u"<none>"_s ? QString() : dir.startsWith(u'/') ? dir : root.filePath(dir);
    saveInto(*body, target, tag, refused, name);
    body->ui().SaveInSubFolders->setChecked(tag == u".."_s || tag == u"file"_s);
    body->ui().SubOfEnergy->setChecked(true);
    body->ui().SubOfSlice->setChecked(false);
    DebugLog log;
    QCOMPARE(runAndRecord(*body).size(), 1); // the run goes on: its slice is on screen
    QCOMPARE(body->ctDisp()->count(), 1);
    // The run's end waits for the saver: a failed write is known when the run has ended.
    QVERIFY(body->ui().SelectDataSaveDir->isFailed());
    QCOMPARE(body->ui().SelectImageSaveDir->isFailed(), refused);
    const QString none = u"^No %1 are saved in this run: .*"_s + (refused ? message : QString());
    QCOMPARE(log.count(none.arg(u"data files"_s)), refused ? 1 : 0);
    QCOMPARE(log.count(none.arg(u"images"_s)), refused ? 1 : 0);
    QCOMPARE(log.count(refused ? u"^Can't save"_s : message), refused ? 0 : 1);
    body.reset(); // everything handed to the saver is written
    QCOMPARE(filesUnder(root.path()), QStringList {u"file"_s});
}

void TestBodyCalc::runWaitsForABusySaver()
{
    // What waits for the saver is bounded: with the saver held up, no more slices are handed out
    // once the bound is passed (before, every slice of the range was computed into memory). And the
    // sequence driver loads the next set and the viewer link asks for the slices' files as soon as a
    // run ends: the end waits until the saver has written every file of the run.
    QTemporaryDir out;
    auto body = loadedBody(2);
    QVERIFY(body);
    setSlices(body->ui().procCtrl, 0, 9, 1, 2);
    saveInto(*body, out.path(), u"e"_s, true);
    body->setSavingLimit(1); // any record passes it
    int dispatched = 0;
    connect(body.get(), &Body::startCt, this, [&] { ++dispatched; });
    QStringList atTheEnd;
    connect(body.get(), &Body::calcFinished, this, [&] {
        atTheEnd = QDir(out.path()).entryList({u"*.dat"_s, u"*.png"_s}, QDir::Files);
    });
    QSemaphore gate;
    QMetaObject::invokeMethod(
        body->saver(), [&gate] { gate.acquire(); }, Qt::QueuedConnection);
    auto open = qScopeGuard([&gate] { gate.release(); });
    body->ui().CalcCT->click();
    QCOMPARE(dispatched, 2);
    QTRY_COMPARE_WITH_TIMEOUT(body->savingRecords(), 4, 10000); // computed, their files wait
    QCOMPARE(body->slicesInProgress(), 0);
    QCOMPARE(dispatched, 2); // the workers wait, the records do not pile up
    QVERIFY(body->isCalculating());
    QVERIFY(atTheEnd.isEmpty());
    gate.release();
    open.dismiss();
    QTRY_VERIFY_WITH_TIMEOUT(!body->isCalculating(), 20000);
    QCOMPARE(dispatched, 10);
    QCOMPARE(atTheEnd.size(), 20); // the data file and the image of each slice
    QCOMPARE(atTheEnd.first(), u"e-00000.dat"_s);
    QCOMPARE(atTheEnd.last(), u"e-00009.png"_s);
    QCOMPARE(body->savingRecords(), 0);
}

void TestBodyCalc::corBetweenTheLastTwoPixels_data()
{
    QTest::addColumn<bool>("ct1");
    QTest::addColumn<double>("cor");
    // L = 64: a centre between 62 and 63 lies inside the line but leaves no sample on its right.
    // Before, the sinogram of 2·0 − 1 samples per row aborted the program.
    QTest::newRow("CT1, 62.5") << true << 62.5;
    QTest::newRow("CT2, 62.5") << false << 62.5;
    QTest::newRow("CT2, 62.01") << false << 62.01;
    QTest::newRow("CT1, 0.5") << true << 0.5;
}

void TestBodyCalc::corBetweenTheLastTwoPixels()
{
    QFETCH(bool, ct1);
    QFETCH(double, cor);
    auto body = loadedBody(1);
    QVERIFY(body);
    const SinogramData before = body->sinogram()->data();
    QVERIFY(before.hasData());
    DebugLog log;
    body->ui().procCtrl->setCor(cor); // as a right click near the edge does
    QTRY_COMPARE(
        log.count(u"^Sinogram: Centre of rotation .* leaves no sinogram on lines of 64 pixels"_s), 1);
    QCOMPARE(body->sinogram()->data().raw, before.raw); // the sinogram stays
    if (ct1)
        body->ui().SelectCt1->setChecked(true);
    QCOMPARE(runAndRecord(*body).size(), ct1 ? 0 : 1);
    QVERIFY(!body->isCalculating());
    QCOMPARE(log.count(ct1 ? u"^CT1: Centre of rotation"_s
                           : u"^CT2: no sinogram for slice 12: Centre of rotation"_s),
        1);
    QCOMPARE(body->ctDisp()->count(), 0);
}

void TestBodyCalc::usingImagesBeyondTheSet()
{
    // "Using Images" of a partial data set is bounded by the images loaded. Before, 2000000000 made a
    // sinogram of as many rows and the allocation aborted the program.
    auto body = loadedBody(1);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    DebugLog log;
    p->setUsePartialDataSet(true);
    p->setDataSetStartImageNo(5);
    p->ui().DataSetUsingImages->setText(u"2000000000"_s);
    emit p->ui().DataSetUsingImages->editingFinished();
    QTRY_COMPARE(log.count(u"^Sinogram: Using Images 2000000000 is more than the 60 images loaded"_s), 1);
    QCOMPARE(runAndRecord(*body).size(), 1);
    QCOMPARE(log.count(u"^CT2: no sinogram for slice 12: Using Images 2000000000"_s), 1);
    QVERIFY(guessAndWait(*body));
    QCOMPARE(log.count(u"^Guess CoR: no mirror centre of rotation: Using Images 2000000000"_s), 1);
    QCOMPARE(p->cor(), 32.0);
    // All the images, from the fifth on round the set, are fine.
    p->setDataSetUsingImages(60);
    emit p->ui().DataSetUsingImages->editingFinished();
    QCOMPARE(body->sinogram()->data().height, 60);
    QCOMPARE(runAndRecord(*body).size(), 1);
    QCOMPARE(body->ctDisp()->count(), 1);
}

void TestBodyCalc::saverDrainsAtExit()
{
    QTemporaryDir out;
    {
        Body body(nullptr, 1);
        DataSaver *saver = body.saver();
        for (int i = 0; i < 300; ++i)
            QMetaObject::invokeMethod(saver, [saver, r = SavingData {out.path(), u"d"_s, u"t"_s, sliceText(i),
                                                          QByteArray(2000, 'x')}] { saver->saveData(r); });
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 300);
}

void TestBodyCalc::corScanTrialsAreTheRunsSlices()
{
    auto body = loadedBody(2);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setSliceNo(9);
    // A batch line: refused at once for a step of 0; a good one waits for the scan's end.
    QSignalSpy lineDone(body.get(), &Body::callBatchCheckEnd);
    QSignalSpy lineOk(body.get(), &Body::callBatchLastOk);
    body->batchExCmd(parseBatchCmd(u"ct_cor_scan 31 33 0"_s));
    QCOMPARE(lineDone.count(), 1);
    QCOMPARE(lineOk.count(), 1);
    // With "Auto Save Data" the trials go into its folder.
    QTemporaryDir saved;
    saveInto(*body, saved.path(), u"E1"_s);
    QSignalSpy scanned(body.get(), &Body::corScanFinished);
    body->batchExCmd(parseBatchCmd(u"ct_cor_scan 31 33 0.5"_s));
    QVERIFY(body->isScanningCor());
    QCOMPARE(lineDone.count(), 1);
    QVERIFY(!body->startCorScan(31.0, 33.0, 0.5)); // one scan at a time
    QVERIFY(scanned.wait(30000));
    QVERIFY(scanned.first().first().value<JobOutcome>().ok());
    QCOMPARE(lineDone.count(), 2);
    QCOMPARE(lineOk.count(), 1); // the line did not fail
    QCOMPARE(QDir(saved.path()).entryList(QDir::Files),
        QStringList({u"E1-corscan-00009.png"_s, u"E1-corscan-00009.tif"_s, u"E1-corscan-00009.txt"_s}));
    body->ui().AutoSaveData->setChecked(false);

    CorScanPanel *panel = body->corScanPanel();
    QCOMPARE(panel->count(), 5);
    QVERIFY(panel->best() >= 0);
    QVERIFY(std::abs(panel->trial(panel->best()).cor - 32.0) <= 0.5);
    QCOMPARE(panel->current(), panel->best());
    // A trial is the slice a run makes at its centre (kept as the float a TIFF page holds).
    for (int k : {1, 2}) {
        p->setCor(panel->trial(k).cor);
        QCOMPARE(runAndRecord(*body).size(), 1);
        const CtFbp &engine = body->workers()[0]->engine(); // the worker rests
        const std::vector<float> slice(engine.image().begin(), engine.image().end()); // as the trial keeps it
        QVERIFY2(slice == *panel->trial(k).values, qPrintable(QString::number(panel->trial(k).cor)));
    }

    // Arrow keys step through the trials, Enter and a click on the picture take the centre.
    panel->setCurrent(0);
    QTest::keyClick(panel, Qt::Key_Right);
    QTest::keyClick(panel, Qt::Key_Right);
    QTest::keyClick(panel, Qt::Key_Left);
    QCOMPARE(panel->current(), 1);
    QTest::keyClick(panel, Qt::Key_Return);
    QCOMPARE(p->cor(), 31.5);
    panel->step(10); // clamped to the last trial
    QCOMPARE(panel->current(), 4);
    emit panel->ui().TrialView->selectedAPoint(3.0, 4.0, MouseC::Left);
    QCOMPARE(p->cor(), 33.0);
    QVERIFY(body->undoGesture()); // a centre taken from the scan is undone as a pick is
    QCOMPARE(p->cor(), 31.5);

    // A window closed during a scan waits for its trials and goes without a crash.
    QVERIFY(body->startCorScan(28.0, 36.0, 0.25));
    body.reset();
}

void TestBodyCalc::recordedCorsPutEachSliceOnTheLine_data()
{
    QTest::addColumn<bool>("use");
    QTest::addColumn<double>("cor1"); // recorded at slice 0
    QTest::addColumn<int>("slice2");
    QTest::addColumn<double>("cor2");
    QTest::addColumn<QList<double>>("cors"); // of slices 4, 10 and 16
    const QList<double> field(3, 32.0);
    QTest::newRow("used: on the line") << true << 31.0 << 20 << 33.0 << QList<double> {31.4, 32.0, 32.6};
    // The records size the engines ahead of the run for slice 4 (at 13, N is far less than 60).
    QTest::newRow("not used: the field") << false << 11.0 << 20 << 21.0 << field;
    QTest::newRow("records at one slice: the field") << true << 31.0 << 0 << 33.0 << field;
}

void TestBodyCalc::recordedCorsPutEachSliceOnTheLine()
{
    QFETCH(bool, use);
    QFETCH(double, cor1);
    QFETCH(int, slice2);
    QFETCH(double, cor2);
    QFETCH(QList<double>, cors);
    auto body = loadedBody(2);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setRecordedCoR(1, 0, cor1);
    p->setRecordedCoR(2, slice2, cor2);
    p->setUseRecordedCor(use);
    setSlices(p, 4, 16, 6);
    QMap<int, double> centres;
    QList<int> lengths;
    connect(body.get(), &Body::startCt, this, [&](SliceWorker *w, const SliceTask &task) {
        centres[task.sinogram.slice] = task.sinogram.cor;
        lengths << w->engine().n();
    });
    DebugLog log;
    QCOMPARE(runAndRecord(*body).size(), 3);
    QCOMPARE(centres.keys(), QList<int>({4, 10, 16}));
    for (int i = 0; i < 3; ++i)
        QVERIFY2(std::abs(centres.values()[i] - cors[i]) < 1e-12,
            qPrintable(QString::number(centres.values()[i])));
    QCOMPARE(log.count(u"^Use Recorded CoRs: the two records are not"_s), use && slice2 == 0 ? 1 : 0);
    // A slice at the field's 32 (N = 60) has its worker's engine set up for it before it is handed out.
    if (cors == QList<double>(3, 32.0))
        QCOMPARE(lengths, QList<int>(3, 60));
}

void TestBodyCalc::thousandsOfBackToBackCt1Runs()
{
    // A batch starts the next run as soon as the last one has ended. The sequencer thread used to be
    // quit at the end of every run and started at the next: when it had not quite stopped, the start
    // did nothing, the first step was never delivered and CT1 counted as running for good.
    auto body = loadedWindow(tiny_, 1);
    QVERIFY(body);
    QCOMPARE(body->imageSet()->count(), 4);
    body->ui().procCtrl->setCor(4);
    body->ui().procCtrl->setSliceNo(1);
    QVERIFY(body->ui().SelectCt1->isChecked());
    const int runs = 3000;
    int ended = 0;
    connect(body.get(), &Body::calcFinished, this, [&] {
        if (++ended < runs)
            body->toggleCalcCt();
    });
    QSignalSpy last(body.get(), &Body::calcFinished);
    for (const bool atOnce : {true, false}) {
        body->ctCalc()->ui().CalcAtOnce->setChecked(atOnce);
        ended = 0;
        body->toggleCalcCt();
        while (ended < runs && last.wait(5000)) { }
        QCOMPARE(ended, runs);
        QVERIFY(!body->isCalculating());
        QVERIFY(!body->isWaitingToStart());
        QVERIFY(!body->ctCalc()->isRunning());
        QCOMPARE(body->ctCalc()->engine().imageN(), 4);
    }
}

void TestBodyCalc::ct1TakesAutoExecOffAndMatchesCt2_data()
{
    QTest::addColumn<bool>("button"); // a click on CT1 and CT1's own "Start", else all from code
    QTest::addColumn<bool>("atOnce");
    QTest::addColumn<int>("partialImages"); // images of a partial data set; 0: all of them
    QTest::newRow("from code, at once") << false << true << 0; // as batch commands and setup files select CT1
    QTest::newRow("with the buttons, one by one") << true << false << 0;
    // Both divide by the projections the partial set uses (CT2 once divided by all the images).
    QTest::newRow("a partial data set") << false << true << 30;
}

void TestBodyCalc::ct1TakesAutoExecOffAndMatchesCt2()
{
    QFETCH(bool, button);
    QFETCH(bool, atOnce);
    QFETCH(int, partialImages);
    auto body = loadedWindow({data_.filePath(u"p"_s)}, 1);
    QVERIFY(body);
    // Auto Exec selects CT2; selecting CT1 must take Auto Exec off, or the run waits for workers that
    // are never asked and never ends.
    ProcCtrl *p = body->ui().procCtrl;
    if (partialImages > 0) {
        p->setUsePartialDataSet(true);
        p->setDataSetStartImageNo(10);
        p->setDataSetUsingImages(partialImages);
    }
    p->setCor(32);
    p->setSliceNo(9);
    setSlices(p, 9, 9);
    QVERIFY(body->ui().SelectCt2->isChecked());
    QCOMPARE(runAndRecord(*body).size(), 1);
    const QImage ct2 = body->workerPanels()[0]->ui().DispCt->image();
    const SliceValues ct2Values = body->workerPanels()[0]->shownValues();
    QVERIFY(ct2Values);
    QVERIFY(p->autoExec());
    if (button)
        body->ui().SelectCt1->click();
    else
        body->ui().SelectCt1->setChecked(true);
    QVERIFY(!p->autoExec());
    CtCalc *ct1 = body->ctCalc();
    ct1->ui().CalcAtOnce->setChecked(atOnce);
    QSignalSpy finished(body.get(), &Body::calcFinished);
    if (button)
        ct1->ui().StartCalc->click();
    else
        body->toggleCalcCt();
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    QVERIFY(!body->isCalculating());
    // The same slice as CT2's.
    QCOMPARE(ct1->ui().ShowSliceNo->text(), u"9"_s);
    QCOMPARE(ct1->ui().DispCt->image(), ct2);
    QVERIFY(std::equal(ct2Values->begin(), ct2Values->end(), ct1->engine().image().begin(),
        ct1->engine().image().end()));
    QCOMPARE(ct1->engine().projections(), partialImages > 0 ? partialImages : 60);
    QCOMPARE(ct1->engine().imageN(), 60);
    const std::vector<double> once(ct1->engine().image().begin(), ct1->engine().image().end());
    QVERIFY(*std::max_element(once.begin(), once.end()) > 0.0);

    // Start, stop and start again before the first run's queued step arrives: each step belongs to its
    // run only, so the slice is back-projected once (before, the maximum doubled).
    QSignalSpy ended(ct1, &CtCalc::calcFinished);
    if (button) {
        QSignalSpy bodyEnded(body.get(), &Body::calcFinished);
        body->ui().CalcCT->click();
        body->ui().CalcCT->click(); // the window's run ends at once; CT1's step is still queued
        QCOMPARE(bodyEnded.count(), 1);
        // The stop ends CT1's run too; the stopped run's queued step must not reach the new run.
        QCOMPARE(ended.count(), 1);
        body->ui().CalcCT->click();
        QTRY_COMPARE_WITH_TIMEOUT(bodyEnded.count(), 2, 10000);
        QCOMPARE(ended.count(), 2);
    } else {
        ct1->calcCt(); // start
        ct1->calcCt(); // stop
        QCOMPARE(ended.count(), 1);
        ct1->calcCt(); // start again
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 10000);
    }
    QVERIFY(!ct1->isRunning());
    const std::vector<double> again(ct1->engine().image().begin(), ct1->engine().image().end());
    QCOMPARE(again, once);
}

void TestBodyCalc::windowAndCommandWriteTheSameFiles()
{
    // The operator's whole road through the window, checked against the headless command. The data
    // set is a partial one: its angles begin at image 17's, not at the set's first.
    QTemporaryDir fromWindow, fromCommand;
    double cor = 0;
    int written = 0;
    {
        auto body = loadedBody(2);
        QVERIFY(body);
        body->ui().I0ImgSel->selectFile(data_.filePath(u"i0.img"_s));
        body->ui().BGImgSel->selectFile(data_.filePath(u"bg.img"_s));
        body->ui().procCtrl->setCor(20);
        QVERIFY(guessAndWait(*body));
        cor = body->ui().procCtrl->cor();
        // The facing images are 3 degrees short of 180: near the axis, not on it.
        QVERIFY2(std::abs(cor - 32) <= 0.3, qPrintable(QString::number(cor)));
        body->ui().procCtrl->setUsePartialDataSet(true);
        body->ui().procCtrl->setDataSetStartImageNo(17);
        body->ui().procCtrl->setDataSetUsingImages(40);
        setSlices(body->ui().procCtrl, 4, 10, 3);
        saveInto(*body, fromWindow.path(), u"E1"_s, true, u"w"_s);
        written = static_cast<int>(runAndRecord(*body).size());
    } // closing the window writes everything handed to the saver

    // After loading, the window's regions are 0 … L − 1.
    QString text;
    QCOMPARE(runRecon({data_.filePath(u"p"_s), u"--i0"_s, data_.filePath(u"i0.img"_s), u"--bg"_s,
                          data_.filePath(u"bg.img"_s), u"--axis"_s, u"v"_s, u"--cor"_s,
                          QString::number(cor, 'g', 17), u"--slices"_s, u"4:10:3"_s, u"--partial"_s,
                          u"17:40"_s, u"--region"_s, u"0,0,63,63"_s, u"--name"_s, u"w"_s, u"--tag"_s, u"E1"_s,
                          u"--out"_s, fromCommand.path()},
                 &text),
        0);
    const QStringList expected {u"w-E1-00004.dat"_s, u"w-E1-00004.png"_s, u"w-E1-00007.dat"_s,
        u"w-E1-00007.png"_s, u"w-E1-00010.dat"_s, u"w-E1-00010.png"_s};
    QCOMPARE(written, 3);
    QCOMPARE(filesUnder(fromWindow.path()), expected);
    QCOMPARE(filesUnder(fromCommand.path()), expected);
    QCOMPARE(firstDifferentFile(fromWindow.path(), fromCommand.path(), expected), QString());
}

void TestBodyCalc::offsetAxisInTheWindow()
{
    // A 360° scan with the axis 8 columns from the right edge: Guess CoR finds the axis, the
    // sinogram page shows the stitched sinogram (its half-turn, and the same mirrored), and CT1 makes
    // the whole stitched slice that CT2 makes, though the region is still the load's 0 … 63.
    QTemporaryDir dir;
    ScanSetup s;
    s.width = 64;
    s.height = 8;
    s.cor = 55;
    s.projections = 120;
    s.rangeDeg = 360.0;
    QVERIFY(writeScan(demoPhantomReaching(0.9 * 55), s, dir.filePath(u"p"_s), u"p_"_s, dir.filePath(u"i0.img"_s),
        dir.filePath(u"bg.img"_s)));
    auto body = loadedWindow({dir.filePath(u"p"_s)}, 1);
    QVERIFY(body);
    ProcCtrl *p = body->ui().procCtrl;
    p->setDataSetRangeDeg(360.0);
    p->setSliceNo(4);
    setSlices(p, 4, 4);
    p->setOffsetAxis(true);
    QVERIFY(body->sinogram()->guessCor());
    QVERIFY2(std::abs(p->cor() - 55.0) <= 0.25, qPrintable(QString::number(p->cor())));
    const SinogramData &sinogram = body->sinogram()->data();
    const int width = makeOffsetAxisGeometry(64, p->cor()).width;
    QCOMPARE(sinogram.width, width);
    QCOMPARE(sinogram.height, 60);
    QCOMPARE(body->sinogram()->ui().DispSinogram->imgDisp()->image().size(), QSize(width, 120));
    body->ui().SelectCt2->setChecked(true);
    QCOMPARE(runAndRecord(*body).size(), 1);
    const SliceValues ct2 = body->workerPanels()[0]->shownValues();
    QVERIFY(ct2 && ct2->size() == size_t((width & ~1) * (width & ~1)));
    body->ui().SelectCt1->setChecked(true);
    QVERIFY(calcAndWait(*body));
    const auto ct1 = body->ctCalc()->engine().image();
    QCOMPARE(body->ctCalc()->engine().projections(), 60);
    QVERIFY(std::equal(ct2->begin(), ct2->end(), ct1.begin(), ct1.end()));
}

QTEST_MAIN(TestBodyCalc)
#include "tst_bodycalc.moc"
