#pragma once

// Qt
#include <QString>
#include <QStringList>

// Local
#include "imagedata/hdf5access.h"

/// The pieces of a NeXus file the volumes, the aligned series and the maps are written with. Every
/// call is made under an `hdf5::Lock`; a failed one returns false or an invalid identifier.
namespace nexus {

/// A UTF-8 string attribute.
bool stringAttribute(hid_t object, const char *name, const QString &value);
/// An attribute holding an array of strings, as NeXus lists the axes of a signal.
bool stringArrayAttribute(hid_t object, const char *name, const QStringList &values);
bool intAttribute(hid_t object, const char *name, int value);
/// A group with its NX_class.
hdf5::Id group(hid_t parent, const char *name, const char *nxClass);
/// A dataset of `rank` dimensions written whole from `data` (of `memType`), stored as `fileType`.
hdf5::Id dataset(hid_t parent, const char *name, hid_t fileType, hid_t memType, int rank, const hsize_t *dims,
    const void *data);
/// A scalar string dataset.
hdf5::Id stringDataset(hid_t parent, const char *name, const QString &value);
/// A scalar double with its unit (none when `units` is empty).
hdf5::Id numberDataset(hid_t parent, const char *name, double value, const QString &units = QString());

} // namespace nexus
