#pragma once

// Qt
#include <QList>

// Local
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

/// A slice handed to a worker: the slices whose sinograms it builds in the same pass over the
/// images (this one among them), that block's number (0: this one alone), and the part of the run
/// the slice belongs to.
struct SliceHandout
{
    int slice = 0;
    std::vector<int> sinogramBlock;
    std::uint64_t blockId = 0;
    int part = 0;
};

/// Hands the slices of a run to the workers, the window's and the command's alike. A run comes in
/// parts (the window's range at once, the command's blocks of slices as they are read); a worker
/// takes a share of the first part that has slices left, as many consecutive slices as it builds
/// sinograms for in one pass, and is handed them one by one. Towards a part's end the shares
/// shrink, so that no worker is left with a long queue while the others rest. Counts each worker's
/// slices handed out and not yet back, and each part's slices back.
/// runs on: the thread of the run's client (a plain object; the workers never see it).
/// \test tst_recon.cpp, tst_bodycalc.cpp
class SliceScheduler
{
public:
    /// A new run over `workers` workers.
    void reset(int workers);
    /// Adds part `part` of the run: its slices in order, and the most of them a worker builds
    /// sinograms for in one pass (at least 1).
    void addPart(int part, const QList<int> &slices, int sinogramSlices);
    /// The next slice for `worker`: the next of its share, else the first of a new share; none when
    /// no part has a slice left (or the run is stopped).
    std::optional<SliceHandout> take(int worker);
    /// The oldest slice handed to `worker` is back: its part, and whether all of that part's slices
    /// are back now.
    struct Returned
    {
        int part = -1;
        bool partComplete = false;
    };
    Returned returned(int worker);
    /// Nothing more is handed out; the shares not yet handed out are dropped.
    void stop();

    int workers() const { return static_cast<int>(queues_.size()); }
    /// Slices handed to `worker` (to all workers) and not yet back.
    int inWork(int worker) const;
    /// Slices taken into shares in all, and those of them not yet handed out.
    int taken() const { return taken_; }
    int queued() const;
    /// Whether a slice of the parts added is still to be handed out.
    bool hasSlicesLeft() const;

private:
    struct Part
    {
        int index = 0;
        QList<int> slices;
        int sinogramSlices = 1;
        qsizetype next = 0; // slices taken into shares
        qsizetype back = 0;
    };
    struct Queue
    {
        std::vector<int> share;
        std::uint64_t id = 0;
        size_t next = 0;
        int part = 0;
        std::deque<int> handed; // the part of each slice in work, oldest first
    };
    Part *partOf(int index);

    std::vector<Part> parts_;
    std::vector<Queue> queues_;
    int taken_ = 0;
    bool stopped_ = false;
};
