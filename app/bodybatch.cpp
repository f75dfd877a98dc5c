// The main window's side of batch runs: the batch thread, the executor of the command set (which
// also runs configuration lines and setup files) and the report of each line's completion.

// Qt
#include <QCheckBox>
#include <QDebug>
#include <QThread>

// Local
#include "app/body.h"
#include "config/configstore.h"
#include "automation/batch.h"
#include "automation/batchcommands.h"
#include "automation/ui/i0ofimage.h"
#include "automation/ui/selectdatadir.h"
#include "automation/ui/selectdir.h"
#include "ct/corsearch.h"
#include "ct/datasaver.h"
#include "ct/ui/ctcalc.h"
#include "ct/ui/ctcalc2.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectdatafiles.h"
#include "app/windowlog.h"
#include <cmath>

void Body::setUpBatch()
{
    batch_ = new Batch;
    batchThread_ = new QThread(this);
    batchThread_->setObjectName(QStringLiteral("batch"));
    batch_->moveToThread(batchThread_);
    connect(this, &Body::callBatchLoad, batch_, &Batch::batchLoad);
    connect(this, &Body::callBatchExec, batch_, &Batch::batchExec);
    connect(this, &Body::callBatchLastOk, batch_, &Batch::setLastOk);
    connect(this, &Body::callBatchCheckEnd, batch_, &Batch::batchCheckEnd);
    connect(batch_, &Batch::batchExCmd, this, &Body::batchExCmd);
    connect(batch_, &Batch::loadFailed, this, [this] { ++tally_.otherFailures; });
    connect(batch_, &Batch::lineFailed, this, [this] { ++tally_.linesFailed; });
    connect(batch_, &Batch::runEnded, this, [this] {
        if (quitWhenBatchEnds_)
            appQuit();
    });
    batchThread_->start();

    // A line that starts loading is done when the loading is; "app_quit" waits for every end.
    connect(this, &Body::finishedLoadingCTFiles, this, &Body::loadFinishedForBatch);
    connect(this, &Body::seqSetLoaded, this, [this] { setLoadedForBatch(true); });
    batchLineTimer_.setSingleShot(true);
    connect(&batchLineTimer_, &QTimer::timeout, this, &Body::batchLineTimedOut);
    connect(this, &Body::seqSetFailed, this, [this] { setLoadedForBatch(false); });
    connect(this, &Body::finishedLoadingCTFiles, this, &Body::tryQuit, Qt::QueuedConnection);
    connect(this, &Body::calcFinished, this, &Body::tryQuit, Qt::QueuedConnection);
    connect(ctCalc_, &CtCalc::calcFinished, this, &Body::tryQuit, Qt::QueuedConnection);
    buildBatchActions();
}

void Body::runConfigurationLines()
{
    for (const QString &line : ConfigStore::instance().lines())
        execCommand(parseBatchCmd(line));
}

bool Body::execCommand(const BatchCmd &cmd)
{
    const Outcome out = runCommand(cmd, false);
    // A configuration or setup line that failed counts like a batch line: an unattended run that
    // started from it must not end with success.
    if (!out.ok && !out.conditionOnly)
        ++tally_.linesFailed;
    return out.ok;
}

void Body::batchExCmd(const BatchCmd &cmd)
{
    // A line handed out while an earlier one still waits (the run was restarted) takes its place.
    batchWaitsForLoading_ = false;
    batchWaitsForSet_ = false;
    batchLineTimer_.stop();
    waitingLine_ = cmd.line;
    const Outcome out = runCommand(cmd, true);
    switch (out.completion) {
    case Completion::Now:
        reportBatchLine(out.ok, !out.conditionOnly);
        return;
    case Completion::AfterLoading:
        batchWaitsForLoading_ = true;
        break;
    case Completion::AfterRun: // the run's end (stopCalcCt, zmlEndCont2dA) reports it
    case Completion::AfterSetLoading: // setLoadedForBatch reports it
        break;
    case Completion::AtExit:
        return;
    }
    // The report may have come within the call (a load of nothing, a run that could not start).
    if (batchTimeoutMs_ > 0 && isBatchLineWaiting())
        batchLineTimer_.start(batchTimeoutMs_);
}

Body::Outcome Body::runCommand(const BatchCmd &cmd, bool fromBatch)
{
    const auto it = batchActions_.constFind(cmd.cmd.toUpper());
    if (it == batchActions_.constEnd())
        return {}; // flow words, headings, blank lines and unknown words are ignored
    return (*it)(cmd, fromBatch);
}

void Body::reportBatchLine(bool ok, bool failure)
{
    batchLineTimer_.stop();
    if (!ok) {
        emit callBatchLastOk(false);
        if (failure)
            ++tally_.linesFailed;
    }
    emit callBatchCheckEnd();
}

bool Body::isBatchLineWaiting() const
{
    return batchWaitsForLoading_ || batchWaitsForSet_ || batchCalc_ || batchCont_;
}

void Body::batchLineTimedOut()
{
    if (!isBatchLineWaiting())
        return;
    qCCritical(lcWindow).noquote() << QStringLiteral("batch_timeout: the line \"%1\" still waits after %2 s: it "
                                            "fails and the batch goes on")
                                 .arg(MessageLog::shortened(waitingLine_))
                                 .arg(batchTimeoutMs_ / 1000.0);
    // What the line waits for is called off (a load goes on: the set must stay whole).
    batchWaitsForLoading_ = false;
    batchWaitsForSet_ = false;
    if (batchCont_) {
        batchCont_ = false;
        zmlEndCont2dA(QStringLiteral("the batch line timed out"));
    }
    if (batchCalc_) {
        batchCalc_ = false;
        if (calculating_ || pendingStart_)
            toggleCalcCt();
    }
    reportBatchLine(false);
}

void Body::loadFinishedForBatch()
{
    const LoadAsker asker = loadAsker_;
    loadAsker_ = LoadAsker::None;
    const bool waiting = batchWaitsForLoading_;
    batchWaitsForLoading_ = false;
    if (asker != LoadAsker::None) {
        // A load that refused any file failed: a missing projection shifts every later angle.
        const int loaded = loadAdded_;
        const int refused = static_cast<int>(notLoaded_.size());
        const bool ok = loaded > 0 && refused == 0;
        if (loaded <= 0)
            qCCritical(lcWindow).noquote() << "images_load: no image was loaded from" << batchLoadDir_;
        else if (!ok)
            qCCritical(lcWindow).noquote() << QStringLiteral("images_load: %1 of %2 files were refused")
                                         .arg(refused)
                                         .arg(refused + loaded);
        if (asker == LoadAsker::Batch && waiting)
            reportBatchLine(ok);
        else if (!ok)
            ++tally_.linesFailed; // a configuration or setup line's load
    }
    if (batchExecWaiting_ && !loading_ && !loadWaiting_) { // the batch starts on the loaded set
        batchExecWaiting_ = false;
        emit callBatchExec();
    }
}

void Body::setLoadedForBatch(bool ok)
{
    if (!batchWaitsForSet_)
        return;
    batchWaitsForSet_ = false;
    reportBatchLine(ok);
}

QString Body::Tally::text() const
{
    const auto count = [](int n, const char *one, const char *many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    return QStringLiteral("%1, %2, %3, %4")
        .arg(count(linesFailed, "line failed", "lines failed"),
            count(slicesFailed, "slice failed", "slices failed"),
            count(filesNotWritten, "file not written", "files not written"),
            count(otherFailures, "other result missing", "other results missing"));
}

int Body::exitStatus() const
{
    if (!quitByCommand_)
        return 0;
    if (quitStatus_ >= 0)
        return quitStatus_;
    return tally_.clean() ? 0 : 1;
}

void Body::addAction(const char *word, Action action)
{
    batchActions_.insert(QString::fromLatin1(word).toUpper(), std::move(action));
}

void Body::buildBatchActions()
{
    using O = Outcome;
    const auto flag = [this](const char *word, QAbstractButton *box) {
        addAction(word, [box](const BatchCmd &c, bool) {
            box->setChecked(flagArg(c));
            return O {};
        });
    };
    // Radio buttons in pairs: the flag chooses one of the two.
    const auto pair = [this](const char *word, QAbstractButton *on, QAbstractButton *off) {
        addAction(word, [on, off](const BatchCmd &c, bool) {
            (flagArg(c) ? on : off)->setChecked(true);
            return O {};
        });
    };
    pair("images_new_on_load", ui_.CTFiles->ui().LoadNewFiles, ui_.CTFiles->ui().AddFiles);
    pair("images_add_on_load", ui_.CTFiles->ui().AddFiles, ui_.CTFiles->ui().LoadNewFiles);
    flag("images_keep_setup", ui_.CTFiles->ui().KeepConditions);
    flag("ct_auto_exec", ui_.procCtrl->ui().AutoExecCtCalc);
    flag("ct_use_partial_data_set", ui_.procCtrl->ui().UsePartialDataSet);
    flag("ct_single_precision", ui_.procCtrl->ui().SinglePrecision);
    // The setup file stores only "calc_ct1", so its 0 must choose CT2 (and "calc_ct2 0" CT1).
    pair("calc_ct1", ui_.SelectCt1, ui_.SelectCt2);
    pair("calc_ct2", ui_.SelectCt2, ui_.SelectCt1);
    flag("calc_show_res", ui_.ShowCalcRes);
    flag("fix_color_scale", ui_.FixColorScale);
    flag("auto_save_image", ui_.AutoSaveImage);
    flag("auto_save_data", ui_.AutoSaveData);
    flag("auto_save_tiff", ui_.AutoSaveTiff);
    flag("auto_save_in_sub_folders", ui_.SaveInSubFolders);
    flag("auto_save_in_sub_folders_of_slice", ui_.SubOfSlice);
    flag("auto_save_in_sub_folders_of_energy", ui_.SubOfEnergy);
    flag("add_inf_Ormel_standard", ui_.SelDDir->ui().isOrmelStd_);
    flag("add_inf_raw_i0_from_xafs", ui_.I0ofRawImage_->ui().CalcFromXAFS);
    flag("add_inf_i0_i0_from_xafs", ui_.I0ofI0Image_->ui().CalcFromXAFS);
    flag("seq_exec_show", ui_.ShowAdditionalInfo);
    flag("seq_exec_keep_range_on_new_set", ui_.keepOnNewSet);
    flag("seq_exec_allow_uneven_sets", ui_.SelDDir->ui().allowUneven_);
    addAction("ct_rot_ax_is_v", [this](const BatchCmd &c, bool) {
        ui_.procCtrl->setRotAxV(flagArg(c)); // announces only a real change
        return O {};
    });
    addAction("ct_rot_ax_is_h", [this](const BatchCmd &c, bool) {
        ui_.procCtrl->setRotAxV(!flagArg(c));
        return O {};
    });

    addAction("zelmapLink_set_send_msg", [this](const BatchCmd &c, bool) {
        zmlSetSendMsg(flagArg(c));
        return O {};
    });

    buildValueActions();
    buildOtherActions();
}

void Body::buildValueActions()
{
    using O = Outcome;
    ProcCtrl *p = ui_.procCtrl;
    const auto number = [this](const char *word, std::function<void(const BatchCmd &)> set) {
        addAction(word, [set = std::move(set)](const BatchCmd &c, bool) {
            set(c);
            return O {};
        });
    };
    // A field the operator edits: written, then its editing announced as the operator's would be.
    const auto edited = [](QLineEdit *field, const QString &text) {
        field->setText(text);
        emit field->editingFinished();
    };

    number("images_exp_time", [this](const BatchCmd &c) { ui_.CTFiles->setExpTime(realArg(c)); });
    number("images_seek", [this](const BatchCmd &c) { ui_.seekCtrl->sliderMoved(intArg(c)); }); // clamps
    number("i0_exp_time", [this](const BatchCmd &c) { ui_.I0ImgSel->setExpTime(realArg(c)); });
    number("bg_exp_time", [this](const BatchCmd &c) { ui_.BGImgSel->setExpTime(realArg(c)); });
    number("ct_proc_slice", [this, p](const BatchCmd &c) {
        p->setSliceNo(intArg(c));
        applyDefaultSliceNo_ = false;
    });
    number("ct_slice_from", [p](const BatchCmd &c) { p->setSliceFrom(intArg(c)); });
    number("ct_slice_to", [this, p](const BatchCmd &c) {
        p->setSliceTo(intArg(c));
        applyDefaultSliceTo_ = false;
    });
    number("ct_slice_step", [p](const BatchCmd &c) { p->setSliceStep(intArg(c)); });
    number("ct_threads", [p](const BatchCmd &c) { p->setThreads(intArg(c)); });
    number("ct_cor", [this, p](const BatchCmd &c) {
        p->setCor(realArg(c));
        applyDefaultCor_ = false;
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
    number(
        "fix_color_min", [this, edited](const BatchCmd &c) { edited(ui_.ColorMin, fieldText(realArg(c))); });
    number(
        "fix_color_max", [this, edited](const BatchCmd &c) { edited(ui_.ColorMax, fieldText(realArg(c))); });
    number("add_inf_raw_i0_val",
        [this](const BatchCmd &c) { ui_.I0ofRawImage_->ui().I0Val->setText(fieldText(realArg(c))); });
    number("add_inf_i0_i0_val",
        [this](const BatchCmd &c) { ui_.I0ofI0Image_->ui().I0Val->setText(fieldText(realArg(c))); });

    // Texts.
    const auto text = [this](const char *word, std::function<void(const QString &)> set) {
        addAction(word, [set = std::move(set)](const BatchCmd &c, bool) {
            set(textArg(c));
            return O {};
        });
    };
    SelectSaveDir *im = ui_.SelectImageSaveDir;
    SelectSaveDir *da = ui_.SelectDataSaveDir;
    text("auto_save_image_path", [im](const QString &t) { im->setDir(t); });
    text("auto_save_image_name", [im](const QString &t) { im->setName(t); });
    text("auto_save_image_tag", [im](const QString &t) { im->setTag(t); });
    text("auto_save_data_path", [da](const QString &t) { da->setDir(t); });
    text("auto_save_data_name", [da](const QString &t) { da->setName(t); });
    text("auto_save_data_tag", [da](const QString &t) { da->setTag(t); });
    text("auto_save_data_upper_limit", [this](const QString &t) { ui_.DataUpperLimit->setText(t); });
    text("auto_save_data_lower_limit", [this](const QString &t) { ui_.DataLowerLimit->setText(t); });
    text("auto_save_data_offset", [this](const QString &t) { ui_.DataOffset->setText(t); });
    // An empty file name forgets the file, as the setup file's empty field means.
    const auto chooseFile = [](SelectAFile *selector, const QString &t) {
        if (t.isEmpty())
            selector->clearFile();
        else
            selector->selectFile(t);
    };
    text("add_inf_raw_i0_xafs",
        [=, this](const QString &t) { chooseFile(ui_.I0ofRawImage_->ui().XafsFile, t); });
    text("add_inf_i0_i0_xafs",
        [=, this](const QString &t) { chooseFile(ui_.I0ofI0Image_->ui().XafsFile, t); });
    text("add_inf_raw_i0_eng_ptn",
        [this](const QString &t) { ui_.I0ofRawImage_->ui().EngPattern->setText(t); });
    text(
        "add_inf_i0_i0_eng_ptn", [this](const QString &t) { ui_.I0ofI0Image_->ui().EngPattern->setText(t); });
    text("seq_exec_file_pattern", [this](const QString &t) { ui_.SelDDir->ui().Pattern->setText(t); });

    // I0 and BG: the image is opened at once, as when chosen in the dialog.
    for (auto [word, selector] : {std::pair {"i0_load", ui_.I0ImgSel}, std::pair {"bg_load", ui_.BGImgSel}}) {
        addAction(word, [this, selector](const BatchCmd &c, bool) {
            const QString name = textArg(c);
            if (name.isEmpty()) {
                selector->clear();
                selector->clearFile();
                i0OrBgSelected();
                return O {};
            }
            selector->selectFile(name);
            const ImgData *img = selector->img().get();
            if (!img || img->fileName() != name) {
                qCCritical(lcWindow).noquote() << QStringLiteral("%1: the image cannot be read :").arg(c.cmd) << name;
                return O {Completion::Now, false};
            }
            // An image the correction leaves out would make every slice quietly wrong.
            const int w = imgDatas_->width(), h = imgDatas_->height();
            if (w > 0 && (img->width() != w || img->height() != h)) {
                qCCritical(lcWindow).noquote() << QStringLiteral("%1: the image of %2 x %3 cannot correct the raw "
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
    const auto clear = [this](const char *word, std::function<void()> act) {
        addAction(word, [act = std::move(act)](const BatchCmd &, bool) {
            act();
            return O {};
        });
    };
    clear("images_clear", [this] { ui_.CTFiles->clearFiles(); });
    for (auto [word, selector] :
        {std::pair {"i0_clear", ui_.I0ImgSel}, std::pair {"bg_clear", ui_.BGImgSel}}) {
        clear(word, [this, selector] {
            selector->clear();
            selector->clearFile();
            i0OrBgSelected(); // the correction changed
        });
    }
    for (auto [word, selector] :
        {std::pair {"auto_save_image_clear", im}, std::pair {"auto_save_data_clear", da}}) {
        clear(word, [selector] {
            selector->setDir(QString());
            selector->setName(QString());
            selector->setTag(QString());
        });
    }
    clear("add_inf_raw_i0_xafs_clear", [this] { ui_.I0ofRawImage_->ui().XafsFile->clearFile(); });
    clear("add_inf_i0_i0_xafs_clear", [this] { ui_.I0ofI0Image_->ui().XafsFile->clearFile(); });
}

QWidget *Body::workerPage(int index) const
{
    // One page for the first worker, or one per worker; counted from 0.
    const int n = static_cast<int>(workers_.size());
    for (int i = std::clamp(index, 0, std::max(0, n - 1)); i >= 0; --i) {
        if (QWidget *page = ui_.ImgsTab->findChild<QWidget *>(QStringLiteral("CT2Tab%1").arg(i + 1)))
            return page;
    }
    return nullptr;
}

void Body::buildOtherActions()
{
    using O = Outcome;
    ProcCtrl *p = ui_.procCtrl;

    addAction("images_load", [this](const BatchCmd &c, bool fromBatch) {
        if (loading_ || loadWaiting_) { // never two loading chains
            qCCritical(lcWindow).noquote() << "images_load: a load is in progress; this one is refused :"
                                  << textArg(c);
            return O {Completion::Now, false};
        }
        batchLoadDir_ = textArg(c);
        // The loading's end judges it (loadFinishedForBatch): a batch line waits for it.
        loadAsker_ = fromBatch ? LoadAsker::Batch : LoadAsker::Line;
        ui_.CTFiles->selectDirFiles(batchLoadDir_, c.args.mid(1));
        return O {fromBatch ? Completion::AfterLoading : Completion::Now};
    });
    addAction("images_multi", [this](const BatchCmd &c, bool) {
        ui_.CTFiles->ui().LoadMultiTimes->setChecked(flagArg(c, 0));
        ui_.CTFiles->ui().MultiTimes->setText(QString::number(intArg(c, 1)));
        return O {};
    });
    for (int record : {1, 2}) {
        addAction(
            record == 1 ? "ct_recorded_cor_1" : "ct_recorded_cor_2", [p, record](const BatchCmd &c, bool) {
                p->setRecordedCoR(record, intArg(c, 0), realArg(c, 1));
                return O {};
            });
    }
    addAction("ct_set_disp_region", [this](const BatchCmd &c, bool) {
        dRUpdated(realArg(c, 0), realArg(c, 1), realArg(c, 2), realArg(c, 3));
        return O {};
    });
    addAction("ct_set_calc_region", [this](const BatchCmd &c, bool) {
        cRUpdated(realArg(c, 0), realArg(c, 1), realArg(c, 2), realArg(c, 3));
        return O {};
    });
    addAction("add_inf_show", [this](const BatchCmd &c, bool) {
        const bool show = flagArg(c);
        // The check box follows, so that a setup file saved afterwards keeps the setting.
        ui_.ShowAdditionalInfo->setChecked(show);
        ui_.AdditionalInfo->setVisible(show);
        ui_.ShowAdditionalAdditionalInfo->setVisible(show);
        return O {};
    });

    // Pages of the image tabs, selected by what they show whatever the layout.
    addAction("show_tab", [this](const BatchCmd &c, bool) {
        ui_.ImgsTab->setCurrentIndex(intArg(c)); // an index outside the tabs changes nothing
        return O {};
    });
    const std::pair<const char *, QWidget *> pages[]
        = {{"show_orig", ui_.RawImageTab}, {"show_sinogram", ui_.SinogramTab}, {"show_ct1", ui_.CTImageTab},
            {"show_i0", ui_.I0ImageTab}, {"show_bg", ui_.BGImageTab}};
    for (auto [word, page] : pages) {
        addAction(word, [this, page](const BatchCmd &, bool) {
            ui_.ImgsTab->setCurrentWidget(page);
            return O {};
        });
    }
    addAction("show_ct2", [this](const BatchCmd &c, bool) {
        if (QWidget *page = workerPage(intArg(c)))
            ui_.ImgsTab->setCurrentWidget(page);
        return O {};
    });

    buildSeqAndLinkActions();

    addAction("calc_exec", [this](const BatchCmd &, bool fromBatch) {
        if (imgDatas_->count() == 0 && !loading_) {
            qCCritical(lcWindow).noquote() << "calc_exec: no raw images are loaded, nothing to calculate";
            return O {Completion::Now, false};
        }
        // CT1 only shows the current slice: a run asked to save would write nothing.
        if (ui_.SelectCt1->isChecked()
            && (ui_.AutoSaveImage->isChecked() || ui_.AutoSaveData->isChecked()
                || ui_.AutoSaveTiff->isChecked())) {
            qCCritical(lcWindow).noquote() << "calc_exec: CT1 saves no files: select CT2";
            return O {Completion::Now, false};
        }
        // Only a batch line waits for the run's end; a setup or configuration line goes on at once.
        if (fromBatch)
            batchCalc_ = true;
        emit batchCalcStart();
        return O {fromBatch ? Completion::AfterRun : Completion::Now};
    });
    addAction("ct_guess_cor", [this, p](const BatchCmd &, bool) {
        if (imgDatas_->count() == 0 || loading_) {
            qCCritical(lcWindow).noquote() << (loading_ ? "ct_guess_cor: the raw images are still loading"
                                               : "ct_guess_cor: no raw images are loaded");
            return O {Completion::Now, false};
        }
        // A failed guess leaves the centre of rotation, and whether a load may replace it, as they were.
        if (!sinogram_->guessCor()) {
            qCCritical(lcWindow).noquote() << "ct_guess_cor: no centre of rotation was guessed; it stays"
                                  << QString::number(p->cor(), 'g', QLocale::FloatingPointShortest);
            return O {Completion::Now, false};
        }
        applyDefaultCor_ = false;
        qCInfo(lcWindow).noquote() << "ct_guess_cor: centre of rotation"
                          << QString::number(p->cor(), 'g', QLocale::FloatingPointShortest);
        return O {};
    });
    addAction("ct_cor_guess_method", [this](const BatchCmd &c, bool) {
        const std::optional<CorMethod> method = corMethodFromName(textArg(c));
        if (!method) {
            qCWarning(lcWindow).noquote() << "ct_cor_guess_method: takes mirror or fourier, not" << textArg(c);
            return O {Completion::Now, false};
        }
        sinogram_->setCorMethod(*method);
        return O {};
    });
    addAction("ct_use_recorded_cor", [p](const BatchCmd &c, bool) {
        p->setUseRecordedCor(flagArg(c));
        return O {};
    });
    addAction("ct_guess_cor_line", [this, p](const BatchCmd &c, bool) {
        // Without a count, as many slices as the panel says.
        const int count = c.args.isEmpty() ? p->guessLineSlices() : intArg(c);
        if (count < 2) {
            qCWarning(lcWindow).noquote() << "ct_guess_cor_line: takes a number of slices of at least 2, not"
                                 << textArg(c);
            return O {Completion::Now, false};
        }
        return O {Completion::Now, guessCorLine(count)};
    });
    addAction("ct_cor_scan", [this](const BatchCmd &c, bool fromBatch) {
        // Only a batch line waits for the scan's end; a setup or configuration line goes on at once.
        if (!startCorScan(realArg(c, 0), realArg(c, 1), realArg(c, 2), fromBatch))
            return O {Completion::Now, false};
        return O {fromBatch ? Completion::AfterRun : Completion::Now};
    });
    // Ring removal: a refused method or parameter fails the line and changes nothing.
    addAction("ct_ring_removal", [p](const BatchCmd &c, bool) {
        StripeParams params = p->stripeParams();
        if (!stripeMethodFromWord(textArg(c), params.method)) {
            qCWarning(lcWindow).noquote() << QStringLiteral(
                "ct_ring_removal: the method is off, all, sort, large or dead, "
                "not \"%1\"")
                                        .arg(textArg(c));
            return O {Completion::Now, false};
        }
        p->setStripeParams(params);
        return O {};
    });
    addAction("ct_ring_params", [p](const BatchCmd &c, bool) {
        StripeParams params = p->stripeParams();
        QString why;
        if (!applyStripeParams(c.args, params, why)) {
            qCWarning(lcWindow).noquote() << "ct_ring_params:" << why;
            return O {Completion::Now, false};
        }
        p->setStripeParams(params);
        return O {};
    });
    addAction("app_quit", [this](const BatchCmd &c, bool) {
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
            quitStatus_ = status;
        }
        appQuit();
        return O {Completion::AtExit};
    });
    addAction(
        "batch_timeout", [this](const BatchCmd &c, bool) {
            // Seconds a line may wait for the work it started (0: no limit), to the millisecond.
            bool number = false;
            const double seconds = textArg(c).toDouble(&number);
            if (!number || !(seconds >= 0.0 && seconds <= 1e6)) {
                qCCritical(lcWindow).noquote()
                    << "batch_timeout: give the seconds a line may wait, 0 to 1000000 (0: no limit)";
                return O {Completion::Now, false};
            }
            batchTimeoutMs_ = static_cast<int>(std::lround(seconds * 1000.0));
            return O {};
        });
}

void Body::buildSeqAndLinkActions()
{
    using O = Outcome;
    SelectDataDir *sets = ui_.SelDDir;

    addAction("seq_exec_dir", [sets](const BatchCmd &c, bool) {
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
    addAction("seq_exec_select_i0", [this](const BatchCmd &c, bool) {
        // The I0 list and its energies are applied within the call (filesSelected is a direct
        // connection); the image itself is opened when a data set is applied.
        const QString dir = textArg(c);
        ui_.SelI0Files->selectDirFiles(dir, c.args.mid(1));
        if (ui_.SelI0Files->count() == 0) {
            qCCritical(lcWindow).noquote() << "seq_exec_select_i0: no I0 file found in" << dir;
            return O {Completion::Now, false};
        }
        return O {};
    });
    addAction("seq_exec_next", [sets](const BatchCmd &, bool) {
        // The end of the list is the answer a batch loop tests with ":ifng", not a failure.
        const bool ok = sets->advanceSet();
        if (!ok)
            qCInfo(lcWindow).noquote() << "seq_exec_next: there is no next data set";
        return O {Completion::Now, ok, !ok};
    });
    addAction("seq_exec_set", [this](const BatchCmd &, bool fromBatch) {
        // The load may end before the call returns: the batch waits from before it.
        batchWaitsForSet_ = fromBatch;
        if (!seqExecSet()) {
            batchWaitsForSet_ = false;
            qCCritical(lcWindow).noquote() << "seq_exec_set: there is no current data set";
            return O {Completion::Now, false};
        }
        if (!setLoad_ && !fromBatch) // refused at once, and said why (a batch line is failed by the refusal)
            return O {Completion::Now, false};
        return O {fromBatch ? Completion::AfterSetLoading : Completion::Now};
    });

    addAction("zelmapLink_connect", [this](const BatchCmd &, bool) {
        zmlConnect();
        return O {};
    });
    addAction("zelmapLink_exec_2da", [this](const BatchCmd &, bool) {
        if (!zelmapLink_.isConnected()) {
            qCCritical(lcWindow).noquote() << "zelmapLink_exec_2da: 2dZelmap is not connected";
            return O {Completion::Now, false};
        }
        exec2dA0(); // the viewer's answer is not awaited
        return O {};
    });
    addAction("zelmapLink_cont_2da", [this](const BatchCmd &, bool fromBatch) {
        if (!zelmapLink_.isConnected()) {
            qCCritical(lcWindow).noquote() << "zelmapLink_cont_2da: 2dZelmap is not connected";
            return O {Completion::Now, false};
        }
        if (!fromBatch) { // a setup or configuration line starts the run and goes on
            if (!isCont2dARunning())
                zmlStartCont2dA();
            return O {};
        }
        // A step of 0 repeats one slice for ever: nothing would end the batch's wait.
        if (ui_.procCtrl->sliceStep() == 0 && ui_.procCtrl->sliceFrom() != ui_.procCtrl->sliceTo()) {
            qCCritical(lcWindow).noquote() << "zelmapLink_cont_2da: a slice step of 0 never ends the run; not started";
            return O {Completion::Now, false};
        }
        zmlBatchCont2dA(); // zmlEndCont2dA reports the line, possibly within the call
        return O {Completion::AfterRun};
    });
}

bool Body::isIdle() const
{
    return !loading_ && !loadWaiting_ && !calculating_ && !pendingStart_ && slicesInProgress() == 0
        && !ctCalc_->isRunning() && !corScan_;
}

void Body::appQuit()
{
    quitRequested_ = true;
    tryQuit();
}

void Body::tryQuit()
{
    if (!quitRequested_ || !isIdle())
        return;
    // Every record the workers handed to the saver is queued before this request: when it comes
    // back, they are all written.
    QMetaObject::invokeMethod(
        saver_, [this] { QMetaObject::invokeMethod(this, &Body::quitWhenSaved, Qt::QueuedConnection); },
        Qt::QueuedConnection);
}

void Body::quitWhenSaved()
{
    if (!quitRequested_ || quitByCommand_ || !isIdle())
        return; // something started meanwhile: its end asks again
    quitByCommand_ = true;
    // The last line says what an unattended run asked for and did not get.
    if (tally_.clean())
        qCInfo(lcWindow).noquote() << "Quit: every line done, every result written";
    else
        qCCritical(lcWindow).noquote() << "Quit with failures:" << tally_.text();
    close(); // its close event ends the program, also when the window was never shown
}
