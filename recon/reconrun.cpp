#include "recon/reconrun.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

// Local
#include "ct/atomicfile.h"
#include "ct/datasaver.h"
#include "ct/offsetaxisplan.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramcache.h"
#include "ct/sliceworker.h"
#include "imagedata/decodedbands.h"
#include "imagedata/imagefiles.h"
#include "imagedata/imgdata.h"
#include "imagedata/lineblock.h"
#include "imagedata/scanangles.h"
#include "recon/blocklines.h"
#include "recon/corscanschedule.h"
#include "recon/corscanwriter.h"
#include "recon/reconlog.h"
#include "recon/runplan.h"
#include "recon/slicefiles.h"
#include "recon/volumefile.h"
#include "recon/workerpool.h"
#include <algorithm>

ReconRun::ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err)
    : options_(options)
    , out_(out)
    , err_(err)
{
}

ReconRun::~ReconRun()
{
    // The reader first: it calls back into this object.
    if (readerThread_) {
        readerThread_->quit();
        readerThread_->wait();
        delete reader_;
    }
    if (pool_) {
        disconnect(pool_, nullptr, this, nullptr);
        pool_->finish();
    }
}

bool ReconRun::fail(const QString &message)
{
    err_ << "quorvel-recon: " << message << Qt::endl;
    if (outcome_.why.isEmpty())
        outcome_.why = message;
    outcome_.problems << message;
    return false;
}

bool ReconRun::usageFail(const QString &message)
{
    usage_ = true;
    return fail(message);
}

void ReconRun::warn(const QString &message)
{
    err_ << "quorvel-recon: warning: " << message << Qt::endl;
}

RunParams ReconRun::runParams() const
{
    RunParams run;
    run.rotAxIsV = options_.axisVertical;
    run.partial = options_.partial;
    run.partialStart = options_.partialStart;
    run.partialImages = options_.partialImages;
    run.angleOriginDeg = options_.angleOriginDeg;
    run.dataSetImages = dataSetImages_;
    run.dataSetRangeDeg = rangeDeg_;
    run.singlePrecision = options_.single;
    run.dataUpperLimit = options_.window.upper;
    run.dataLowerLimit = options_.window.lower;
    run.dataOffset = options_.window.offset;
    run.stripes = options_.rings;
    run.offsetAxis = options_.offsetAxis.has_value();
    return run;
}

bool ReconRun::listFiles()
{
    if (!options_.files.isEmpty()) {
        files_ = options_.files;
        return true;
    }
    // A scan file given instead of a folder holds the whole data set.
    if (QFileInfo(options_.dir).isFile()) {
        files_ = QStringList {options_.dir};
        return true;
    }
    const QDir dir(options_.dir);
    if (!dir.exists())
        return fail(QStringLiteral("no folder %1").arg(options_.dir));
    for (const QFileInfo &entry : imageFileEntries(options_.dir, options_.patterns)) // refused ones too
        files_ << dir.filePath(entry.fileName());
    if (files_.isEmpty())
        return fail(
            QStringLiteral("no file in %1 matches %2").arg(options_.dir, options_.patterns.join(u' ')));
    return true;
}

bool ReconRun::plan()
{
    if (planned_)
        return !failed();
    planned_ = true;
    if (!listFiles())
        return false;
    // Every header is read before any pixel: a set that cannot be used is refused before work starts.
    std::vector<std::shared_ptr<const Hdf5Scan>> scans;
    QString error;
    if (!expandSources(files_, sources_, scans, error))
        return fail(error);
    for (const ImageSource &source : sources_) {
        int w = 0, h = 0;
        if (!readSourceSize(source, w, h))
            return fail(QStringLiteral("cannot use %1 (not a readable image)").arg(source.file));
        if (width_ == 0) {
            width_ = w;
            height_ = h;
        }
        if (w != width_ || h != height_) {
            qCWarning(lcRecon).noquote() << QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                                .arg(width_)
                                                .arg(height_)
                                                .arg(w)
                                                .arg(h)
                    + source.file;
            return fail(QStringLiteral("cannot use %1 (unreadable, or not %2 x %3 like the first image)")
                            .arg(source.file)
                            .arg(width_)
                            .arg(height_));
        }
    }
    if (!planScan(scans))
        return false;
    for (auto [file, what] : {std::pair {options_.i0File, "I0"}, std::pair {options_.bgFile, "BG"}}) {
        if (file.isEmpty())
            continue;
        int w = 0, h = 0;
        if (!readImageSize(file, w, h))
            return fail(QStringLiteral("cannot read the %1 image %2").arg(QLatin1String(what), file));
        if (w != width_ || h != height_)
            return fail(QStringLiteral("the %1 image %2 is %3 x %4, the projections %5 x %6")
                            .arg(QLatin1String(what), file)
                            .arg(w)
                            .arg(h)
                            .arg(width_)
                            .arg(height_));
    }
    geometry_.width = width_;
    geometry_.height = height_;
    if (options_.offsetAxis) {
        const int L = options_.axisVertical ? width_ : height_;
        if (const QString why = offsetAxisRunProblem(rangeDeg_, options_.partial); !why.isEmpty())
            return usageFail(QStringLiteral("--offset-axis: %1").arg(why));
        if (!options_.offsetAxis->automatic && !options_.corScan)
            if (const QString why = offsetAxisCorProblem(options_.offsetAxis->cor, L); !why.isEmpty())
                return usageFail(QStringLiteral("--offset-axis: %1").arg(why));
    }

    const bool rows = options_.axisVertical;
    const int extent = rows ? height_ : width_;
    // The window's defaults after loading: the middle slice.
    const int middleSlice = rows ? static_cast<int>(0.5 * height_) : width_ / 2;
    const int from = options_.sliceFrom.value_or(middleSlice);
    const int to = options_.sliceFrom ? options_.sliceTo : middleSlice;
    if (!checkedSliceList(from, to, options_.sliceStep, extent, slices_, error)
        || !checkPartial(options_, static_cast<int>(sources_.size()), error))
        return fail(error);
    return true;
}

bool ReconRun::planScan(const std::vector<std::shared_ptr<const Hdf5Scan>> &scans)
{
    i0_ = options_.i0File.isEmpty() ? ImageSource {} : imageFileSource(options_.i0File);
    bg_ = options_.bgFile.isEmpty() ? ImageSource {} : imageFileSource(options_.bgFile);
    dataSetImages_ = static_cast<int>(sources_.size());
    rangeDeg_ = options_.rangeDeg;
    if (scans.empty())
        return true;
    // The angles the files record decide the range and the images spanning it, when every
    // projection has one; the engine assumes even steps, so uneven ones refuse the data set.
    std::vector<double> angles;
    for (const ImageSource &source : sources_) {
        if (!source.scan || size_t(source.frame) >= source.scan->angles().size())
            break;
        angles.push_back(source.scan->angles()[size_t(source.frame)]);
    }
    if (angles.size() == sources_.size()) {
        const AngleFit fit = fitAngles(angles, options_.rangeDeg);
        if (!fit.ok)
            return fail(
                QStringLiteral("cannot use the angles of %1: %2").arg(files_.join(u' '), fit.problem));
        dataSetImages_ = fit.images;
        rangeDeg_ = fit.rangeDeg;
        out_ << "angles: " << fit.summary(static_cast<int>(angles.size())) << Qt::endl;
        // The data set begins where the scan began: a scan from 90° is not a slice turned by 90°.
        if (!options_.angleOriginGiven) {
            options_.angleOriginDeg = angles.front();
            out_ << "angle origin: " << QString::number(angles.front(), 'g', 10)
                 << " degrees, the first recorded angle" << Qt::endl;
        }
    } else {
        out_ << QStringLiteral("angles: not recorded for every projection; %1 images over %2 degrees")
                    .arg(sources_.size())
                    .arg(rangeDeg_)
             << Qt::endl;
    }
    // The flats and darks of a data set's one scan are its I0 and BG, unless files are given.
    const std::shared_ptr<const Hdf5Scan> &scan = scans.front();
    const bool oneScan = scans.size() == 1
        && std::all_of(
            sources_.cbegin(), sources_.cend(), [&](const ImageSource &s) { return s.scan == scan; });
    for (auto [target, kind, what] :
        {std::tuple {&i0_, Hdf5Scan::Kind::Flat, "I0"}, std::tuple {&bg_, Hdf5Scan::Kind::Dark, "BG"}}) {
        if (!target->isEmpty() || !oneScan || scan->count(kind) < 1)
            continue;
        *target = ImageSource {scan->fileName(), scan, kind, -1};
        out_ << what << ": " << target->label() << Qt::endl;
    }
    return true;
}

void ReconRun::shareDecodedBands(std::optional<int> onlyBlock)
{
    // Compressed frames are decoded once for every block this run reads, on all its threads.
    DecodedBands::Plan plan;
    plan.rowLines = options_.axisVertical;
    plan.threads = options_.threads;
    plan.scratchFolder = options_.scratchDir.isEmpty() ? options_.outDir : options_.scratchDir;
    const bool one = onlyBlock && *onlyBlock >= 0 && *onlyBlock < blockCount();
    for (int b = one ? *onlyBlock : 0; b < (one ? *onlyBlock + 1 : blockCount()); ++b) {
        const QList<int> slices = blockSlices(b);
        std::vector<int> lines(slices.cbegin(), slices.cend());
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        plan.blocks.push_back(std::move(lines));
    }
    std::vector<ImageSource *> all {&i0_, &bg_};
    for (ImageSource &source : sources_)
        all.push_back(&source);
    bands_ = DecodedBands::attach(plan, all);
}

int ReconRun::blockCount() const
{
    return static_cast<int>((slices_.size() + options_.block - 1) / options_.block);
}

QStringList ReconRun::outputFiles(std::optional<int> onlyBlock) const
{
    QStringList paths;
    if (options_.guessOnly)
        return paths;
    const QList<int> slices = onlyBlock ? blockSlices(*onlyBlock) : slices_;
    QStringList suffixes;
    if (options_.data)
        suffixes << QStringLiteral("dat");
    if (options_.tiff)
        suffixes << QStringLiteral("tif");
    if (options_.png)
        suffixes << QStringLiteral("png");
    for (int s : slices) {
        const QString slice = sliceText(s);
        for (const QString &dir : targetDirs(options_.outDir, options_.tag, slice, options_.subFolders)) {
            for (const QString &suffix : std::as_const(suffixes))
                paths << QDir(dir).filePath(ctFileName(options_.name, options_.tag, slice, suffix));
        }
    }
    return paths;
}

QList<int> ReconRun::blockSlices(int index) const
{
    if (index < 0 || index >= blockCount())
        return {};
    return slices_.mid(qsizetype(index) * options_.block, options_.block);
}

bool ReconRun::prepare()
{
    const int L = options_.axisVertical ? width_ : height_;
    engineLength_ = requiredLength(geometry_, request_);
    if (engineLength_ < 2)
        return fail(QStringLiteral("the centre of rotation %1 leaves no sinogram on lines of %2 pixels")
                        .arg(request_.cor)
                        .arg(L));
    if (line_) { // every slice's centre, before any is computed
        for (int slice : std::as_const(slices_)) {
            if (!corInsideLine(line_->at(slice), L))
                return fail(
                    QStringLiteral("the centre of rotation %1 of slice %2 on the line leaves no sinogram "
                                   "on lines of %3 pixels")
                        .arg(line_->at(slice))
                        .arg(slice)
                        .arg(L));
        }
    }
    // An output folder that cannot take files is known before any slice is computed.
    if (!QDir().mkpath(options_.outDir))
        return fail(QStringLiteral("cannot make the output folder %1").arg(options_.outDir));
    if (const QString why = directoryWriteProblem(options_.outDir); !why.isEmpty())
        return fail(why);
    task_ = runSliceTask(runParams(), static_cast<int>(sources_.size()), request_.slice, request_.cor);
    task_.regionIsSet = options_.region.has_value();
    task_.region = options_.region.value_or(Region {});
    task_.makeImage = options_.png;
    task_.makeTiff = options_.tiff;
    if (options_.colorRange)
        task_.scale = fixedColourRange(options_.colorRange->first, options_.colorRange->second);
    task_.makeData = options_.data;
    if (task_.stripes.isOn())
        out_ << "ring removal: " << stripeMethodWord(task_.stripes.method) << ' '
             << stripeParamItems(task_.stripes).join(QLatin1Char(' ')) << Qt::endl;
    return true;
}

int ReconRun::exec(std::optional<int> onlyBlock)
{
    clock_.start();
    if (!plan())
        return usage_ ? 2 : 1;
    shareDecodedBands(onlyBlock);
    if (!findCor())
        return 1;
    if (options_.guessOnly)
        return failed() ? 1 : 0;
    if (options_.corScan)
        return execScan();
    if (!prepare())
        return 1;
    if (onlyBlock && (*onlyBlock < 0 || *onlyBlock >= blockCount())) {
        fail(QStringLiteral("there is no block %1 of slices (%2 blocks)").arg(*onlyBlock).arg(blockCount()));
        return 1;
    }
    const int first = onlyBlock.value_or(0);
    const int last = onlyBlock.value_or(blockCount() - 1);
    total_ = 0;
    for (int b = first; b <= last; ++b)
        total_ += blockSlices(b).size();
    outcome_.asked = static_cast<int>(total_);
    if (!startVolume(onlyBlock))
        return 1;

    // Nothing is allocated for the slices before the memory they need is known to be there.
    const int workers = fitWorkers(runMemoryNeed(),
        std::max(
            1, std::min(options_.threads, static_cast<int>(std::min<qsizetype>(total_, options_.block)))));
    if (workers == 0)
        return 1;
    scheduler_.reset(workers);
    startWorkers(workers, engineLength_);
    pool_->setSliceTaker([this](int worker, SliceResult &&result) { sliceDone(worker, std::move(result)); });
    readerThread_ = new QThread(this);
    reader_ = new QObject;
    reader_->moveToThread(readerThread_);
    readerThread_->start();
    // The time left counts from here: loading and planning are behind us.
    timeLeft_.start(total_, clock_.elapsed());
    nextToRead_ = first;
    lastBlock_ = last;
    startReading();
    QEventLoop loop;
    const auto busy = [this] { return reading_ || pool_->inWork() > 0; };
    while ((outcome_.done + outcome_.failed < total_ && !stopped_) || busy())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (slicesClock_.isValid())
        times_.slicesWall = slicesClock_.nsecsElapsed() * 1e-9;
    loaded_.clear();
    finishVolume();
    const SliceTimes &t = times_.slices;
    out_ << QStringLiteral(
        "time: read %1 s, sinograms %2 s, filter %3 s, back-projection %4 s, images and text %5 s, "
        "write %6 s")
                .arg(times_.read, 0, 'f', 2)
                .arg(t.sinogram, 0, 'f', 2)
                .arg(t.filter, 0, 'f', 2)
                .arg(t.backProjection, 0, 'f', 2)
                .arg(t.output, 0, 'f', 2)
                .arg(times_.write, 0, 'f', 2)
         << Qt::endl;
    if (bands_)
        out_ << "compressed frames: " << bands_->summary() << Qt::endl;
    return failed() ? 1 : 0;
}

void ReconRun::startWorkers(int count, int length)
{
    pool_ = new WorkerPool(this);
    pool_->start(count);
    // Plans are made here, on the main thread, before the workers ever run.
    for (int i = 0; i < count; ++i)
        pool_->sizeEngine(i,
            EngineSize {length, std::max(1, sinogramRows(request_, static_cast<int>(sources_.size()))),
                options_.single});
}

void ReconRun::startReading()
{
    // Never more than two blocks in memory: the one being read and one in work.
    if (reading_ || stopped_ || nextToRead_ > lastBlock_ || loaded_.size() >= 2)
        return;
    reading_ = true;
    const int index = nextToRead_++;
    // Plain copies for the reader's thread: nothing implicitly shared crosses it.
    const QList<int> block = blockSlices(index);
    const std::vector<int> slices(block.cbegin(), block.cend());
    const BlockSources files {sources_, i0_, bg_, options_.axisVertical, width_, height_};
    QMetaObject::invokeMethod(
        reader_,
        [this, index, slices, files] {
            QElapsedTimer reading;
            reading.start();
            QString error;
            ProjectionSet set;
            try {
                set = readBlockLines(files, slices, error);
            } catch (const std::bad_alloc &) {
                set = ProjectionSet();
                error = QStringLiteral("not enough memory to read the lines of block %1").arg(index);
            }
            const double seconds = reading.nsecsElapsed() * 1e-9;
            QMetaObject::invokeMethod(
                this, [this, index, set, seconds, error] { blockRead(index, set, seconds, error); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ReconRun::blockRead(int index, const ProjectionSet &set, double seconds, const QString &error)
{
    reading_ = false;
    times_.read += seconds;
    if (waiting_) {
        times_.readWait += waitClock_.nsecsElapsed() * 1e-9;
        waiting_ = false;
    }
    if (!error.isEmpty()) {
        fail(error);
        stopped_ = true; // the slices under way are finished and written
        scheduler_.stop();
        return;
    }
    auto block = std::make_unique<LoadedBlock>();
    block->index = index;
    block->slices = blockSlices(index);
    block->set = set;
    // A block's sinograms share one centre: on a line of centres each slice makes its own.
    scheduler_.addPart(
        index, block->slices, line_ ? 1 : sinogramBlockSlices(set, request_, scheduler_.workers()));
    loaded_.push_back(std::move(block));
    startReading();
    dispatchAll();
}

void ReconRun::dispatchAll()
{
    for (int i = 0; i < scheduler_.workers(); ++i)
        dispatch(i);
    if (pool_->inWork() == 0 && !waiting_ && !stopped_ && outcome_.done + outcome_.failed < total_) {
        waitClock_.start(); // every worker waits for the next block
        waiting_ = true;
    }
}

void ReconRun::dispatch(int worker)
{
    // The slice after the one in work is queued already, so that a worker never waits for this thread;
    // on a line of centres the engine may be resized for the next slice, so only while it rests.
    const int ahead = line_ ? 1 : 2;
    while (scheduler_.inWork(worker) < ahead) {
        const std::optional<SliceHandout> h = scheduler_.take(worker);
        if (!h)
            return;
        const auto block = std::find_if(
            loaded_.begin(), loaded_.end(), [&h](const auto &b) { return b->index == h->part; });
        SliceTask task = task_;
        task.set = (*block)->set;
        task.sinogram.slice = h->slice;
        task.sinogramBlock = h->sinogramBlock;
        task.blockId = h->blockId;
        if (line_) { // its own centre, and the engine sized for it here, on the main thread
            task.sinogram.cor = line_->at(task.sinogram.slice);
            pool_->sizeEngine(worker,
                runEngineSize(task.set, task.sinogram, static_cast<int>(sources_.size()), options_.single));
        }
        // The files are made on this thread, from the values the worker hands over.
        task.makeImage = task.makeData = task.makeTiff = false;
        // The volume's values (compressed, if asked) are made by the worker: only the write is here.
        task.makeVolume = volume_ != nullptr;
        task.volumeFilter = volumeFilter(options_.hdf5Compress);
        task.values = ValuesHandOver::Take;
        if (!slicesClock_.isValid())
            slicesClock_.start();
        pool_->run(worker, task);
    }
}

void ReconRun::sliceDone(int worker, SliceResult &&result)
{
    const SliceScheduler::Returned back = scheduler_.returned(worker);
    dispatch(worker);
    times_.slices.sinogram += result.times.sinogram;
    times_.slices.filter += result.times.filter;
    times_.slices.backProjection += result.times.backProjection;
    QElapsedTimer clock;
    clock.start();
    if (result.reconstructed && result.values) {
        try {
            makeSliceFiles(result, *result.values, task_, &dataText_);
        } catch (const std::bad_alloc &) {
            result.dataText.clear();
            result.tiff.clear();
            result.image = QImage();
            dataText_ = QByteArray();
            result.problem = QStringLiteral("not enough memory for the files of slice %1").arg(result.slice);
        }
    }
    if (result.values) // its pages serve the worker's next slice
        pool_->recycle(worker, std::move(result.values));
    times_.slices.output += clock.nsecsElapsed() * 1e-9;
    clock.restart();
    writeResult(result);
    times_.write += clock.nsecsElapsed() * 1e-9;
    // A finished block makes room for the next one.
    if (back.partComplete) {
        loaded_.erase(std::find_if(
            loaded_.begin(), loaded_.end(), [&back](const auto &b) { return b->index == back.part; }));
        startReading();
    }
    const int returned = outcome_.done + outcome_.failed;
    timeLeft_.setDone(returned, clock_.elapsed());
    out_ << QStringLiteral("progress: %1/%2 slices, %3 s elapsed, %4 left")
                .arg(returned)
                .arg(total_)
                .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
                .arg(TimeLeft::text(timeLeft_.secondsLeft()))
         << Qt::endl;
    dispatchAll();
}

void ReconRun::writeResult(SliceResult &result)
{
    if (!result.reconstructed) {
        ++outcome_.failed;
        err_ << "quorvel-recon: " << result.problem << Qt::endl;
        if (outcome_.why.isEmpty())
            outcome_.why = result.problem;
        return;
    }
    ++outcome_.done;
    if (!result.problem.isEmpty()) // a file that could not be made
        fail(result.problem);
    SaveTargets targets;
    targets.data = {options_.data, options_.outDir, options_.name, options_.tag};
    targets.tiff = options_.tiff;
    targets.image = {options_.png, options_.outDir, options_.name, options_.tag};
    const SliceRecords records = takeSliceRecords(result, targets);
    for (const SavingData &d : records.data)
        reportWrites(writeRecord(d, options_.subFolders));
    if (records.image)
        reportWrites(writeRecord(*records.image, options_.subFolders));
    QString error;
    if (volume_ && !result.volume.values.empty()
        && !volume_->addSlice(result.slice, result.cor, result.region, result.volume, &error))
        fail(error);
}

void ReconRun::reportWrites(const WriteReport &report)
{
    for (const QString &path : report.written) {
        ++filesWritten_;
        out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
    }
    for (const auto &[path, error] : report.failed)
        fail(error);
}
