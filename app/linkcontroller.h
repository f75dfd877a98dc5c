#pragma once

// Qt
#include <QObject>

// Local
#include "config/joboutcome.h"
#include "link/ui/zelmaplink.h"

struct WindowParts;

/// The window's control of the 2dZelmap viewer link: loading a slice's saved data files into the
/// viewer, its 2D analysis ("2DA"), and continuous runs that do both over the slice range, each
/// ending with a `JobOutcome`.
/// runs on: the main thread (the link's socket too).
/// \test tst_bodylink.cpp
class LinkController : public QObject
{
    Q_OBJECT
public:
    explicit LinkController(WindowParts &parts, QObject *parent = nullptr);

    ZelmapLink &link() { return link_; }
    /// 0 idle; 1 a load request is out; 2 a 2DA request is out.
    int stage() const { return static_cast<int>(viewer_.stage); }
    bool isContRunning() const { return cont_.running; }
    /// Asks the viewer to load the saved data files of slice `sliceNo` and makes it current.
    void loadSlice(int sliceNo);
    /// Ends a continuous run: finished when `why` is empty, else failed (or `stopped`) for that reason.
    void endCont(const QString &why, bool stopped = false);

public slots:
    void exec2dA0();
    void setupZelmapLink();
    void zmlInitFlags();
    void zmlChangedIsBusy(bool f);
    void zmlStageCtrl();
    void zmlStartCont2dA();
    void zmlSetSendMsg(bool on);
    void zmlConnect();

signals:
    void zmlLoadFilesOfPattern(const QString &path);
    void zmlLoadFiles(const QStringList &fileList);
    void zmlStatChanged();
    void exec2dA(const QString &sliceNoS);
    /// A continuous run has ended: slices asked, analysed, and why it did not finish.
    void contEnded(const JobOutcome &outcome);

private:
    enum class Stage { Idle = 0, Loading = 1, Analysing = 2 };
    // The continuous run over the slice range.
    struct Continuous
    {
        bool running = false;
        int from = 0, to = 0, current = 0, step = 0;
        int done = 0; // slices analysed
    };
    void setContRunning(bool on);
    void linkStateChanged();

    WindowParts &parts_;
    ZelmapLink link_;
    // The exchange with the viewer: its busy state as last received, and the request out.
    struct Viewer
    {
        bool busy = false;
        Stage stage = Stage::Idle;
    };
    Viewer viewer_;
    Continuous cont_;
};
