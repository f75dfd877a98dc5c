#pragma once

// Qt
#include <QList>
#include <QObject>
#include <QStringList>

// Local
#include "ct/savenaming.h"
#include "ct/savingrecords.h"
#include <utility>

/// What became of writing one record: the paths written, and those that failed with the reason.
struct WriteReport
{
    QStringList written;
    QList<std::pair<QString, QString>> failed;
};

/// Writes a record into every folder of `rule`, named by the naming rule; each file appears under its
/// name only when complete. The one writer of slice files: the window's saver and the command use it.
WriteReport writeRecord(const SavingData &record, const SubFolderRule &rule);
WriteReport writeRecord(const SavingImg &record, const SubFolderRule &rule);

/// Writes the slices of the window's runs on a thread of its own, in the order they arrive: a data
/// file, a float TIFF and a PNG image per slice, named and placed by the naming and sub-folder
/// rules. A write that fails is reported (debug message and `writeFailed`) and the next record is
/// written normally. Records come by value.
/// runs on: the saver thread (all slots).
class DataSaver : public QObject
{
    Q_OBJECT
public:
    explicit DataSaver(QObject *parent = nullptr);

signals:
    /// A file could not be written; `image` tells which kind.
    void writeFailed(bool image, const QString &path);
    /// A file was written.
    void wrote(const QString &path);
    /// A record is done with (written or reported failed); `bytes` is what it held (the data text
    /// or the image).
    void recordDone(qint64 bytes);

public slots:
    void saveData(const SavingData &data);
    void saveImg(const SavingImg &img);
    void setSubFolderRule(const SubFolderRule &rule) { rule_ = rule; }

private:
    void report(const WriteReport &report, bool image);

    SubFolderRule rule_;
};

Q_DECLARE_METATYPE(SubFolderRule)
