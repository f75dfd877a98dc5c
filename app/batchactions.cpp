// The bindings of the batch command set: what each command word of the table does to the window.

#include "app/batchcontroller.h"
#include "app/batchbindings.h"

// Qt
#include <QCheckBox>
#include <QDebug>

// Local
#include "app/corscancontroller.h"
#include "app/linkcontroller.h"
#include "app/loadcontroller.h"
#include "app/seqcontroller.h"
#include "app/windowlog.h"
#include "app/windowparts.h"
#include "automation/batchcommands.h"
#include "automation/ui/i0ofimage.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "config/messagelog.h"
#include "ct/corsearch.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectdatafiles.h"
#include "ui_body.h"
#include "widgets/numberfield.h"
#include "widgets/seekctrl.h"
#include <cmath>

namespace {

QString key(const char *word)
{
    return QString::fromLatin1(word).toUpper();
}

} // namespace

void BatchController::buildActions()
{
    using O = Outcome;
    const Bindings b = bindings();
    // The command table is the executor's command set: each of its words gets its binding, and a
    // binding of a word outside it is an error of this file.
    const QList<BatchCommandEntry> &set = batchCommandSet();
    actions_.assign(static_cast<size_t>(set.size()), Action());
    QStringList bound;
    for (qsizetype i = 0; i < set.size(); ++i) {
        const QString word = set[i].word.toUpper();
        Action &a = actions_[static_cast<size_t>(i)];
        if (b.others.contains(word)) {
            a = b.others.value(word);
        } else if (QAbstractButton *box = b.flags.value(word)) {
            a = [box](const BatchCmd &c, bool) {
                box->setChecked(flagArg(c));
                return O {};
            };
        } else if (b.pairs.contains(word)) {
            const auto [on, off] = b.pairs.value(word);
            a = [on = on, off = off](const BatchCmd &c, bool) {
                (flagArg(c) ? on : off)->setChecked(true);
                return O {};
            };
        } else if (b.numbers.contains(word)) {
            a = [set = b.numbers.value(word)](const BatchCmd &c, bool) {
                set(c);
                return O {};
            };
        } else if (b.texts.contains(word)) {
            a = [set = b.texts.value(word)](const BatchCmd &c, bool) {
                set(textArg(c));
                return O {};
            };
        } else if (b.clears.contains(word)) {
            a = [act = b.clears.value(word)](const BatchCmd &, bool) {
                act();
                return O {};
            };
        } else {
            qCCritical(lcWindow).noquote() << "The batch command" << set[i].word << "has no action";
        }
        bound << word;
    }
    for (const QStringList &words : {b.flags.keys(), b.pairs.keys(), b.numbers.keys(), b.texts.keys(),
             b.clears.keys(), b.others.keys()}) {
        for (const QString &word : words) {
            if (!bound.contains(word))
                qCCritical(lcWindow).noquote() << "The action of" << word << "is not in the command table";
        }
    }
}

BatchController::Bindings BatchController::bindings()
{
    using O = Outcome;
    Bindings b;
    Ui_Body &ui = parts_.ui;
    b.pairs.insert(key("images_new_on_load"), {ui.CTFiles->ui().LoadNewFiles, ui.CTFiles->ui().AddFiles});
    b.pairs.insert(key("images_add_on_load"), {ui.CTFiles->ui().AddFiles, ui.CTFiles->ui().LoadNewFiles});
    b.flags.insert(key("images_keep_setup"), ui.CTFiles->ui().KeepConditions);
    b.flags.insert(key("ct_auto_exec"), ui.procCtrl->ui().AutoExecCtCalc);
    b.flags.insert(key("ct_use_partial_data_set"), ui.procCtrl->ui().UsePartialDataSet);
    b.flags.insert(key("ct_single_precision"), ui.procCtrl->ui().SinglePrecision);
    b.flags.insert(key("ct_offset_axis"), ui.procCtrl->ui().OffsetAxis);
    // The setup file stores only "calc_ct1", so its 0 must choose CT2 (and "calc_ct2 0" CT1).
    b.pairs.insert(key("calc_ct1"), {ui.SelectCt1, ui.SelectCt2});
    b.pairs.insert(key("calc_ct2"), {ui.SelectCt2, ui.SelectCt1});
    b.flags.insert(key("calc_show_res"), ui.ShowCalcRes);
    b.flags.insert(key("fix_color_scale"), ui.FixColorScale);
    b.flags.insert(key("auto_save_image"), ui.AutoSaveImage);
    b.flags.insert(key("auto_save_data"), ui.AutoSaveData);
    b.flags.insert(key("auto_save_tiff"), ui.AutoSaveTiff);
    b.flags.insert(key("auto_save_hdf5"), ui.AutoSaveHdf5);
    b.flags.insert(key("auto_save_in_sub_folders"), ui.SaveInSubFolders);
    b.flags.insert(key("auto_save_in_sub_folders_of_slice"), ui.SubOfSlice);
    b.flags.insert(key("auto_save_in_sub_folders_of_energy"), ui.SubOfEnergy);
    b.flags.insert(key("add_inf_Ormel_standard"), ui.SelDDir->ui().isOrmelStd_);
    b.flags.insert(key("add_inf_raw_i0_from_xafs"), ui.I0ofRawImage_->ui().CalcFromXAFS);
    b.flags.insert(key("add_inf_i0_i0_from_xafs"), ui.I0ofI0Image_->ui().CalcFromXAFS);
    b.flags.insert(key("seq_exec_show"), ui.ShowAdditionalInfo);
    b.flags.insert(key("seq_exec_keep_range_on_new_set"), ui.keepOnNewSet);
    b.flags.insert(key("seq_exec_allow_uneven_sets"), ui.SelDDir->ui().allowUneven_);
    ProcCtrl *p = ui.procCtrl;
    b.others.insert(key("ct_rot_ax_is_v"), [p](const BatchCmd &c, bool) {
        p->setRotAxV(flagArg(c)); // announces only a real change
        return O {};
    });
    b.others.insert(key("ct_rot_ax_is_h"), [p](const BatchCmd &c, bool) {
        p->setRotAxV(!flagArg(c));
        return O {};
    });
    b.others.insert(key("zelmapLink_set_send_msg"), [this](const BatchCmd &c, bool) {
        peers_.link.zmlSetSendMsg(flagArg(c));
        return O {};
    });
    bindValues(b);
    bindOthers(b);
    bindSeqAndLink(b);
    bindXanes(b);
    return b;
}

void BatchController::bindValues(Bindings &b)
{
    using O = Outcome;
    ProcCtrl *p = parts_.ui.procCtrl;
    const auto number = [&b](const char *word, std::function<void(const BatchCmd &)> set) {
        b.numbers.insert(key(word), std::move(set));
    };
    // A field the operator edits: written, then its editing announced as the operator's would be.
    const auto edited = [](QLineEdit *field, const QString &text) {
        field->setText(text);
        emit field->editingFinished();
    };

    number("images_exp_time", [this](const BatchCmd &c) { parts_.ui.CTFiles->setExpTime(realArg(c)); });
    number(
        "images_seek", [this](const BatchCmd &c) { parts_.ui.seekCtrl->sliderMoved(intArg(c)); }); // clamps
    number("i0_exp_time", [this](const BatchCmd &c) { parts_.ui.I0ImgSel->setExpTime(realArg(c)); });
    number("bg_exp_time", [this](const BatchCmd &c) { parts_.ui.BGImgSel->setExpTime(realArg(c)); });
    number("ct_proc_slice", [this, p](const BatchCmd &c) {
        p->setSliceNo(intArg(c));
        peers_.load.defaults().sliceNo = false;
    });
    number("ct_slice_from", [p](const BatchCmd &c) { p->setSliceFrom(intArg(c)); });
    number("ct_slice_to", [this, p](const BatchCmd &c) {
        p->setSliceTo(intArg(c));
        peers_.load.defaults().sliceTo = false;
    });
    number("ct_slice_step", [p](const BatchCmd &c) { p->setSliceStep(intArg(c)); });
    number("ct_threads", [p](const BatchCmd &c) { p->setThreads(intArg(c)); });
    number("ct_cor", [this, p](const BatchCmd &c) {
        p->setCor(realArg(c));
        peers_.load.defaults().cor = false;
    });
    for (const char *word : {"ct_angle_origin", "ct_angle_offset"})
        number(
            word, [p, edited](const BatchCmd &c) { edited(p->ui().AngleOriginDeg, fieldText(realArg(c))); });
    number("ct_dataset_range",
        [p, edited](const BatchCmd &c) { edited(p->ui().DataSetRangeDeg, fieldText(realArg(c))); });
    number("ct_dataset_using_images",
        [p, edited](const BatchCmd &c) { edited(p->ui().DataSetUsingImages, QString::number(intArg(c))); });
    number("ct_dataset_start_image_no",
        [p, edited](const BatchCmd &c) { edited(p->ui().DataSetStartImageNo, QString::number(intArg(c))); });
    // Typed bounds of the fixed colour scale apply as the operator's Return does.
    number("fix_color_min",
        [this, edited](const BatchCmd &c) { edited(parts_.ui.ColorMin, fieldText(realArg(c))); });
    number("fix_color_max",
        [this, edited](const BatchCmd &c) { edited(parts_.ui.ColorMax, fieldText(realArg(c))); });
    number("add_inf_raw_i0_val",
        [this](const BatchCmd &c) { parts_.ui.I0ofRawImage_->ui().I0Val->setText(fieldText(realArg(c))); });
    number("add_inf_i0_i0_val",
        [this](const BatchCmd &c) { parts_.ui.I0ofI0Image_->ui().I0Val->setText(fieldText(realArg(c))); });

    // Texts.
    const auto text = [&b](const char *word, std::function<void(const QString &)> set) {
        b.texts.insert(key(word), std::move(set));
    };
    SelectSaveDir *im = parts_.ui.SelectImageSaveDir;
    SelectSaveDir *da = parts_.ui.SelectDataSaveDir;
    text("auto_save_image_path", [im](const QString &t) { im->setDir(t); });
    text("auto_save_image_name", [im](const QString &t) { im->setName(t); });
    text("auto_save_image_tag", [im](const QString &t) { im->setTag(t); });
    text("auto_save_data_path", [da](const QString &t) { da->setDir(t); });
    text("auto_save_data_name", [da](const QString &t) { da->setName(t); });
    text("auto_save_data_tag", [da](const QString &t) { da->setTag(t); });
    text("auto_save_data_upper_limit", [this](const QString &t) { parts_.ui.DataUpperLimit->setText(t); });
    text("auto_save_data_lower_limit", [this](const QString &t) { parts_.ui.DataLowerLimit->setText(t); });
    text("auto_save_data_offset", [this](const QString &t) { parts_.ui.DataOffset->setText(t); });
    // An empty file name forgets the file, as the setup file's empty field means.
    const auto chooseFile = [](SelectAFile *selector, const QString &t) {
        if (t.isEmpty())
            selector->clearFile();
        else
            selector->selectFile(t);
    };
    text("add_inf_raw_i0_xafs",
        [=, this](const QString &t) { chooseFile(parts_.ui.I0ofRawImage_->ui().XafsFile, t); });
    text("add_inf_i0_i0_xafs",
        [=, this](const QString &t) { chooseFile(parts_.ui.I0ofI0Image_->ui().XafsFile, t); });
    text("add_inf_raw_i0_eng_ptn",
        [this](const QString &t) { parts_.ui.I0ofRawImage_->ui().EngPattern->setText(t); });
    text("add_inf_i0_i0_eng_ptn",
        [this](const QString &t) { parts_.ui.I0ofI0Image_->ui().EngPattern->setText(t); });
    text("seq_exec_file_pattern", [this](const QString &t) { parts_.ui.SelDDir->ui().Pattern->setText(t); });

    // I0 and BG: the image is opened at once, as when chosen in the dialog.
    for (auto [word, selector] :
        {std::pair {"i0_load", parts_.ui.I0ImgSel}, std::pair {"bg_load", parts_.ui.BGImgSel}}) {
        b.others.insert(key(word), [this, selector = selector](const BatchCmd &c, bool) {
            const QString name = textArg(c);
            if (name.isEmpty()) {
                selector->clear();
                selector->clearFile();
                emit i0OrBgChanged();
                return O {};
            }
            selector->selectFile(name);
            const ImgData *img = selector->img().get();
            if (!img || img->fileName() != name) {
                qCCritical(lcWindow).noquote()
                    << QStringLiteral("%1: the image cannot be read :").arg(c.cmd) << name;
                return O {Completion::Now, false};
            }
            // An image the correction leaves out would make every slice quietly wrong.
            const int w = parts_.images->width(), h = parts_.images->height();
            if (w > 0 && (img->width() != w || img->height() != h)) {
                qCCritical(lcWindow).noquote()
                    << QStringLiteral("%1: the image of %2 x %3 cannot correct the raw "
                                      "images of %4 x %5 :")
                           .arg(c.cmd)
                           .arg(img->width())
                           .arg(img->height())
                           .arg(w)
                           .arg(h)
                    << name;
                return O {Completion::Now, false};
            }
            return O {};
        });
    }

    // Clearing.
    const auto clear
        = [&b](const char *word, std::function<void()> act) { b.clears.insert(key(word), std::move(act)); };
    clear("images_clear", [this] { parts_.ui.CTFiles->clearFiles(); });
    for (auto [word, selector] :
        {std::pair {"i0_clear", parts_.ui.I0ImgSel}, std::pair {"bg_clear", parts_.ui.BGImgSel}}) {
        clear(word, [this, selector = selector] {
            selector->clear();
            selector->clearFile();
            emit i0OrBgChanged(); // the correction changed
        });
    }
    for (auto [word, selector] :
        {std::pair {"auto_save_image_clear", im}, std::pair {"auto_save_data_clear", da}}) {
        clear(word, [selector = selector] {
            selector->setDir(QString());
            selector->setName(QString());
            selector->setTag(QString());
        });
    }
    clear("add_inf_raw_i0_xafs_clear", [this] { parts_.ui.I0ofRawImage_->ui().XafsFile->clearFile(); });
    clear("add_inf_i0_i0_xafs_clear", [this] { parts_.ui.I0ofI0Image_->ui().XafsFile->clearFile(); });
}

void BatchController::bindOthers(Bindings &b)
{
    using O = Outcome;
    ProcCtrl *p = parts_.ui.procCtrl;

    b.others.insert(key("images_load"), [this](const BatchCmd &c, bool fromBatch) {
        if (peers_.load.isBusy()) { // never two loading chains
            qCCritical(lcWindow).noquote()
                << "images_load: a load is in progress; this one is refused :" << textArg(c);
            return O {Completion::Now, false};
        }
        line_.loadDir = textArg(c);
        // The loading's end judges it (loadFinishedForBatch): a batch line waits for it.
        line_.loadAsker = fromBatch ? LoadAsker::Batch : LoadAsker::Line;
        parts_.ui.CTFiles->selectDirFiles(line_.loadDir, c.args.mid(1));
        return O {fromBatch ? Completion::AfterLoading : Completion::Now};
    });
    b.others.insert(key("images_multi"), [this](const BatchCmd &c, bool) {
        parts_.ui.CTFiles->ui().LoadMultiTimes->setChecked(flagArg(c, 0));
        parts_.ui.CTFiles->ui().MultiTimes->setText(QString::number(intArg(c, 1)));
        return O {};
    });
    for (int record : {1, 2}) {
        b.others.insert(key(record == 1 ? "ct_recorded_cor_1" : "ct_recorded_cor_2"),
            [p, record](const BatchCmd &c, bool) {
                p->setRecordedCoR(record, intArg(c, 0), realArg(c, 1));
                return O {};
            });
    }
    b.others.insert(key("ct_set_disp_region"), [this](const BatchCmd &c, bool) {
        emit dispRegionSet(realArg(c, 0), realArg(c, 1), realArg(c, 2), realArg(c, 3));
        return O {};
    });
    b.others.insert(key("ct_set_calc_region"), [this](const BatchCmd &c, bool) {
        emit calcRegionSet(realArg(c, 0), realArg(c, 1), realArg(c, 2), realArg(c, 3));
        return O {};
    });
    b.others.insert(key("add_inf_show"), [this](const BatchCmd &c, bool) {
        const bool show = flagArg(c);
        // The check box follows, so that a setup file saved afterwards keeps the setting.
        parts_.ui.ShowAdditionalInfo->setChecked(show);
        parts_.ui.AdditionalInfo->setVisible(show);
        parts_.ui.ShowAdditionalAdditionalInfo->setVisible(show);
        return O {};
    });

    // Pages of the image tabs, selected by what they show whatever the layout.
    b.others.insert(key("show_tab"), [this](const BatchCmd &c, bool) {
        parts_.ui.ImgsTab->setCurrentIndex(intArg(c)); // an index outside the tabs changes nothing
        return O {};
    });
    const std::pair<const char *, QWidget *> pages[] = {{"show_orig", parts_.ui.RawImageTab},
        {"show_sinogram", parts_.ui.SinogramTab}, {"show_ct1", parts_.ui.CTImageTab},
        {"show_i0", parts_.ui.I0ImageTab}, {"show_bg", parts_.ui.BGImageTab}};
    for (auto [word, page] : pages) {
        b.others.insert(key(word), [this, page = page](const BatchCmd &, bool) {
            emit showPage(page);
            return O {};
        });
    }
    b.others.insert(key("show_ct2"), [this](const BatchCmd &c, bool) {
        emit showWorkerPage(intArg(c));
        return O {};
    });

    b.others.insert(key("calc_exec"), [this](const BatchCmd &, bool fromBatch) {
        if (parts_.images->count() == 0 && !peers_.load.isLoading()) {
            qCCritical(lcWindow).noquote() << "calc_exec: no raw images are loaded, nothing to calculate";
            return O {Completion::Now, false};
        }
        // CT1 only shows the current slice: a run asked to save would write nothing.
        if (parts_.ui.SelectCt1->isChecked()
            && (parts_.ui.AutoSaveImage->isChecked() || parts_.ui.AutoSaveData->isChecked()
                || parts_.ui.AutoSaveTiff->isChecked() || parts_.ui.AutoSaveHdf5->isChecked())) {
            qCCritical(lcWindow).noquote() << "calc_exec: CT1 saves no files: select CT2";
            return O {Completion::Now, false};
        }
        // Only a batch line waits for the run's end; a setup or configuration line goes on at once.
        if (fromBatch)
            line_.wait = LineWait::Run;
        emit calcStart();
        return O {fromBatch ? Completion::AfterRun : Completion::Now};
    });
    b.others.insert(key("ct_guess_cor"), [this](const BatchCmd &, bool fromBatch) {
        const bool loading = peers_.load.isLoading();
        if (parts_.images->count() == 0 || loading) {
            qCCritical(lcWindow).noquote() << (loading ? "ct_guess_cor: the raw images are still loading"
                                                       : "ct_guess_cor: no raw images are loaded");
            return O {Completion::Now, false};
        }
        if (!fromBatch) // a setup or configuration line guesses at once
            return O {Completion::Now, reportCorGuess(parts_.sinogram->guessCor())};
        // A batch line waits for the guess on its own thread, so that "batch_timeout" can call it off;
        // a failed guess leaves the centre of rotation, and whether a load may replace it, as they were.
        if (!parts_.sinogram->startGuessCor())
            return O {Completion::Now, false};
        line_.wait = LineWait::CorGuess;
        return O {Completion::AfterGuess};
    });
    b.others.insert(key("ct_cor_guess_method"), [this](const BatchCmd &c, bool) {
        const std::optional<CorMethod> method = corMethodFromName(textArg(c));
        if (!method) {
            qCWarning(lcWindow).noquote()
                << "ct_cor_guess_method: takes mirror or fourier, not" << textArg(c);
            return O {Completion::Now, false};
        }
        parts_.sinogram->setCorMethod(*method);
        return O {};
    });
    b.others.insert(key("ct_offset_axis_cor"), [this, p](const BatchCmd &c, bool) {
        // "auto": searched before each run; a number: the axis itself, in the CoR field.
        bool ok = false;
        const double cor = textArg(c).toDouble(&ok);
        const bool automatic = textArg(c).compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
        if (!automatic && !(ok && std::isfinite(cor))) {
            qCWarning(lcWindow).noquote() << "ct_offset_axis_cor: takes auto or a number, not" << textArg(c);
            return O {Completion::Now, false};
        }
        p->setOffsetAxisAuto(!ok);
        if (ok) {
            p->setCor(cor);
            peers_.load.defaults().cor = false;
        }
        return O {};
    });
    b.others.insert(key("ct_use_recorded_cor"), [p](const BatchCmd &c, bool) {
        p->setUseRecordedCor(flagArg(c));
        return O {};
    });
    b.others.insert(key("ct_guess_cor_line"), [this, p](const BatchCmd &c, bool fromBatch) {
        // Without a count, as many slices as the panel says.
        const int count = c.args.isEmpty() ? p->guessLineSlices() : intArg(c);
        if (count < 2) {
            qCWarning(lcWindow).noquote()
                << "ct_guess_cor_line: takes a number of slices of at least 2, not" << textArg(c);
            return O {Completion::Now, false};
        }
        if (!fromBatch) // a setup or configuration line guesses at once
            return O {Completion::Now, peers_.scan.guessCorLine(count)};
        // A batch line waits for the guess on its own thread, so that "batch_timeout" can call it off.
        if (!peers_.scan.startGuessCorLine(count))
            return O {Completion::Now, false};
        line_.wait = LineWait::Guess;
        return O {Completion::AfterGuess};
    });
    b.others.insert(key("ct_cor_scan"), [this](const BatchCmd &c, bool fromBatch) {
        // Only a batch line waits for the scan's end; a setup or configuration line goes on at once.
        if (!peers_.scan.start(realArg(c, 0), realArg(c, 1), realArg(c, 2), fromBatch))
            return O {Completion::Now, false};
        if (fromBatch)
            line_.wait = LineWait::Scan;
        return O {fromBatch ? Completion::AfterScan : Completion::Now};
    });
    // Ring removal: a refused method or parameter fails the line and changes nothing.
    b.others.insert(key("ct_ring_removal"), [p](const BatchCmd &c, bool) {
        StripeParams params = p->stripeParams();
        if (!stripeMethodFromWord(textArg(c), params.method)) {
            qCWarning(lcWindow).noquote()
                << QStringLiteral("ct_ring_removal: the method is off, all, sort, large or dead, "
                                  "not \"%1\"")
                       .arg(textArg(c));
            return O {Completion::Now, false};
        }
        p->setStripeParams(params);
        return O {};
    });
    b.others.insert(key("ct_ring_params"), [p](const BatchCmd &c, bool) {
        StripeParams params = p->stripeParams();
        QString why;
        if (!applyStripeParams(c.args, params, why)) {
            qCWarning(lcWindow).noquote() << "ct_ring_params:" << why;
            return O {Completion::Now, false};
        }
        p->setStripeParams(params);
        return O {};
    });
    b.others.insert(key("app_quit"), [this](const BatchCmd &c, bool) {
        // "app_quit N": a batch that handled a failure itself names the status; a status that is
        // none fails the line, and the batch goes on (to its own failure branch, say).
        if (!c.args.isEmpty()) {
            bool number = false;
            const int status = c.args.constFirst().toInt(&number);
            if (!number || status < 0 || status > 255) {
                qCWarning(lcWindow).noquote() << "app_quit: the exit status is a number from 0 to 255, not"
                                              << MessageLog::shortened(c.args.constFirst());
                return O {Completion::Now, false};
            }
            quit_.status = status;
        }
        appQuit();
        return O {Completion::AtExit};
    });
    b.others.insert(key("batch_timeout"), [this](const BatchCmd &c, bool) {
        // Seconds a line may wait for the work it started (0: no limit), to the millisecond.
        bool number = false;
        const double seconds = textArg(c).toDouble(&number);
        if (!number || !(seconds >= 0.0 && seconds <= 1e6)) {
            qCCritical(lcWindow).noquote()
                << "batch_timeout: give the seconds a line may wait, 0 to 1000000 (0: no limit)";
            return O {Completion::Now, false};
        }
        line_.timeoutMs = static_cast<int>(std::lround(seconds * 1000.0));
        return O {};
    });
}

void BatchController::bindSeqAndLink(Bindings &b)
{
    using O = Outcome;
    SelectDataDir *sets = parts_.ui.SelDDir;

    b.others.insert(key("seq_exec_dir"), [sets](const BatchCmd &c, bool) {
        const QString dir = textArg(c);
        if (dir.isEmpty()) { // an empty setup field: nothing to list (an empty path is the working folder)
            sets->ui().SelDir->setDirName(dir);
            return O {};
        }
        // The sets listed before stay when this folder has none: the line fails all the same.
        if (sets->selectDir(dir) == 0) {
            qCCritical(lcWindow).noquote() << "seq_exec_dir: no data set found in" << dir;
            return O {Completion::Now, false};
        }
        return O {};
    });
    b.others.insert(key("seq_exec_select_i0"), [this](const BatchCmd &c, bool) {
        // The I0 list and its energies are applied within the call (filesSelected is a direct
        // connection); the image itself is opened when a data set is applied.
        const QString dir = textArg(c);
        parts_.ui.SelI0Files->selectDirFiles(dir, c.args.mid(1));
        if (parts_.ui.SelI0Files->count() == 0) {
            qCCritical(lcWindow).noquote() << "seq_exec_select_i0: no I0 file found in" << dir;
            return O {Completion::Now, false};
        }
        return O {};
    });
    b.others.insert(key("seq_exec_next"), [sets](const BatchCmd &, bool) {
        // The end of the list is the answer a batch loop tests with ":ifng", not a failure.
        const bool ok = sets->advanceSet();
        if (!ok)
            qCInfo(lcWindow).noquote() << "seq_exec_next: there is no next data set";
        return O {Completion::Now, ok, !ok};
    });
    b.others.insert(key("seq_exec_set"), [this](const BatchCmd &, bool fromBatch) {
        // The load may end before the call returns: the batch waits from before it.
        if (fromBatch)
            line_.wait = LineWait::SetLoading;
        if (!peers_.seq.applyCurrentSet()) {
            line_.wait = LineWait::None;
            qCCritical(lcWindow).noquote() << "seq_exec_set: there is no current data set";
            return O {Completion::Now, false};
        }
        if (!peers_.seq.isLoadingSet()
            && !fromBatch) // refused at once, and said why (a batch line is failed by the refusal)
            return O {Completion::Now, false};
        return O {fromBatch ? Completion::AfterSetLoading : Completion::Now};
    });

    b.others.insert(key("zelmapLink_connect"), [this](const BatchCmd &, bool) {
        peers_.link.zmlConnect();
        return O {};
    });
    b.others.insert(key("zelmapLink_exec_2da"), [this](const BatchCmd &, bool) {
        if (!peers_.link.link().isConnected()) {
            qCCritical(lcWindow).noquote() << "zelmapLink_exec_2da: 2dZelmap is not connected";
            return O {Completion::Now, false};
        }
        peers_.link.exec2dA0(); // the viewer's answer is not awaited
        return O {};
    });
    b.others.insert(key("zelmapLink_cont_2da"), [this](const BatchCmd &, bool fromBatch) {
        if (!peers_.link.link().isConnected()) {
            qCCritical(lcWindow).noquote() << "zelmapLink_cont_2da: 2dZelmap is not connected";
            return O {Completion::Now, false};
        }
        if (!fromBatch) { // a setup or configuration line starts the run and goes on
            if (!peers_.link.isContRunning())
                peers_.link.zmlStartCont2dA();
            return O {};
        }
        // A step of 0 repeats one slice for ever: nothing would end the batch's wait.
        if (parts_.ui.procCtrl->sliceStep() == 0
            && parts_.ui.procCtrl->sliceFrom() != parts_.ui.procCtrl->sliceTo()) {
            qCCritical(lcWindow).noquote()
                << "zelmapLink_cont_2da: a slice step of 0 never ends the run; not started";
            return O {Completion::Now, false};
        }
        waitForContinuousRun(); // its end reports the line, possibly within the call
        return O {Completion::AfterContinuousRun};
    });
}

void BatchController::waitForContinuousRun()
{
    // A run that ends within the start (no files for its first slice) still reports to the batch.
    line_.wait = LineWait::ContinuousRun;
    if (!peers_.link.isContRunning())
        peers_.link.zmlStartCont2dA();
    if (line_.wait == LineWait::ContinuousRun && !peers_.link.isContRunning()) // could not start
        finishWait(LineWait::ContinuousRun, false);
}
