#include "xafs/mapwriter.h"

// Qt
#include <QDir>

// Local
#include "ct/atomicfile.h"
#include "xafs/mappicture.h"

namespace {

QString heading(const MapInfo &map, int slice)
{
    return map.unit.isEmpty() ? QStringLiteral("%1, slice %2").arg(map.title).arg(slice)
                              : QStringLiteral("%1 (%2), slice %3").arg(map.title, map.unit).arg(slice);
}

} // namespace

XanesMapWriter::XanesMapWriter(std::shared_ptr<const XanesPlan> plan, const QString &dir)
    : plan_(std::move(plan))
    , dir_(dir)
{
}

XanesMapWriter::~XanesMapWriter()
{
    abandon();
}

bool XanesMapWriter::begin(const VolumeShape &shape, const std::vector<int> &slices, QString &error)
{
    shape_ = shape;
    slices_ = slices;
    files_.clear();
    if (!QDir().mkpath(dir_)) {
        error = QStringLiteral("cannot make the output folder %1").arg(dir_);
        return false;
    }
    if (const QString why = directoryWriteProblem(dir_); !why.isEmpty()) {
        error = QStringLiteral("cannot write into %1: %2").arg(dir_, why);
        return false;
    }
    const QDir out(dir_);
    for (const MapInfo &map : plan_->maps()) {
        auto stack = std::make_unique<MapStackWriter>();
        if (!stack->create(
                out.filePath(map.name + QStringLiteral(".tif")), shape.nx, shape.ny, shape.nz, error)) {
            abandon();
            return false;
        }
        stacks_.push_back(std::move(stack));
    }
    middle_.assign(plan_->maps().size(), {});
    if (!file_.create(out.filePath(QStringLiteral("maps.h5")), plan_, shape, slices, error)) {
        abandon();
        return false;
    }
    return true;
}

bool XanesMapWriter::write(const XanesMapSlab &slab, QString &error)
{
    const std::vector<MapInfo> &maps = plan_->maps();
    const std::size_t plane = shape_.plane();
    const int middle = shape_.nz / 2;
    for (std::size_t m = 0; m < stacks_.size(); ++m)
        for (int z = 0; z < slab.nz; ++z) {
            const float *page = slab.map(int(m)) + std::size_t(z) * plane;
            const int slice = slices_[std::size_t(slab.z0 + z)];
            if (!stacks_[m]->appendPage(page, heading(maps[m], slice), error))
                return false;
            if (slab.z0 + z == middle)
                middle_[m].assign(page, page + plane);
        }
    return file_.write(slab, error);
}

bool XanesMapWriter::finish(const MapsRecord &record, QString &error)
{
    const std::vector<MapInfo> &maps = plan_->maps();
    const QDir out(dir_);
    QStringList problems;
    for (std::size_t m = 0; m < stacks_.size(); ++m) {
        QString why;
        if (stacks_[m]->finish(why))
            files_ << out.filePath(maps[m].name + QStringLiteral(".tif"));
        else
            problems << why;
    }
    QString why;
    if (file_.finish(record, why))
        files_ << out.filePath(QStringLiteral("maps.h5"));
    else
        problems << why;
    const int middle = shape_.nz / 2;
    for (std::size_t m = 0; m < maps.size(); ++m) {
        if (middle_[m].empty())
            continue; // never reached: the maps stopped before the middle
        const auto range
            = mapRange(middle_[m], isShareMap(maps[m].name) ? std::optional(std::pair(0.0, 1.0)) : std::nullopt);
        const QString path = out.filePath(maps[m].name + QStringLiteral(".png"));
        if (writeImageAtomically(path,
                mapPicture(
                    middle_[m], shape_.nx, shape_.ny, range, heading(maps[m], slices_[std::size_t(middle)])),
                &why))
            files_ << path;
        else
            problems << why;
    }
    stacks_.clear();
    if (problems.isEmpty())
        return true;
    error = problems.join(QStringLiteral("; "));
    return false;
}

void XanesMapWriter::abandon()
{
    for (auto &s : stacks_)
        s->abandon();
    stacks_.clear();
    file_.abandon();
}
