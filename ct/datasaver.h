#pragma once

// Qt
#include <QObject>

// Local
#include "ct/savenaming.h"
#include "ct/savingrecords.h"

/// Writes the results of the calculation workers on a thread of its own, in the order they arrive:
/// a data file and a PNG image per slice, named and placed by the naming and sub-folder rules. Every
/// file is written under a temporary name and renamed when complete. A write that fails is reported
/// (debug message and `writeFailed`) and the next record is written normally.
/// All slots run on the saver's thread.
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
    /// A record handed over with a discarding slot is done with (written or reported failed);
    /// `bytes` is what it held (the data text or the image).
    void recordDone(qint64 bytes);

public slots:
    void saveDataWDiscard(SavingData *data);
    void saveData(SavingData *data);
    void saveImg(SavingImg *img);
    void saveImgWDiscard(SavingImg *img);
    void setSubFolderRule(const SubFolderRule &rule) { rule_ = rule; }

private:
    // Writes one record into every folder of the sub-folder rule, reporting failures.
    template<class Record, class Write> void writeEverywhere(const Record &r, bool image, Write write);

    SubFolderRule rule_;
};

Q_DECLARE_METATYPE(SubFolderRule)
