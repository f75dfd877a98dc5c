#pragma once

// Qt
#include <QObject>

// Local
#include "recon/dataseries.h"

/// One data set of the Ormel standard layout, owned by the data-set selector, which deletes it
/// when it scans a folder again.
class CtFileSet : public QObject
{
    Q_OBJECT
public:
    CtFileSet(const OrmelSet &set, QObject *parent = nullptr)
        : QObject(parent)
        , set_(set)
    {
    }

    const OrmelSet &set() const { return set_; }
    const QString &firstFileName() const { return set_.firstFileName; }
    const QString &groupKey() const { return set_.groupKey; }
    const QString &name() const { return set_.name; }
    const EnergyField &energyField() const { return set_.energy; }
    const QFileInfoList &files() const { return set_.files; }

private:
    OrmelSet set_;
};
