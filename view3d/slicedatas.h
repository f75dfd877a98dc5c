#pragma once

// Qt
#include <QObject>
#include <QStringList>
#include <QThreadPool>

// Local
#include "view3d/slicedata.h"
#include <atomic>
#include <cstdint>

/// The loader of one slice set: reads the selected files into a stack of equal-size slices and
/// works out its value range and histogram. The files are read by a pool of its own, several at a
/// time, and reported in the order of the selection. The finished stack is handed out read-only by
/// `stackLoaded`; a new selection starts a new stack and never changes one handed out.
/// runs on: a loader thread of its own, one per slice set (its slots).
/// \test tst_slicedatas.cpp
class SliceDatas : public QObject
{
    Q_OBJECT
public:
    explicit SliceDatas(QObject *parent = nullptr);
    ~SliceDatas() override;

    /// Any thread: a load in progress stops at the next file and reports nothing more.
    void abort() { aborted_ = true; }
    /// Any thread: the bytes a stack may take (its slices' values); 0 (the default) for the memory
    /// the machine can give when the load starts.
    void setMemoryLimit(int64_t bytes) { memoryLimit_ = bytes; }
    /// The stack of the last load (read on the loader's thread; others take it from `stackLoaded`).
    SliceStackPtr stack() const { return stack_; }

signals:
    void cleared();
    void loadedNewFile(const QString &fname);
    /// The stack of the load just finished (empty when no file was usable), just before
    /// `loadFilesFinished`.
    void stackLoaded(SliceStackPtr stack);
    void loadFilesFinished();

public slots:
    /// Runs on the loader's thread: clears the set, then reads the files in order. The first readable
    /// file fixes the size; files of another size and slices of one constant value are dropped.
    void filesSelected(const QStringList &files);

private:
    void finish(SliceStackPtr stack);

    QThreadPool pool_;
    std::atomic<bool> aborted_ {false};
    std::atomic<int64_t> memoryLimit_ {0};
    SliceStackPtr stack_;
};
