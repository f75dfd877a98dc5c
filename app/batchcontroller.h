#pragma once

// Qt
#include <QHash>
#include <QObject>
#include <QTimer>

// Local
#include "automation/batchcmd.h"
#include <functional>
#include <vector>

class Batch;
class CorScanController;
class DataSaver;
class LinkController;
class LoadController;
class QThread;
class RunController;
class SequenceController;
class XanesPanel;
struct WindowParts;

/// The window's controllers a batch line acts on.
struct BatchPeers
{
    LoadController &load;
    RunController &runs;
    CorScanController &scan;
    LinkController &link;
    SequenceController &seq;
    XanesPanel &xanes;
};

/// The window's side of batch runs: the interpreter on the batch thread, the executor of the
/// command set (also of configuration lines and setup files), driven by the command table of
/// `automation/batchcommands.h`, and the report of each line's completion: at once, when the load
/// or data set it started has loaded, or when the run, scan, continuous run, sequential run or XANES
/// analysis it started has ended,
/// or failed when it waits longer than "batch_timeout". "app_quit" ends the program once everything
/// is idle and every result is on disk.
/// runs on: the main thread (the interpreter `Batch` on the batch thread).
/// \test tst_bodybatch.cpp, tst_headless.cpp
class BatchController : public QObject
{
    Q_OBJECT
public:
    /// What a line waits for before its completion is reported.
    enum class LineWait { None, Loading, SetLoading, Run, Scan, Guess, CorGuess, ContinuousRun, Xanes, Sequence };

    BatchController(WindowParts &parts, const BatchPeers &peers, QObject *parent = nullptr);
    ~BatchController() override;

    Batch *batch() const { return batch_; }
    /// Whether everything is at rest (set by the window): "app_quit" waits for it.
    void setIdle(std::function<bool()> idle) { idle_ = std::move(idle); }
    /// Executes one command line at once, as a configuration or setup-file line: its completion is
    /// reported to no batch run. False when the command failed (the debug log says why).
    bool execCommand(const BatchCmd &cmd);
    bool knowsCommand(const QString &word) const;
    void setQuitWhenBatchEnds(bool quit) { quit_.whenBatchEnds = quit; }
    /// The program's exit status after "app_quit": the status it named, else 1 when anything asked
    /// for failed, else 0. 0 when the window was closed otherwise.
    int exitStatus() const;
    /// "app_quit" has found everything done: the window closes without asking.
    bool isQuitting() const { return quit_.byCommand; }
    LineWait lineWait() const { return line_.wait; }
    void runConfigurationLines();

    /// The work a line waits for has ended: its completion is reported (`ok` or failed); false when
    /// no line waited for it.
    bool finishWait(LineWait kind, bool ok);
    /// The window's guess of the centre has ended: a "ct_guess_cor" line waiting for it is reported.
    void corGuessEnded(bool ok);
    /// A load has ended: a line that started it is reported, and a batch that waited starts.
    void loadFinished();
    /// The line handed out waits for a continuous 2DA run, started now or adopted, and is reported
    /// when it ends (at once when it cannot start): done only when every slice was analysed.
    void waitForContinuousRun();
    /// Starts the loaded batch once no load runs or waits.
    void batchExec();
    /// Ends the program once nothing is loading or calculating and every result is on disk.
    void appQuit();
    void tryQuit();

public slots:
    /// Executes a line handed out by the batch run and reports its completion.
    void batchExCmd(const BatchCmd &cmd);

signals:
    void callBatchLoad(const QString &fileName);
    void callBatchExec();
    void callBatchCheckEnd();
    void callBatchLastOk(bool ok);
    /// "calc_exec": the run starts.
    void calcStart();
    /// A line that waited has timed out: what it waited for is called off.
    void waitTimedOut(LineWait kind);
    /// Region lines, and the I0 or BG image cleared.
    void calcRegionSet(double x0, double z0, double x1, double z1);
    void dispRegionSet(double x0, double z0, double x1, double z1);
    void i0OrBgChanged();
    /// Pages of the image tabs to show: a page, or the page of a worker.
    void showPage(QWidget *page);
    void showWorkerPage(int index);
    /// Everything is done: the window closes.
    void quitNow();

private:
    enum class Completion {
        Now,
        AfterLoading,
        AfterSetLoading,
        AfterRun,
        AfterScan,
        AfterGuess,
        AfterContinuousRun,
        AfterXanes,
        AfterSequence,
        AtExit
    };
    struct Outcome
    {
        Completion completion = Completion::Now;
        bool ok = true; // the result ":ifok" and ":ifng" test
        bool conditionOnly = false; // a false result answers a question and is no failure
    };
    using Action = std::function<Outcome(const BatchCmd &cmd, bool fromBatch)>;
    // The bindings of the command table's families (batchactions.cpp).
    struct Bindings;
    void buildActions();
    Bindings bindings();
    void bindValues(Bindings &b);
    void bindOthers(Bindings &b);
    void bindSeqAndLink(Bindings &b);
    void bindXanes(Bindings &b); // batchxanes.cpp
    Outcome runCommand(const BatchCmd &cmd, bool fromBatch);
    /// Reports the line handed out as done; a line that is not `ok` counts as failed unless it only
    /// answered a question (`failure` false).
    void reportBatchLine(bool ok, bool failure = true);
    bool isBatchLineWaiting() const;
    void batchLineTimedOut();
    /// Says how "ct_guess_cor" ended (the centre taken, or that it stays) and returns `guessed`.
    bool reportCorGuess(bool guessed);
    void quitWhenSaved();

    // Who asked for the load under way: a batch line waits for it; a configuration or setup line's
    // failed load still counts.
    enum class LoadAsker { None, Batch, Line };
    // The line handed out and what it waits for.
    struct Line
    {
        QString text;
        LineWait wait = LineWait::None;
        int timeoutMs = 0; // "batch_timeout": how long it may wait for its work (0: no limit)
        LoadAsker loadAsker = LoadAsker::None;
        QString loadDir;
        bool batchStartWaits = false; // the batch starts when the loading under way has finished
    };
    // How the run of the program ends.
    struct Quit
    {
        bool requested = false;
        bool byCommand = false;
        bool whenBatchEnds = false;
        int status = -1; // named by "app_quit N"
    };

    WindowParts &parts_;
    BatchPeers peers_;
    Batch *batch_ = nullptr;
    QThread *thread_ = nullptr;
    std::vector<Action> actions_; // by the position of the command in the table
    std::function<bool()> idle_ = [] { return true; };
    Line line_;
    QTimer lineTimer_;
    Quit quit_;
};
