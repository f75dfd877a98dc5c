#include "app/recon/reconrun.h"

// Qt
#include <QDir>
#include <QEventLoop>
#include <QThread>

// Local
#include "ct/atomicfile.h"
#include "ct/corguess.h"
#include "ct/sgmgeometry.h"
#include "ct/sliceworker.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgdatas.h"
#include "imagedata/imgfiletype.h"

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
    failed_ = true;
    return false;
}

bool ReconRun::load()
{
    const QDir dir(options_.dir);
    if (!dir.exists())
        return fail(QStringLiteral("no folder %1").arg(options_.dir));
    const QStringList names = dir.entryList(options_.patterns, QDir::Files, QDir::Name);
    if (names.isEmpty())
        return fail(
            QStringLiteral("no file in %1 matches %2").arg(options_.dir, options_.patterns.join(u' ')));
    ImgDatas images;
    for (const QString &name : names) {
        if (!images.add(dir.filePath(name)))
            return fail(QStringLiteral("cannot use %1 (unreadable, or not %2 x %3 like the first image)")
                            .arg(dir.filePath(name))
                            .arg(images.width())
                            .arg(images.height()));
    }
    set_ = images.projectionSet();
    if (set_.width < 1 || set_.height < 1)
        return fail(QStringLiteral("the images in %1 hold no pixels").arg(options_.dir));
    for (auto [file, target, what] :
        {std::tuple {options_.i0File, &set_.i0, "I0"}, std::tuple {options_.bgFile, &set_.bg, "BG"}}) {
        if (file.isEmpty())
            continue;
        std::shared_ptr<const ImgData> img = openImgData(file);
        if (!img)
            return fail(QStringLiteral("cannot read the %1 image %2").arg(QLatin1String(what), file));
        if (img->width() != set_.width || img->height() != set_.height)
            return fail(QStringLiteral("the %1 image %2 is %3 x %4, the projections %5 x %6")
                            .arg(QLatin1String(what), file)
                            .arg(img->width())
                            .arg(img->height())
                            .arg(set_.width)
                            .arg(set_.height));
        *target = img;
    }
    return true;
}

bool ReconRun::prepare()
{
    const bool rows = options_.axisVertical;
    const int L = lineLength(set_, rows);
    const int extent = sliceCount(set_, rows);
    // The window's defaults after loading: the middle slice and the middle of the line.
    const int middleSlice = rows ? static_cast<int>(0.5 * set_.height) : set_.width / 2;
    const double middleCor = rows ? 0.5 * set_.width : double(set_.height / 2);
    const int from = options_.sliceFrom.value_or(middleSlice);
    const int to = options_.sliceFrom ? options_.sliceTo : middleSlice;
    slices_ = sliceList(from, to, options_.sliceStep);
    for (int s : {from, slices_.last()}) {
        if (s < 0 || s >= extent)
            return fail(QStringLiteral("slice %1 is outside 0 … %2").arg(s).arg(extent - 1));
    }

    request_ = SinogramRequest {rows, options_.cor.value_or(middleCor), from, options_.partial,
        options_.partialStart, options_.partialImages};
    if (options_.guessCor)
        request_.cor
            = guessCor(set_, request_, options_.rangeDeg, middleCor, 0.35); // the window's GuessParam
    out_ << "centre of rotation: " << QString::number(request_.cor, 'g', 10) << Qt::endl;
    engineLength_ = requiredLength(set_, request_);
    if (engineLength_ < 2)
        return fail(QStringLiteral("the centre of rotation %1 leaves no sinogram on lines of %2 pixels")
                        .arg(request_.cor)
                        .arg(L));

    task_.set = set_;
    task_.sinogram = request_;
    const int start = firstImage(request_, set_.count());
    task_.angles = projectionAngles(
        options_.angleOriginDeg, options_.rangeDeg, set_.count(), options_.partial ? start : 0);
    task_.regionIsSet = options_.region.has_value();
    task_.region = options_.region.value_or(Region {});
    task_.makeImage = options_.png;
    task_.makeTiff = options_.tiff;
    if (options_.colorRange)
        task_.scale = GreyScale {options_.colorRange->first, options_.colorRange->second, 0.0, 1.0, true};
    task_.makeData = options_.data;
    task_.window = options_.window;
    return true;
}

int ReconRun::exec()
{
    clock_.start();
    if (!load())
        return 1;
    times_.read = clock_.nsecsElapsed() * 1e-9;
    if (!prepare())
        return 1;
    const int workers = std::max(1, std::min(options_.threads, static_cast<int>(slices_.size())));
    blockSlices_ = sinogramBlockSlices(set_, request_, workers);
    blocks_.assign(static_cast<size_t>(workers), Block());
    for (int i = 0; i < workers; ++i) {
        auto *worker = new SliceWorker;
        // Plans are made here, on the main thread, before the worker ever runs.
        worker->engine().setup(engineLength_, set_.count());
        auto *thread = new QThread(this);
        worker->moveToThread(thread);
        connect(worker, &SliceWorker::done, this, &ReconRun::sliceDone);
        thread->start();
        threads_.push_back(thread);
        workers_.push_back(worker);
    }
    QEventLoop loop;
    for (size_t i = 0; i < workers_.size(); ++i)
        dispatch(i);
    while (done_ < slices_.size())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
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

void ReconRun::dispatch(size_t worker)
{
    Block &block = blocks_[worker];
    if (block.next >= block.slices.size()) {
        if (next_ >= slices_.size())
            return;
        // The next slices of the list; towards the end smaller blocks, so that no worker is left
        // with a long queue while the others rest.
        const qsizetype left = slices_.size() - next_;
        const qsizetype share = (left + qsizetype(blocks_.size()) - 1) / qsizetype(blocks_.size());
        const qsizetype size = std::clamp<qsizetype>(share, 1, blockSlices_);
        block.slices.assign(slices_.begin() + next_, slices_.begin() + next_ + size);
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
    const double elapsed = clock_.elapsed() / 1000.0;
    const double left = elapsed / done_ * (slices_.size() - done_);
    out_ << QStringLiteral("progress: %1/%2 slices, %3 s elapsed, %4 s left")
                .arg(done_)
                .arg(slices_.size())
                .arg(elapsed, 0, 'f', 1)
                .arg(left, 0, 'f', 1)
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
        QString error;
        if (options_.data && !result.dataText.isEmpty()) {
            const QString path
                = QDir(dir).filePath(ctFileName(options_.name, options_.tag, slice, QStringLiteral("dat")));
            if (writeFileAtomically(path, result.dataText, &error))
                out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
            else
                fail(error);
        }
        if (options_.tiff && !result.tiff.isEmpty()) {
            const QString path
                = QDir(dir).filePath(ctFileName(options_.name, options_.tag, slice, QStringLiteral("tif")));
            if (writeFileAtomically(path, result.tiff, &error))
                out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
            else
                fail(error);
        }
        if (options_.png && !result.image.isNull()) {
            const QString path
                = QDir(dir).filePath(ctFileName(options_.name, options_.tag, slice, QStringLiteral("png")));
            if (writeImageAtomically(path, result.image, &error))
                out_ << "wrote " << QDir::cleanPath(path) << Qt::endl;
            else
                fail(error);
        }
    }
}
