#include "recon/slicescheduler.h"

// Local
#include "ct/sinogramcache.h"
#include <algorithm>

void SliceScheduler::reset(int workers)
{
    parts_.clear();
    queues_.assign(static_cast<size_t>(std::max(1, workers)), Queue());
    taken_ = 0;
    stopped_ = false;
}

void SliceScheduler::addPart(int part, const QList<int> &slices, int sinogramSlices)
{
    parts_.push_back(Part {part, slices, std::max(1, sinogramSlices)});
}

SliceScheduler::Part *SliceScheduler::partOf(int index)
{
    const auto it
        = std::find_if(parts_.begin(), parts_.end(), [index](const Part &p) { return p.index == index; });
    return it == parts_.end() ? nullptr : &*it;
}

std::optional<SliceHandout> SliceScheduler::take(int worker)
{
    if (stopped_ || worker < 0 || worker >= workers())
        return std::nullopt;
    Queue &q = queues_[static_cast<size_t>(worker)];
    if (q.next >= q.share.size()) {
        const auto part = std::find_if(
            parts_.begin(), parts_.end(), [](const Part &p) { return p.next < p.slices.size(); });
        if (part == parts_.end())
            return std::nullopt;
        const qsizetype left = part->slices.size() - part->next;
        const qsizetype share = (left + workers() - 1) / workers();
        const qsizetype size = std::clamp<qsizetype>(share, 1, part->sinogramSlices);
        q.share.assign(part->slices.begin() + part->next, part->slices.begin() + part->next + size);
        q.id = size > 1 ? newSinogramBlockId() : 0;
        q.next = 0;
        q.part = part->index;
        part->next += size;
        taken_ += static_cast<int>(size);
    }
    SliceHandout h;
    h.slice = q.share[q.next++];
    h.sinogramBlock = q.share;
    h.blockId = q.id;
    h.part = q.part;
    q.handed.push_back(q.part);
    return h;
}

SliceScheduler::Returned SliceScheduler::returned(int worker)
{
    Returned r;
    if (worker < 0 || worker >= workers() || queues_[static_cast<size_t>(worker)].handed.empty())
        return r;
    Queue &q = queues_[static_cast<size_t>(worker)];
    r.part = q.handed.front();
    q.handed.pop_front();
    if (Part *p = partOf(r.part)) {
        ++p->back;
        r.partComplete = p->back == p->slices.size();
        if (r.partComplete)
            parts_.erase(parts_.begin() + (p - parts_.data()));
    }
    return r;
}

void SliceScheduler::stop()
{
    stopped_ = true;
    for (Queue &q : queues_)
        q.next = q.share.size();
}

int SliceScheduler::inWork(int worker) const
{
    return worker < 0 || worker >= workers()
        ? 0
        : static_cast<int>(queues_[static_cast<size_t>(worker)].handed.size());
}

int SliceScheduler::queued() const
{
    int n = 0;
    for (const Queue &q : queues_)
        n += static_cast<int>(q.share.size() - q.next);
    return n;
}

bool SliceScheduler::hasSlicesLeft() const
{
    if (stopped_)
        return false;
    return queued() > 0
        || std::any_of(parts_.begin(), parts_.end(), [](const Part &p) { return p.next < p.slices.size(); });
}
