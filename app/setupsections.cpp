// The window's settings as the command lines of a setup file, under its headings.

#include "app/setupsections.h"

// Local
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "ct/corsearch.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/ui/selectdatafiles.h"
#include "ui_body.h"
#include "widgets/numberfield.h"
#include "widgets/seekctrl.h"
#include "xafs/ui/xanespanel.h"
#include <tuple>

namespace {

SetupSection xanesSection(const XanesPanel &xanes)
{
    const XanesPanel::Controls &c = xanes.controls();
    const XanesFields now = xanes.fields();
    const XanesFields defaults;
    SetupSection section {QStringLiteral("## XANES"), {}};
    const std::tuple<const char *, QString, QString> texts[] = {
        {"xanes_source", c.source->text(), QString()},
        {"xanes_edge", now.edge, defaults.edge},
        {"xanes_pre", now.pre, defaults.pre},
        {"xanes_post", now.post, defaults.post},
        {"xanes_edge_window", now.edgeWindow, defaults.edgeWindow},
        {"xanes_fit", now.fit, defaults.fit},
        {"xanes_standards", now.standards, defaults.standards},
        {"xanes_min_jump", now.minJump, defaults.minJump},
        {"xanes_pixel_size", now.pixelSize, defaults.pixelSize},
        {"xanes_save_dir", c.saveDir->text(), QString()},
    };
    bool changed = now.sumToOne != defaults.sumToOne;
    for (const auto &[word, text, standard] : texts)
        changed = changed || text != standard;
    if (!changed)
        return section;
    for (const auto &[word, text, standard] : texts)
        section.entries.append({QLatin1String(word), setupText(text)});
    section.entries.append({QStringLiteral("xanes_sum_to_one"), setupFlag(now.sumToOne)});
    return section;
}

} // namespace

QList<SetupSection> windowSetupSections(Ui_Body &ui, const Sinogram &sinogram, const XanesPanel &xanes)
{
    const ProcCtrl *p = ui.procCtrl;
    const auto integer = [](int v) { return QString::number(v); };
    const auto recorded
        = [](int slice, double cor) { return QString::number(slice) + u' ' + setupReal(cor); };
    SelectDataFiles *raw = ui.CTFiles;

    SetupSection images {QStringLiteral("## Original Images"), {}};
    if (raw->count() > 0) { // loading the setup loads them again
        const QString first = raw->files().constFirst();
        images.entries.append({QStringLiteral("images_load"),
            isHdf5File(first) ? setupDirFile(first) : setupDirPattern(first)}); // a scan names its file
    }
    images.entries += QList<SetupEntry> {
        {QStringLiteral("images_new_on_load"), setupFlag(raw->loadNew())},
        {QStringLiteral("images_keep_setup"), setupFlag(raw->keepConditions())},
        {QStringLiteral("images_multi"),
            setupFlag(raw->ui().LoadMultiTimes->isChecked()) + u' '
                + integer(fieldInt(raw->ui().MultiTimes->text()))},
        {QStringLiteral("images_seek"), integer(ui.seekCtrl->value())},
        // An image taken from a scan's flats or darks comes back with the scan: recorded, inert.
        {ui.I0ImgSel->holdsComputed() ? QStringLiteral("#i0_load") : QStringLiteral("i0_load"),
            setupText(ui.I0ImgSel->filePath())},
        {ui.BGImgSel->holdsComputed() ? QStringLiteral("#bg_load") : QStringLiteral("bg_load"),
            setupText(ui.BGImgSel->filePath())},
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
    if (p->offsetAxis()) {
        setting.entries.append({QStringLiteral("ct_offset_axis"), setupFlag(true)});
        setting.entries.append({QStringLiteral("ct_offset_axis_cor"),
            p->offsetAxisAuto() ? QStringLiteral("auto") : setupReal(p->cor())});
    }
    if (sinogram.corMethod() != CorMethod::Mirror)
        setting.entries.append({QStringLiteral("ct_cor_guess_method"), corMethodName(sinogram.corMethod())});

    // Written only when on, so that setups of the usual kind keep their layout line for line.
    if (const StripeParams rings = p->stripeParams(); rings.isOn()) {
        setting.entries.append({QStringLiteral("ct_ring_removal"), stripeMethodWord(rings.method)});
        setting.entries.append({QStringLiteral("ct_ring_params"), stripeParamItems(rings).join(u' ')});
    }

    const SelectSaveDir *im = ui.SelectImageSaveDir;
    const SelectSaveDir *da = ui.SelectDataSaveDir;
    SetupSection calculation {QStringLiteral("## CT Reconstruction calculation"),
        {
            {QStringLiteral("calc_ct1"), setupFlag(ui.SelectCt1->isChecked())},
            {QStringLiteral("calc_show_res"), setupFlag(ui.ShowCalcRes->isChecked())},
            {QStringLiteral("fix_color_scale"), setupFlag(ui.FixColorScale->isChecked())},
            {QStringLiteral("fix_color_min"), setupReal(fieldDouble(ui.ColorMin->text()))},
            {QStringLiteral("fix_color_max"), setupReal(fieldDouble(ui.ColorMax->text()))},
            {QStringLiteral("auto_save_image"), setupFlag(ui.AutoSaveImage->isChecked())},
            {QStringLiteral("auto_save_image_path"), setupText(im->dir())},
            {QStringLiteral("auto_save_image_name"), setupText(im->name())},
            {QStringLiteral("auto_save_image_tag"), setupText(im->tag())},
            {QStringLiteral("auto_save_data"), setupFlag(ui.AutoSaveData->isChecked())},
            {QStringLiteral("auto_save_data_path"), setupText(da->dir())},
            {QStringLiteral("auto_save_data_name"), setupText(da->name())},
            {QStringLiteral("auto_save_data_tag"), setupText(da->tag())},
            {QStringLiteral("auto_save_data_upper_limit"), setupReal(fieldDouble(ui.DataUpperLimit->text()))},
            {QStringLiteral("auto_save_data_lower_limit"), setupReal(fieldDouble(ui.DataLowerLimit->text()))},
            {QStringLiteral("auto_save_data_offset"), setupReal(fieldDouble(ui.DataOffset->text()))},
            {QStringLiteral("auto_save_in_sub_folders"), setupFlag(ui.SaveInSubFolders->isChecked())},
            {QStringLiteral("auto_save_in_sub_folders_of_energy"), setupFlag(ui.SubOfEnergy->isChecked())},
        }};

    // Written only when on, so that setups of the usual kind keep their layout line for line.
    if (p->singlePrecision())
        setting.entries.append({QStringLiteral("ct_single_precision"), setupFlag(true)});
    if (ui.AutoSaveTiff->isChecked())
        calculation.entries.append({QStringLiteral("auto_save_tiff"), setupFlag(true)});
    if (ui.AutoSaveHdf5->isChecked())
        calculation.entries.append({QStringLiteral("auto_save_hdf5"), setupFlag(true)});

    SetupSection xafs {QStringLiteral("## Additional Settings for CT-XAFS"),
        {
            {QStringLiteral("add_inf_show"), setupFlag(ui.ShowAdditionalInfo->isChecked())},
            {QStringLiteral("add_inf_Ormel_standard"), setupFlag(ui.SelDDir->ui().isOrmelStd_->isChecked())},
            {QStringLiteral("seq_exec_dir"), setupText(ui.SelDDir->ui().SelDir->dir())},
            {QStringLiteral("seq_exec_file_pattern"), setupText(ui.SelDDir->ui().Pattern->text())},
        }};
    if (ui.SelI0Files->count() > 0)
        xafs.entries.append(
            {QStringLiteral("seq_exec_select_i0"), setupDirPattern(ui.SelI0Files->files().constFirst())});
    xafs.entries.append(
        {QStringLiteral("seq_exec_keep_range_on_new_set"), setupFlag(ui.keepOnNewSet->isChecked())});
    // Written only when on, like "auto_save_tiff".
    if (ui.SelDDir->ui().allowUneven_->isChecked())
        xafs.entries.append({QStringLiteral("seq_exec_allow_uneven_sets"), setupFlag(true)});
    if (ui.SeqAlign->isChecked())
        xafs.entries.append({QStringLiteral("seq_exec_align"), setupFlag(true)});
    QList<SetupSection> sections {images, setting, calculation, xafs};
    if (SetupSection x = xanesSection(xanes); !x.entries.isEmpty())
        sections.append(x);
    return sections;
}
