#pragma once

// Standard
#include <atomic>

// Qt
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

// Local
#include "automation/batchcmd.h"
#include "automation/batchfile.h"

/// The batch interpreter: walks the lines of a batch file one at a time, handles the flow words
/// (":ifok", ":ifng", ":goto", ":end", ":stop", ":echo"), labels and blank lines itself and hands
/// every command line to the main window, which executes it and reports back with `batchCheckEnd`
/// when it is done. Exactly one line is outstanding at the window at a time.
///
/// A word that is neither a command, a flow word nor a label (the target of some ":goto") fails its
/// line, as does a ":goto" to a missing label; lines that are no commands leave the last result as
/// it was. A jump that comes back to its label `maxFlowPasses` times with no command line between
/// (a loop of flow lines alone, which would run for ever) stops the run as failed.
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

    static constexpr qint64 maxFileSize = maxBatchFileBytes;
    static constexpr int maxFlowPasses = 100000;

signals:
    void batchExecNext();
    void batchFinishALine();
    void batchExCmd(const BatchCmd &cmd);
    /// The run ended (by ":end"/":stop", the last line, or a stop).
    void runEnded();
    /// A batch file could not be read; the previous lines are kept.
    void loadFailed(const QString &fileName);
    /// A line failed here, without reaching the window (a word that is no command, a jump to no
    /// label, a loop of flow lines that was stopped).
    void lineFailed();

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
    void findLabels();
    void failLine(const QString &why);
    // The next step, or the end of the run when there are no lines.
    void goOn();

    std::atomic<bool> running_ = false;
    std::atomic<int> nextLine_ = 0;
    QStringList lines_;
    std::vector<BatchLineOrigin> origins_; // of each line
    QSet<QString> labels_; // the words that ":goto" lines name
    QHash<QString, int> passes_; // jumps to each label since the last command line
    std::atomic<bool> lastOk_ = true;
    bool awaiting_ = false; // a line is out at the window
};
