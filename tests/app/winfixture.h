#pragma once

// Qt
#include <QSignalSpy>
#include <QTest>

// Local
#include "app/body.h"
#include "ct/ui/procctrl.h"
#include "ct/ui/selectsavedir.h"
#include "ct/ui/sinogram.h"
#include "tools/phantom/phantom.h"
#include <memory>

/// A noiseless scan of one ellipse (centre of rotation 32 on lines of 64 pixels) as `dir/p/p*.img`,
/// with `dir/i0.img` and `dir/bg.img`.
inline bool writeEllipseScan(const QString &dir, int height, int projections)
{
    Phantom phantom;
    phantom.parts.push_back({5, -3, 0, 10, 7, 100, 0.3, 0.02});
    ScanSetup setup;
    setup.width = 64;
    setup.height = height;
    setup.cor = 32;
    setup.projections = projections;
    setup.noise = 0;
    return writeScan(phantom, setup, dir + QStringLiteral("/p"), QStringLiteral("p"),
        dir + QStringLiteral("/i0.img"), dir + QStringLiteral("/bg.img"));
}

/// A window with the projections of `files` loaded (a folder, or the files themselves), shown at
/// `size` unless that is empty. Null if the load never ended.
inline std::unique_ptr<Body> loadedWindow(
    const QStringList &files, int workers, QSize size = {}, bool verticalAxis = true)
{
    auto body = std::make_unique<Body>(nullptr, workers);
    if (!size.isEmpty()) {
        body->resize(size);
        body->show();
        if (!QTest::qWaitForWindowExposed(body.get()))
            return nullptr;
    }
    body->ui().procCtrl->setRotAxV(verticalAxis);
    QSignalSpy loaded(body.get(), &Body::finishedLoadingCTFiles);
    if (files.size() == 1 && QFileInfo(files.first()).isDir())
        body->ui().CTFiles->selectDirFiles(files.first(), {});
    else
        body->ui().CTFiles->filesChosen(files);
    if (!loaded.wait(10000))
        return nullptr;
    return body;
}

/// Clicks "Calc" and waits for the run's end (a run without work may end at once).
inline bool calcAndWait(Body &body, int ms = 10000)
{
    QSignalSpy finished(&body, &Body::calcFinished);
    body.ui().CalcCT->click();
    return !finished.isEmpty() || finished.wait(ms);
}

/// Clicks "Guess CoR" and waits for the guess, which computes on a thread of its own.
inline bool guessAndWait(Body &body, int ms = 20000)
{
    QSignalSpy finished(body.sinogram(), &Sinogram::guessFinished);
    body.sinogram()->ui().GuessCor->click();
    return !finished.isEmpty() || finished.wait(ms);
}

/// Auto Exec (CT2) over slices from … to, `threads` of the workers (−1: as they are).
inline void setSlices(ProcCtrl *p, int from, int to, int step = 1, int threads = -1)
{
    p->setAutoExec(true);
    p->setSliceFrom(from);
    p->setSliceTo(to);
    p->setSliceStep(step);
    if (threads >= 0)
        p->setThreads(threads);
}

/// The runs' data files (and images if asked) go straight into `dir`, named `name-tag-slice`.
inline void saveInto(
    Body &body, const QString &dir, const QString &tag = {}, bool images = false, const QString &name = {})
{
    for (SelectSaveDir *s : {body.ui().SelectImageSaveDir, body.ui().SelectDataSaveDir}) {
        s->setDir(dir);
        s->setName(name);
        s->setTag(tag);
    }
    body.ui().AutoSaveData->setChecked(true);
    body.ui().AutoSaveImage->setChecked(images);
    body.ui().SaveInSubFolders->setChecked(false);
}
