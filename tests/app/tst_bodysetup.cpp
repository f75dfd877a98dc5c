// Qt
#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Local
#include "app/body.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "tools/phantom/phantom.h"
#include <memory>

using namespace Qt::StringLiterals;

/// Setup files: what is written, and that loading it restores the window.
class TestBodySetup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void roundTripRestoresEverySetting();
    void fileText_data();
    void fileText();
    void buttonsShareOneDialog_data();
    void buttonsShareOneDialog();
    void unreadableAndUnwritableFiles();
    void calcExecInASetupFileStartsARun();
    void optionalLinesOnlyWhenOn_data();
    void optionalLinesOnlyWhenOn();

private:
    std::unique_ptr<Body> bodyWithImages(const QString &dir);
    bool run(Body &body, const QStringList &lines);
    QString readText(const QString &file);
    QTemporaryDir dir_;
    QString projDir_, blankDir_, i0_, bg_;
};

namespace {

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
    };
}

} // namespace

void TestBodySetup::initTestCase()
{
    ScanSetup setup;
    setup.width = 48;
    setup.height = 12;
    setup.cor = 24;
    setup.projections = 20;
    projDir_ = dir_.filePath(u"p"_s);
    blankDir_ = dir_.filePath(u"with blank"_s);
    i0_ = dir_.filePath(u"i0.img"_s);
    bg_ = dir_.filePath(u"bg.img"_s);
    QVERIFY(writeScan(demoPhantom(48), setup, projDir_, u"ct_"_s, i0_, bg_));
    QVERIFY(writeScan(demoPhantom(48), setup, blankDir_, u"ct_"_s, i0_, bg_));
}

std::unique_ptr<Body> TestBodySetup::bodyWithImages(const QString &dir)
{
    auto body = std::make_unique<Body>(nullptr, 4);
    if (dir.isEmpty())
        return body;
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    body->ui().CTFiles->selectDirFiles(dir, {});
    if (!loaded.wait(10000))
        return nullptr;
    return body;
}

bool TestBodySetup::run(Body &body, const QStringList &lines)
{
    bool ok = true;
    for (const QString &l : lines)
        ok = body.execCommand(parseBatchCmd(l)) && ok;
    return ok;
}

QString TestBodySetup::readText(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(f.readAll()) : QString();
}

void TestBodySetup::roundTripRestoresEverySetting()
{
    auto a = bodyWithImages(projDir_);
    QVERIFY(a);
    const QStringList defaults = settings(*bodyWithImages({}));
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    run(*a,
        {u"images_new_on_load 0"_s, u"images_keep_setup 0"_s, u"images_multi 1 3"_s, u"images_seek 7"_s,
            u"i0_load "_s + i0_, u"bg_load "_s + bg_, u"ct_proc_slice 9"_s, u"ct_angle_origin 12.5"_s,
            u"ct_dataset_range 360"_s, u"ct_use_partial_data_set 1"_s, u"ct_dataset_using_images 15"_s,
            u"ct_dataset_start_image_no 4"_s, u"ct_auto_exec 1"_s, u"ct_slice_from 2"_s, u"ct_slice_to 11"_s,
            u"ct_slice_step 3"_s, u"ct_threads 2"_s, u"ct_cor 23.25"_s, u"ct_rot_ax_is_h 0"_s,
            u"ct_recorded_cor_1 5 23.5"_s, u"ct_recorded_cor_2 10 24.75"_s, u"calc_show_res 0"_s,
            u"fix_color_scale 1"_s, u"fix_color_min -0.25"_s, u"fix_color_max 1.75"_s, u"auto_save_image 1"_s,
            u"auto_save_image_path \"/tmp/with blank/img\""_s, u"auto_save_image_name nm"_s,
            u"auto_save_image_tag tg"_s, u"auto_save_data 1"_s, u"auto_save_data_path /tmp/d"_s,
            u"auto_save_data_name dn"_s, u"auto_save_data_tag dt"_s, u"auto_save_data_upper_limit 20"_s,
            u"auto_save_data_lower_limit -5"_s, u"auto_save_data_offset 7"_s, u"auto_save_in_sub_folders 0"_s,
            u"auto_save_in_sub_folders_of_energy 1"_s, u"add_inf_show 1"_s, u"add_inf_Ormel_standard 0"_s,
            u"seq_exec_dir /data/sets"_s, u"seq_exec_file_pattern *.tif"_s,
            u"seq_exec_keep_range_on_new_set 1"_s});
    const QStringList changed = settings(*a);
    for (qsizetype i = 0; i < changed.size(); ++i) // each setting differs from a fresh window's
        QVERIFY2(changed[i] != defaults[i], qPrintable(changed[i]));

    const QString first = dir_.filePath(u"first.cfg"_s);
    QVERIFY(a->saveSetup(first));
    a.reset();
    // A fresh window with the same images: the setup file does not load images itself.
    auto b = bodyWithImages(projDir_);
    QVERIFY(b);
    QVERIFY(b->loadSetup(first));
    qInstallMessageHandler(previous);
    QCOMPARE(settings(*b), changed);
    const QString second = dir_.filePath(u"second.cfg"_s);
    QVERIFY(b->saveSetup(second));
    QCOMPARE(readText(second), readText(first));
}

void TestBodySetup::fileText_data()
{
    QTest::addColumn<QString>("images");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("expected");
    // A fresh window: empty text fields as the padded key alone, " 0" for the partial data set, no
    // "#images_load" and no I0 file set.
    QTest::newRow("fresh window") << QString() << QStringList {} << u"setup_fresh_window.cfg"_s;
    // Values with blanks in double quotes; where the loaded images came from.
    QTest::newRow("quoted values and loaded images")
        << blankDir_
        << QStringList {u"auto_save_image_path \"/data/run 1/img\""_s, u"auto_save_data_name \"a b\""_s,
               u"ct_use_partial_data_set 1"_s, u"ct_cor 1234.5678"_s, u"ct_recorded_cor_1 3 12.5"_s,
               u"fix_color_max 1e6"_s}
        << u"setup_quoted_and_images.cfg"_s;
}

void TestBodySetup::fileText()
{
    QFETCH(QString, images);
    QFETCH(QStringList, lines);
    QFETCH(QString, expected);
    auto body = bodyWithImages(images);
    QVERIFY(body);
    run(*body, lines);
    const QString file = dir_.filePath(u"written.cfg"_s);
    QVERIFY(body->saveSetup(file));
    const QStringList got = readText(file).split(u'\n');
    const QStringList want = readText(QStringLiteral(QUORVEL_TEST_DATA "/") + expected)
                                 .replace(u"@DIR@"_s, blankDir_)
                                 .split(u'\n');
    QVERIFY(!want.isEmpty());
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
        QCOMPARE(got[i], want[i]);
    QCOMPARE(got.size(), want.size());
}

void TestBodySetup::buttonsShareOneDialog_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("written");
    QTest::newRow("with .cfg") << u"from-dialog.cfg"_s << u"from-dialog.cfg"_s;
    QTest::newRow("no suffix") << u"mysetup"_s << u"mysetup.cfg"_s;
    QTest::newRow("no suffix, dotted folder") << u"v1.2/mysetup"_s << u"v1.2/mysetup.cfg"_s;
    QTest::newRow("another suffix") << u"my.setup"_s << u"my.setup"_s;
}

void TestBodySetup::buttonsShareOneDialog()
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

void TestBodySetup::unreadableAndUnwritableFiles()
{
    Body body(nullptr, 1);
    const QString nowhere = dir_.filePath(u"no/such/dir/x.cfg"_s);
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(u"can't open save setup file : "_s + nowhere));
    QVERIFY(!body.saveSetup(nowhere));
    QVERIFY(!QFile::exists(nowhere));
    const QString before = body.ui().procCtrl->ui().SliceFrom->text();
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(u"can't open save setup file : "_s + nowhere));
    QVERIFY(!body.loadSetup(nowhere));
    QCOMPARE(body.ui().procCtrl->ui().SliceFrom->text(), before);
}

void TestBodySetup::calcExecInASetupFileStartsARun()
{
    auto body = bodyWithImages(projDir_);
    QVERIFY(body);
    QFile f(dir_.filePath(u"with-calc.cfg"_s));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(
        "## by hand\nct_rot_ax_is_v 1\nct_cor 24\nct_proc_slice 6\ncalc_ct2 1\ncalc_exec\nct_slice_step 6\n");
    f.close();
    QSignalSpy finished(body.get(), &Body::calcFinished);
    QVERIFY(body->loadSetup(f.fileName()));
    QVERIFY(body->isCalculating()); // started, and the lines after it ran at once
    QCOMPARE(body->ui().procCtrl->sliceStep(), 6);
    QVERIFY(finished.wait(10000));
}

void TestBodySetup::optionalLinesOnlyWhenOn_data()
{
    QTest::addColumn<bool>("on");
    QTest::newRow("off: the usual layout") << false;
    QTest::newRow("on: a line each") << true;
}

void TestBodySetup::optionalLinesOnlyWhenOn()
{
    QFETCH(bool, on);
    auto a = bodyWithImages({});
    QVERIFY(a);
    // Float TIFF slices, single precision, a tilted axis's records in use, the Fourier search chosen,
    // ring removal by sorting with its parameters.
    StripeParams rings;
    rings.snr = 2.5;
    rings.largeSize = 41;
    rings.smallSize = 11;
    rings.method = on ? StripeMethod::Sorting : StripeMethod::Off;
    a->ui().AutoSaveTiff->setChecked(on);
    a->ui().procCtrl->ui().SinglePrecision->setChecked(on);
    a->ui().procCtrl->setUseRecordedCor(on);
    a->ui().procCtrl->setStripeParams(rings);
    a->sinogram()->setCorMethod(on ? CorMethod::Fourier : CorMethod::Mirror);
    const QString file = dir_.filePath(u"optional.cfg"_s);
    QVERIFY(a->saveSetup(file));
    const QStringList lines = readText(file).split(u'\n');
    for (const QString &line : {u"auto_save_tiff +1"_s, u"ct_single_precision +1"_s, u"ct_use_recorded_cor +1"_s,
             u"ct_cor_guess_method +fourier"_s, u"ct_ring_removal +sort"_s,
             u"ct_ring_params +snr=2.5 large=41 small=11"_s})
        QCOMPARE(lines.filter(QRegularExpression(u"^"_s + line + u"$"_s)).size(), on ? 1 : 0);
    for (const QString &key : {u"auto_save_tiff"_s, u"ct_single_precision"_s, u"ct_use_recorded_cor"_s,
             u"ct_cor_guess_method"_s})
        QCOMPARE(lines.filter(key).size(), on ? 1 : 0);
    QCOMPARE(lines.filter(u"ct_ring"_s).size(), on ? 2 : 0);
    auto b = bodyWithImages({});
    QVERIFY(b);
    b->sinogram()->setCorMethod(CorMethod::Mirror);
    QVERIFY(b->loadSetup(file));
    QCOMPARE(b->ui().AutoSaveTiff->isChecked(), on);
    QCOMPARE(b->ui().procCtrl->ui().SinglePrecision->isChecked(), on);
    QCOMPARE(b->ui().procCtrl->useRecordedCor(), on);
    QCOMPARE(b->sinogram()->corMethod(), on ? CorMethod::Fourier : CorMethod::Mirror);
    if (on)
        QCOMPARE(b->ui().procCtrl->stripeParams(), rings);
    else
        QVERIFY(!b->ui().procCtrl->stripeParams().isOn());
}

QTEST_MAIN(TestBodySetup)
#include "tst_bodysetup.moc"
