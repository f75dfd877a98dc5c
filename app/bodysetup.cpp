// Setup files: the operator's settings written as command lines under headings, and read back by
// executing each line.

// Qt
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

// Local
#include "app/body.h"
#include "config/configstore.h"
#include "config/specialfile.h"
#include "automation/batch.h"
#include "automation/setupfile.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "imagedata/imgfiletype.h"
#include "ct/ui/sinogram.h"
#include "app/windowlog.h"

void Body::setUpSetupDialog()
{
    setupDialog_ = new QFileDialog(this);
    setupDialog_->setObjectName(QStringLiteral("SetupDialog"));
    setupDialog_->setNameFilters({QStringLiteral("*.cfg"), QStringLiteral("*.*")});
    setupDialog_->setDirectory(dataRoot());
    connect(setupDialog_, &QFileDialog::fileSelected, this, &Body::saveLoadFileSelected);
    connect(ui_.SaveSetup, &QPushButton::clicked, this, &Body::showSaveSetupD);
    connect(ui_.LoadSetup, &QPushButton::clicked, this, &Body::showLoadSetupD);
}

void Body::showSaveSetupD()
{
    setupSaving_ = true;
    setupDialog_->setAcceptMode(QFileDialog::AcceptSave);
    setupDialog_->setFileMode(QFileDialog::AnyFile);
    setupDialog_->setDefaultSuffix(QStringLiteral("cfg"));
    setupDialog_->show();
}

void Body::showLoadSetupD()
{
    setupSaving_ = false;
    setupDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    setupDialog_->setFileMode(QFileDialog::ExistingFile);
    setupDialog_->setDefaultSuffix(QString());
    setupDialog_->show();
}

void Body::saveLoadFileSelected(const QString &fileName)
{
    if (setupSaving_) // a name without a suffix gets ".cfg", so that "Load Setup" lists it
        saveSetup(QFileInfo(fileName).suffix().isEmpty() ? fileName + QStringLiteral(".cfg") : fileName);
    else
        loadSetup(fileName);
}

QList<SetupSection> Body::setupSections()
{
    const ProcCtrl *p = ui_.procCtrl;
    const auto integer = [](int v) { return QString::number(v); };
    const auto recorded
        = [](int slice, double cor) { return QString::number(slice) + u' ' + setupReal(cor); };
    SelectDataFiles *raw = ui_.CTFiles;

    SetupSection images {QStringLiteral("## Original Images"), {}};
    if (raw->count() > 0) { // inert on loading: records where the images came from
        const QString first = raw->files().constFirst();
        images.entries.append({QStringLiteral("#images_load"),
            isHdf5File(first) ? setupDirFile(first) : setupDirPattern(first)}); // a scan names its file
    }
    images.entries += QList<SetupEntry> {
        {QStringLiteral("images_new_on_load"), setupFlag(raw->loadNew())},
        {QStringLiteral("images_keep_setup"), setupFlag(raw->keepConditions())},
        {QStringLiteral("images_multi"),
            setupFlag(raw->ui().LoadMultiTimes->isChecked()) + u' '
                + integer(fieldInt(raw->ui().MultiTimes->text()))},
        {QStringLiteral("images_seek"), integer(ui_.seekCtrl->value())},
        // An image taken from a scan's flats or darks comes back with the scan: recorded, inert.
        {ui_.I0ImgSel->holdsComputed() ? QStringLiteral("#i0_load") : QStringLiteral("i0_load"),
            setupText(ui_.I0ImgSel->filePath())},
        {ui_.BGImgSel->holdsComputed() ? QStringLiteral("#bg_load") : QStringLiteral("bg_load"),
            setupText(ui_.BGImgSel->filePath())},
    };

    SetupSection setting {QStringLiteral("## CT Reconstruction setting"),
        {
            {QStringLiteral("ct_proc_slice"), integer(p->sliceNo())},
            {QStringLiteral("ct_angle_origin"), setupReal(p->angleOriginDeg())},
            {QStringLiteral("ct_dataset_range"), setupReal(p->dataSetRangeDeg())},
            {QStringLiteral("ct_use_partial_data_set"),
                p->usePartialDataSet() ? QStringLiteral("1") : QStringLiteral(" 0")},
            {QStringLiteral("ct_dataset_using_images"), integer(p->dataSetUsingImages())},
            {QStringLiteral("ct_dataset_start_image_no"), integer(p->dataSetStartImageNo())},
            {QStringLiteral("ct_auto_exec"), setupFlag(p->autoExec())},
            {QStringLiteral("ct_slice_from"), integer(p->sliceFrom())},
            {QStringLiteral("ct_slice_to"), integer(p->sliceTo())},
            {QStringLiteral("ct_slice_step"), integer(p->sliceStep())},
            {QStringLiteral("ct_threads"), integer(p->threads())},
            {QStringLiteral("ct_cor"), setupReal(p->cor())},
            {QStringLiteral("ct_rot_ax_is_h"), setupFlag(!p->rotAxV())},
            {QStringLiteral("ct_recorded_cor_1"), recorded(p->recSlice1(), p->recCor1())},
            {QStringLiteral("ct_recorded_cor_2"), recorded(p->recSlice2(), p->recCor2())},
        }};
    // Written only when they differ from the defaults, so that setups of the usual kind keep their
    // layout line for line.
    if (p->useRecordedCor())
        setting.entries.append({QStringLiteral("ct_use_recorded_cor"), setupFlag(true)});
    if (sinogram_->corMethod() != CorMethod::Mirror)
        setting.entries.append(
            {QStringLiteral("ct_cor_guess_method"), corMethodName(sinogram_->corMethod())});

    // Written only when on, so that setups of the usual kind keep their layout line for line.
    if (const StripeParams rings = p->stripeParams(); rings.isOn()) {
        setting.entries.append({QStringLiteral("ct_ring_removal"), stripeMethodWord(rings.method)});
        setting.entries.append({QStringLiteral("ct_ring_params"), stripeParamItems(rings).join(u' ')});
    }

    const SelectSaveDir *im = ui_.SelectImageSaveDir;
    const SelectSaveDir *da = ui_.SelectDataSaveDir;
    SetupSection calculation {QStringLiteral("## CT Reconstruction calculation"),
        {
            {QStringLiteral("calc_ct1"), setupFlag(ui_.SelectCt1->isChecked())},
            {QStringLiteral("calc_show_res"), setupFlag(ui_.ShowCalcRes->isChecked())},
            {QStringLiteral("fix_color_scale"), setupFlag(ui_.FixColorScale->isChecked())},
            {QStringLiteral("fix_color_min"), setupReal(colorMin())},
            {QStringLiteral("fix_color_max"), setupReal(colorMax())},
            {QStringLiteral("auto_save_image"), setupFlag(ui_.AutoSaveImage->isChecked())},
            {QStringLiteral("auto_save_image_path"), setupText(im->dir())},
            {QStringLiteral("auto_save_image_name"), setupText(im->name())},
            {QStringLiteral("auto_save_image_tag"), setupText(im->tag())},
            {QStringLiteral("auto_save_data"), setupFlag(ui_.AutoSaveData->isChecked())},
            {QStringLiteral("auto_save_data_path"), setupText(da->dir())},
            {QStringLiteral("auto_save_data_name"), setupText(da->name())},
            {QStringLiteral("auto_save_data_tag"), setupText(da->tag())},
            {QStringLiteral("auto_save_data_upper_limit"),
                setupReal(fieldDouble(ui_.DataUpperLimit->text()))},
            {QStringLiteral("auto_save_data_lower_limit"),
                setupReal(fieldDouble(ui_.DataLowerLimit->text()))},
            {QStringLiteral("auto_save_data_offset"), setupReal(fieldDouble(ui_.DataOffset->text()))},
            {QStringLiteral("auto_save_in_sub_folders"), setupFlag(ui_.SaveInSubFolders->isChecked())},
            {QStringLiteral("auto_save_in_sub_folders_of_energy"), setupFlag(ui_.SubOfEnergy->isChecked())},
        }};

    // Written only when on, so that setups of the usual kind keep their layout line for line.
    if (p->singlePrecision())
        setting.entries.append({QStringLiteral("ct_single_precision"), setupFlag(true)});
    if (ui_.AutoSaveTiff->isChecked())
        calculation.entries.append({QStringLiteral("auto_save_tiff"), setupFlag(true)});

    SetupSection xafs {QStringLiteral("## Additional Settings for CT-XAFS"),
        {
            {QStringLiteral("add_inf_show"), setupFlag(ui_.ShowAdditionalInfo->isChecked())},
            {QStringLiteral("add_inf_Ormel_standard"), setupFlag(ui_.SelDDir->ui().isOrmelStd_->isChecked())},
            {QStringLiteral("seq_exec_dir"), setupText(ui_.SelDDir->ui().SelDir->dir())},
            {QStringLiteral("seq_exec_file_pattern"), setupText(ui_.SelDDir->ui().Pattern->text())},
        }};
    if (ui_.SelI0Files->count() > 0)
        xafs.entries.append(
            {QStringLiteral("seq_exec_select_i0"), setupDirPattern(ui_.SelI0Files->files().constFirst())});
    xafs.entries.append(
        {QStringLiteral("seq_exec_keep_range_on_new_set"), setupFlag(ui_.keepOnNewSet->isChecked())});
    // Written only when on, like "auto_save_tiff".
    if (ui_.SelDDir->ui().allowUneven_->isChecked())
        xafs.entries.append({QStringLiteral("seq_exec_allow_uneven_sets"), setupFlag(true)});
    return {images, setting, calculation, xafs};
}

bool Body::saveSetup(const QString &fileName)
{
    // Written under a temporary name and renamed: an existing setup is replaced only by a whole one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCCritical(lcWindow).noquote() << "can't open save setup file :" << fileName;
        return false;
    }
    file.write(setupFileText(setupSections()).toUtf8());
    if (!file.commit()) {
        qCCritical(lcWindow).noquote() << "can't open save setup file :" << fileName
                              << QStringLiteral("(%1)").arg(file.errorString());
        return false;
    }
    return true;
}

bool Body::loadSetup(const QString &fileName)
{
    if (isSpecialFile(fileName)) { // a pipe would block the window
        qCCritical(lcWindow).noquote() << "Setup file is not a regular file, not read :" << fileName;
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCCritical(lcWindow).noquote() << "can't open save setup file :" << fileName;
        return false;
    }
    if (file.size() > Batch::maxFileSize) {
        qCCritical(lcWindow).noquote() << "Setup file is larger than 16 MiB, not read :" << fileName;
        return false;
    }
    // Headings and the "#images_load" line are words the executor does not know, so they do nothing.
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line))
        execCommand(parseBatchCmd(line));
    return true;
}
