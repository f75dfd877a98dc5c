// Sinogram generation from memory-resident 16-bit projections: one 2048-pixel line of 1800
// projections, with the I0/BG correction (one logarithm per sample).

// Qt
#include <QCoreApplication>
#include <QTemporaryDir>

// Local
#include "bench/benchutil.h"
#include "ct/sinogramgen.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include "imagedata/projectionset.h"
#include <memory>
#include <random>
#include <vector>

namespace {

struct Images
{
    ProjectionSet set;
};

// `count` projections of w × h (each with its own pixel memory, read from one file).
Images makeImages(const QTemporaryDir &dir, int w, int h, int count)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    std::mt19937 rng(7);
    std::uniform_int_distribution<uint32_t> counts(200, 60000);
    for (auto &p : px)
        p = counts(rng);
    const QString path = dir.filePath(QStringLiteral("p_%1x%2.img").arg(w).arg(h));
    writeItexFile(path, {w, h, 2, 1.0, px});
    std::vector<uint32_t> flat(px.size(), 62000), dark(px.size(), 100);
    writeItexFile(dir.filePath(QStringLiteral("i0.img")), {w, h, 2, 1.0, flat});
    writeItexFile(dir.filePath(QStringLiteral("bg.img")), {w, h, 2, 1.0, dark});
    Images images;
    for (int k = 0; k < count; ++k)
        images.set.images.push_back(openImgData(path));
    images.set.i0 = openImgData(dir.filePath(QStringLiteral("i0.img")));
    images.set.bg = openImgData(dir.filePath(QStringLiteral("bg.img")));
    images.set.width = w;
    images.set.height = h;
    return images;
}

void measure(const QString &name, const ProjectionSet &set, bool rowLines, double cor)
{
    SinogramData s;
    const SinogramRequest request {rowLines, cor, 5, false, 0, 0};
    const double seconds = bestSeconds(5, [&] { genSinogram0(s, set, request); });
    const double samples = double(s.width) * s.height;
    printFigure(name + QStringLiteral(" time"), seconds * 1e3, QStringLiteral("ms"));
    printFigure(name, samples / seconds / 1e6, QStringLiteral("M corrected samples/s"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int projections = 1800;
    {
        // Vertical axis: the slice line is an image row.
        const Images rows = makeImages(dir, 2048, 16, projections);
        measure(QStringLiteral("sinogram, 2048-pixel rows x 1800"), rows.set, true, 1023.5);
    }
    {
        // Horizontal axis: the slice line is an image column, 512 bytes between its pixels.
        const Images columns = makeImages(dir, 256, 2048, projections);
        measure(QStringLiteral("sinogram, 2048-pixel columns x 1800"), columns.set, false, 1023.5);
    }
    return 0;
}
