#include "xafs/xanesjob.h"

// Qt
#include <QDir>
#include <QFileInfo>

// Local
#include "xafs/xanesoptions.h"

bool xanesSettingsFromFields(const XanesFields &f, XanesSettings &settings, QString &error)
{
    // The command's own parser: one set of rules for every way in. The input and output it wants
    // are placeholders here; only the maps' settings are taken.
    if (f.edge.trimmed().isEmpty()) {
        error = QStringLiteral("give the edge energy in eV");
        return false;
    }
    QStringList args {QStringLiteral("series"), QStringLiteral("--out=out"),
        QStringLiteral("--edge=") + f.edge.trimmed(), QStringLiteral("--pre=") + f.pre.trimmed(),
        QStringLiteral("--post=") + f.post.trimmed(), QStringLiteral("--edge-window=") + f.edgeWindow.trimmed()};
    if (!f.standards.trimmed().isEmpty()) {
        args << QStringLiteral("--standards=") + f.standards.trimmed()
             << QStringLiteral("--fit=") + f.fit.trimmed();
        if (f.sumToOne)
            args << QStringLiteral("--sum-to-one");
    }
    if (!f.minJump.trimmed().isEmpty())
        args << QStringLiteral("--min-jump=") + f.minJump.trimmed();
    if (!f.pixelSize.trimmed().isEmpty())
        args << QStringLiteral("--pixel-size=") + f.pixelSize.trimmed();
    XanesOptions options;
    if (!parseXanesOptions(args, options, error))
        return false;
    settings = *options.maps;
    return true;
}

XanesInput xanesInputOf(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        const QString aligned = QDir(path).filePath(QStringLiteral("aligned.h5"));
        if (QFileInfo(aligned).isFile())
            return {aligned, true};
        return {path, false};
    }
    return {path, true};
}

const float *XanesMaps::slice(int map, int z) const
{
    for (const XanesMapSlab &slab : slabs)
        if (z >= slab.z0 && z < slab.z0 + slab.nz)
            return slab.map(map) + std::size_t(z - slab.z0) * shape.plane();
    return nullptr;
}
