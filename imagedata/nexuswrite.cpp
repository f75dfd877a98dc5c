#include "imagedata/nexuswrite.h"

// Local
#include <algorithm>
#include <cstring>

namespace nexus {

using hdf5::Id;

namespace {

Id stringType(const QByteArray &text)
{
    Id type(H5Tcopy(H5T_C_S1));
    H5Tset_size(type.get(), std::max<size_t>(1, size_t(text.size())));
    H5Tset_strpad(type.get(), H5T_STR_NULLTERM);
    H5Tset_cset(type.get(), H5T_CSET_UTF8);
    return type;
}

} // namespace

bool stringAttribute(hid_t object, const char *name, const QString &value)
{
    const QByteArray text = value.toUtf8();
    Id type = stringType(text);
    Id space(H5Screate(H5S_SCALAR));
    Id attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT));
    return attribute && H5Awrite(attribute.get(), type.get(), text.constData()) >= 0;
}

// NeXus lists the axes of a signal as an array of names.
bool stringArrayAttribute(hid_t object, const char *name, const QStringList &values)
{
    qsizetype width = 1;
    for (const QString &v : values)
        width = std::max(width, v.toUtf8().size() + 1);
    QByteArray packed(width * values.size(), '\0');
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QByteArray v = values[i].toUtf8();
        std::memcpy(packed.data() + i * width, v.constData(), size_t(v.size()));
    }
    Id type(H5Tcopy(H5T_C_S1));
    H5Tset_size(type.get(), size_t(width));
    H5Tset_strpad(type.get(), H5T_STR_NULLTERM);
    const hsize_t count = hsize_t(values.size());
    Id space(H5Screate_simple(1, &count, nullptr));
    Id attribute(H5Acreate2(object, name, type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT));
    return attribute && H5Awrite(attribute.get(), type.get(), packed.constData()) >= 0;
}

bool intAttribute(hid_t object, const char *name, int value)
{
    Id space(H5Screate(H5S_SCALAR));
    Id attribute(H5Acreate2(object, name, H5T_STD_I32LE, space.get(), H5P_DEFAULT, H5P_DEFAULT));
    return attribute && H5Awrite(attribute.get(), H5T_NATIVE_INT, &value) >= 0;
}

Id group(hid_t parent, const char *name, const char *nxClass)
{
    Id g(H5Gcreate2(parent, name, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (g && !stringAttribute(g.get(), "NX_class", QString::fromLatin1(nxClass)))
        g.reset();
    return g;
}

// A dataset of `rank` dimensions written whole from `data` (of `memType`), stored as `fileType`.
Id dataset(hid_t parent, const char *name, hid_t fileType, hid_t memType, int rank, const hsize_t *dims,
    const void *data)
{
    Id space(rank == 0 ? H5Screate(H5S_SCALAR) : H5Screate_simple(rank, dims, nullptr));
    Id set(H5Dcreate2(parent, name, fileType, space.get(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    if (set && H5Dwrite(set.get(), memType, H5S_ALL, H5S_ALL, H5P_DEFAULT, data) < 0)
        set.reset();
    return set;
}

Id stringDataset(hid_t parent, const char *name, const QString &value)
{
    const QByteArray text = value.toUtf8();
    Id type = stringType(text);
    return dataset(parent, name, type.get(), type.get(), 0, nullptr, text.constData());
}

Id numberDataset(hid_t parent, const char *name, double value, const QString &units)
{
    Id set = dataset(parent, name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, 0, nullptr, &value);
    if (set && !units.isEmpty() && !stringAttribute(set.get(), "units", units))
        set.reset();
    return set;
}

} // namespace nexus
