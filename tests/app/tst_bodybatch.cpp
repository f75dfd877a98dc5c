// Qt
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "app/config/configstore.h"
#include "automation/batch.h"
#include "automation/batchcommands.h"
#include "automation/ui/i0ofimage.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "tools/phantom/phantom.h"
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The object at a path of object names below `root` ("procCtrl/SliceNo").
QObject *at(QObject *root, const QString &path)
{
    QObject *o = root;
    for (const QString &name : path.split(u'/')) {
        o = o ? o->findChild<QObject *>(name) : nullptr;
    }
    return o;
}

// Brings signals of the batch thread to the test's thread, in the order they were sent.
class Relay : public QObject
{
    Q_OBJECT
signals:
    void ended();
};

} // namespace

/// The window's side of batch runs: every command acting on its control, completion reports,
/// configuration lines and "app_quit".
class TestBodyBatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void commands_data();
    void commands();
    void everyCommandIsKnown();
    void axisPairAnnouncesOnlyChanges_data();
    void axisPairAnnouncesOnlyChanges();
    void flagsOnlyOnOne_data();
    void flagsOnlyOnOne();
    void imagesSeekClamps_data();
    void imagesSeekClamps();
    void pagesByName_data();
    void pagesByName();
    void regionsReachEveryPanel_data();
    void regionsReachEveryPanel();
    void clearCommands();
    void i0AndBgLoad();
    void seriesBatchReconstructsEachLoadedSet();
    void ringRemovalLines_data();
    void ringRemovalLines();
    void seriesAndLinkFailures_data();
    void seriesAndLinkFailures();
    void configurationLinesRunAtConstruction();
    void configurationLoadHoldsTheBatch();
    void lineAfterLoadRunsOnTheLoadedSet();
    void calcExecReportsAtRunEnd();
    void failedLoadIsReportedAsFailure();
    void appQuitWaitsForTheRunAndItsFiles();
    void appQuitReportsFailedWrites();
    void closingDuringABatchRun();

private:
    QString startBatch(Body &body, const QStringList &lines);
    bool runBatch(Body &body, const QStringList &lines, int timeoutMs = 30000);
    std::unique_ptr<Body> loadedBody(int workers = 2);
    QTemporaryDir dir_;
    QString projDir_, i0_, bg_;
    QString seriesDir_, seriesI0Dir_, seriesBg_;
};

void TestBodyBatch::initTestCase()
{
    ScanSetup setup;
    setup.width = 64;
    setup.height = 16;
    setup.cor = 33;
    setup.projections = 40;
    projDir_ = dir_.filePath(u"p"_s);
    i0_ = dir_.filePath(u"i0.img"_s);
    bg_ = dir_.filePath(u"bg.img"_s);
    QVERIFY(writeScan(demoPhantom(64), setup, projDir_, u"ct_"_s, i0_, bg_));

    XafsSeriesSetup series;
    series.scan = setup;
    series.energies = 3;
    seriesDir_ = dir_.filePath(u"series"_s);
    seriesI0Dir_ = dir_.filePath(u"seriesI0"_s);
    seriesBg_ = dir_.filePath(u"seriesBg.img"_s);
    QVERIFY(writeXafsSeries(series, seriesDir_, seriesI0Dir_, seriesBg_));
}

void TestBodyBatch::cleanup()
{
    ConfigStore::instance().clear();
}

QString TestBodyBatch::startBatch(Body &body, const QStringList &lines)
{
    QFile f(dir_.filePath(u"run.bat"_s));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write((lines.join(u'\n') + u'\n').toUtf8());
    f.close();
    body.batchLoad(f.fileName());
    body.batchExec();
    return f.fileName();
}

bool TestBodyBatch::runBatch(Body &body, const QStringList &lines, int timeoutMs)
{
    Relay relay;
    QObject::connect(body.batch(), &Batch::runEnded, &relay, &Relay::ended);
    QSignalSpy ended(&relay, &Relay::ended);
    return !startBatch(body, lines).isEmpty() && ended.wait(timeoutMs);
}

std::unique_ptr<Body> TestBodyBatch::loadedBody(int workers)
{
    auto body = std::make_unique<Body>(nullptr, workers);
    body->ui().procCtrl->setRotAxV(true);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CTFiles->selectDirFiles(projDir_, {});
    if (!loaded.wait(10000))
        return nullptr;
    return body;
}

void TestBodyBatch::commands_data()
{
    QTest::addColumn<QString>("before"); // puts the control into the other state first
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("reactionSender"); // what announces the change, if anything
    QTest::addColumn<QByteArray>("reaction");

    const QByteArray checked = "checked", text = "text";
    const auto row = [&](const char *name, const QString &before, const QString &line, const QString &path,
                         const QByteArray &property, const QVariant &value, const QString &sender = {},
                         const QByteArray &reaction = {}) {
        QTest::newRow(name) << before << line << path << property << value << sender << reaction;
    };
    // Radio pairs and flags.
    row("images_new_on_load 0", {}, u"images_new_on_load 0"_s, u"CTFiles/AddFiles"_s, checked, true);
    row("images_add_on_load 0", u"images_add_on_load 1"_s, u"images_add_on_load 0"_s,
        u"CTFiles/LoadNewFiles"_s, checked, true);
    row("images_keep_setup", u"images_keep_setup 1"_s, u"images_keep_setup 0"_s, u"CTFiles/KeepConditions"_s,
        checked, false);
    row("ct_auto_exec", {}, u"ct_auto_exec 1"_s, u"procCtrl/AutoExecCtCalc"_s, checked, true, u"procCtrl"_s,
        SIGNAL(autoExecUpdated()));
    row("ct_auto_exec chooses CT2", {}, u"ct_auto_exec 1"_s, u"SelectCt2"_s, checked, true);
    row("ct_use_partial_data_set", {}, u"ct_use_partial_data_set 1"_s, u"procCtrl/UsePartialDataSet"_s,
        checked, true, u"procCtrl"_s, SIGNAL(usePartialDataSetUpdated()));
    row("ct_rot_ax_is_h 0", {}, u"ct_rot_ax_is_h 0"_s, u"procCtrl/RotAxV"_s, checked, true, u"procCtrl"_s,
        SIGNAL(rotAxUpdated()));
    row("ct_rot_ax_is_v 0", u"ct_rot_ax_is_v 1"_s, u"ct_rot_ax_is_v 0"_s, u"procCtrl/RotAxH"_s, checked, true,
        u"procCtrl"_s, SIGNAL(rotAxUpdated()));
    row("calc_ct1 0 chooses CT2", u"calc_ct1 1"_s, u"calc_ct1 0"_s, u"SelectCt2"_s, checked, true);
    row("calc_ct2 1", {}, u"calc_ct2 1"_s, u"SelectCt2"_s, checked, true);
    row("calc_ct2 0 chooses CT1", u"calc_ct2 1"_s, u"calc_ct2 0"_s, u"SelectCt1"_s, checked, true);
    row("calc_show_res", u"calc_show_res 0"_s, u"calc_show_res 1"_s, u"ShowCalcRes"_s, checked, true);
    row("fix_color_scale", {}, u"fix_color_scale 1"_s, u"FixColorScale"_s, checked, true);
    row("auto_save_image", {}, u"auto_save_image 1"_s, u"AutoSaveImage"_s, checked, true);
    row("auto_save_data", {}, u"auto_save_data 1"_s, u"AutoSaveData"_s, checked, true);
    row("auto_save_tiff", {}, u"auto_save_tiff 1"_s, u"AutoSaveTiff"_s, checked, true);
    row("ct_single_precision", {}, u"ct_single_precision 1"_s, u"procCtrl/SinglePrecision"_s, checked, true);
    row("ct_use_recorded_cor", {}, u"ct_use_recorded_cor 1"_s, u"procCtrl/UseRecordedCoR"_s, checked, true);
    row("auto_save_in_sub_folders", u"auto_save_in_sub_folders 1"_s, u"auto_save_in_sub_folders 0"_s,
        u"SaveInSubFolders"_s, checked, false);
    row("auto_save_in_sub_folders_of_slice", {}, u"auto_save_in_sub_folders_of_slice 1"_s, u"SubOfSlice"_s,
        checked, true);
    row("auto_save_in_sub_folders_of_energy", {}, u"auto_save_in_sub_folders_of_energy 1"_s, u"SubOfEnergy"_s,
        checked, true);
    row("add_inf_Ormel_standard", u"add_inf_Ormel_standard 1"_s, u"add_inf_Ormel_standard 0"_s,
        u"SelDDir/isOrmelStd_"_s, checked, false);
    row("add_inf_raw_i0_from_xafs", u"add_inf_raw_i0_from_xafs 1"_s, u"add_inf_raw_i0_from_xafs 0"_s,
        u"I0ofRawImage_/CalcFromXAFS"_s, checked, false);
    row("add_inf_i0_i0_from_xafs", u"add_inf_i0_i0_from_xafs 1"_s, u"add_inf_i0_i0_from_xafs 0"_s,
        u"I0ofI0Image_/CalcFromXAFS"_s, checked, false);
    row("seq_exec_show", {}, u"seq_exec_show 1"_s, u"ShowAdditionalInfo"_s, checked, true);
    row("seq_exec_keep_range_on_new_set", {}, u"seq_exec_keep_range_on_new_set 1"_s, u"keepOnNewSet"_s,
        checked, true);
    row("seq_exec_allow_uneven_sets", {}, u"seq_exec_allow_uneven_sets 1"_s, u"SelDDir/allowUneven_"_s,
        checked, true);
    row("add_inf_show", {}, u"add_inf_show 1"_s, u"ShowAdditionalInfo"_s, checked, true);
    row("zelmapLink_set_send_msg 1", {}, u"zelmapLink_set_send_msg 1"_s, u"SendMsg2Zelmap"_s, checked, true);
    row("zelmapLink_set_send_msg 0", u"zelmapLink_set_send_msg 1"_s, u"zelmapLink_set_send_msg 0"_s,
        u"SendMsg2Zelmap"_s, checked, false);

    // Numbers.
    row("images_exp_time", {}, u"images_exp_time 2.5"_s, u"CTFiles/ExpTime"_s, text, u"2.5"_s);
    row("images_multi flag", {}, u"images_multi 1 7"_s, u"CTFiles/LoadMultiTimes"_s, checked, true);
    row("images_multi count", {}, u"images_multi 1 7"_s, u"CTFiles/MultiTimes"_s, text, u"7"_s);
    row("i0_exp_time", {}, u"i0_exp_time 0.2"_s, u"I0ImgSel/ExpTimeLE"_s, text, u"0.2"_s);
    row("bg_exp_time", {}, u"bg_exp_time 1.25"_s, u"BGImgSel/ExpTimeLE"_s, text, u"1.25"_s);
    row("ct_proc_slice", {}, u"ct_proc_slice 42"_s, u"procCtrl/SliceNo"_s, text, u"42"_s, u"procCtrl"_s,
        SIGNAL(sliceNoUpdated()));
    row("ct_slice_from", {}, u"ct_slice_from 5"_s, u"procCtrl/SliceFrom"_s, text, u"5"_s);
    row("ct_slice_to", {}, u"ct_slice_to 77"_s, u"procCtrl/SliceTo"_s, text, u"77"_s);
    row("ct_slice_step", {}, u"ct_slice_step 3"_s, u"procCtrl/SliceStep"_s, text, u"3"_s);
    row("ct_threads", {}, u"ct_threads 2"_s, u"procCtrl/Threads"_s, "value", 2);
    row("ct_threads clamps", {}, u"ct_threads 99"_s, u"procCtrl/Threads"_s, "value", 4);
    row("ct_cor", {}, u"ct_cor 130.25"_s, u"procCtrl/Cor"_s, text, u"130.25"_s, u"procCtrl"_s,
        SIGNAL(corUpdated()));
    row("ct_cor without argument", {}, u"ct_cor"_s, u"procCtrl/Cor"_s, text, u"0"_s, u"procCtrl"_s,
        SIGNAL(corUpdated()));
    row("ct_recorded_cor_1", {}, u"ct_recorded_cor_1 500 1001"_s, u"procCtrl/RecordedCoR1"_s, text,
        u"1001 at 500"_s);
    row("ct_recorded_cor_2", {}, u"ct_recorded_cor_2 1500 1003.5"_s, u"procCtrl/RecordedCoR2"_s, text,
        u"1003.5 at 1500"_s);
    row("ct_angle_origin", {}, u"ct_angle_origin 12.5"_s, u"procCtrl/AngleOriginDeg"_s, text, u"12.5"_s,
        u"procCtrl"_s, SIGNAL(angleOriginUpdated()));
    row("ct_angle_offset", {}, u"ct_angle_offset -3"_s, u"procCtrl/AngleOriginDeg"_s, text, u"-3"_s,
        u"procCtrl"_s, SIGNAL(angleOriginUpdated()));
    row("ct_dataset_range", {}, u"ct_dataset_range 360"_s, u"procCtrl/DataSetRangeDeg"_s, text, u"360"_s,
        u"procCtrl"_s, SIGNAL(dataSetRangeUpdated()));
    row("ct_dataset_using_images", {}, u"ct_dataset_using_images 90"_s, u"procCtrl/DataSetUsingImages"_s,
        text, u"90"_s, u"procCtrl"_s, SIGNAL(dataSetUsingImagesUpdated()));
    row("ct_dataset_start_image_no", {}, u"ct_dataset_start_image_no 10"_s, u"procCtrl/DataSetStartImageNo"_s,
        text, u"10"_s, u"procCtrl"_s, SIGNAL(dataSetStartImageNoUpdated()));
    row("fix_color_min", {}, u"fix_color_min -0.5"_s, u"ColorMin"_s, text, u"-0.5"_s, u"ColorMin"_s,
        SIGNAL(editingFinished()));
    row("fix_color_max", {}, u"fix_color_max 2.123456789"_s, u"ColorMax"_s, text, u"2.12346"_s, u"ColorMax"_s,
        SIGNAL(editingFinished()));
    row("add_inf_raw_i0_val", {}, u"add_inf_raw_i0_val 2.5"_s, u"I0ofRawImage_/I0Val"_s, text, u"2.5"_s);
    row("add_inf_i0_i0_val", {}, u"add_inf_i0_i0_val 0.75"_s, u"I0ofI0Image_/I0Val"_s, text, u"0.75"_s);

    // Texts.
    row("auto_save_image_path", {}, u"auto_save_image_path /tmp/img"_s, u"SelectImageSaveDir/FilePath"_s,
        text, u"/tmp/img"_s);
    row("auto_save_image_name", {}, u"auto_save_image_name n1"_s, u"SelectImageSaveDir/Name"_s, text,
        u"n1"_s);
    row("auto_save_image_tag", {}, u"auto_save_image_tag t1"_s, u"SelectImageSaveDir/AddTag"_s, text,
        u"t1"_s);
    row("auto_save_data_path quoted", {}, u"auto_save_data_path \"/tmp/my data\""_s,
        u"SelectDataSaveDir/FilePath"_s, text, u"/tmp/my data"_s);
    row("auto_save_data_name", {}, u"auto_save_data_name n2"_s, u"SelectDataSaveDir/Name"_s, text, u"n2"_s);
    row("auto_save_data_tag", {}, u"auto_save_data_tag t2"_s, u"SelectDataSaveDir/AddTag"_s, text, u"t2"_s);
    row("auto_save_data_tag empty", u"auto_save_data_tag t2"_s, u"auto_save_data_tag"_s,
        u"SelectDataSaveDir/AddTag"_s, text, QString());
    row("auto_save_data_upper_limit", {}, u"auto_save_data_upper_limit 5e3"_s, u"DataUpperLimit"_s, text,
        u"5e3"_s);
    row("auto_save_data_lower_limit", {}, u"auto_save_data_lower_limit -2"_s, u"DataLowerLimit"_s, text,
        u"-2"_s);
    row("auto_save_data_offset", {}, u"auto_save_data_offset 3"_s, u"DataOffset"_s, text, u"3"_s);
    row("add_inf_raw_i0_xafs", {}, u"add_inf_raw_i0_xafs /d/x.dat"_s, u"I0ofRawImage_/XafsFile/FilePath"_s,
        text, u"/d/x.dat"_s, u"I0ofRawImage_/XafsFile"_s, SIGNAL(fileSelected(QString)));
    row("add_inf_i0_i0_xafs", {}, u"add_inf_i0_i0_xafs /d/y.dat"_s, u"I0ofI0Image_/XafsFile/FilePath"_s, text,
        u"/d/y.dat"_s, u"I0ofI0Image_/XafsFile"_s, SIGNAL(fileSelected(QString)));
    row("add_inf_raw_i0_eng_ptn", {}, u"add_inf_raw_i0_eng_ptn ###_##"_s, u"I0ofRawImage_/EngPattern"_s, text,
        u"###_##"_s);
    row("add_inf_i0_i0_eng_ptn", {}, u"add_inf_i0_i0_eng_ptn #_#"_s, u"I0ofI0Image_/EngPattern"_s, text,
        u"#_#"_s);
    row("seq_exec_file_pattern", {}, u"seq_exec_file_pattern *.tif"_s, u"SelDDir/Pattern"_s, text,
        u"*.tif"_s);
    row("show_tab", {}, u"show_tab 4"_s, u"ImgsTab"_s, "currentIndex", 4, u"ImgsTab"_s,
        SIGNAL(currentChanged(int)));
    row("capitals", {}, u"CT_SLICE_FROM 9"_s, u"procCtrl/SliceFrom"_s, text, u"9"_s);
}

void TestBodyBatch::commands()
{
    QFETCH(QString, before);
    QFETCH(QString, line);
    QFETCH(QString, path);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QFETCH(QString, reactionSender);
    QFETCH(QByteArray, reaction);
    Body body(nullptr, 4);
    if (!before.isEmpty())
        QVERIFY(body.execCommand(parseBatchCmd(before)));
    QObject *target = at(&body, path);
    QVERIFY2(target, qPrintable(path));
    std::unique_ptr<QSignalSpy> spy;
    if (!reaction.isEmpty())
        spy = std::make_unique<QSignalSpy>(at(&body, reactionSender), reaction.constData());
    QVERIFY(body.execCommand(parseBatchCmd(line)));
    QCOMPARE(target->property(property.constData()), value);
    if (spy)
        QCOMPARE(spy->count(), 1);
}

void TestBodyBatch::everyCommandIsKnown()
{
    // A command of the set that the window lacked would be ignored silently, like an unknown word.
    Body body(nullptr, 1);
    for (const BatchCommandEntry &s : batchCommandSet()) {
        QVERIFY2(body.knowsCommand(s.word), qPrintable(s.word));
        QVERIFY2(body.knowsCommand(s.word.toUpper()), qPrintable(s.word));
    }
    for (const char *word : {":goto", ":ifok", "#images_load", "## Original Images", "", "DataRoot"})
        QVERIFY2(!body.knowsCommand(QString::fromLatin1(word)), word);

    // Any arguments, even absurd ones, leave the window working.
    QSignalSpy finishing(&body, &Body::finishing);
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    for (const BatchCommandEntry &s : batchCommandSet()) {
        if (s.word == u"app_quit"_s)
            continue;
        for (const char *args : {"", " nan -inf 1e308 -1e308", " 99999999999 \"\" x", " \xff\x01"})
            body.execCommand(parseBatchCmd(s.word + QString::fromLatin1(args)));
    }
    qInstallMessageHandler(previous);
    QTest::qWait(50);
    QCOMPARE(finishing.count(), 0);
    QVERIFY(!body.isCalculating());
}

void TestBodyBatch::axisPairAnnouncesOnlyChanges_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("announced");
    QTest::addColumn<bool>("vertical");
    QTest::newRow("already horizontal") << QStringList {u"ct_rot_ax_is_h 1"_s} << 0 << false;
    QTest::newRow("v 0 is horizontal too") << QStringList {u"ct_rot_ax_is_v 0"_s} << 0 << false;
    QTest::newRow("to vertical and back")
        << QStringList {u"ct_rot_ax_is_v 1"_s, u"ct_rot_ax_is_v 1"_s, u"ct_rot_ax_is_h 1"_s} << 2 << false;
    QTest::newRow("a word reads as off") << QStringList {u"ct_rot_ax_is_h yes"_s} << 1 << true;
}

void TestBodyBatch::axisPairAnnouncesOnlyChanges()
{
    QFETCH(QStringList, lines);
    QFETCH(int, announced);
    QFETCH(bool, vertical);
    Body body(nullptr, 1);
    QSignalSpy spy(body.ui().procCtrl, &ProcCtrl::rotAxUpdated);
    for (const QString &l : lines)
        body.execCommand(parseBatchCmd(l));
    QCOMPARE(spy.count(), announced);
    QCOMPARE(body.ui().procCtrl->rotAxV(), vertical);
    QCOMPARE(body.ui().procCtrl->ui().RotAxV->isChecked(), vertical);
}

void TestBodyBatch::flagsOnlyOnOne_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << u"1"_s << true;
    QTest::newRow("2") << u"2"_s << false;
    QTest::newRow("word") << u"on"_s << false;
    QTest::newRow("missing") << QString() << false;
    QTest::newRow("1.0") << u"1.0"_s << false;
}

void TestBodyBatch::flagsOnlyOnOne()
{
    QFETCH(QString, argument);
    QFETCH(bool, on);
    Body body(nullptr, 1);
    body.ui().procCtrl->setAutoExec(!on);
    body.execCommand(parseBatchCmd(u"ct_auto_exec "_s + argument));
    QCOMPARE(body.ui().procCtrl->autoExec(), on);
}

void TestBodyBatch::imagesSeekClamps_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("index");
    QTest::newRow("beyond the last image") << u"images_seek 1000"_s << 39;
    QTest::newRow("negative") << u"images_seek -5"_s << 0;
    QTest::newRow("beyond 32 bits reads as 0") << u"images_seek 99999999999"_s << 0;
    QTest::newRow("inside") << u"images_seek 17"_s << 17;
}

void TestBodyBatch::imagesSeekClamps()
{
    QFETCH(QString, line);
    QFETCH(int, index);
    auto body = loadedBody();
    QVERIFY(body);
    body->ui().seekCtrl->setValue(5);
    QSignalSpy shown(body->ui().seekCtrl, &SeekCtrl::newIndex);
    body->execCommand(parseBatchCmd(line));
    QCOMPARE(body->ui().seekCtrl->value(), index);
    QCOMPARE(shown.count(), 1); // the raw image follows
}

void TestBodyBatch::pagesByName_data()
{
    QTest::addColumn<QString>("showAll");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("page");
    for (const QString &showAll : {u"0"_s, u"1"_s}) {
        const QByteArray layout = showAll == u"1"_s ? "one page per worker: " : "one CT2 page: ";
        const auto row = [&](const char *name, const QString &line, const QString &page) {
            QTest::newRow(layout + name) << showAll << line << page;
        };
        row("show_orig", u"show_orig"_s, u"RawImageTab"_s);
        row("show_sinogram", u"show_sinogram"_s, u"SinogramTab"_s);
        row("show_ct1", u"show_ct1"_s, u"CTImageTab"_s);
        row("show_i0", u"show_i0"_s, u"I0ImageTab"_s);
        row("show_bg", u"show_bg"_s, u"BGImageTab"_s);
        row("show_ct2 0", u"show_ct2 0"_s, u"CT2Tab1"_s);
        row("show_ct2 1", u"show_ct2 1"_s, showAll == u"1"_s ? u"CT2Tab2"_s : u"CT2Tab1"_s);
        row("show_ct2 99", u"show_ct2 99"_s, showAll == u"1"_s ? u"CT2Tab3"_s : u"CT2Tab1"_s);
        row("show_tab 999 changes nothing", u"show_tab 999"_s, u"SinogramTab"_s);
        row("show_tab -1 changes nothing", u"show_tab -1"_s, u"SinogramTab"_s);
    }
}

void TestBodyBatch::pagesByName()
{
    QFETCH(QString, showAll);
    QFETCH(QString, line);
    QFETCH(QString, page);
    ConfigStore::instance().setEntry(u"show_all_ct2_images"_s, showAll);
    Body body(nullptr, 3);
    body.ui().ImgsTab->setCurrentWidget(body.ui().SinogramTab);
    QVERIFY(body.execCommand(parseBatchCmd(line)));
    QCOMPARE(body.ui().ImgsTab->currentWidget()->objectName(), page);
}

void TestBodyBatch::regionsReachEveryPanel_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("calc");
    QTest::addColumn<QList<double>>("region");
    QTest::newRow("calculation region")
        << u"ct_set_calc_region 1 2 30.5 40"_s << true << QList<double> {1, 2, 30.5, 40};
    QTest::newRow("display region") << u"ct_set_disp_region 3 4 50 60"_s << false
                                    << QList<double> {3, 4, 50, 60};
    QTest::newRow("not-a-number reads as 0")
        << u"ct_set_calc_region nan 2 inf 4"_s << true << QList<double> {0, 2, 0, 4};
    QTest::newRow("missing arguments read as 0")
        << u"ct_set_disp_region 7"_s << false << QList<double> {7, 0, 0, 0};
}

void TestBodyBatch::regionsReachEveryPanel()
{
    QFETCH(QString, line);
    QFETCH(bool, calc);
    QFETCH(QList<double>, region);
    Body body(nullptr, 3);
    QVERIFY(body.execCommand(parseBatchCmd(line)));
    std::vector<CtPanel *> panels {body.ctCalc()};
    panels.insert(panels.end(), body.workerPanels().begin(), body.workerPanels().end());
    for (CtPanel *p : panels) {
        const Region r = calc ? p->calcRegion() : p->dispRegion();
        QCOMPARE((QList<double> {r.x0, r.z0, r.x1, r.z1}), region);
    }
}

void TestBodyBatch::clearCommands()
{
    auto body = loadedBody();
    QVERIFY(body);
    Ui_Body &ui = body->ui();
    for (const char *line : {"auto_save_image_path /a", "auto_save_image_name n", "auto_save_image_tag t",
             "auto_save_data_path /b", "auto_save_data_name m", "auto_save_data_tag u",
             "add_inf_raw_i0_xafs /x.dat", "add_inf_i0_i0_xafs /y.dat"})
        body->execCommand(parseBatchCmd(QString::fromLatin1(line)));
    QVERIFY(ui.CTFiles->count() > 0);
    for (const char *line : {"images_clear", "auto_save_image_clear", "auto_save_data_clear",
             "add_inf_raw_i0_xafs_clear", "add_inf_i0_i0_xafs_clear"})
        QVERIFY(body->execCommand(parseBatchCmd(QString::fromLatin1(line))));
    QCOMPARE(ui.CTFiles->count(), 0);
    for (SelectSaveDir *s : {ui.SelectImageSaveDir, ui.SelectDataSaveDir}) {
        QVERIFY(s->dir().isEmpty());
        QVERIFY(s->name().isEmpty());
        QVERIFY(s->tag().isEmpty());
    }
    QVERIFY(ui.I0ofRawImage_->ui().XafsFile->filePath().isEmpty());
    QVERIFY(ui.I0ofI0Image_->ui().XafsFile->filePath().isEmpty());
}

void TestBodyBatch::i0AndBgLoad()
{
    auto body = loadedBody();
    QVERIFY(body);
    SelectAImgFile *i0 = body->ui().I0ImgSel;
    QVERIFY(body->execCommand(parseBatchCmd(u"i0_load "_s + i0_)));
    QVERIFY(i0->img());
    QCOMPARE(i0->img()->fileName(), i0_);
    QVERIFY(body->execCommand(parseBatchCmd(u"bg_load "_s + bg_)));
    QCOMPARE(body->ui().BGImgSel->img()->fileName(), bg_);

    // A file that cannot be opened is a failed line.
    QVERIFY(!body->execCommand(parseBatchCmd(u"i0_load "_s + dir_.filePath(u"none.img"_s))));
    // An empty name forgets the file, as an empty setup field means.
    QVERIFY(body->execCommand(parseBatchCmd(u"i0_load"_s)));
    QVERIFY(!i0->img());
    QVERIFY(i0->filePath().isEmpty());
    QVERIFY(body->execCommand(parseBatchCmd(u"bg_clear"_s)));
    QVERIFY(!body->ui().BGImgSel->img());
    QVERIFY(body->ui().BGImgSel->filePath().isEmpty());
}

void TestBodyBatch::seriesBatchReconstructsEachLoadedSet()
{
    // Each set of the series is loaded, then reconstructed; the line after "seq_exec_set" must see
    // the whole set (with the I0 of its energy), or the run would reconstruct part of one set.
    QTemporaryDir out;
    Body body(nullptr, 2);
    QStringList seen; // the set as each line after "seq_exec_set" finds it
    Relay relay;
    connect(body.batch(), &Batch::batchExCmd, &relay, [&](const BatchCmd &c) {
        if (c.cmd == u"images_seek"_s)
            seen << u"%1 %2 %3"_s.arg(body.imageSet()->count())
                        .arg(body.ui().seekCtrl->value())
                        .arg(QFileInfo(body.ui().I0ImgSel->filePath()).fileName());
    });
    QVERIFY(runBatch(body,
        {u"ct_rot_ax_is_v 1"_s, u"seq_exec_dir "_s + seriesDir_,
            u"seq_exec_select_i0 "_s + seriesI0Dir_ + u" *.img"_s, u"bg_load "_s + seriesBg_, u"ct_cor 33"_s,
            u"ct_auto_exec 1"_s, u"ct_slice_from 7"_s, u"ct_slice_to 7"_s, u"auto_save_data 1"_s,
            u"auto_save_data_path "_s + out.path(), u"auto_save_data_name w"_s,
            u"auto_save_in_sub_folders 1"_s, u"auto_save_in_sub_folders_of_energy 1"_s,
            u"auto_save_in_sub_folders_of_slice 0"_s, u"next"_s, u"seq_exec_set"_s, u"images_seek 1000"_s,
            u"calc_exec"_s, u"seq_exec_next"_s, u":ifok :goto next"_s, u"ct_slice_step 9"_s},
        60000));
    QCOMPARE(seen,
        (QStringList {
            u"40 39 I0-7090eV-0001.img"_s, u"40 39 I0-7115eV-0001.img"_s, u"40 39 I0-7140eV-0001.img"_s}));
    QCOMPARE(body.ui().procCtrl->sliceStep(), 9); // the loop ended on the failed "seq_exec_next"
    QTRY_VERIFY_WITH_TIMEOUT(body.savingRecords() == 0, 10000);
    QByteArray previous;
    for (const QString &e : {u"7090eV"_s, u"7115eV"_s, u"7140eV"_s}) {
        QFile f(QDir(out.path()).filePath(u"%1/w-%1-00007.dat"_s.arg(e)));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes != previous); // each energy its own slice
        previous = bytes;
    }
}

void TestBodyBatch::ringRemovalLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("warning"); // empty: accepted
    QTest::addColumn<int>("method");
    QTest::addColumn<double>("snr");
    QTest::addColumn<int>("small");
    // The window starts from "ct_ring_removal large" and "ct_ring_params snr=4".
    QTest::newRow("method") << u"ct_ring_removal all"_s << QString() << int(StripeMethod::All) << 4.0 << 21;
    QTest::newRow("off") << u"CT_RING_REMOVAL off"_s << QString() << int(StripeMethod::Off) << 4.0 << 21;
    QTest::newRow("parameters") << u"ct_ring_params small=11 snr=2"_s << QString() << int(StripeMethod::Large)
                                << 2.0 << 11;
    QTest::newRow("unknown method")
        << u"ct_ring_removal rings"_s
        << u"ct_ring_removal: the method is off, all, sort, large or dead, not \"rings\""_s
        << int(StripeMethod::Large) << 4.0 << 21;
    QTest::newRow("window out of range: nothing changes")
        << u"ct_ring_params snr=2 small=1"_s
        << u"ct_ring_params: small 1 is not an odd whole number from 3 to 501"_s << int(StripeMethod::Large)
        << 4.0 << 21;
    QTest::newRow("snr out of range")
        << u"ct_ring_params snr=500"_s << u"ct_ring_params: snr 500 is outside 1 … 100"_s
        << int(StripeMethod::Large) << 4.0 << 21;
}

void TestBodyBatch::ringRemovalLines()
{
    QFETCH(QString, line);
    QFETCH(QString, warning);
    QFETCH(int, method);
    QFETCH(double, snr);
    QFETCH(int, small);
    Body body(nullptr, 1);
    QVERIFY(body.execCommand(parseBatchCmd(u"ct_ring_removal large"_s)));
    QVERIFY(body.execCommand(parseBatchCmd(u"ct_ring_params snr=4"_s)));
    QSignalSpy updated(body.ui().procCtrl, &ProcCtrl::ringRemovalUpdated);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QCOMPARE(body.execCommand(parseBatchCmd(line)), warning.isEmpty());
    const StripeParams p = body.ui().procCtrl->stripeParams();
    QCOMPARE(int(p.method), method);
    QCOMPARE(p.snr, snr);
    QCOMPARE(p.smallSize, small);
    QCOMPARE(updated.count(), warning.isEmpty() ? 1 : 0);
}

void TestBodyBatch::seriesAndLinkFailures_data()
{
    QTest::addColumn<QStringList>("lines"); // the last line is tested by ":ifng"
    QTest::addColumn<QString>("message");
    const QString junk = dir_.filePath(u"junk"_s);
    QDir().mkpath(junk);
    for (const char *name : {"s-7100eV-0001.img", "s-7100eV-0002.img"}) {
        QFile f(QDir(junk).filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write("not an image");
    }
    QTest::newRow("seq_exec_next without data sets")
        << QStringList {u"seq_exec_next"_s} << u"seq_exec_next: there is no next data set"_s;
    QTest::newRow("seq_exec_next past the last set") << QStringList {u"seq_exec_dir "_s + seriesDir_,
        u"seq_exec_next"_s, u"seq_exec_next"_s, u"seq_exec_next"_s}
                                                     << u"seq_exec_next: there is no next data set"_s;
    QTest::newRow("seq_exec_set without data sets")
        << QStringList {u"seq_exec_set"_s} << u"seq_exec_set: there is no current data set"_s;
    QTest::newRow("seq_exec_set of files that are no images")
        << QStringList {u"seq_exec_dir "_s + junk, u"seq_exec_set"_s} << u"loaded no image"_s;
    QTest::newRow("seq_exec_dir without data sets")
        << QStringList {u"seq_exec_dir "_s + dir_.filePath(u"nowhere"_s)}
        << u"seq_exec_dir: no data set found in"_s;
    QTest::newRow("seq_exec_select_i0 without files")
        << QStringList {u"seq_exec_select_i0 "_s + seriesI0Dir_ + u" *.tif"_s}
        << u"seq_exec_select_i0: no I0 file found in"_s;
    QTest::newRow("zelmapLink_exec_2da without a connection")
        << QStringList {u"zelmapLink_exec_2da"_s} << u"zelmapLink_exec_2da: 2dZelmap is not connected"_s;
    QTest::newRow("zelmapLink_cont_2da without a connection")
        << QStringList {u"zelmapLink_cont_2da"_s} << u"zelmapLink_cont_2da: 2dZelmap is not connected"_s;
}

void TestBodyBatch::seriesAndLinkFailures()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"127.0.0.1 1"_s); // nothing listens there
    Body body(nullptr, 1);
    // The batch thread logs too.
    static QMutex logLock;
    static QStringList log;
    log.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
              const QMutexLocker locker(&logLock);
              log << m;
          });
    const bool ended = runBatch(body,
        lines
            + QStringList {
                u":ifng :goto bad"_s, u"ct_slice_step 5"_s, u":end"_s, u"bad"_s, u"ct_slice_step 9"_s});
    qInstallMessageHandler(previous);
    QVERIFY(ended);
    QCOMPARE(body.ui().procCtrl->sliceStep(), 9);
    const QMutexLocker locker(&logLock);
    QVERIFY2(!log.filter(message).isEmpty(), qPrintable(log.join(u'\n')));
}

void TestBodyBatch::configurationLinesRunAtConstruction()
{
    QFile cfg(dir_.filePath(u"quorvel.cfg"_s));
    QVERIFY(cfg.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cfg.write("DataRoot /tmp   # not a command\n"
              "ct_cor 77.5\n"
              "CALC_CT2 1\n"
              "auto_save_data_path \"/data/a b\"\n"
              "calc_exec\n"); // nothing loaded: a message, and the lines go on
    cfg.close();
    QVERIFY(ConfigStore::instance().readConfigFile(cfg.fileName()));
    QTest::ignoreMessage(QtCriticalMsg, "calc_exec: no raw images are loaded, nothing to calculate");
    Body body(nullptr, 1);
    QCOMPARE(body.ui().procCtrl->cor(), 77.5);
    QVERIFY(body.ui().SelectCt2->isChecked());
    QCOMPARE(body.ui().SelectDataSaveDir->dir(), u"/data/a b"_s);
    QVERIFY(!body.isCalculating());
    QCOMPARE(body.tally().linesFailed, 1); // the calculation that could not start
}

void TestBodyBatch::configurationLoadHoldsTheBatch()
{
    // The configuration starts a load; the batch's first line needs the whole set. A second load
    // while the first runs is refused: never two loading chains.
    QFile cfg(dir_.filePath(u"load.cfg"_s));
    QVERIFY(cfg.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cfg.write(QStringLiteral("ct_rot_ax_is_v 1\nimages_load %1 *.img\nimages_load %1 *.img\n").arg(projDir_).toUtf8());
    cfg.close();
    QVERIFY(ConfigStore::instance().readConfigFile(cfg.fileName()));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^images_load: a load is in progress; this one is refused"_s));
    Body body(nullptr, 1);
    QVERIFY(body.isLoading());
    QVERIFY(runBatch(body, {u"ct_guess_cor"_s, u":ifng ct_slice_step 9"_s}));
    QCOMPARE(body.imageSet()->count(), 40);
    QCOMPARE(body.ui().CTFiles->count(), 40);
    QVERIFY(body.ui().procCtrl->sliceStep() != 9); // the guess found the whole set
    QCOMPARE(body.tally().linesFailed, 1); // the refused second load
}

void TestBodyBatch::lineAfterLoadRunsOnTheLoadedSet()
{
    // Each line after "images_load" must see the whole set: were the line reported done when its
    // files were merely selected, the seek would clamp to an empty set and the guess find no image.
    Body body(nullptr, 2);
    QVERIFY(runBatch(body,
        {u"ct_rot_ax_is_v 1"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"images_seek 1000"_s,
            u"ct_guess_cor"_s, u"ct_slice_step 4"_s}));
    QCOMPARE(body.imageSet()->count(), 40);
    QCOMPARE(body.ui().seekCtrl->value(), 39);
    const double cor = body.ui().procCtrl->cor();
    QVERIFY2(cor > 32 && cor < 35, qPrintable(QString::number(cor)));
    QCOMPARE(body.ui().procCtrl->sliceStep(), 4);
}

void TestBodyBatch::calcExecReportsAtRunEnd()
{
    auto body = loadedBody(2);
    QVERIFY(body);
    QStringList events;
    Relay relay;
    connect(body.get(), &Body::calcFinished, &relay, [&] { events << u"calcFinished"_s; });
    // Queued after the window's own slot, so each entry is written once the window has executed it.
    connect(body->batch(), &Batch::batchExCmd, &relay, [&, b = body.get()](const BatchCmd &c) {
        events << c.cmd;
        if (c.cmd == u"calc_exec"_s) {
            // A setup file loaded and a configuration line executed during the run must not let
            // the batch go on before the run has ended.
            QVERIFY(b->isCalculating());
            b->execCommand(parseBatchCmd(u"ct_slice_from 2"_s));
            QFile setup(dir_.filePath(u"during.cfg"_s));
            QVERIFY(setup.open(QIODevice::WriteOnly | QIODevice::Truncate));
            setup.write("ct_slice_to 12\nauto_save_image 0\n");
            setup.close();
            QVERIFY(b->loadSetup(setup.fileName()));
        }
    });
    QVERIFY(runBatch(*body,
        {u"i0_load "_s + i0_, u"bg_load "_s + bg_, u"ct_cor 33"_s, u"ct_auto_exec 1"_s, u"ct_slice_from 0"_s,
            u"ct_slice_to 15"_s, u"calc_exec"_s, u"ct_slice_step 2"_s, u"ct_slice_step 3"_s}));
    QCOMPARE(events,
        (QStringList {u"i0_load"_s, u"bg_load"_s, u"ct_cor"_s, u"ct_auto_exec"_s, u"ct_slice_from"_s,
            u"ct_slice_to"_s, u"calc_exec"_s, u"calcFinished"_s, u"ct_slice_step"_s, u"ct_slice_step"_s}));
    QCOMPARE(body->ui().procCtrl->sliceStep(), 3);
}

void TestBodyBatch::failedLoadIsReportedAsFailure()
{
    Body body(nullptr, 1);
    const QString missing = dir_.filePath(u"nowhere"_s);
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(u"images_load: no image was loaded from "_s + missing));
    QVERIFY(runBatch(body,
        {u"images_load "_s + missing + u" *.img"_s, u":ifng :goto bad"_s, u"ct_slice_step 5"_s, u":end"_s,
            u"bad"_s, u"ct_slice_step 9"_s}));
    QCOMPARE(body.ui().procCtrl->sliceStep(), 9);
}

void TestBodyBatch::appQuitWaitsForTheRunAndItsFiles()
{
    QTemporaryDir out;
    auto body = loadedBody(2);
    QVERIFY(body);
    QSignalSpy finishing(body.get(), &Body::finishing);
    QSignalSpy calcFinished(body.get(), &Body::calcFinished);
    bool calculatingAtQuit = true;
    connect(
        body.get(), &Body::finishing, this, [&, b = body.get()] { calculatingAtQuit = b->isCalculating(); });
    startBatch(*body,
        {u"i0_load "_s + i0_, u"bg_load "_s + bg_, u"ct_cor 33"_s, u"ct_auto_exec 1"_s, u"ct_slice_from 0"_s,
            u"ct_slice_to 15"_s, u"auto_save_data 1"_s, u"auto_save_image 1"_s,
            u"auto_save_in_sub_folders 0"_s, u"auto_save_data_path "_s + out.path(),
            u"auto_save_image_path "_s + out.path(), u"auto_save_data_tag q"_s, u"auto_save_image_tag q"_s,
            u"calc_exec"_s, u"app_quit"_s, u"ct_slice_step 7"_s});
    QVERIFY(finishing.wait(30000));
    QTest::qWait(20);
    QCOMPARE(finishing.count(), 1);
    QCOMPARE(calcFinished.count(), 1);
    QVERIFY(!calculatingAtQuit);
    QCOMPARE(QDir(out.path()).entryList({u"*.dat"_s}).size(), 16);
    QCOMPARE(QDir(out.path()).entryList({u"*.png"_s}).size(), 16);
    QCOMPARE(body->exitStatus(), 0);
    QVERIFY(body->ui().procCtrl->sliceStep() != 7); // nothing after "app_quit" runs
}

void TestBodyBatch::appQuitReportsFailedWrites()
{
    auto body = loadedBody(1);
    QVERIFY(body);
    QFile blocker(dir_.filePath(u"a-file"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSignalSpy finishing(body.get(), &Body::finishing);
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    startBatch(*body,
        {u"ct_cor 33"_s, u"calc_ct2 1"_s, u"auto_save_data 1"_s,
            u"auto_save_data_path "_s + blocker.fileName() + u"/sub"_s, u"calc_exec"_s, u"app_quit"_s});
    const bool quit = finishing.wait(30000);
    qInstallMessageHandler(previous);
    QVERIFY(quit);
    QCOMPARE(body->exitStatus(), 1);
}

void TestBodyBatch::closingDuringABatchRun()
{
    // The window goes while its batch waits for a load and a run: nothing may hang or crash, and
    // the batch thread must be gone with it.
    auto body = std::make_unique<Body>(nullptr, 2);
    QPointer<QThread> thread = body->batch()->thread();
    Relay relay;
    QSignalSpy handedOut(&relay, &Relay::ended);
    connect(body->batch(), &Batch::batchExCmd, &relay, [&](const BatchCmd &c) {
        if (c.cmd == u"calc_exec"_s)
            emit relay.ended();
    });
    startBatch(*body,
        {u"ct_rot_ax_is_v 1"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"ct_auto_exec 1"_s,
            u"calc_exec"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"calc_exec"_s});
    QVERIFY(handedOut.wait(10000));
    body.reset();
    QVERIFY(thread.isNull());
}

QTEST_MAIN(TestBodyBatch)
#include "tst_bodybatch.moc"
