#pragma once

// Qt
#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

// Local
#include "app/config/timeleft.h"
#include "app/recon/reconoptions.h"
#include "ct/slicerecon.h"
#include <vector>

class QThread;
class SliceWorker;

/// The headless reconstruction: loads the projections (and I0/BG) with the window's readers,
/// reconstructs the slices on a pool of worker threads with the window's engine and writes the
/// window's files, each appearing under its name only when complete.
class ReconRun : public QObject
{
    Q_OBJECT
public:
    ReconRun(const ReconOptions &options, QTextStream &out, QTextStream &err);
    ~ReconRun() override;

    /// Does the whole job; 0 on success, 1 when an input could not be used or a file not written.
    int exec();

private slots:
    void sliceDone(const SliceResult &result);

private:
    bool load();
    bool prepare();
    void dispatch(size_t worker);
    void writeResult(const SliceResult &result);
    bool fail(const QString &message);

    ReconOptions options_;
    QTextStream &out_;
    QTextStream &err_;
    ProjectionSet set_;
    SinogramRequest request_;
    SliceTask task_;
    QList<int> slices_;
    qsizetype next_ = 0;
    qsizetype done_ = 0;
    int engineLength_ = 0;
    bool failed_ = false;
    std::vector<QThread *> threads_;
    std::vector<SliceWorker *> workers_;
    QElapsedTimer clock_;
    TimeLeft timeLeft_; // of the slices, from the first dispatch
};
