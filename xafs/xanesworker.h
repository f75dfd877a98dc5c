#pragma once

// Qt
#include <QObject>
#include <QStringList>

// Local
#include "config/joboutcome.h"
#include "xafs/voxelspectrum.h"
#include "xafs/xanesjob.h"
#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(XanesSettings)
Q_DECLARE_METATYPE(VoxelSpectrum)

/// The window's XANES analysis: the maps of a series (XanesAnalysis, as quorvel-xanes makes them)
/// kept whole for display, a voxel's spectrum from the series analysed, and the maps' files
/// (XanesMapWriter, the command's). The series stays open between an analysis and its spectra.
/// runs on: the XANES thread of the window (cancel() from any thread)
/// \test tst_xanestab.cpp
class XanesWorker : public QObject
{
    Q_OBJECT
public:
    explicit XanesWorker(QObject *parent = nullptr);
    ~XanesWorker() override;

    /// The analysis under way stops at its next block; safe from any thread.
    void cancel() { cancel_ = true; }
    /// Before an analysis is asked for (so that a stop that comes before it starts still counts).
    void clearCancel() { cancel_ = false; }

public slots:
    /// Analyses `input` (see xanesInputOf) with `threads` threads; ends with `analysed`.
    void analyse(const QString &input, const XanesSettings &settings, int threads);
    /// The spectrum of voxel (z, y, x) of the series last analysed; ends with `spectrumReady`.
    void spectrum(int z, int y, int x);
    /// Writes the files of the maps last made into `dir` (made if missing); ends with `saved`.
    void save(const QString &dir);

signals:
    /// Slices done of the slices of a pass (the pre-edge noise, then the maps).
    void progress(const XanesProgress &progress);
    /// The analysis has ended: its slices asked, done and failed; the maps when it worked.
    void analysed(const JobOutcome &outcome, const XanesMapsPtr &maps);
    /// `error` empty when the spectrum was read.
    void spectrumReady(const VoxelSpectrum &spectrum, const QString &error);
    void saved(const JobOutcome &outcome, const QStringList &files);

private:
    std::unique_ptr<SlabSource> source_;
    XanesMapsPtr maps_;
    std::atomic<bool> cancel_ {false};
};
