#include "automation/batchcommands.h"

// Qt
#include <QHash>

const QList<BatchCommandEntry> &batchCommandSet()
{
    using F = BatchFamily;
    static const QList<BatchCommandEntry> set {
        {QStringLiteral("images_load"), F::Other},
        {QStringLiteral("images_new_on_load"), F::RadioPair},
        {QStringLiteral("images_add_on_load"), F::RadioPair},
        {QStringLiteral("images_clear"), F::Clear},
        {QStringLiteral("images_exp_time"), F::Number},
        {QStringLiteral("images_multi"), F::Other},
        {QStringLiteral("images_seek"), F::Number},
        {QStringLiteral("images_keep_setup"), F::Flag},
        {QStringLiteral("i0_load"), F::Text},
        {QStringLiteral("i0_clear"), F::Clear},
        {QStringLiteral("i0_exp_time"), F::Number},
        {QStringLiteral("bg_load"), F::Text},
        {QStringLiteral("bg_clear"), F::Clear},
        {QStringLiteral("bg_exp_time"), F::Number},
        {QStringLiteral("ct_proc_slice"), F::Number},
        {QStringLiteral("ct_auto_exec"), F::Flag},
        {QStringLiteral("ct_slice_from"), F::Number},
        {QStringLiteral("ct_slice_to"), F::Number},
        {QStringLiteral("ct_slice_step"), F::Number},
        {QStringLiteral("ct_threads"), F::Number},
        {QStringLiteral("ct_cor"), F::Number},
        {QStringLiteral("ct_recorded_cor_1"), F::Other},
        {QStringLiteral("ct_recorded_cor_2"), F::Other},
        {QStringLiteral("ct_rot_ax_is_h"), F::RadioPair},
        {QStringLiteral("ct_rot_ax_is_v"), F::RadioPair},
        {QStringLiteral("ct_angle_offset"), F::Number},
        {QStringLiteral("ct_angle_origin"), F::Number},
        {QStringLiteral("ct_use_partial_data_set"), F::Flag},
        {QStringLiteral("ct_dataset_range"), F::Number},
        {QStringLiteral("ct_dataset_using_images"), F::Number},
        {QStringLiteral("ct_dataset_start_image_no"), F::Number},
        {QStringLiteral("ct_set_disp_region"), F::Other},
        {QStringLiteral("ct_set_calc_region"), F::Other},
        {QStringLiteral("calc_ct1"), F::Flag},
        {QStringLiteral("calc_ct2"), F::Flag},
        {QStringLiteral("calc_show_res"), F::Flag},
        {QStringLiteral("fix_color_scale"), F::Flag},
        {QStringLiteral("fix_color_min"), F::Number},
        {QStringLiteral("fix_color_max"), F::Number},
        {QStringLiteral("auto_save_image"), F::Flag},
        {QStringLiteral("auto_save_image_path"), F::Text},
        {QStringLiteral("auto_save_image_name"), F::Text},
        {QStringLiteral("auto_save_image_tag"), F::Text},
        {QStringLiteral("auto_save_image_clear"), F::Clear},
        {QStringLiteral("auto_save_data"), F::Flag},
        {QStringLiteral("auto_save_data_path"), F::Text},
        {QStringLiteral("auto_save_data_name"), F::Text},
        {QStringLiteral("auto_save_data_tag"), F::Text},
        {QStringLiteral("auto_save_data_clear"), F::Clear},
        {QStringLiteral("auto_save_in_sub_folders"), F::Flag},
        {QStringLiteral("auto_save_in_sub_folders_of_slice"), F::Flag},
        {QStringLiteral("auto_save_in_sub_folders_of_energy"), F::Flag},
        {QStringLiteral("auto_save_data_upper_limit"), F::Text},
        {QStringLiteral("auto_save_data_lower_limit"), F::Text},
        {QStringLiteral("auto_save_data_offset"), F::Text},
        {QStringLiteral("add_inf_show"), F::Other},
        {QStringLiteral("add_inf_Ormel_standard"), F::Flag},
        {QStringLiteral("add_inf_raw_i0_val"), F::Number},
        {QStringLiteral("add_inf_raw_i0_from_xafs"), F::Flag},
        {QStringLiteral("add_inf_raw_i0_xafs"), F::Text},
        {QStringLiteral("add_inf_raw_i0_xafs_clear"), F::Clear},
        {QStringLiteral("add_inf_raw_i0_eng_ptn"), F::Text},
        {QStringLiteral("add_inf_i0_i0_val"), F::Number},
        {QStringLiteral("add_inf_i0_i0_from_xafs"), F::Flag},
        {QStringLiteral("add_inf_i0_i0_xafs"), F::Text},
        {QStringLiteral("add_inf_i0_i0_xafs_clear"), F::Clear},
        {QStringLiteral("add_inf_i0_i0_eng_ptn"), F::Text},
        {QStringLiteral("show_tab"), F::Other},
        {QStringLiteral("show_orig"), F::Other},
        {QStringLiteral("show_sinogram"), F::Other},
        {QStringLiteral("show_ct1"), F::Other},
        {QStringLiteral("show_i0"), F::Other},
        {QStringLiteral("show_bg"), F::Other},
        {QStringLiteral("show_ct2"), F::Other},
        {QStringLiteral("zelmapLink_set_send_msg"), F::Flag},
        {QStringLiteral("calc_exec"), F::Other},
        {QStringLiteral("seq_exec_show"), F::Flag},
        {QStringLiteral("seq_exec_dir"), F::Text},
        {QStringLiteral("seq_exec_file_pattern"), F::Text},
        {QStringLiteral("seq_exec_next"), F::Other},
        {QStringLiteral("seq_exec_set"), F::Other},
        {QStringLiteral("seq_exec_select_i0"), F::Other},
        {QStringLiteral("seq_exec_keep_range_on_new_set"), F::Flag},
        // For unattended runs.
        {QStringLiteral("ct_guess_cor"), F::Other},
        {QStringLiteral("app_quit"), F::Other},
        // The rest of the 2dZelmap link.
        {QStringLiteral("zelmapLink_connect"), F::Other},
        {QStringLiteral("zelmapLink_exec_2da"), F::Other},
        {QStringLiteral("zelmapLink_cont_2da"), F::Other},
        // Slices as 32-bit float TIFF images beside the data files.
        {QStringLiteral("auto_save_tiff"), F::Flag},
        // The run's slices in one NeXus file beside them (NAME-TAG.h5).
        {QStringLiteral("auto_save_hdf5"), F::Flag},
        // CT2 runs in single precision.
        {QStringLiteral("ct_single_precision"), F::Flag},
        // Centres of rotation: the search used, trial scans and a tilted axis.
        {QStringLiteral("ct_cor_guess_method"), F::Text},
        {QStringLiteral("ct_cor_scan"), F::Other},
        {QStringLiteral("ct_use_recorded_cor"), F::Flag},
        {QStringLiteral("ct_guess_cor_line"), F::Other},
        // Ring removal: the method, and its parameters as name=value items.
        {QStringLiteral("ct_ring_removal"), F::Other},
        {QStringLiteral("ct_ring_params"), F::Other},
        // Data sets of a series that differ in their images on purpose.
        {QStringLiteral("seq_exec_allow_uneven_sets"), F::Flag},
        // How long a line may wait for the work it started.
        {QStringLiteral("batch_timeout"), F::Number},
        // 360° scans with the rotation axis near one edge: stitched, at an axis searched or given.
        {QStringLiteral("ct_offset_axis"), F::Flag},
        {QStringLiteral("ct_offset_axis_cor"), F::Other},
        // A sequential run from a batch, ending by aligning its series across energies.
        {QStringLiteral("seq_exec_align"), F::Flag},
        {QStringLiteral("seq_exec_calc"), F::Other},
        // The "XANES" tab: the chemical-state maps of a series, its settings and files.
        {QStringLiteral("xanes_source"), F::Text},
        {QStringLiteral("xanes_edge"), F::Text},
        {QStringLiteral("xanes_pre"), F::Text},
        {QStringLiteral("xanes_post"), F::Text},
        {QStringLiteral("xanes_edge_window"), F::Text},
        {QStringLiteral("xanes_fit"), F::Text},
        {QStringLiteral("xanes_standards"), F::Text},
        {QStringLiteral("xanes_sum_to_one"), F::Flag},
        {QStringLiteral("xanes_min_jump"), F::Text},
        {QStringLiteral("xanes_pixel_size"), F::Text},
        {QStringLiteral("xanes_save_dir"), F::Text},
        {QStringLiteral("xanes_exec"), F::Other},
        {QStringLiteral("xanes_save_maps"), F::Other},
        {QStringLiteral("show_xanes"), F::Other},
        // A setup file restored with the data set it names.
        {QStringLiteral("setup_load"), F::Other},
    };
    return set;
}

int batchCommandIndex(const QString &word)
{
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        const QList<BatchCommandEntry> &set = batchCommandSet();
        for (int i = 0; i < set.size(); ++i)
            h.insert(set[i].word.toUpper(), i);
        return h;
    }();
    return index.value(word.toUpper(), -1);
}
