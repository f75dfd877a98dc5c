#pragma once

// Standard
#include <atomic>

// Qt
#include <QObject>
#include <QStringList>

// Local
#include "automation/batchcmd.h"

/// The batch interpreter: walks the lines of a batch file one at a time, handles the flow words
/// (":ifok", ":ifng", ":goto", ":end", ":stop", ":echo") itself and hands every other line to the
/// main window, which executes it and reports back with `batchCheckEnd` when it is done. Exactly
/// one line is outstanding at the window at a time.
/// runs on: the batch thread (all slots); its lines reach the window queued.
/// \test tst_batch.cpp
class Batch : public QObject
{
    Q_OBJECT
public:
    explicit Batch(QObject *parent = nullptr);

    // Read from the main thread while the batch thread steps: kept atomic.
    bool isRunning() const { return running_; }
    int nextLine() const { return nextLine_; }
    const QStringList &lines() const { return lines_; }
    bool lastOk() const { return lastOk_; }

    /// Batch files larger than this are refused: a command file is a few kilobytes, and a large
    /// file given by mistake must not be read into memory.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;

signals:
    void batchExecNext();
    void batchFinishALine();
    void batchExCmd(const BatchCmd &cmd);
    /// The run ended (by ":end"/":stop", the last line, or a stop).
    void runEnded();
    /// A batch file could not be read; the previous lines are kept.
    void loadFailed(const QString &fileName);

public slots:
    /// Runs from the first line, also when a run is in progress.
    void batchStart();
    void batchStop();
    /// One step of the run.
    void batchNext();
    /// Replaces the lines with the file's command lines; the run state is left as it is.
    void batchLoad(const QString &fileName);
    /// Starts a run from the first line, or stops the running one after the line in progress.
    void batchExec();
    /// The window's report that the line handed to it is done.
    void batchCheckEnd();
    /// The result of the line handed out, tested by ":ifok" and ":ifng" (true unless a command
    /// reports otherwise).
    void setLastOk(bool ok) { lastOk_ = ok; }

private:
    void setRunning(bool running);
    bool jumpTo(const QString &label);

    std::atomic<bool> running_ = false;
    std::atomic<int> nextLine_ = 0;
    QStringList lines_;
    std::atomic<bool> lastOk_ = true;
    bool awaiting_ = false; // a line is out at the window
};
