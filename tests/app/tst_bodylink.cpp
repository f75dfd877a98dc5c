// Qt
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "config/configstore.h"
#include "config/messagelog.h"
#include "automation/batch.h"
#include "ct/savenaming.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "imagedata/itexwriter.h"
#include "tests/app/roadfixture.h"
#include "tools/standin/standinviewer.h"
#include "widgets/dispb.h"
#include "widgets/rawdisp.h"
#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString hello = u"myName quorvel"_s;
const QString runStyle = u"background-color: rgb(255, 255, 128);"_s;
const QString noRunStyle = u"background-color: rgb(213, 245, 255);"_s;

struct Layout
{
    bool subFolders, ofEnergy, ofSlice;
};

} // namespace

/// The window's control of the viewer link, against the stand-in viewer on a real socket.
class TestBodyLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void continuousRunWalksTheRange_data();
    void continuousRunWalksTheRange();
    void stepZeroRepeatsUntilStopped();
    void pickedSliceIsSentToTheViewer_data();
    void pickedSliceIsSentToTheViewer();
    void busyShowsAndRefusalResets();
    void batchRunReportsItsEnd_data();
    void batchRunReportsItsEnd();
    void waitingBatchLinesEnd();
    void runDoesNotStartWithoutConnection();
    void batchLinesDriveTheViewer();

private:
    /// A window whose link is connected to the stand-in viewer, with slice files saved in `layout`
    /// (see saveSlices) and, for `from` ≥ 0, the slice range from … to by step.
    std::unique_ptr<Body> linkedBody(const Layout &layout = {}, int from = -1, int to = 0, int step = 1);
    /// Data files of slices 0 … 25 at tags E01 and E02, saved in `layout` into a fresh folder
    /// that the window's data-save selector names.
    void saveSlices(Body &body, const Layout &layout);
    /// The viewer's lines after its greetings.
    QStringList requests() const;
    /// The data file of `slice` at `tag`, in the sub-folder of the tag for `ofEnergy`.
    QString dataFile(const QString &tag, int slice, bool ofEnergy = false) const;

    std::unique_ptr<StandInViewer> viewer_;
    std::unique_ptr<QTemporaryDir> saveRoot_;
    QString saveDir_;
    QTemporaryDir images_;
    QStringList imageFiles_;
};

void TestBodyLink::initTestCase()
{
    std::vector<uint32_t> px(80 * 60);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = 100 + static_cast<uint32_t>(i % 80);
    for (int k = 0; k < 3; ++k) {
        imageFiles_ << images_.filePath(u"p%1.img"_s.arg(k));
        QVERIFY(writeItexFile(imageFiles_.last(), {80, 60, 2, 1.0, px}));
    }
}

void TestBodyLink::init()
{
    viewer_ = std::make_unique<StandInViewer>();
    viewer_->behaviour().delayMs = 5;
    QVERIFY(viewer_->listen());
    ConfigStore::instance().clear();
    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"127.0.0.1 %1"_s.arg(viewer_->port()));
}

void TestBodyLink::cleanup()
{
    viewer_.reset();
    saveRoot_.reset();
    ConfigStore::instance().clear();
}

std::unique_ptr<Body> TestBodyLink::linkedBody(const Layout &layout, int from, int to, int step)
{
    auto body = std::make_unique<Body>(nullptr, 1);
    // The window connects at start-up, without a click.
    QSignalSpy greeted(viewer_.get(), &StandInViewer::lineReceived);
    if (!greeted.wait(5000) || viewer_->received().value(0) != hello)
        return nullptr;
    saveSlices(*body, layout);
    if (from >= 0) {
        body->ui().procCtrl->setSliceFrom(from);
        body->ui().procCtrl->setSliceTo(to);
        body->ui().procCtrl->setSliceStep(step);
    }
    return body;
}

void TestBodyLink::saveSlices(Body &body, const Layout &layout)
{
    saveRoot_ = std::make_unique<QTemporaryDir>();
    saveDir_ = saveRoot_->filePath(u"ct"_s);
    const SubFolderRule rule {layout.subFolders, layout.ofEnergy, layout.ofSlice};
    for (int s = 0; s <= 25; ++s) {
        for (const QString &tag : {u"E01"_s, u"E02"_s}) {
            for (const QString &dir : targetDirs(saveDir_, tag, sliceText(s), rule)) {
                QVERIFY(QDir().mkpath(dir));
                QFile f(QDir(dir).filePath(ctFileName(u"c"_s, tag, sliceText(s), u"dat"_s)));
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
    }
    body.ui().SelectDataSaveDir->setDir(saveDir_);
    body.ui().SaveInSubFolders->setChecked(layout.subFolders);
    body.ui().SubOfEnergy->setChecked(layout.ofEnergy);
    body.ui().SubOfSlice->setChecked(layout.ofSlice);
}

QStringList TestBodyLink::requests() const
{
    QStringList lines = viewer_->received();
    lines.removeAll(hello);
    return lines;
}

QString TestBodyLink::dataFile(const QString &tag, int slice, bool ofEnergy) const
{
    const QString name = ctFileName(u"c"_s, tag, sliceText(slice), u"dat"_s);
    return QDir(saveDir_).absoluteFilePath(ofEnergy ? tag + u'/' + name : name);
}

void TestBodyLink::continuousRunWalksTheRange_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<QList<int>>("slices");
    QTest::addColumn<bool>("greetedAgain"); // ended on a slice without files (the slice number moved on)
    QTest::newRow("10 to 20 by 5") << 10 << 20 << 5 << QList<int> {10, 15, 20} << false;
    QTest::newRow("the last slice off the step") << 10 << 21 << 5 << QList<int> {10, 15, 20} << false;
    QTest::newRow("downwards") << 20 << 10 << 5 << QList<int> {20, 15, 10} << false;
    QTest::newRow("a negative step goes toward the last slice")
        << 10 << 20 << -5 << QList<int> {10, 15, 20} << false;
    QTest::newRow("one slice") << 7 << 7 << 3 << QList<int> {7} << false;
    QTest::newRow("a slice without files ends the run") << 20 << 30 << 3 << QList<int> {20, 23} << true;
}

void TestBodyLink::continuousRunWalksTheRange()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(QList<int>, slices);
    QFETCH(bool, greetedAgain);
    auto body = linkedBody({}, from, to, step);
    QVERIFY(body);
    ProcCtrl *proc = body->ui().procCtrl;

    body->ui().Cont2DA->click();
    QVERIFY(body->isCont2dARunning());
    QCOMPARE(body->ui().Cont2DA->styleSheet(), runStyle);
    QTRY_VERIFY_WITH_TIMEOUT(!body->isCont2dARunning(), 10000);
    QCOMPARE(body->ui().Cont2DA->styleSheet(), noRunStyle);

    // Load, analyse, next: each request only after the previous one finished.
    QStringList expected;
    for (int s : slices) {
        expected << u"LOAD_I1_FILES new %1 %2"_s.arg(dataFile(u"E01"_s, s), dataFile(u"E02"_s, s))
                 << u"ANALYZER_EXEC_2DA %1"_s.arg(sliceText(s));
    }
    QCOMPARE(requests(), expected);
    // Nothing is sent for a slice without files: the run ends there, failed.
    QCOMPARE(viewer_->received().count(hello), 1);
    QCOMPARE(proc->sliceNo(), greetedAgain ? slices.last() + step : slices.last());
    // The window takes no further step: nothing more arrives.
    QSignalSpy more(viewer_.get(), &StandInViewer::lineReceived);
    QVERIFY(!more.wait(100));
}

void TestBodyLink::stepZeroRepeatsUntilStopped()
{
    auto body = linkedBody({}, 12, 20, 0);
    QVERIFY(body);
    QSignalSpy finished(viewer_.get(), &StandInViewer::finished);
    body->ui().Cont2DA->click();
    QTRY_VERIFY_WITH_TIMEOUT(finished.size() >= 6, 10000); // three rounds
    QVERIFY(body->isCont2dARunning());
    body->ui().Cont2DA->click(); // stops the run
    QVERIFY(!body->isCont2dARunning());
    QCOMPARE(body->ui().Cont2DA->styleSheet(), noRunStyle);
    // The request under way still finishes; nothing follows it.
    QTRY_COMPARE_WITH_TIMEOUT(body->zelmapLink().isBusy(), false, 5000);
    const qsizetype count = requests().size();
    QSignalSpy more(viewer_.get(), &StandInViewer::lineReceived);
    QVERIFY(!more.wait(100));
    QCOMPARE(requests().size(), count);
    for (const QString &r : requests())
        QVERIFY2(r.endsWith(u"00012.dat"_s) || r == u"ANALYZER_EXEC_2DA 00012"_s, qPrintable(r));
}

void TestBodyLink::pickedSliceIsSentToTheViewer_data()
{
    QTest::addColumn<bool>("sendMsg");
    QTest::addColumn<bool>("with2DA");
    QTest::addColumn<int>("requestCount");
    QTest::newRow("Send Msg.: load only") << true << false << 1;
    QTest::newRow("Send Msg. and w 2DA: load, then 2DA") << true << true << 2;
    QTest::newRow("without Send Msg.: nothing") << false << true << 0;
}

void TestBodyLink::pickedSliceIsSentToTheViewer()
{
    QFETCH(bool, sendMsg);
    QFETCH(bool, with2DA);
    QFETCH(int, requestCount);
    auto body = linkedBody({true, true, false});
    QVERIFY(body);
    QVERIFY(body->ui().SendMsg2Zelmap->isChecked()); // checked at start
    body->zmlSetSendMsg(sendMsg);
    body->ui().With2DA->setChecked(with2DA);
    body->resize(1400, 900);
    body->show();
    body->ui().procCtrl->setRotAxV(true);
    QVERIFY(loadFiles(*body, imageFiles_));

    DispB *area = body->rawDisp()->area();
    const QPoint at(area->width() / 2, area->height() / 3);
    const int slice = static_cast<int>(body->rawDisp()->imagePointAt(at).y());
    QVERIFY(slice > 0 && slice <= 25);
    QSignalSpy finished(viewer_.get(), &StandInViewer::finished);
    QTest::mouseClick(area, Qt::LeftButton, {}, at);
    QCOMPARE(body->ui().procCtrl->sliceNo(), slice);
    if (requestCount > 0)
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), requestCount, 5000);
    else
        QVERIFY(!finished.wait(200));
    const QStringList all {
        u"LOAD_I1_FILES new %1 %2"_s.arg(dataFile(u"E01"_s, slice, true), dataFile(u"E02"_s, slice, true)),
        u"ANALYZER_EXEC_2DA %1"_s.arg(sliceText(slice))};
    QCOMPARE(requests(), all.mid(0, requestCount));
    QTRY_COMPARE_WITH_TIMEOUT(body->linkStage(), 0, 5000);
}

void TestBodyLink::busyShowsAndRefusalResets()
{
    viewer_->behaviour().neverFinish = true;
    auto body = linkedBody({}, 3, 9);
    QVERIFY(body);
    QCOMPARE(body->ui().Link2dZelmap->styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
    QCOMPARE(body->ui().ZMLIsBusy->styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
    QSignalSpy received(&body->zelmapLink(), &TcpClient::receiveAnMsg);
    body->ui().Cont2DA->click();
    QCOMPARE(body->ui().ZMLIsBusy->styleSheet(), u"background-color: rgb(255, 192, 192);"_s);
    QCOMPARE(body->linkStage(), 1);
    QVERIFY(received.wait(5000)); // the viewer's "ISBUSY 1", and nothing after it
    // A viewer that never finishes: the next request greets it again, which resets the control.
    body->ui().Exec2DA->click();
    QVERIFY(!body->isCont2dARunning());
    QCOMPARE(body->linkStage(), 0);
    QCOMPARE(body->ui().ZMLIsBusy->styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
    QTRY_COMPARE_WITH_TIMEOUT(viewer_->received().count(hello), 2, 5000);
    QCOMPARE(requests().size(), 1); // the load of slice 3 only
    // Not busy any more: "Exec 2DA" asks for the current slice, and its end leads nowhere.
    viewer_->behaviour().neverFinish = false;
    QSignalSpy finished(viewer_.get(), &StandInViewer::finished);
    body->ui().Exec2DA->click();
    QVERIFY(finished.wait(5000));
    QCOMPARE(requests().last(), u"ANALYZER_EXEC_2DA 00003"_s);
    QCOMPARE(body->linkStage(), 0);
}

void TestBodyLink::batchRunReportsItsEnd_data()
{
    QTest::addColumn<int>("closeAt"); // the viewer drops the connection at this request; 0 never
    QTest::addColumn<int>("last"); // the range is 1 … last (files exist for 0 … 25)
    QTest::addColumn<bool>("busyFirst"); // an "Exec 2DA" just before the run
    QTest::addColumn<int>("requestCount");
    QTest::addColumn<bool>("ok"); // the batch line's result
    QTest::newRow("the run ends") << 0 << 3 << false << 6 << true;
    QTest::newRow("the connection is lost") << 3 << 3 << false << 3 << false;
    QTest::newRow("a slice without files") << 0 << 27 << false << 50 << false;
    QTest::newRow("refused as busy after Exec 2DA") << 0 << 3 << true << 1 << false;
}

void TestBodyLink::batchRunReportsItsEnd()
{
    QFETCH(int, closeAt);
    QFETCH(int, last);
    QFETCH(bool, busyFirst);
    QFETCH(int, requestCount);
    QFETCH(bool, ok);
    viewer_->behaviour().closeAfter = closeAt;
    auto body = linkedBody({}, 1, last);
    QVERIFY(body);
    QSignalSpy done(body.get(), &Body::callBatchCheckEnd);
    QSignalSpy result(body.get(), &Body::callBatchLastOk); // sent only for a line that failed
    if (busyFirst)
        body->exec2dA0();
    body->zmlBatchCont2dA();
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 10000);
    QVERIFY(!body->isCont2dARunning());
    QTRY_COMPARE_WITH_TIMEOUT(int(requests().size()), requestCount, 5000);
    QCOMPARE(result.isEmpty(), ok);
    QCOMPARE(body->tally().linesFailed, ok ? 0 : 1);
    QVERIFY(!done.wait(100)); // reported once
    QCOMPARE(done.size(), 1);
}

void TestBodyLink::waitingBatchLinesEnd()
{
    // A viewer that never reports finished holds a line only until the batch's time-out; a
    // continuous run that would never end is not started from a batch.
    viewer_->behaviour().neverFinish = true;
    auto body = linkedBody();
    QVERIFY(body);
    QTemporaryDir dir;
    QSignalSpy ended(body->batch(), &Batch::runEnded);
    QVERIFY(startBatch(*body, dir.filePath(u"wait.bat"_s),
        {u"ct_slice_from 1"_s, u"ct_slice_to 3"_s, u"ct_slice_step 0"_s, u"zelmapLink_cont_2da"_s,
            u":ifng ct_angle_origin 7"_s, u"ct_slice_step 1"_s, u"batch_timeout 0.3"_s,
            u"zelmapLink_cont_2da"_s, u":ifng ct_threads 1"_s}));
    QVERIFY(ended.wait(10000));
    QCOMPARE(body->ui().procCtrl->angleOriginDeg(), 7.0); // step 0 refused
    QCOMPARE(body->ui().procCtrl->threads(), 1); // the run timed out
    QVERIFY(!body->isCont2dARunning());
    QCOMPARE(requests().size(), 1); // the load of slice 1, never reported finished
    QCOMPARE(body->tally().linesFailed, 2);
}

void TestBodyLink::runDoesNotStartWithoutConnection()
{
    MessageLog *log = MessageLog::install();
    const quint16 port = viewer_->port();
    viewer_->close();
    auto body = std::make_unique<Body>(nullptr, 1);
    QCOMPARE(body->zelmapLink().port(), int(port));
    QVERIFY(body->zelmapLink().enabled());
    QCOMPARE(body->ui().Link2dZelmap->styleSheet(), u"background-color: rgb(255, 243, 162);"_s);
    QSignalSpy done(body.get(), &Body::callBatchCheckEnd);
    body->ui().Cont2DA->click();
    QVERIFY(!body->isCont2dARunning());
    QCOMPARE(body->ui().Cont2DA->styleSheet(), noRunStyle);
    body->zmlBatchCont2dA(); // a batch goes on at once
    QCOMPARE(done.size(), 1);

    // A viewer that is not running is no problem: said once, as information, and the status line
    // stays calm. "Exec 2DA" says "not connected" and leaves the busy field as it was; a pick with
    // "Send Msg." on has nobody to tell and says nothing.
    QVERIFY(body->ui().SendMsg2Zelmap->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(
        std::any_of(log->messages().begin(), log->messages().end(),
            [](const LogMessage &m) { return m.text.startsWith(u"Can't connect to"_s); }),
        5000);
    body->resize(1400, 900);
    body->show();
    QVERIFY(QTest::qWaitForWindowExposed(body.get()));
    QVERIFY(loadFiles(*body, imageFiles_));
    const auto problems = [log] { // of this program (the test platform has its own warnings)
        QStringList texts;
        for (const LogMessage &m : log->messages())
            if (m.level != LogMessage::Info && m.type != QtDebugMsg
                && !m.text.contains(u"propagateSizeHints"_s))
                texts << m.text;
        return texts;
    };
    log->clear();
    DispB *area = body->rawDisp()->area();
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(area->width() / 2, area->height() / 3));
    QTest::qWait(1500); // a retry of the link comes and goes
    QCOMPARE(problems(), QStringList());
    body->ui().Exec2DA->click();
    QCoreApplication::processEvents();
    QCOMPARE(problems(), QStringList {u"2dZelmap is not connected: ANALYZER_EXEC_2DA is not sent"_s});
    QCOMPARE(body->ui().ZMLIsBusy->styleSheet(), u"background-color: rgb(211, 255, 241);"_s);
    QVERIFY(!body->zelmapLink().isBusy());
}

void TestBodyLink::batchLinesDriveTheViewer()
{
    // The line after "zelmapLink_cont_2da" runs only when the viewer has analysed every slice.
    auto body = linkedBody();
    QVERIFY(body);
    QTemporaryDir dir;
    int requestsAfterRun = -1;
    bool runningAfterRun = true;
    QObject relay;
    connect(body->batch(), &Batch::batchExCmd, &relay, [&](const BatchCmd &c) {
        if (c.cmd == u"ct_proc_slice"_s) {
            requestsAfterRun = int(requests().size());
            runningAfterRun = body->isCont2dARunning();
        }
    });
    QSignalSpy ended(body->batch(), &Batch::runEnded);
    QVERIFY(startBatch(*body, dir.filePath(u"link.bat"_s),
        {u"zelmapLink_connect"_s, u"ct_slice_from 1"_s, u"ct_slice_to 3"_s, u"zelmapLink_cont_2da"_s,
            u"ct_proc_slice 2"_s, u"zelmapLink_exec_2da"_s, u"ct_slice_step 4"_s}));
    QVERIFY(ended.wait(10000));
    QCOMPARE(requestsAfterRun, 6); // load and 2DA of each of the 3 slices
    QVERIFY(!runningAfterRun);
    QTRY_COMPARE_WITH_TIMEOUT(requests().size(), 7, 5000);
    QCOMPARE(requests().constLast(), u"ANALYZER_EXEC_2DA 00002"_s);
    QCOMPARE(body->ui().procCtrl->sliceStep(), 4);
}

QTEST_MAIN(TestBodyLink)
#include "tst_bodylink.moc"
