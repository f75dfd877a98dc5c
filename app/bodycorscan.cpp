// The main window's scans of centres of rotation: one slice reconstructed at a range of centres on
// the calculation workers, shown side by side on the "CoR Scan" page; and the guess along a range
// of slices that records the line of a tilted axis.

// Qt
#include <QDebug>
#include <QDir>
#include <QGridLayout>

// Local
#include "app/body.h"
#include "app/corscanrun.h"
#include "ct/atomicfile.h"
#include "ct/corscanfiles.h"
#include "ct/corsearch.h"
#include "ct/savenaming.h"
#include "ct/sgmgeometry.h"
#include "ct/ui/corscanpanel.h"
#include "ct/ui/ctcalc.h"
#include "ct/sliceworker.h"
#include "recon/workerpool.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "imagedata/imgdatas.h"
#include "widgets/popdockbase.h"
#include "widgets/progressline.h"
#include "app/windowlog.h"
#include <algorithm>

void Body::setUpCorScan()
{
    corScanPanel_ = new CorScanPanel;
    corScanPanel_->setObjectName(QStringLiteral("CorScanPanel"));
    // A page of its own at the end, so that the pages the batch selects by number stay where they were.
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("CorScanTab"));
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *container = new PopDockBase(page);
    container->setObjectName(QStringLiteral("CorScanBase"));
    container->setPopTitle(tr("Centre of Rotation Scan"));
    container->setPanel(corScanPanel_);
    layout->addWidget(container, 0, 0);
    ui_.ImgsTab->addTab(page, tr("CoR Scan"));
    connect(corScanPanel_, &CorScanPanel::scanClicked, this, &Body::corScanClicked);
    connect(corScanPanel_, &CorScanPanel::centreTaken, this, &Body::takeCorFromScan);
    connect(pool_, &WorkerPool::trialDone, this, [this](int, const CorTrial &trial) {
        corTrialFinished(trial);
        continueCorScan();
        resumeWaitingWork();
    });
    connect(ui_.procCtrl, &ProcCtrl::guessCorLineRequested, this,
        [this] { guessCorLine(ui_.procCtrl->guessLineSlices()); });
    connect(this, &Body::corScanFinished, this, &Body::tryQuit, Qt::QueuedConnection);
}

void Body::takeCorFromScan(double cor)
{
    setCorAsPicked(cor); // Ctrl+Z puts the centre before back
    applyDefaultCor_ = false;
    qCInfo(lcWindow).noquote() << "CoR Scan: centre of rotation" << corText(cor) << "taken";
}

void Body::corScanClicked()
{
    if (corScan_) { // a second click stops handing out trials; those under way come back
        corScan_->stopping = true;
        corScanPanel_->setState(tr("stopping"));
        return;
    }
    // An empty field stands for the current centre of rotation ± 5 pixels.
    const double cor = ui_.procCtrl->cor();
    const double from = corScanPanel_->typedFrom().value_or(cor - 5.0);
    const double to = corScanPanel_->typedTo().value_or(cor + 5.0);
    startCorScan(from, to, corScanPanel_->typedStep());
}

bool Body::startCorScan(double from, double to, double step, bool fromBatch)
{
    const auto refuse = [](const QString &why) {
        qCWarning(lcWindow).noquote() << "CoR Scan:" << why;
        return false;
    };
    if (corScan_)
        return refuse(QStringLiteral("a scan is under way"));
    if (imgDatas_->count() == 0)
        return refuse(QStringLiteral("no raw images are loaded"));
    if (calculating_ || pendingStart_ || loading_ || loadWaiting_ || slicesInProgress() > 0
        || ctCalc_->isRunning())
        return refuse(QStringLiteral("a calculation or a load is under way"));
    const RunParams run = ui_.procCtrl->runParams();
    const ProjectionSet set = imgDatas_->projectionSet();
    const int L = run.rotAxIsV ? set.width : set.height;
    if (const QString why = corScanProblem(from, to, step, L); !why.isEmpty())
        return refuse(why);
    auto scan = std::make_unique<CorScanRun>();
    scan->task = sliceTask(0, run, set, run.sliceNo, from);
    if (scan->task.sinogram.slice < 0 || scan->task.sinogram.slice >= sliceCount(set, run.rotAxIsV))
        return refuse(sinogramProblem(SinogramStatus::SliceOutOfRange, set, scan->task.sinogram));
    scan->centres = corScanCentres(from, to, step);
    scan->score = corScanScoreSetup(scan->task, scan->centres);
    scan->trials.resize(scan->centres.size());
    for (double c : scan->centres) {
        SinogramRequest r = scan->task.sinogram;
        r.cor = c;
        scan->lengths.push_back(requiredLength(set, r));
    }
    scan->taken.assign(scan->centres.size(), false);
    scan->threads = std::clamp(run.threads, 1, pool_->count());
    scan->single = run.singlePrecision;
    scan->fromBatch = fromBatch;
    // Its files go where the slices' data files would.
    if (ui_.AutoSaveData->isChecked()) {
        const SelectSaveDir *da = ui_.SelectDataSaveDir;
        scan->save = true;
        scan->dir = da->dir();
        scan->name = da->name();
        scan->tag = da->tag();
    }
    qCInfo(lcWindow).noquote() << QStringLiteral("CoR Scan: slice %1 at %2 centres from %3 to %4")
                             .arg(run.sliceNo)
                             .arg(scan->centres.size())
                             .arg(corText(scan->centres.front()), corText(scan->centres.back()));
    corScanPanel_->setRange(from, to, std::abs(step));
    corScanPanel_->begin(scan->centres, scan->score);
    corScanPanel_->setRunning(true);
    corScanPanel_->setState(tr("0 of %1 trials").arg(scan->centres.size()));
    progressLine_->begin(tr("CoR scan trials"), static_cast<int>(scan->centres.size()));
    corScan_ = std::move(scan);
    continueCorScan();
    return true;
}

void Body::continueCorScan()
{
    if (!corScan_)
        return;
    CorScanRun &scan = *corScan_;
    const int threads = std::min(pool_->count(), scan.threads);
    for (int i = 0; i < threads && !scan.stopping && scan.handedOut < scan.centres.size(); ++i) {
        if (pool_->inWork(i) != 0)
            continue;
        SliceWorker *w = pool_->worker(i);
        const int next = nextCorTrial(scan.lengths, scan.taken, w->engine().n());
        if (next < 0)
            break;
        scan.taken[static_cast<size_t>(next)] = true;
        ++scan.handedOut;
        SliceTask task = scan.task;
        task.sinogram.cor = scan.centres[static_cast<size_t>(next)];
        // Engine and scorer are sized here, on the main thread, while the worker rests.
        const int n = scan.lengths[static_cast<size_t>(next)];
        pool_->sizeEngine(i, {n, task.set.count(), scan.single});
        w->scorer().setup(n);
        pool_->trial(i, task, scan.score);
    }
    if (slicesInProgress() == 0 && (scan.stopping || scan.handedOut >= scan.centres.size()))
        finishCorScan();
}

void Body::corTrialFinished(const CorTrial &trial)
{
    if (!corScan_)
        return;
    CorScanRun &scan = *corScan_;
    const auto at = std::find(scan.centres.begin(), scan.centres.end(), trial.cor);
    if (at == scan.centres.end())
        return;
    const int index = static_cast<int>(at - scan.centres.begin());
    scan.trials[static_cast<size_t>(index)] = trial;
    ++scan.done;
    if (!trial.reconstructed)
        qCWarning(lcWindow).noquote() << "CoR Scan: trial at" << corText(trial.cor)
                             << "not reconstructed:" << trial.problem;
    corScanPanel_->addTrial(index, trial);
    corScanPanel_->setState(tr("%1 of %2 trials").arg(scan.done).arg(scan.centres.size()));
    progressLine_->advance(static_cast<int>(scan.done));
}

void Body::finishCorScan()
{
    std::unique_ptr<CorScanRun> scan = std::move(corScan_);
    const int best = bestCorTrial(scan->trials);
    bool ok = !scan->stopping;
    for (size_t i = 0; i < scan->centres.size(); ++i) {
        const CorTrial &t = scan->trials[i];
        if (!t.reconstructed)
            ok = false;
        else
            qCInfo(lcWindow).noquote() << QStringLiteral("CoR Scan: centre %1, score %2%3")
                                     .arg(corText(t.cor))
                                     .arg(t.score, 0, 'f', 6)
                                     .arg(static_cast<int>(i) == best ? QStringLiteral(", best") : QString());
    }
    corScanPanel_->finish(best);
    corScanPanel_->setRunning(false);
    if (best >= 0) {
        const QString bestText = corText(scan->trials[static_cast<size_t>(best)].cor);
        qCInfo(lcWindow).noquote() << "CoR Scan: best centre of rotation" << bestText;
        corScanPanel_->setState(
            scan->stopping ? tr("stopped, best so far %1").arg(bestText) : tr("best %1").arg(bestText));
    } else {
        qCWarning(lcWindow).noquote() << "CoR Scan: no trial was reconstructed";
        corScanPanel_->setState(tr("no trial"));
    }
    if (scan->stopping) {
        qCWarning(lcWindow).noquote() << QStringLiteral("CoR Scan stopped after %1 of %2 trials")
                                    .arg(scan->done)
                                    .arg(scan->centres.size());
        progressLine_->end(tr("stopped"));
    } else {
        progressLine_->finish();
    }
    if (scan->save && !scan->stopping && best >= 0 && !writeCorScan(*scan, best))
        ok = false;
    emit corScanFinished(ok);
    if (scan->fromBatch)
        reportBatchLine(ok);
    resumeWaitingWork(); // a run that waited for the workers
}

bool Body::writeCorScan(const CorScanRun &scan, int best)
{
    const int slice = scan.task.sinogram.slice;
    if (!QDir().mkpath(scan.dir) || !saveNameProblem(scan.name, scan.tag).isEmpty()) {
        qCCritical(lcWindow).noquote() << "CoR Scan: can't save in" << scan.dir;
        return false;
    }
    bool ok = true;
    const auto write = [&](const QString &suffix, const auto &writer) {
        const QString path = QDir(scan.dir).filePath(corScanFileName(scan.name, scan.tag, slice, suffix));
        QString error;
        if (writer(path, &error)) {
            qCInfo(lcWindow).noquote() << "CoR Scan: wrote" << path;
        } else {
            qCCritical(lcWindow).noquote() << "CoR Scan: can't save" << path << QStringLiteral("(%1)").arg(error);
            ok = false;
        }
    };
    write(QStringLiteral("txt"), [&](const QString &path, QString *error) {
        return writeFileAtomically(path, corScanTable(scan.trials, best, slice), error);
    });
    QString why;
    const QByteArray tiff = corScanTiff(scan.trials, slice, &why);
    write(QStringLiteral("tif"), [&](const QString &path, QString *error) {
        if (tiff.isEmpty() && error)
            *error = why;
        return !tiff.isEmpty() && writeFileAtomically(path, tiff, error);
    });
    const GreyScale scale = corScanScale(scan.trials[static_cast<size_t>(best)], scan.score);
    const QImage sheet = corScanSheet(scan.trials, best, scan.score, scale);
    write(QStringLiteral("png"),
        [&](const QString &path, QString *error) { return writeImageAtomically(path, sheet, error); });
    return ok;
}

bool Body::guessCorLine(int count)
{
    ProcCtrl *p = ui_.procCtrl;
    if (imgDatas_->count() == 0) {
        qCWarning(lcWindow).noquote() << "Guess along range: no raw images are loaded";
        return false;
    }
    const int from = p->sliceFrom(), to = p->sliceTo();
    if (from == to) {
        qCWarning(lcWindow).noquote() << "Guess along range: From and To are one slice; give a range of slices";
        return false;
    }
    const CorMethod method = sinogram_->corMethod();
    const CorLineGuess g
        = ::guessCorLine(imgDatas_->projectionSet(), p->sinogramRequest(), p->dataSetRangeDeg(), method,
            p->cor(), fieldDouble(sinogram_->ui().GuessParam->text()), from, to, count);
    for (const QString &problem : g.problems)
        qCWarning(lcWindow).noquote() << "Guess along range:" << problem;
    QStringList found;
    for (size_t i = 0; i < g.slices.size(); ++i)
        found << QStringLiteral("%1 at %2").arg(QString::number(g.cors[i], 'f', 2)).arg(g.slices[i]);
    if (!g.fit) {
        qCWarning(lcWindow).noquote()
            << "Guess along range: fewer than two slices gave a centre of rotation; the records "
               "are left as they were";
        return false;
    }
    const CorLine line = g.fit->records(from, to);
    p->setRecordedCoR(1, line.slice1, line.cor1);
    p->setRecordedCoR(2, line.slice2, line.cor2);
    qCInfo(lcWindow).noquote() << QStringLiteral(
        "Guess along range (%1): %2; recorded %3 at slice %4 and %5 at slice %6, "
        "residual %7 pixel rms")
                             .arg(corMethodName(method), found.join(QStringLiteral(", ")))
                             .arg(line.cor1)
                             .arg(line.slice1)
                             .arg(line.cor2)
                             .arg(line.slice2)
                             .arg(g.fit->rms, 0, 'f', 3);
    if (g.fit->rms > corLineResidualLimit)
        qCWarning(lcWindow).noquote() << QStringLiteral(
            "Guess along range: the guesses lie %1 pixel (rms) off their line: "
            "the axis may not be straight, or some guesses failed")
                                    .arg(g.fit->rms, 0, 'f', 2);
    return true;
}
