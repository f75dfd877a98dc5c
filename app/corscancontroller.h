#pragma once

// Qt
#include <QObject>

// Local
#include "config/joboutcome.h"
#include <memory>
#include <optional>

class CorScanPanel;
class LoadController;
class RunController;
struct CorScanRun;
struct CorLineGuess;
struct CorTrial;
struct WindowParts;

/// The window's search for the centre of rotation over many reconstructions, a client of the run
/// library like the command: the scan of one slice at a range of centres on the calculation
/// workers (the run library's schedule, engines and scan files), shown on the "CoR Scan" page; and
/// the guess along a range of slices that records the line of a tilted axis.
/// runs on: the main thread (its trials on the workers of the runs, a batch line's guess along a
/// range on a thread of its own).
/// \test tst_bodycalc.cpp, tst_headless.cpp
class CorScanController : public QObject
{
    Q_OBJECT
public:
    CorScanController(WindowParts &parts, CorScanPanel *panel, RunController &runs,
        const LoadController &load, QObject *parent = nullptr);
    ~CorScanController() override;

    bool isScanning() const { return scan_ != nullptr; }
    /// Starts a scan of the current slice at the centres from … to by step on the calculation
    /// workers, exactly as a run reconstructs it; false (the log says why) when it cannot start:
    /// nothing loaded, a run, a load or another scan under way, or a range without usable centres.
    /// With `fromBatch` its end reports the batch line (`finished`).
    bool start(double from, double to, double step, bool fromBatch = false);
    /// Stops handing out trials; those under way come back, then the scan ends, stopped (no files).
    void stop();
    /// "Guess along range": the chosen search at `count` slices spread over From … To, the two
    /// records set from the line fitted through them; false (the log says why) when no line came out.
    bool guessCorLine(int count);
    /// The same on a thread of its own, for a batch line that waits for it: false (the log says why)
    /// when it cannot start; else `guessLineFinished` says how it ended.
    bool startGuessCorLine(int count);
    bool isGuessingLine() const { return guess_ != nullptr; }
    /// Calls the guess under way off: it stops after the slice in hand and is not taken.
    void stopGuessCorLine();

signals:
    /// The scan has ended, all its trials back and its files written.
    void finished(const JobOutcome &outcome, bool fromBatch);
    /// The operator takes a centre of the scan.
    void centreTaken(double cor);
    /// A guess along a range started by `startGuessCorLine` has ended, its records set when `ok`.
    void guessLineFinished(bool ok);

private:
    struct GuessLineJob;
    struct GuessLineRun;
    std::optional<GuessLineJob> guessLineJob(int count) const;
    bool takeGuessLine(const GuessLineJob &job, const CorLineGuess &guess);
    void guessLineEnded();
    void clicked();
    void trialDone(const CorTrial &trial);
    void goOn();
    void finish();

    WindowParts &parts_;
    CorScanPanel *panel_;
    RunController &runs_;
    const LoadController &load_;
    std::unique_ptr<CorScanRun> scan_; // the scan under way
    std::unique_ptr<GuessLineRun> guess_; // a guess along a range under way on its own thread
};
