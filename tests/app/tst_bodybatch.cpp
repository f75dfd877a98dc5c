// Qt
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

// Local
#include "app/body.h"
#include "app/startup.h"
#include "automation/batch.h"
#include "automation/batchcommands.h"
#include "automation/ui/i0ofimage.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "config/configstore.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2ui.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "tests/app/roadfixture.h"
#include "tests/common/debuglog.h"
#include "tools/phantom/phantom.h"
#include "widgets/filedialogs.h"
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

// Every setting a setup file stores, read from the widgets.
QStringList settings(Body &b)
{
    Ui_Body &ui = b.ui();
    ProcCtrl *p = ui.procCtrl;
    const auto flag = [](const QAbstractButton *box) { return box->isChecked() ? u"on"_s : u"off"_s; };
    return {
        u"add files "_s + flag(ui.CTFiles->ui().AddFiles),
        u"keep conditions "_s + flag(ui.CTFiles->ui().KeepConditions),
        u"multi "_s + flag(ui.CTFiles->ui().LoadMultiTimes) + u' ' + ui.CTFiles->ui().MultiTimes->text(),
        u"seek "_s + QString::number(ui.seekCtrl->value()),
        u"i0 "_s + ui.I0ImgSel->filePath(),
        u"bg "_s + ui.BGImgSel->filePath(),
        u"slice "_s + QString::number(p->sliceNo()),
        u"angle origin "_s + p->ui().AngleOriginDeg->text(),
        u"range "_s + p->ui().DataSetRangeDeg->text(),
        u"partial "_s + flag(p->ui().UsePartialDataSet),
        u"using images "_s + p->ui().DataSetUsingImages->text(),
        u"start image "_s + p->ui().DataSetStartImageNo->text(),
        u"auto exec "_s + flag(p->ui().AutoExecCtCalc),
        u"range "_s
            + QStringList {p->ui().SliceFrom->text(), p->ui().SliceTo->text(), p->ui().SliceStep->text()}
                  .join(u' '),
        u"threads "_s + QString::number(p->threads()),
        u"cor "_s + QString::number(p->cor()),
        u"vertical "_s + (p->rotAxV() ? u"on"_s : u"off"_s),
        u"offset axis "_s + flag(p->ui().OffsetAxis) + u' ' + flag(p->ui().OffsetAxisAuto),
        u"recorded "_s + p->ui().RecordedCoR1->text() + u" / "_s + p->ui().RecordedCoR2->text(),
        u"ct1 "_s + flag(ui.SelectCt1),
        u"show res "_s + flag(ui.ShowCalcRes),
        u"fixed scale "_s + flag(ui.FixColorScale) + u' ' + ui.ColorMin->text() + u' ' + ui.ColorMax->text(),
        u"image saving "_s + flag(ui.AutoSaveImage) + u' ' + ui.SelectImageSaveDir->dir() + u'|'
            + ui.SelectImageSaveDir->name() + u'|' + ui.SelectImageSaveDir->tag(),
        u"data saving "_s + flag(ui.AutoSaveData) + u' ' + ui.SelectDataSaveDir->dir() + u'|'
            + ui.SelectDataSaveDir->name() + u'|' + ui.SelectDataSaveDir->tag(),
        u"limits "_s + ui.DataUpperLimit->text() + u' ' + ui.DataLowerLimit->text() + u' '
            + ui.DataOffset->text(),
        u"sub folders "_s + flag(ui.SaveInSubFolders),
        u"sub folders of energy "_s + flag(ui.SubOfEnergy),
        u"additional info "_s + flag(ui.ShowAdditionalInfo)
            + (ui.AdditionalInfo->isHidden() ? u" hidden"_s : u" shown"_s),
        u"ormel "_s + flag(ui.SelDDir->ui().isOrmelStd_),
        u"data set dir "_s + ui.SelDDir->ui().SelDir->dir(),
        u"pattern "_s + ui.SelDDir->ui().Pattern->text(),
        u"keep range "_s + flag(ui.keepOnNewSet),
        u"tiff "_s + flag(ui.AutoSaveTiff),
        u"single precision "_s + flag(p->ui().SinglePrecision),
        u"use recorded "_s + (p->useRecordedCor() ? u"on"_s : u"off"_s),
        u"guess method "_s + corMethodName(b.sinogram()->corMethod()),
        u"rings "_s + stripeMethodWord(p->stripeParams().method) + u' '
            + stripeParamItems(p->stripeParams()).join(u' '),
    };
}

} // namespace

/// The window's side of batch runs: every command acting on its control, completion reports,
/// configuration lines, setup files and "app_quit"; and what start-up sets up for the window: the
/// interface language, down to the file dialogs, and the translation it loads, complete.
class TestBodyBatch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void commands_data();
    void commands();
    void everyCommandIsKnown();
    void pagesByName_data();
    void pagesByName();
    void regionsReachEveryPanel_data();
    void regionsReachEveryPanel();
    void clearAndLoadCommands();
    void seriesBatchReconstructsEachLoadedSet();
    void ringRemovalLines_data();
    void ringRemovalLines();
    void seriesAndLinkFailures_data();
    void seriesAndLinkFailures();
    void configurationLinesRunAtConstruction();
    void calcExecAndAppQuitWaitForTheRun();
    void closingDuringABatchRun();
    // Setup files: what is written, and that loading it restores the window.
    void roundTripRestoresEverySetting();
    void fileText_data();
    void fileText();
    void buttonsShareOneDialog_data();
    void buttonsShareOneDialog();
    void calcExecInASetupFileStartsARun();
    void setupAsksBeforeReplacingTheSet_data();
    void setupAsksBeforeReplacingTheSet();
    void batchSetupLoadNeverAsks();
    void dataSelectSelectsTheWholeSet_data();
    void dataSelectSelectsTheWholeSet();
    void setupDialogLeavesNoCompletions_data();
    void setupDialogLeavesNoCompletions();
    // Start-up.
    void fileDialogsFollowTheInterfaceLanguage();
    void everyMessageIsTranslated();

private:
    bool runBatch(Body &body, const QStringList &lines, int timeoutMs = 30000);
    std::unique_ptr<Body> loadedBody(int workers = 2, bool vertical = true, const QString &dir = {});
    QTemporaryDir dir_;
    QString projDir_, blankDir_, i0_, bg_;
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
    blankDir_ = dir_.filePath(u"with blank"_s);
    for (const QString &dir : {projDir_, blankDir_})
        QVERIFY(writeScan(demoPhantom(64), setup, dir, u"ct_"_s, i0_, bg_));

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

bool TestBodyBatch::runBatch(Body &body, const QStringList &lines, int timeoutMs)
{
    Relay relay;
    QObject::connect(body.batch(), &Batch::runEnded, &relay, &Relay::ended);
    QSignalSpy ended(&relay, &Relay::ended);
    return startBatch(body, dir_.filePath(u"run.bat"_s), lines) && ended.wait(timeoutMs);
}

std::unique_ptr<Body> TestBodyBatch::loadedBody(int workers, bool vertical, const QString &dir)
{
    auto body = std::make_unique<Body>(nullptr, workers);
    body->ui().procCtrl->setRotAxV(vertical);
    return loadDir(*body, dir.isEmpty() ? projDir_ : dir) ? std::move(body) : nullptr;
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
    QTest::addColumn<int>("announced"); // how often

    const auto row = [](const char *line, const char *path, const char *property, const QVariant &value,
                         const char *before = "", const char *sender = "", const char *reaction = "",
                         int announced = 1) {
        QTest::addRow("%s%s%s → %s", before, *before ? ", then " : "", line, path)
            << QString::fromUtf8(before) << QString::fromUtf8(line) << QString::fromUtf8(path)
            << QByteArray(property) << value << QString::fromUtf8(sender) << QByteArray(reaction)
            << announced;
    };
    const char *checked = "checked", *text = "text";
    // Radio pairs and flags.
    row("images_new_on_load 0", "CTFiles/AddFiles", checked, true);
    row("images_add_on_load 0", "CTFiles/LoadNewFiles", checked, true, "images_add_on_load 1");
    row("images_keep_setup 0", "CTFiles/KeepConditions", checked, false, "images_keep_setup 1");
    row("ct_auto_exec 1", "procCtrl/AutoExecCtCalc", checked, true, "", "procCtrl",
        SIGNAL(autoExecUpdated()));
    row("ct_auto_exec 1", "SelectCt2", checked, true);
    // A flag is on for "1" only.
    for (const char *line : {"ct_auto_exec 2", "ct_auto_exec on", "ct_auto_exec", "ct_auto_exec 1.0"})
        row(line, "procCtrl/AutoExecCtCalc", checked, false, "ct_auto_exec 1");
    row("ct_use_partial_data_set 1", "procCtrl/UsePartialDataSet", checked, true, "", "procCtrl",
        SIGNAL(usePartialDataSetUpdated()));
    // The axis pair announces a change only; any word but "1" reads as off.
    const char *axis = SIGNAL(rotAxUpdated());
    row("ct_rot_ax_is_v 0", "procCtrl/RotAxH", checked, true, "ct_rot_ax_is_v 1", "procCtrl", axis);
    row("ct_rot_ax_is_h 1", "procCtrl/RotAxH", checked, true, "ct_rot_ax_is_v 1", "procCtrl", axis);
    row("ct_rot_ax_is_h 1", "procCtrl/RotAxH", checked, true, "", "procCtrl", axis, 0);
    row("ct_rot_ax_is_v 0", "procCtrl/RotAxH", checked, true, "", "procCtrl", axis, 0);
    row("ct_rot_ax_is_v 1", "procCtrl/RotAxV", checked, true, "ct_rot_ax_is_v 1", "procCtrl", axis, 0);
    row("ct_rot_ax_is_h yes", "procCtrl/RotAxV", checked, true, "", "procCtrl", axis);
    row("calc_ct1 0", "SelectCt2", checked, true, "calc_ct1 1");
    row("calc_ct2 1", "SelectCt2", checked, true);
    row("calc_ct2 0", "SelectCt1", checked, true, "calc_ct2 1");
    row("calc_show_res 1", "ShowCalcRes", checked, true, "calc_show_res 0");
    row("fix_color_scale 1", "FixColorScale", checked, true);
    row("auto_save_image 1", "AutoSaveImage", checked, true);
    row("auto_save_data 1", "AutoSaveData", checked, true);
    row("auto_save_tiff 1", "AutoSaveTiff", checked, true);
    row("auto_save_hdf5 1", "AutoSaveHdf5", checked, true);
    row("ct_single_precision 1", "procCtrl/SinglePrecision", checked, true);
    row("ct_use_recorded_cor 1", "procCtrl/UseRecordedCoR", checked, true);
    row("ct_offset_axis 1", "procCtrl/OffsetAxis", checked, true, "", "procCtrl", SIGNAL(offsetAxisUpdated()));
    row("ct_offset_axis_cor 120.5", "procCtrl/OffsetAxisAuto", checked, false);
    row("ct_offset_axis_cor 120.5", "procCtrl/Cor", text, u"120.5"_s);
    row("ct_offset_axis_cor auto", "procCtrl/OffsetAxisAuto", checked, true, "ct_offset_axis_cor 3");
    row("auto_save_in_sub_folders 0", "SaveInSubFolders", checked, false, "auto_save_in_sub_folders 1");
    row("auto_save_in_sub_folders_of_slice 1", "SubOfSlice", checked, true);
    row("auto_save_in_sub_folders_of_energy 1", "SubOfEnergy", checked, true);
    row("add_inf_Ormel_standard 0", "SelDDir/isOrmelStd_", checked, false, "add_inf_Ormel_standard 1");
    row("add_inf_raw_i0_from_xafs 0", "I0ofRawImage_/CalcFromXAFS", checked, false,
        "add_inf_raw_i0_from_xafs 1");
    row("add_inf_i0_i0_from_xafs 0", "I0ofI0Image_/CalcFromXAFS", checked, false,
        "add_inf_i0_i0_from_xafs 1");
    row("seq_exec_show 1", "ShowAdditionalInfo", checked, true);
    row("seq_exec_keep_range_on_new_set 1", "keepOnNewSet", checked, true);
    row("seq_exec_allow_uneven_sets 1", "SelDDir/allowUneven_", checked, true);
    row("add_inf_show 1", "ShowAdditionalInfo", checked, true);
    row("zelmapLink_set_send_msg 1", "SendMsg2Zelmap", checked, true);
    row("zelmapLink_set_send_msg 0", "SendMsg2Zelmap", checked, false, "zelmapLink_set_send_msg 1");

    // Numbers.
    row("images_exp_time 2.5", "CTFiles/ExpTime", text, u"2.5"_s);
    row("images_multi 1 7", "CTFiles/LoadMultiTimes", checked, true);
    row("images_multi 1 7", "CTFiles/MultiTimes", text, u"7"_s);
    row("i0_exp_time 0.2", "I0ImgSel/ExpTimeLE", text, u"0.2"_s);
    row("bg_exp_time 1.25", "BGImgSel/ExpTimeLE", text, u"1.25"_s);
    row("ct_proc_slice 42", "procCtrl/SliceNo", text, u"42"_s, "", "procCtrl", SIGNAL(sliceNoUpdated()));
    row("ct_slice_from 5", "procCtrl/SliceFrom", text, u"5"_s);
    row("ct_slice_to 77", "procCtrl/SliceTo", text, u"77"_s);
    row("ct_slice_step 3", "procCtrl/SliceStep", text, u"3"_s);
    row("ct_threads 2", "procCtrl/Threads", "value", 2);
    row("ct_threads 99", "procCtrl/Threads", "value", 4); // clamped to the workers
    row("ct_cor 130.25", "procCtrl/Cor", text, u"130.25"_s, "", "procCtrl", SIGNAL(corUpdated()));
    row("ct_cor", "procCtrl/Cor", text, u"0"_s, "", "procCtrl", SIGNAL(corUpdated()));
    row("ct_recorded_cor_1 500 1001", "procCtrl/RecordedCoR1", text, u"1001 at 500"_s);
    row("ct_recorded_cor_2 1500 1003.5", "procCtrl/RecordedCoR2", text, u"1003.5 at 1500"_s);
    row("ct_angle_origin 12.5", "procCtrl/AngleOriginDeg", text, u"12.5"_s, "", "procCtrl",
        SIGNAL(angleOriginUpdated()));
    row("ct_angle_offset -3", "procCtrl/AngleOriginDeg", text, u"-3"_s, "", "procCtrl",
        SIGNAL(angleOriginUpdated()));
    row("ct_dataset_range 360", "procCtrl/DataSetRangeDeg", text, u"360"_s, "", "procCtrl",
        SIGNAL(dataSetRangeUpdated()));
    row("ct_dataset_using_images 90", "procCtrl/DataSetUsingImages", text, u"90"_s, "", "procCtrl",
        SIGNAL(dataSetUsingImagesUpdated()));
    row("ct_dataset_start_image_no 10", "procCtrl/DataSetStartImageNo", text, u"10"_s, "", "procCtrl",
        SIGNAL(dataSetStartImageNoUpdated()));
    row("fix_color_min -0.5", "ColorMin", text, u"-0.5"_s, "", "ColorMin", SIGNAL(editingFinished()));
    row("fix_color_max 2.123456789", "ColorMax", text, u"2.12346"_s, "", "ColorMax",
        SIGNAL(editingFinished()));
    row("add_inf_raw_i0_val 2.5", "I0ofRawImage_/I0Val", text, u"2.5"_s);
    row("add_inf_i0_i0_val 0.75", "I0ofI0Image_/I0Val", text, u"0.75"_s);

    // Texts.
    row("auto_save_image_path /tmp/img", "SelectImageSaveDir/FilePath", text, u"/tmp/img"_s);
    row("auto_save_image_name n1", "SelectImageSaveDir/Name", text, u"n1"_s);
    row("auto_save_image_tag t1", "SelectImageSaveDir/AddTag", text, u"t1"_s);
    row("auto_save_data_path \"/tmp/my data\"", "SelectDataSaveDir/FilePath", text, u"/tmp/my data"_s);
    row("auto_save_data_name n2", "SelectDataSaveDir/Name", text, u"n2"_s);
    row("auto_save_data_tag t2", "SelectDataSaveDir/AddTag", text, u"t2"_s);
    row("auto_save_data_tag", "SelectDataSaveDir/AddTag", text, QString(), "auto_save_data_tag t2");
    row("auto_save_data_upper_limit 5e3", "DataUpperLimit", text, u"5e3"_s);
    row("auto_save_data_lower_limit -2", "DataLowerLimit", text, u"-2"_s);
    row("auto_save_data_offset 3", "DataOffset", text, u"3"_s);
    row("add_inf_raw_i0_xafs /d/x.dat", "I0ofRawImage_/XafsFile/FilePath", text, u"/d/x.dat"_s, "",
        "I0ofRawImage_/XafsFile", SIGNAL(fileSelected(QString)));
    row("add_inf_i0_i0_xafs /d/y.dat", "I0ofI0Image_/XafsFile/FilePath", text, u"/d/y.dat"_s, "",
        "I0ofI0Image_/XafsFile", SIGNAL(fileSelected(QString)));
    row("add_inf_raw_i0_eng_ptn ###_##", "I0ofRawImage_/EngPattern", text, u"###_##"_s);
    row("add_inf_i0_i0_eng_ptn #_#", "I0ofI0Image_/EngPattern", text, u"#_#"_s);
    row("seq_exec_file_pattern *.tif", "SelDDir/Pattern", text, u"*.tif"_s);
    row("show_tab 4", "ImgsTab", "currentIndex", 4, "", "ImgsTab", SIGNAL(currentChanged(int)));
    row("CT_SLICE_FROM 9", "procCtrl/SliceFrom", text, u"9"_s); // capitals
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
    QFETCH(int, announced);
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
        QCOMPARE(spy->count(), announced);
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
    {
        const DebugLog quiet;
        for (const BatchCommandEntry &s : batchCommandSet()) {
            if (s.word == u"app_quit"_s)
                continue;
            for (const char *args : {"", " nan -inf 1e308 -1e308", " 99999999999 \"\" x", " \xff\x01"})
                body.execCommand(parseBatchCmd(s.word + QString::fromLatin1(args)));
        }
    }
    QTest::qWait(50);
    QCOMPARE(finishing.count(), 0);
    QVERIFY(!body.isCalculating());
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

void TestBodyBatch::clearAndLoadCommands()
{
    auto body = loadedBody();
    QVERIFY(body);
    Ui_Body &ui = body->ui();
    SelectAImgFile *i0 = body->ui().I0ImgSel;
    QVERIFY(body->execCommand(parseBatchCmd(u"i0_load "_s + i0_)));
    QVERIFY(i0->img());
    QCOMPARE(i0->img()->fileName(), i0_);
    QVERIFY(body->execCommand(parseBatchCmd(u"bg_load "_s + bg_)));
    QCOMPARE(body->ui().BGImgSel->img()->fileName(), bg_);

    // A seek stays inside the set (beyond 32 bits reads as 0), and the raw image follows each time.
    QSignalSpy shown(ui.seekCtrl, &SeekCtrl::newIndex);
    for (const auto &[line, index] : {std::pair {"images_seek 1000", 39}, {"images_seek 99999999999", 0},
             {"images_seek 17", 17}, {"images_seek -5", 0}}) {
        body->execCommand(parseBatchCmd(QString::fromLatin1(line)));
        QCOMPARE(ui.seekCtrl->value(), index);
        QCOMPARE(shown.count(), 1);
        shown.clear();
    }

    // A file that cannot be opened is a failed line.
    QVERIFY(!body->execCommand(parseBatchCmd(u"i0_load "_s + dir_.filePath(u"none.img"_s))));
    // An empty name forgets the file, as an empty setup field means.
    QVERIFY(body->execCommand(parseBatchCmd(u"i0_load"_s)));
    QVERIFY(!i0->img());
    QVERIFY(i0->filePath().isEmpty());
    QVERIFY(body->execCommand(parseBatchCmd(u"bg_clear"_s)));
    QVERIFY(!body->ui().BGImgSel->img());
    QVERIFY(body->ui().BGImgSel->filePath().isEmpty());

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
        const QByteArray bytes = readBytes(QDir(out.path()).filePath(u"%1/w-%1-00007.dat"_s.arg(e)));
        QVERIFY2(!bytes.isEmpty() && bytes != previous, qPrintable(e)); // each energy its own slice
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
    for (const QString &name : {u"s-7100eV-0001.img"_s, u"s-7100eV-0002.img"_s})
        writeText(QDir(junk).filePath(name), "not an image");
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
    const QString missing = dir_.filePath(u"nowhere"_s);
    QTest::newRow("images_load of nothing")
        << QStringList {u"images_load "_s + missing + u" *.img"_s}
        << u"critical: images_load: no image was loaded from "_s + missing;
}

void TestBodyBatch::seriesAndLinkFailures()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    ConfigStore::instance().setEntry(u"2dZelmap"_s, u"127.0.0.1 1"_s); // nothing listens there
    Body body(nullptr, 1);
    // The batch thread logs too. A failed job is critical.
    static QMutex logLock;
    static QStringList log;
    log.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
              const QMutexLocker locker(&logLock);
              log << (type == QtCriticalMsg ? u"critical: "_s : QString()) + m;
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
    // Nothing is loaded at "calc_exec": a message, and the lines go on. The configuration then
    // starts a load; the lines after it, a second load among them, run when it has ended (never
    // two loading chains), and the batch's first line needs the whole set.
    const QString cfg = dir_.filePath(u"quorvel.cfg"_s);
    QVERIFY(writeText(cfg,
        u"DataRoot /tmp   # not a command\n"
        "ct_cor 77.5\n"
        "CALC_CT2 1\n"
        "auto_save_data_path \"/data/a b\"\n"
        "calc_exec\n"
        "ct_rot_ax_is_v 1\n"
        "images_load %1 *.img\n"
        "images_load %1 *.img\n"_s.arg(projDir_)
            .toUtf8()));
    QVERIFY(ConfigStore::instance().readConfigFile(cfg));
    QTest::ignoreMessage(QtCriticalMsg, "calc_exec: no raw images are loaded, nothing to calculate");
    Body body(nullptr, 1);
    QCOMPARE(body.ui().procCtrl->cor(), 77.5);
    QVERIFY(body.ui().SelectCt2->isChecked());
    QCOMPARE(body.ui().SelectDataSaveDir->dir(), u"/data/a b"_s);
    QVERIFY(!body.isCalculating());
    QVERIFY(body.isLoading());
    QVERIFY(runBatch(body, {u"ct_guess_cor"_s, u":ifng ct_slice_step 9"_s}));
    QCOMPARE(body.imageSet()->count(), 40);
    QCOMPARE(body.ui().CTFiles->count(), 40);
    QVERIFY(body.ui().procCtrl->sliceStep() != 9); // the guess found the whole set
    QCOMPARE(body.tally().linesFailed, 1); // the calculation that could not start
}

void TestBodyBatch::calcExecAndAppQuitWaitForTheRun()
{
    // Each line after "images_load" must see the whole set: were the line reported done when its
    // files were merely selected, the seek would clamp to an empty set and the guess find no image.
    // The line after "calc_exec" runs when the run has ended; "app_quit" waits for the run's files
    // too, and nothing after it runs.
    QTemporaryDir out;
    auto body = std::make_unique<Body>(nullptr, 2);
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
            const QString setup = dir_.filePath(u"during.cfg"_s);
            QVERIFY(writeText(setup, "ct_slice_to 12\nct_proc_slice 5\n"));
            QVERIFY(b->loadSetup(setup));
        }
    });
    QSignalSpy finishing(body.get(), &Body::finishing);
    bool calculatingAtQuit = true;
    connect(
        body.get(), &Body::finishing, this, [&, b = body.get()] { calculatingAtQuit = b->isCalculating(); });
    QVERIFY(startBatch(*body, dir_.filePath(u"run.bat"_s),
        {u"ct_rot_ax_is_v 1"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"images_seek 1000"_s,
            u"ct_guess_cor"_s, u"i0_load "_s + i0_, u"bg_load "_s + bg_, u"ct_auto_exec 1"_s,
            u"ct_slice_from 0"_s, u"ct_slice_to 15"_s, u"auto_save_data 1"_s, u"auto_save_image 1"_s,
            u"auto_save_in_sub_folders 0"_s, u"auto_save_data_path "_s + out.path(),
            u"auto_save_image_path "_s + out.path(), u"auto_save_data_tag q"_s, u"auto_save_image_tag q"_s,
            u"calc_exec"_s, u"ct_slice_step 2"_s, u"ct_slice_step 3"_s, u"app_quit"_s,
            u"ct_slice_step 7"_s}));
    QVERIFY(finishing.wait(30000));
    QTest::qWait(20);
    QCOMPARE(events.mid(events.indexOf(u"calc_exec"_s)),
        (QStringList {
            u"calc_exec"_s, u"calcFinished"_s, u"ct_slice_step"_s, u"ct_slice_step"_s, u"app_quit"_s}));
    QCOMPARE(finishing.count(), 1);
    QVERIFY(!calculatingAtQuit);
    QCOMPARE(QDir(out.path()).entryList({u"*.dat"_s}).size(), 16);
    QCOMPARE(QDir(out.path()).entryList({u"*.png"_s}).size(), 16);
    QCOMPARE(body->exitStatus(), 0);
    QCOMPARE(body->ui().procCtrl->sliceStep(), 3);
    QCOMPARE(body->imageSet()->count(), 40);
    QCOMPARE(body->ui().seekCtrl->value(), 39);
    const double cor = body->ui().procCtrl->cor();
    QVERIFY2(cor > 32 && cor < 35, qPrintable(QString::number(cor)));
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
    QVERIFY(startBatch(*body, dir_.filePath(u"run.bat"_s),
        {u"ct_rot_ax_is_v 1"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"ct_auto_exec 1"_s,
            u"calc_exec"_s, u"images_load "_s + projDir_ + u" *.img"_s, u"calc_exec"_s}));
    QVERIFY(handedOut.wait(10000));
    body.reset();
    QVERIFY(thread.isNull());
}

void TestBodyBatch::roundTripRestoresEverySetting()
{
    auto a = loadedBody(4, false);
    QVERIFY(a);
    const QStringList defaults = settings(*std::make_unique<Body>(nullptr, 4));
    const DebugLog quiet;
    for (const QString &l :
        QStringList {u"images_new_on_load 0"_s, u"images_keep_setup 0"_s, u"images_multi 1 3"_s,
            u"images_seek 7"_s, u"i0_load "_s + i0_, u"bg_load "_s + bg_, u"ct_proc_slice 9"_s,
            u"ct_angle_origin 12.5"_s, u"ct_dataset_range 360"_s, u"ct_use_partial_data_set 1"_s,
            u"ct_dataset_using_images 15"_s, u"ct_dataset_start_image_no 4"_s, u"ct_auto_exec 1"_s,
            u"ct_slice_from 2"_s, u"ct_slice_to 11"_s, u"ct_slice_step 3"_s, u"ct_threads 2"_s,
            u"ct_cor 23.25"_s, u"ct_rot_ax_is_h 0"_s, u"ct_recorded_cor_1 5 23.5"_s,
            u"ct_recorded_cor_2 10 24.75"_s, u"calc_show_res 0"_s, u"fix_color_scale 1"_s,
            u"fix_color_min -0.25"_s, u"fix_color_max 1.75"_s, u"auto_save_image 1"_s,
            u"auto_save_image_path \"/tmp/with blank/img\""_s, u"auto_save_image_name nm"_s,
            u"auto_save_image_tag tg"_s, u"auto_save_data 1"_s, u"auto_save_data_path /tmp/d"_s,
            u"auto_save_data_name dn"_s, u"auto_save_data_tag dt"_s, u"auto_save_data_upper_limit 20"_s,
            u"auto_save_data_lower_limit -5"_s, u"auto_save_data_offset 7"_s, u"auto_save_in_sub_folders 0"_s,
            u"auto_save_in_sub_folders_of_energy 1"_s, u"add_inf_show 1"_s, u"add_inf_Ormel_standard 0"_s,
            u"seq_exec_dir /data/sets"_s, u"seq_exec_file_pattern *.tif"_s,
            u"seq_exec_keep_range_on_new_set 1"_s, u"auto_save_tiff 1"_s, u"auto_save_hdf5 1"_s,
            u"ct_single_precision 1"_s, u"ct_use_recorded_cor 1"_s, u"ct_cor_guess_method fourier"_s,
            u"ct_ring_removal sort"_s, u"ct_ring_params snr=2.5 large=41 small=11"_s, u"ct_offset_axis 1"_s,
            u"ct_offset_axis_cor 23.5"_s})
        a->execCommand(parseBatchCmd(l));
    const QStringList changed = settings(*a);
    for (qsizetype i = 0; i < changed.size(); ++i) // each setting differs from a fresh window's
        QVERIFY2(changed[i] != defaults[i], qPrintable(changed[i]));

    const QString first = dir_.filePath(u"first.cfg"_s);
    QVERIFY(a->saveSetup(first));
    a.reset();
    // Options a fresh window's file leaves out are written when on, each once.
    const QStringList lines = readText(first).split(u'\n');
    for (const QString &line : {u"auto_save_tiff +1"_s, u"auto_save_hdf5 +1"_s, u"ct_single_precision +1"_s,
             u"ct_use_recorded_cor +1"_s, u"ct_cor_guess_method +fourier"_s, u"ct_ring_removal +sort"_s,
             u"ct_ring_params +snr=2.5 large=41 small=11"_s, u"ct_offset_axis_cor +23.5"_s}) {
        QCOMPARE(lines.filter(line.section(u' ', 0, 0)).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression(u"^"_s + line + u"$"_s)).size(), 1);
    }
    // A fresh window: the setup loads its images (a whole new series, whatever "Add" and "Repeat
    // 1st" say), then applies the settings that depend on them (the seek, the slice).
    auto b = std::make_unique<Body>(nullptr, 4);
    QVERIFY(b->loadSetup(first));
    QTRY_VERIFY_WITH_TIMEOUT(!b->isLoading(), 10000);
    QCOMPARE(b->imageSet()->count(), 40);
    QCOMPARE(settings(*b), changed);
    const QString second = dir_.filePath(u"second.cfg"_s);
    QVERIFY(b->saveSetup(second));
    QCOMPARE(readText(second), readText(first));

    // A file that cannot be written or read is said so, and changes nothing.
    const QString nowhere = dir_.filePath(u"no/such/dir/x.cfg"_s);
    QVERIFY(!b->saveSetup(nowhere));
    QVERIFY(!QFile::exists(nowhere));
    QVERIFY(!b->loadSetup(nowhere));
    QCOMPARE(settings(*b), changed);
    QCOMPARE(
        quiet.count(u"^can't open save setup file : "_s + QRegularExpression::escape(nowhere) + u'$'), 2);
    // Saving and loading say what they did.
    QCOMPARE(quiet.count(u"^Setup saved: "_s + QRegularExpression::escape(second) + u'$'), 1);
    QCOMPARE(quiet.count(u"^Setup loaded: "_s + QRegularExpression::escape(first)
                 + u" \\(\\d+ settings; 40 images of 64 x 16 from "_s + QRegularExpression::escape(projDir_)),
        1);
}

void TestBodyBatch::fileText_data()
{
    QTest::addColumn<QString>("images");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("expected");
    // A fresh window: empty text fields as the padded key alone, " 0" for the partial data set, no
    // "images_load" and no I0 file set.
    QTest::newRow("fresh window") << QString() << QStringList {} << u"setup_fresh_window.cfg"_s;
    // Values with blanks in double quotes; where the loaded images came from.
    QTest::newRow("quoted values and loaded images")
        << blankDir_
        << QStringList {u"auto_save_image_path \"/data/run 1/img\""_s, u"auto_save_data_name \"a b\""_s,
               u"ct_use_partial_data_set 1"_s, u"ct_cor 1234.5678"_s, u"ct_recorded_cor_1 3 12.5"_s,
               u"fix_color_max 1e6"_s}
        << u"setup_quoted_and_images.cfg"_s;
}

void TestBodyBatch::fileText()
{
    QFETCH(QString, images);
    QFETCH(QStringList, lines);
    QFETCH(QString, expected);
    auto body = images.isEmpty() ? std::make_unique<Body>(nullptr, 4) : loadedBody(4, false, images);
    QVERIFY(body);
    for (const QString &l : lines)
        body->execCommand(parseBatchCmd(l));
    const QString file = dir_.filePath(u"written.cfg"_s);
    QVERIFY(body->saveSetup(file));
    const QStringList got = readText(file).split(u'\n');
    const QStringList want = readText(QStringLiteral(QUORVEL_TEST_DATA "/") + expected)
                                 .replace(u"@DIR@"_s, blankDir_)
                                 .split(u'\n');
    QVERIFY(want.size() > 1);
    QCOMPARE(got, want); // names the first line that differs
}

void TestBodyBatch::buttonsShareOneDialog_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("written");
    QTest::newRow("with .cfg") << u"from-dialog.cfg"_s << u"from-dialog.cfg"_s;
    QTest::newRow("no suffix") << u"mysetup"_s << u"mysetup.cfg"_s;
    QTest::newRow("no suffix, dotted folder") << u"v1.2/mysetup"_s << u"v1.2/mysetup.cfg"_s;
    QTest::newRow("another suffix") << u"my.setup"_s << u"my.setup"_s;
}

void TestBodyBatch::buttonsShareOneDialog()
{
    QFETCH(QString, given);
    QFETCH(QString, written);
    QVERIFY(QDir(dir_.path()).mkpath(u"v1.2"_s));
    Body body(nullptr, 1);
    QFileDialog *dialog = body.setupDialog();
    QCOMPARE(dialog->nameFilters(), (QStringList {u"*.cfg"_s, u"*.*"_s}));
    body.ui().SaveSetup->click();
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->defaultSuffix(), u"cfg"_s);
    const QString file = dir_.filePath(written);
    QFile::remove(file);
    body.execCommand(parseBatchCmd(u"ct_slice_from 17"_s));
    emit dialog->fileSelected(dir_.filePath(given));
    QVERIFY(!QFile::exists(dir_.filePath(given + u".cfg.cfg"_s)));
    QVERIFY(readText(file).contains(u"\nct_slice_from            17\n"_s));

    body.ui().LoadSetup->click();
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    body.execCommand(parseBatchCmd(u"ct_slice_from 3"_s));
    emit dialog->fileSelected(file);
    QCOMPARE(body.ui().procCtrl->sliceFrom(), 17);
    dialog->close();
}

void TestBodyBatch::calcExecInASetupFileStartsARun()
{
    auto body = loadedBody(4, false);
    QVERIFY(body);
    const QString setup = dir_.filePath(u"with-calc.cfg"_s);
    QVERIFY(writeText(setup,
        "## by hand\nct_rot_ax_is_v 1\nct_cor 24\nct_proc_slice 6\ncalc_ct2 1\ncalc_exec\nct_slice_step "
        "6\n"));
    QSignalSpy finished(body.get(), &Body::calcFinished);
    QVERIFY(body->loadSetup(setup));
    QVERIFY(body->isCalculating()); // started, and the lines after it ran at once
    QCOMPARE(body->ui().procCtrl->sliceStep(), 6);
    QVERIFY(finished.wait(10000));
}

void TestBodyBatch::setupAsksBeforeReplacingTheSet_data()
{
    QTest::addColumn<QString>("images"); // the folder the setup names
    QTest::addColumn<QString>("i0");
    QTest::addColumn<int>("answer"); // QMessageBox::NoButton: no question is expected
    QTest::addColumn<QString>("folder"); // of the set loaded afterwards
    QTest::addColumn<int>("missing"); // files named as not there
    const QString gone = dir_.filePath(u"gone"_s);
    QTest::newRow("yes: the setup's set") << blankDir_ << i0_ << int(QMessageBox::Yes) << blankDir_ << 0;
    QTest::newRow("no: the set kept") << blankDir_ << i0_ << int(QMessageBox::No) << projDir_ << 0;
    QTest::newRow("set and I0 not there")
        << gone << gone + u".img"_s << int(QMessageBox::NoButton) << projDir_ << 2;
}

void TestBodyBatch::setupAsksBeforeReplacingTheSet()
{
    QFETCH(QString, images);
    QFETCH(QString, i0);
    QFETCH(int, answer);
    QFETCH(QString, folder);
    QFETCH(int, missing);
    const QString setup = dir_.filePath(u"asks.cfg"_s);
    QVERIFY(writeText(setup,
        (u"### quorvel setup saving setup file\nimages_load \""_s + images + u"\" *.img\ni0_load "_s + i0
            + u"\nimages_seek 12\nct_slice_step 5\n"_s)
            .toUtf8()));
    auto body = loadedBody(2, false);
    QVERIFY(body);
    const DebugLog log;
    QVERIFY(body->loadSetup(setup));
    auto *question = body->findChild<QMessageBox *>(u"SetupDataQuestion"_s);
    QCOMPARE(question != nullptr, answer != QMessageBox::NoButton);
    if (question) {
        QVERIFY(!question->isModal() || question->windowModality() == Qt::WindowModal);
        QCOMPARE(body->ui().procCtrl->sliceStep(), 1); // nothing applied before the answer
        question->button(QMessageBox::StandardButton(answer))->click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!body->isLoading(), 10000);
    QTRY_COMPARE(log.count(u"^Setup loaded: "_s), 1);
    QCOMPARE(QFileInfo(body->ui().CTFiles->files().value(0)).absolutePath(), folder);
    QCOMPARE(body->imageSet()->count(), 40);
    QCOMPARE(body->ui().seekCtrl->value(), 12);
    QCOMPARE(body->ui().procCtrl->sliceStep(), 5); // the rest of the setup is applied
    QCOMPARE(body->ui().I0ImgSel->filePath(), missing ? QString() : i0);
    const QString absent = QDir(images).filePath(u"*.img"_s) + u", "_s + i0;
    QCOMPARE(log.count(u"^Setup .*: not there, so not loaded: "_s + QRegularExpression::escape(absent)),
        missing ? 1 : 0);
}

void TestBodyBatch::batchSetupLoadNeverAsks()
{
    // A batch restores the setup's set in place of the one loaded, without a question; its next
    // line finds the whole set. Data that is not there fails the line, and the rest still applies;
    // so does a setup that loads a setup (itself: it would never end).
    const QString setup = dir_.filePath(u"batch.cfg"_s);
    QVERIFY(writeText(
        setup, (u"images_load "_s + projDir_ + u" *.img\nimages_seek 30\nct_slice_step 4\n"_s).toUtf8()));
    const QString broken = dir_.filePath(u"broken.cfg"_s);
    QVERIFY(writeText(
        broken, (u"images_load "_s + dir_.filePath(u"gone"_s) + u" *.img\nct_slice_from 3\n"_s).toUtf8()));
    const QString self = dir_.filePath(u"self.cfg"_s);
    QVERIFY(writeText(self, (u"setup_load "_s + self + u"\nct_slice_from 5\n"_s).toUtf8()));
    auto body = loadedBody(2, false, blankDir_);
    QVERIFY(body);
    QVERIFY(runBatch(*body,
        {u"setup_load "_s + setup, u":ifng ct_slice_to 1"_s, u"images_seek 1000"_s, u"setup_load "_s + broken,
            u":ifng ct_slice_step 9"_s, u"setup_load "_s + self, u":ifng ct_slice_to 2"_s}));
    QVERIFY(!body->findChild<QMessageBox *>(u"SetupDataQuestion"_s));
    QCOMPARE(QFileInfo(body->ui().CTFiles->files().value(0)).absolutePath(), projDir_);
    QCOMPARE(body->ui().seekCtrl->value(), 39); // the seek after the line saw 40 images
    QCOMPARE(body->ui().procCtrl->sliceTo(), 2);
    QCOMPARE(body->ui().procCtrl->sliceFrom(), 5);
    QCOMPARE(body->ui().procCtrl->sliceStep(), 9);
}

void TestBodyBatch::dataSelectSelectsTheWholeSet_data()
{
    QTest::addColumn<QString>("filter"); // chosen in the dialog; empty: the first
    QTest::addColumn<QStringList>("expected"); // names selected, in loading order
    QTest::newRow("projections") << QString() << QStringList {u"a10.img"_s, u"a2.img"_s, u"b.img"_s};
    QTest::newRow("another type") << u"Tiff File (*.tif *.tiff)"_s << QStringList {u"c.tif"_s, u"d.tiff"_s};
    QTest::newRow("one file") << u"HDF5 / NeXus Scan File (*.h5 *.hdf5 *.nxs *.hdf)"_s
                              << QStringList {u"scan.h5"_s};
}

void TestBodyBatch::dataSelectSelectsTheWholeSet()
{
    // The dialog opens with every file of the type selected (not a folder of that name): Open
    // takes them all, in the order a folder loads.
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    for (const char *name : {"b.img", "a2.img", "a10.img", "c.tif", "d.tiff", "scan.h5", "notes.txt"})
        QVERIFY(writeText(tmp.filePath(QString::fromLatin1(name)), {}));
    QVERIFY(QDir(tmp.path()).mkpath(u"folder.img"_s));
    Body body(nullptr, 1);
    setDataFolder(tmp.path());
    QSignalSpy chosen(body.ui().CTFiles, &SelectDataFiles::filesSelected);
    QMetaObject::invokeMethod(body.ui().CTFiles, &SelectDataFiles::openDialog, Qt::QueuedConnection);
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = body.ui().CTFiles->findChild<QFileDialog *>(u"DataFilesDialog"_s)));
    QCOMPARE(dialog->directory().absolutePath(), tmp.path());
    if (!filter.isEmpty()) {
        dialog->selectNameFilter(filter);
        emit dialog->filterSelected(filter);
    }
    QStringList paths;
    for (const QString &name : expected)
        paths << tmp.filePath(name);
    QTRY_COMPARE(dialog->selectedFiles(), paths);
    QVERIFY(QMetaObject::invokeMethod(dialog, "accept")); // Open
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.at(0).at(0).toStringList(), paths);
    setDataFolder(QString());
}

void TestBodyBatch::setupDialogLeavesNoCompletions_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("typed");
    QTest::newRow("Save Setup, a new name") << true << u"setup-"_s;
    QTest::newRow("Load Setup, a listed name") << false << u"setup-a.cfg"_s;
}

void TestBodyBatch::setupDialogLeavesNoCompletions()
{
    // Return while the file-name field lists its completions takes the name and closes the
    // dialog; the list, a window of its own, must go with it.
    QFETCH(bool, save);
    QFETCH(QString, typed);
    QTemporaryDir tmp;
    for (const char *name : {"setup-a.cfg", "setup-b.cfg"})
        QVERIFY(writeText(tmp.filePath(QString::fromLatin1(name)), {}));
    setDataFolder(tmp.path());
    Body body(nullptr, 1);
    body.show();
    QVERIFY(QTest::qWaitForWindowExposed(&body));
    (save ? body.ui().SaveSetup : body.ui().LoadSetup)->click();
    QFileDialog *dialog = body.setupDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *field = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
    QVERIFY(field && field->completer());
    field->setFocus();
    QTest::keyClicks(field, typed);
    QAbstractItemView *list = field->completer()->popup();
    QTRY_VERIFY(list->isVisible());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    QTRY_VERIFY(!dialog->isVisible());
    QTRY_COMPARE(body.tally().linesFailed, 0);
    QVERIFY(!list->isVisible());
    QVERIFY(!QApplication::activePopupWidget());
    setDataFolder(QString());
}

void TestBodyBatch::fileDialogsFollowTheInterfaceLanguage()
{
    {
        auto translators = installJapanese();
        QCOMPARE(translators.size(), size_t(2)); // the interface's and the toolkit's own texts
        QFileDialog dialog(nullptr, u"Select a file"_s, QDir::tempPath());
        dialog.setOptions(fileDialogOptions());
        auto *lookIn = dialog.findChild<QLabel *>(u"lookInLabel"_s);
        QVERIFY(lookIn);
        QVERIFY2(lookIn->text() != u"Look in:"_s, qPrintable(lookIn->text()));
        QCOMPARE(lookIn->text(), QCoreApplication::translate("QFileDialog", "Look in:"));
        QCOMPARE(QCoreApplication::translate("Body", "Raw Image"), u"生画像"_s); // a tab
        QCOMPARE(QCoreApplication::translate("CBarUI", "Fix"), u"固定"_s); // the colour bar
    }
    // Gone with the translators ("-e" never installs them).
    QFileDialog english(nullptr, u"Select a file"_s, QDir::tempPath());
    english.setOptions(fileDialogOptions());
    QCOMPARE(english.findChild<QLabel *>(u"lookInLabel"_s)->text(), u"Look in:"_s);
}

void TestBodyBatch::everyMessageIsTranslated()
{
    const QByteArray text = readBytes(QStringLiteral(QUORVEL_TS_FILE));
    QVERIFY(text.count("<message>") > 10);
    QCOMPARE(text.count("type=\"unfinished\""), 0);
    QCOMPARE(text.count("<translation></translation>"), 0);
}

QTEST_MAIN(TestBodyBatch)
#include "tst_bodybatch.moc"
