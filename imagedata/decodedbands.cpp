#include "imagedata/decodedbands.h"

// Qt
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

// Local
#include "imagedata/imagedatalog.h"
#include "imagedata/imagesource.h"
#include "imagedata/scratchfile.h"
#include <algorithm>
#include <cstring>
#include <functional>

namespace {

using Samples = Hdf5Scan::Samples;

// A decoding thread holds the frames of one chunk row: chunks of many frames beyond this are left to
// the library's reads.
constexpr std::uint64_t maxUnitBytes = std::uint64_t(256) << 20;

// The lines `lines` of a frame of `width` × `height` samples of `Size` bytes, one after the other.
template<size_t Size>
void gatherLines(const unsigned char *frame, int width, int height, bool rows, const std::vector<int> &lines,
    unsigned char *out)
{
    const size_t rowBytes = size_t(width) * Size;
    if (rows) {
        for (size_t k = 0; k < lines.size(); ++k)
            std::memcpy(out + k * rowBytes, frame + size_t(lines[k]) * rowBytes, rowBytes);
        return;
    }
    // Row by row, so that the frame is read once in order.
    for (int y = 0; y < height; ++y) {
        const unsigned char *row = frame + size_t(y) * rowBytes;
        for (size_t k = 0; k < lines.size(); ++k)
            std::memcpy(out + (k * size_t(height) + size_t(y)) * Size, row + size_t(lines[k]) * Size, Size);
    }
}

void gather(int sampleBytes, const unsigned char *frame, int width, int height, bool rows,
    const std::vector<int> &lines, unsigned char *out)
{
    switch (sampleBytes) {
    case 1:
        return gatherLines<1>(frame, width, height, rows, lines, out);
    case 2:
        return gatherLines<2>(frame, width, height, rows, lines, out);
    default:
        return gatherLines<4>(frame, width, height, rows, lines, out);
    }
}

// Whether every sample of `from` is a sample of `to`: the library's conversion is then the cast.
bool widens(Samples from, Samples to)
{
    if (from == to || to == Samples::Float64)
        return true;
    switch (from) {
    case Samples::UInt8:
        return true;
    case Samples::UInt16:
        return to == Samples::UInt32 || to == Samples::Float32;
    default:
        return false;
    }
}

template<class From, class To> void castSamples(const unsigned char *in, void *out, size_t n)
{
    To *target = static_cast<To *>(out);
    for (size_t i = 0; i < n; ++i) {
        From v;
        std::memcpy(&v, in + i * sizeof(From), sizeof v);
        target[i] = static_cast<To>(v);
    }
}

template<class From> void castTo(const unsigned char *in, Samples to, void *out, size_t n)
{
    switch (to) {
    case Samples::UInt8:
        return castSamples<From, std::uint8_t>(in, out, n);
    case Samples::UInt16:
        return castSamples<From, std::uint16_t>(in, out, n);
    case Samples::UInt32:
        return castSamples<From, std::uint32_t>(in, out, n);
    case Samples::Float32:
        return castSamples<From, float>(in, out, n);
    case Samples::Float64:
        return castSamples<From, double>(in, out, n);
    }
}

void convert(Samples from, const unsigned char *in, Samples to, void *out, size_t n)
{
    switch (from) {
    case Samples::UInt8:
        return castTo<std::uint8_t>(in, to, out, n);
    case Samples::UInt16:
        return castTo<std::uint16_t>(in, to, out, n);
    case Samples::UInt32:
        return castTo<std::uint32_t>(in, to, out, n);
    case Samples::Float32:
        return castTo<float>(in, to, out, n);
    case Samples::Float64:
        return castTo<double>(in, to, out, n);
    }
}

} // namespace

struct DecodedBands::Unit
{
    const Hdf5Scan *scan = nullptr;
    int dataset = 0;
    std::uint64_t firstFrame = 0;
    int frames = 0; // of the dataset in this chunk row
    std::vector<int> entries;
};

// Room of one decoding thread, kept from unit to unit.
struct DecodedBands::Worker
{
    std::vector<unsigned char> raw, work, chunk, group, lines;
};

DecodedBands::DecodedBands(const Plan &plan, int width, int height)
    : plan_(plan)
    , width_(width)
    , height_(height)
    , length_(plan.rowLines ? width : height)
{
    const int extent = plan.rowLines ? height : width;
    lineBlock_.assign(size_t(std::max(0, extent)), -1);
    linePos_.assign(size_t(std::max(0, extent)), -1);
    for (size_t b = 0; b < plan.blocks.size(); ++b) {
        for (size_t p = 0; p < plan.blocks[b].size(); ++p) {
            const int line = plan.blocks[b][p];
            if (line >= 0 && line < extent) {
                lineBlock_[size_t(line)] = int(b);
                linePos_[size_t(line)] = int(p);
            }
        }
    }
}

DecodedBands::~DecodedBands() = default;

std::shared_ptr<DecodedBands> DecodedBands::attach(const Plan &plan, std::span<ImageSource *const> sources)
{
    const auto first
        = std::find_if(sources.begin(), sources.end(), [](const ImageSource *s) { return bool(s->scan); });
    if (first == sources.end())
        return nullptr;
    auto bands = std::make_shared<DecodedBands>(plan, (*first)->scan->width(), (*first)->scan->height());
    for (const ImageSource *s : sources) {
        if (!s->scan)
            continue;
        const int frames = s->scan->count(s->kind);
        for (int f = s->frame < 0 ? 0 : s->frame; f < (s->frame < 0 ? frames : s->frame + 1); ++f)
            bands->add(s->scan, s->kind, f);
    }
    if (bands->empty())
        return nullptr;
    bands->prepareUnits();
    for (ImageSource *s : sources) {
        if (s->scan && s->scan->filtered(s->kind))
            s->bands = bands;
    }
    return bands;
}

void DecodedBands::add(const std::shared_ptr<const Hdf5Scan> &scan, Hdf5Scan::Kind kind, int index)
{
    const int dataset = scan->datasetOf(kind);
    if (dataset < 0 || index < 0 || index >= scan->count(kind) || !scan->filtered(kind)
        || scan->width() != width_ || scan->height() != height_)
        return;
    const Hdf5Scan::Storage &s = scan->storage(dataset);
    const std::uint64_t frameBytes
        = std::uint64_t(width_) * std::uint64_t(height_) * std::uint64_t(s.sampleBytes);
    if (!s.chunked || s.chunk[0] == 0 || s.chunk[1] == 0 || s.chunk[2] == 0
        || s.chunk[0] > maxUnitBytes / frameBytes)
        return;
    std::vector<int> &frames = index_[{scan.get(), dataset}];
    if (frames.empty())
        frames.assign(size_t(s.frames), -1);
    const std::uint32_t frame = scan->datasetFrame(kind, index);
    if (frame >= frames.size() || frames[frame] >= 0)
        return;
    if (std::find(scans_.cbegin(), scans_.cend(), scan) == scans_.cend())
        scans_.push_back(scan);
    frames[frame] = int(entries_.size());
    entries_.push_back(Entry {scan.get(), dataset, frame, scan->samples(kind), s.sampleBytes, entryBytes_});
    entryBytes_ += std::uint64_t(s.sampleBytes);
}

void DecodedBands::prepareUnits()
{
    // The entries of one chunk row of one dataset decode together.
    std::vector<int> order(entries_.size());
    for (size_t e = 0; e < order.size(); ++e)
        order[e] = int(e);
    const auto key = [this](int e) {
        const Entry &en = entries_[size_t(e)];
        const auto scan = std::find_if(
            scans_.cbegin(), scans_.cend(), [&en](const auto &s) { return s.get() == en.scan; });
        return std::tuple(
            scan - scans_.cbegin(), en.dataset, en.frame / en.scan->storage(en.dataset).chunk[0]);
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    units_.clear();
    for (int e : order) {
        const Entry &en = entries_[size_t(e)];
        const Hdf5Scan::Storage &s = en.scan->storage(en.dataset);
        const std::uint64_t first = en.frame / s.chunk[0] * s.chunk[0];
        if (units_.empty() || units_.back().scan != en.scan || units_.back().dataset != en.dataset
            || units_.back().firstFrame != first) {
            Unit u;
            u.scan = en.scan;
            u.dataset = en.dataset;
            u.firstFrame = first;
            u.frames = int(std::min<std::uint64_t>(s.chunk[0], s.frames - first));
            units_.push_back(std::move(u));
        }
        units_.back().entries.push_back(e);
    }
}

std::uint64_t DecodedBands::chunksHeld() const
{
    std::uint64_t chunks = 0;
    for (const Unit &u : units_) {
        const Hdf5Scan::Storage &s = u.scan->storage(u.dataset);
        chunks += (std::uint64_t(height_) + s.chunk[1] - 1) / s.chunk[1]
            * ((std::uint64_t(width_) + s.chunk[2] - 1) / s.chunk[2]);
    }
    return chunks;
}

std::uint64_t DecodedBands::regionBytes(int block) const
{
    return std::uint64_t(plan_.blocks[size_t(block)].size()) * std::uint64_t(length_) * entryBytes_;
}

std::uint64_t DecodedBands::offsetOf(int block, const Entry &e) const
{
    const std::uint64_t within
        = std::uint64_t(plan_.blocks[size_t(block)].size()) * std::uint64_t(length_) * e.prefix;
    return (scratch_ ? blockBase_[size_t(block)] : 0) + within;
}

int DecodedBands::entryOf(const Hdf5Scan &scan, int dataset, std::uint32_t frame) const
{
    const auto it = index_.find({&scan, dataset});
    return it == index_.end() || frame >= it->second.size() ? -1 : it->second[frame];
}

qint64 DecodedBands::scratchBytes() const
{
    return scratch_ ? scratch_->size() : 0;
}

bool DecodedBands::ensure(int block, QString &error)
{
    if (allDecoded_ || memoryBlock_ == block)
        return true;
    if (!failure_.isEmpty()) { // a frame that cannot be decoded fails every block alike
        error = failure_;
        return false;
    }
    if (!scratchTried_ && plan_.blocks.size() > 1) {
        scratchTried_ = true;
        std::uint64_t total = 0;
        for (size_t b = 0; b < plan_.blocks.size(); ++b) {
            blockBase_.push_back(total);
            total += regionBytes(int(b));
        }
        if (plan_.scratchFolder.isEmpty())
            fallback_ = QStringLiteral("no scratch folder");
        else
            scratch_ = ScratchFile::create(plan_.scratchFolder, qint64(total), fallback_);
        if (scratch_) {
            std::vector<int> all(plan_.blocks.size());
            for (size_t b = 0; b < all.size(); ++b)
                all[b] = int(b);
            allDecoded_ = decodePass(all, error);
            if (!allDecoded_)
                failure_ = error;
            return allDecoded_;
        }
        qCWarning(lcImageData).noquote()
            << QStringLiteral("Compressed frames are decoded anew for every block of slices: %1")
                   .arg(fallback_);
    }
    memoryBlock_ = -1;
    memory_.assign(regionBytes(block), 0);
    if (!decodePass({block}, error)) {
        failure_ = error;
        return false;
    }
    memoryBlock_ = block;
    return true;
}

bool DecodedBands::decodePass(const std::vector<int> &blocks, QString &error)
{
    QElapsedTimer clock;
    clock.start();
    // Threads beyond the units would idle, and each holds a few units' worth of room: together no
    // more than a gigabyte.
    std::uint64_t unitBytes = 1;
    for (const Unit &u : units_)
        unitBytes = std::max(unitBytes,
            std::uint64_t(u.frames) * std::uint64_t(width_) * std::uint64_t(height_)
                * std::uint64_t(u.scan->storage(u.dataset).sampleBytes));
    const size_t roomFor = size_t(std::max<std::uint64_t>(1, (std::uint64_t(1) << 30) / (3 * unitBytes)));
    const int threads
        = int(std::min({size_t(std::max(1, plan_.threads)), std::max<size_t>(1, units_.size()), roomFor}));
    std::atomic<size_t> next {0};
    std::atomic<bool> failed {false};
    std::vector<QString> errors(static_cast<size_t>(threads));
    const auto work = [&](int t) {
        // Memory that runs out fails the pass, never the program (a helper thread has no one to
        // catch for it).
        try {
            Worker room;
            for (size_t u = next++; u < units_.size() && !failed; u = next++) {
                if (!decodeUnit(units_[u], blocks, room, errors[size_t(t)])) {
                    failed = true;
                    break;
                }
            }
        } catch (const std::bad_alloc &) {
            errors[size_t(t)] = QStringLiteral("not enough memory to decode the compressed frames");
            failed = true;
        }
    };
    std::vector<QThread *> helpers;
    for (int t = 1; t < threads; ++t) {
        helpers.push_back(QThread::create(work, t));
        helpers.back()->start();
    }
    work(0);
    for (QThread *h : helpers) {
        h->wait();
        delete h;
    }
    ++passes_;
    threadsUsed_ = threads;
    seconds_ += clock.nsecsElapsed() * 1e-9;
    for (const QString &e : errors) {
        if (!e.isEmpty()) {
            error = e;
            return false;
        }
    }
    return true;
}

bool DecodedBands::decodeUnit(const Unit &u, const std::vector<int> &blocks, Worker &room, QString &error)
{
    const Hdf5Scan::Storage &s = u.scan->storage(u.dataset);
    const size_t bytes = size_t(s.sampleBytes);
    const size_t frameBytes = size_t(width_) * size_t(height_) * bytes;
    if (room.group.size() < size_t(u.frames) * frameBytes)
        room.group.resize(size_t(u.frames) * frameBytes);
    const std::uint64_t c0 = s.chunk[0], c1 = s.chunk[1], c2 = s.chunk[2];
    if (chunkcodec::decodesPipeline(s.filters)) {
        // A chunk that is exactly the unit's frames is decoded in place.
        const bool whole
            = c1 == std::uint64_t(height_) && c2 == std::uint64_t(width_) && c0 == std::uint64_t(u.frames);
        const size_t chunkBytes = size_t(c0 * c1 * c2) * bytes;
        for (std::uint64_t y0 = 0; y0 < std::uint64_t(height_); y0 += c1) {
            for (std::uint64_t x0 = 0; x0 < std::uint64_t(width_); x0 += c2) {
                std::uint32_t skipped = 0;
                QElapsedTimer locked;
                locked.start();
                if (!u.scan->readRawChunk(u.dataset, {u.firstFrame, y0, x0}, room.raw, skipped, error))
                    return false;
                rawNs_ += locked.nsecsElapsed();
                if (!whole && room.chunk.size() < chunkBytes)
                    room.chunk.resize(chunkBytes);
                const std::span<unsigned char> target(
                    whole ? room.group.data() : room.chunk.data(), chunkBytes);
                if (!chunkcodec::decode(
                        s.filters, skipped, s.sampleBytes, room.raw, room.work, target, error)) {
                    error = QStringLiteral("%1, frame %2: %3").arg(s.path).arg(u.firstFrame).arg(error);
                    return false;
                }
                ++decoded_;
                if (whole)
                    continue;
                // The part of the chunk inside the frames (edge chunks reach beyond them).
                const size_t columns
                    = size_t(std::min<std::uint64_t>(c2, std::uint64_t(width_) - x0)) * bytes;
                for (int f = 0; f < u.frames; ++f) {
                    for (std::uint64_t y = y0; y < std::min<std::uint64_t>(y0 + c1, std::uint64_t(height_));
                         ++y)
                        std::memcpy(room.group.data() + size_t(f) * frameBytes
                                + (size_t(y) * size_t(width_) + size_t(x0)) * bytes,
                            room.chunk.data() + ((size_t(f) * c1 + (y - y0)) * c2) * bytes, columns);
                }
            }
        }
        if (s.swapped) // into this machine's order, as the library gives them
            for (unsigned char *v = room.group.data(), *end = v + size_t(u.frames) * frameBytes; v < end;
                 v += bytes)
                std::reverse(v, v + bytes);
    } else {
        if (!u.scan->readDatasetFrames(u.dataset, u.firstFrame, u.frames, room.group.data(), error))
            return false;
        decoded_ += ((std::uint64_t(height_) + c1 - 1) / c1) * ((std::uint64_t(width_) + c2 - 1) / c2);
    }
    for (int e : u.entries) {
        const Entry &en = entries_[size_t(e)];
        const unsigned char *frame = room.group.data() + size_t(en.frame - u.firstFrame) * frameBytes;
        for (int b : blocks) {
            const std::vector<int> &lines = plan_.blocks[size_t(b)];
            const size_t n = lines.size() * size_t(length_) * bytes;
            if (scratch_ && room.lines.size() < n)
                room.lines.resize(n);
            unsigned char *target = scratch_ ? room.lines.data() : memory_.data() + offsetOf(b, en);
            gather(s.sampleBytes, frame, width_, height_, plan_.rowLines, lines, target);
            if (scratch_ && !scratch_->write(qint64(offsetOf(b, en)), target, n, error))
                return false;
        }
    }
    return true;
}

DecodedBands::Outcome DecodedBands::readLines(const Hdf5Scan &scan, Hdf5Scan::Kind kind, int index,
    bool rowLines, std::span<const int> lines, Hdf5Scan::Samples memory, void *out, QString &error)
{
    const int dataset = scan.datasetOf(kind);
    if (rowLines != plan_.rowLines || lines.empty() || dataset < 0 || index < 0 || index >= scan.count(kind))
        return Outcome::NotCovered;
    const int e = entryOf(scan, dataset, scan.datasetFrame(kind, index));
    if (e < 0 || !widens(entries_[size_t(e)].samples, memory))
        return Outcome::NotCovered;
    const Entry &en = entries_[size_t(e)];
    bool oneBlock = true;
    for (int line : lines) {
        if (line < 0 || size_t(line) >= lineBlock_.size() || lineBlock_[size_t(line)] < 0)
            return Outcome::NotCovered;
        oneBlock = oneBlock && lineBlock_[size_t(line)] == lineBlock_[size_t(lines[0])];
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    // Lines of several blocks (the guesses along a range of slices) are read from the scratch file
    // only: in memory there is one block at a time.
    if (!oneBlock && (plan_.blocks.size() < 2 || (scratchTried_ && !allDecoded_)))
        return Outcome::NotCovered;
    if (!ensure(lineBlock_[size_t(lines[0])], error))
        return Outcome::Failed;
    if (!oneBlock && !allDecoded_)
        return Outcome::NotCovered;
    const size_t lineBytes = size_t(length_) * size_t(en.sampleBytes);
    const size_t outBytes = size_t(length_) * size_t(Hdf5Scan::bytesPerSample(memory));
    thread_local std::vector<unsigned char> buffer;
    for (size_t k = 0; k < lines.size();) {
        // A run of lines that lie one after the other in a block is one read.
        const int block = lineBlock_[size_t(lines[k])];
        const int first = linePos_[size_t(lines[k])];
        size_t n = 1;
        while (k + n < lines.size() && lineBlock_[size_t(lines[k + n])] == block
            && linePos_[size_t(lines[k + n])] == first + int(n))
            ++n;
        const std::uint64_t at = offsetOf(block, en) + std::uint64_t(first) * lineBytes;
        const unsigned char *from = nullptr;
        if (scratch_) {
            buffer.resize(n * lineBytes);
            if (!scratch_->read(qint64(at), buffer.data(), n * lineBytes, error))
                return Outcome::Failed;
            from = buffer.data();
        } else {
            from = memory_.data() + at;
        }
        convert(
            en.samples, from, memory, static_cast<unsigned char *>(out) + k * outBytes, n * size_t(length_));
        k += n;
    }
    return Outcome::Read;
}

QString DecodedBands::summary() const
{
    const std::uint64_t held = chunksHeld(), decoded = decoded_;
    QString text = QStringLiteral("%1 compressed chunks decoded %2, on %3 threads in %4 s")
                       .arg(held)
                       .arg(decoded == held ? QStringLiteral("once each")
                                            : QStringLiteral("%1 times in all").arg(decoded))
                       .arg(threadsUsed_)
                       .arg(seconds_, 0, 'f', 2);
    if (scratch_)
        text += QStringLiteral(" (%1 MB of their lines in a scratch file in %2)")
                    .arg(scratch_->size() / 1e6, 0, 'f', 1)
                    .arg(plan_.scratchFolder);
    else if (!fallback_.isEmpty())
        text += QStringLiteral(" (no scratch file: %1)").arg(fallback_);
    return text;
}
