#pragma once

// Qt
#include <QMetaType>
#include <QObject>

// Local
#include "ct/runparams.h"
#include "recon/volumefile.h"
#include <memory>

/// One slice on its way into the window's volume file, by value.
struct VolumeSlice
{
    int slice = 0;
    double cor = 0.0;
    Region region;
    RegionFloats values;
};

Q_DECLARE_METATYPE(VolumeSlice)

/// The settings of a window's run that decide its slices' values, as "name=value" items for the
/// volume file's record.
QStringList runSettingItems(const RunParams &run);

/// The window's volume file (HDF5 beside "Float TIFF"): the run library's `VolumeFileWriter` on the
/// saver's thread, fed in the order the slices are handed over, like the saver's records (both live
/// on that thread, whose queue keeps the order of what is posted to it). A slice that comes when no
/// file is started (the last slices of a stopped run) is dropped.
/// runs on: the saver thread (all slots).
class VolumeSaver : public QObject
{
    Q_OBJECT
public:
    explicit VolumeSaver(QObject *parent = nullptr);
    ~VolumeSaver() override;

public slots:
    void start(const QString &path, const VolumeLayout &layout);
    void add(const VolumeSlice &slice);
    /// Renames the file into place when every slice is in; otherwise it stays unfinished.
    void finish();

signals:
    void wrote(const QString &path);
    void writeFailed(const QString &path, const QString &why);
    /// A slice (or the finish) is done with; `bytes` is what it held.
    void recordDone(qint64 bytes);

private:
    std::unique_ptr<VolumeFileWriter> writer_;
    bool failed_ = false; // one message per file
};
