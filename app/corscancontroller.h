#pragma once

// Qt
#include <QObject>

// Local
#include "config/joboutcome.h"
#include <functional>
#include <memory>

class CorScanPanel;
class LoadController;
class RunController;
struct CorScanRun;
struct CorTrial;
struct WindowParts;

/// The window's search for the centre of rotation over many reconstructions, a client of the run
/// library like the command: the scan of one slice at a range of centres on the calculation
/// workers (the run library's schedule, engines and scan files), shown on the "CoR Scan" page; and
/// the guess along a range of slices that records the line of a tilted axis.
/// runs on: the main thread (its trials on the workers of the runs).
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
    /// records set from the line fitted through them; false (the log says why) when no line came out,
    /// or when `tooLate` says the line came too late (the records stay as they were then).
    bool guessCorLine(int count, const std::function<bool()> &tooLate = {});

signals:
    /// The scan has ended, all its trials back and its files written.
    void finished(const JobOutcome &outcome, bool fromBatch);
    /// The operator takes a centre of the scan.
    void centreTaken(double cor);

private:
    void clicked();
    void trialDone(const CorTrial &trial);
    void goOn();
    void finish();

    WindowParts &parts_;
    CorScanPanel *panel_;
    RunController &runs_;
    const LoadController &load_;
    std::unique_ptr<CorScanRun> scan_; // the scan under way
};
