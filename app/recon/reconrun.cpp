#include "app/recon/reconrun.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QThread>

// Local
#include "ct/atomicfile.h"
#include "ct/corguess.h"
#include "ct/sgmgeometry.h"
#include "ct/sinogramcache.h"
#include "ct/sliceworker.h"
#include "imagedata/imgdata.h"
#include "imagedata/lineblock.h"
#include <algorithm>

ReconRun::ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err)
    : options_(options)
    , out_(out)
    , err_(err)
{
}

ReconRun::~ReconRun()
{
    for (QThread *t : threads_) {
        t->quit();
        t->wait();
    }
    for (SliceWorker *w : workers_)
        delete w;
}

bool ReconRun::fail(const QString &message)
{
    err_ << "quorvel-recon: " << message << Qt::endl;
    if (!failed_)
        failure_ = message;
    failed_ = true;
    return false;
}

bool ReconRun::listFiles()
{
    if (!options_.files.isEmpty()) {
        files_ = options_.files;
        return true;
    }
    const QDir dir(options_.dir);
    if (!dir.exists())
        return fail(QStringLiteral("no folder %1").arg(options_.dir));
    const QStringList names = dir.entryList(options_.patterns, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return fail(
            QStringLiteral("no file in %1 matches %2").arg(options_.dir, options_.patterns.join(u' ')));
    for (const QString &name : names)
        files_ << dir.filePath(name);
    return true;
}

bool ReconRun::plan()
{
    if (planned_)
        return !failed_;
    planned_ = true;
    if (!listFiles())
        return false;
    // Every header is read before any pixel: a set that cannot be used is refused before work starts.
    for (const QString &file : std::as_const(files_)) {
        int w = 0, h = 0;
        if (!readImageSize(file, w, h))
            return fail(QStringLiteral("cannot use %1 (not a readable image)").arg(file));
        if (width_ == 0) {
            width_ = w;
            height_ = h;
        }
        if (w != width_ || h != height_) {
            qWarning().noquote() << QStringLiteral("Mismatch image size: (%1, %2) != (%3, %4) : ")
                                        .arg(width_)
                                        .arg(height_)
                                        .arg(w)
                                        .arg(h)
                    + file;
            return fail(QStringLiteral("cannot use %1 (unreadable, or not %2 x %3 like the first image)")
                            .arg(file)
                            .arg(width_)
                            .arg(height_));
        }
    }
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
    set_.width = width_;
    set_.height = height_;

    const bool rows = options_.axisVertical;
    const int extent = rows ? height_ : width_;
    // The window's defaults after loading: the middle slice.
    const int middleSlice = rows ? static_cast<int>(0.5 * height_) : width_ / 2;
    const int from = options_.sliceFrom.value_or(middleSlice);
    const int to = options_.sliceFrom ? options_.sliceTo : middleSlice;
    QString error;
    if (!checkedSliceList(from, to, options_.sliceStep, extent, slices_, error)
        || !checkPartial(options_, static_cast<int>(files_.size()), error))
        return fail(error);
    return true;
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

bool ReconRun::findCor()
{
    const bool rows = options_.axisVertical;
    const double middleCor = rows ? 0.5 * width_ : double(height_ / 2);
    request_ = SinogramRequest {rows, options_.cor.value_or(middleCor), slices_.first(), options_.partial,
        options_.partialStart, options_.partialImages};
    if (options_.guessCor) {
        // The guess compares the first image used with the one facing it, at the first slice: only
        // those two lines are read.
        const int count = static_cast<int>(files_.size());
        const int first = firstImage(request_, count);
        const int used = request_.partial ? std::abs(request_.usingImages) : count; // checked in plan()
        const std::optional<int> opposite = oppositeImage(first, used, count, options_.rangeDeg);
        ProjectionSet pair;
        pair.width = width_;
        pair.height = height_;
        pair.images.resize(files_.size());
        for (int k : {first, opposite.value_or(-1)}) {
            if (k < 0 || k >= count)
                break; // the guess says why
            const int line = request_.slice;
            pair.images[static_cast<size_t>(k)]
                = readLineBlock(files_[k], rows, std::span<const int>(&line, 1), width_, height_);
            if (!pair.images[static_cast<size_t>(k)])
                return fail(QStringLiteral("cannot read %1").arg(files_[k]));
        }
        QString why;
        const std::optional<double> guess
            = guessCor(pair, request_, options_.rangeDeg, middleCor, 0.35, &why); // the window's GuessParam
        if (!guess)
            return fail(QStringLiteral("cannot guess the centre of rotation: %1").arg(why));
        request_.cor = *guess;
    }
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    return true;
}

bool ReconRun::prepare()
{
    const int L = options_.axisVertical ? width_ : height_;
    engineLength_ = requiredLength(set_, request_);
    if (engineLength_ < 2)
        return fail(QStringLiteral("the centre of rotation %1 leaves no sinogram on lines of %2 pixels")
                        .arg(request_.cor)
                        .arg(L));
    // An output folder that cannot take files is known before any slice is computed.
    if (!QDir().mkpath(options_.outDir))
        return fail(QStringLiteral("cannot make the output folder %1").arg(options_.outDir));
    if (const QString why = directoryWriteProblem(options_.outDir); !why.isEmpty())
        return fail(why);
    const int count = static_cast<int>(files_.size());
    task_.sinogram = request_;
    const int start = firstImage(request_, count);
    task_.angles
        = projectionAngles(options_.angleOriginDeg, options_.rangeDeg, count, options_.partial ? start : 0);
    task_.regionIsSet = options_.region.has_value();
    task_.region = options_.region.value_or(Region {});
    task_.makeImage = options_.png;
    task_.makeTiff = options_.tiff;
    task_.makeTiff = options_.tiff;
    if (options_.colorRange)
        task_.scale = GreyScale {options_.colorRange->first, options_.colorRange->second, 0.0, 1.0, true};
    task_.makeData = options_.data;
    task_.window = options_.window;
    return true;
}

int ReconRun::exec(std::optional<int> onlyBlock)
{
    clock_.start();
    if (!plan() || !findCor())
        return 1;
    if (options_.guessOnly)
        return 0;
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

    const int workers = std::max(
        1, std::min(options_.threads, static_cast<int>(std::min<qsizetype>(total_, options_.block))));
    blocks_.assign(static_cast<size_t>(workers), Block());
    for (int i = 0; i < workers; ++i) {
        auto *worker = new SliceWorker;
        // Plans are made here, on the main thread, before the worker ever runs.
        worker->engine().setup(engineLength_, static_cast<int>(files_.size()));
        auto *thread = new QThread(this);
        worker->moveToThread(thread);
        connect(worker, &SliceWorker::done, this, &ReconRun::sliceDone);
        thread->start();
        threads_.push_back(thread);
        workers_.push_back(worker);
    }
    // The time left counts from here: loading and planning are behind us.
    timeLeft_.start(total_, clock_.elapsed());
    for (int b = first; b <= last; ++b) {
        const QList<int> slices = blockSlices(b);
        if (!readBlock(slices))
            return 1;
        runBlock(slices);
    }
    set_.images.clear();
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
    return failed_ ? 1 : 0;
}

bool ReconRun::readBlock(const QList<int> &slices)
{
    QElapsedTimer reading;
    reading.start();
    std::vector<int> lines(slices.cbegin(), slices.cend());
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    const bool rows = options_.axisVertical;
    set_.images.clear(); // the last block's lines go before the next one's come
    set_.i0.reset();
    set_.bg.reset();
    set_.images.reserve(static_cast<size_t>(files_.size()));
    for (const QString &file : std::as_const(files_)) {
        std::shared_ptr<const ImgData> block = readLineBlock(file, rows, lines, width_, height_);
        if (!block)
            return fail(QStringLiteral("cannot read %1").arg(file));
        set_.images.push_back(std::move(block));
    }
    for (auto [file, target] :
        {std::pair {options_.i0File, &set_.i0}, std::pair {options_.bgFile, &set_.bg}}) {
        if (file.isEmpty())
            continue;
        *target = readLineBlock(file, rows, lines, width_, height_);
        if (!*target)
            return fail(QStringLiteral("cannot read %1").arg(file));
    }
    times_.read += reading.nsecsElapsed() * 1e-9;
    return true;
}

void ReconRun::runBlock(const QList<int> &slices)
{
    task_.set = set_;
    block_ = slices;
    next_ = 0;
    done_ = 0;
    blockSlices_ = sinogramBlockSlices(set_, request_, static_cast<int>(workers_.size()));
    for (Block &b : blocks_)
        b = Block();
    QEventLoop loop;
    for (size_t i = 0; i < workers_.size(); ++i)
        dispatch(i);
    while (done_ < block_.size())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    doneBefore_ += block_.size();
    task_.set = ProjectionSet {};
}

void ReconRun::dispatch(size_t worker)
{
    Block &block = blocks_[worker];
    if (block.next >= block.slices.size()) {
        if (next_ >= block_.size())
            return;
        // The next slices of the block; towards its end smaller ones, so that no worker is left
        // with a long queue while the others rest.
        const qsizetype left = block_.size() - next_;
        const qsizetype share = (left + qsizetype(blocks_.size()) - 1) / qsizetype(blocks_.size());
        const qsizetype size = std::clamp<qsizetype>(share, 1, blockSlices_);
        block.slices.assign(block_.begin() + next_, block_.begin() + next_ + size);
        block.id = size > 1 ? newSinogramBlockId() : 0;
        block.next = 0;
        next_ += size;
    }
    SliceTask task = task_;
    task.sinogram.slice = block.slices[block.next++];
    task.sinogramBlock = block.slices;
    task.blockId = block.id;
    QMetaObject::invokeMethod(
        workers_[worker], [w = workers_[worker], task] { w->run(task); }, Qt::QueuedConnection);
}

void ReconRun::sliceDone(const SliceResult &result)
{
    // The worker gets its next slice first: it computes while this thread writes.
    auto *worker = qobject_cast<SliceWorker *>(sender());
    const auto it = std::find(workers_.begin(), workers_.end(), worker);
    if (it != workers_.end())
        dispatch(static_cast<size_t>(it - workers_.begin()));
    ++done_;
    times_.slices.sinogram += result.times.sinogram;
    times_.slices.filter += result.times.filter;
    times_.slices.backProjection += result.times.backProjection;
    times_.slices.output += result.times.output;
    QElapsedTimer writing;
    writing.start();
    writeResult(result);
    times_.write += writing.nsecsElapsed() * 1e-9;
    const qsizetype finished = doneBefore_ + done_;
    timeLeft_.setDone(finished, clock_.elapsed());
    out_ << QStringLiteral("progress: %1/%2 slices, %3 s elapsed, %4 left")
                .arg(finished)
                .arg(total_)
                .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
                .arg(TimeLeft::text(timeLeft_.secondsLeft()))
         << Qt::endl;
}

void ReconRun::writeResult(const SliceResult &result)
{
    if (!result.reconstructed || !result.problem.isEmpty()) {
        fail(result.problem);
        if (!result.reconstructed)
            return;
    }
    const QString slice = sliceText(result.slice);
    const QStringList dirs = targetDirs(options_.outDir, options_.tag, slice, options_.subFolders);
    for (const QString &dir : dirs) {
        // Each file appears under its name only when it is complete.
        const auto write = [&](const char *suffix, const auto &writer) {
            const QString path = QDir(dir).filePath(
                ctFileName(options_.name, options_.tag, slice, QString::fromLatin1(suffix)));
            QString error;
            if (writer(path, &error)) {
                ++filesWritten_;
                out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
            } else
                fail(error);
        };
        if (options_.data && !result.dataText.isEmpty())
            write("dat", [&](const QString &path, QString *error) {
                return writeFileAtomically(path, result.dataText, error);
            });
        if (options_.tiff && !result.tiff.isEmpty())
            write("tif", [&](const QString &path, QString *error) {
                return writeFileAtomically(path, result.tiff, error);
            });
        if (options_.png && !result.image.isNull())
            write("png", [&](const QString &path, QString *error) {
                return writeImageAtomically(path, result.image, error);
            });
    }
}
