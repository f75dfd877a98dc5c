#include "recon/blocklines.h"

// Local
#include "imagedata/imgdata.h"
#include "imagedata/lineblock.h"
#include <algorithm>

ProjectionSet readBlockLines(const BlockSources &f, std::vector<int> lines, QString &error)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    ProjectionSet set;
    set.width = f.width;
    set.height = f.height;
    set.images.reserve(f.images.size());
    for (const ImageSource &source : f.images) {
        std::shared_ptr<const ImgData> block = readLineBlock(source, f.rowLines, lines, f.width, f.height);
        if (!block) {
            error = QStringLiteral("cannot read %1").arg(source.label());
            return {};
        }
        set.images.push_back(std::move(block));
    }
    for (auto [source, target] : {std::pair {&f.i0, &set.i0}, std::pair {&f.bg, &set.bg}}) {
        if (source->isEmpty())
            continue;
        *target = readLineBlock(*source, f.rowLines, lines, f.width, f.height);
        if (!*target) {
            error = QStringLiteral("cannot read %1").arg(source->label());
            return {};
        }
    }
    return set;
}
