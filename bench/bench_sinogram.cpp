// Sinogram generation from memory-resident 16-bit projections with the I0/BG correction (one
// logarithm per sample): 2048-pixel rows (vertical axis) of 1800 projections, and 2048-pixel columns
// (horizontal axis) of 2048 × 2048 images, 4 kB between the pixels of a line (240 projections, 1.9 GB
// of pixels). One slice at a time as the sinogram panel builds it (with the raw values it shows), and
// a block of slices at a time as the calculation workers do (attenuation only).

// Qt
#include <QCoreApplication>
#include <QTemporaryDir>

// Local
#include "bench/benchutil.h"
#include "ct/sinogramgen.h"
#include "imagedata/imgdata.h"
#include "imagedata/imgfiletype.h"
#include "imagedata/itexwriter.h"
#include "imagedata/lineblock.h"
#include "imagedata/projectionset.h"
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

// `count` projections of w × h, each with its own pixel memory (read from one file).
ProjectionSet makeImages(const QTemporaryDir &dir, int w, int h, int count)
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
    ProjectionSet set;
    for (int k = 0; k < count; ++k)
        set.images.push_back(openImgData(path));
    set.i0 = openImgData(dir.filePath(QStringLiteral("i0.img")));
    set.bg = openImgData(dir.filePath(QStringLiteral("bg.img")));
    set.width = w;
    set.height = h;
    return set;
}

// `count` blocks of `lines` lines of random 16-bit counts (the slices from 16 on) of w × h images,
// as the command without a window reads them, with I0 and BG blocks of the same lines.
ProjectionSet makeLineBlocks(int w, int h, bool rowLines, int lines, int count)
{
    std::vector<int> slices(static_cast<size_t>(lines));
    std::iota(slices.begin(), slices.end(), 16);
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> counts(200, 60000);
    auto block = [&](int fixed) {
        auto b = std::make_shared<ImgDataLineBlock>(QString(), w, h, rowLines, slices);
        b->allocate(ImgDataLineBlock::Storage::U16);
        const int length = rowLines ? w : h;
        for (int k = 0; k < lines; ++k)
            for (int i = 0; i < length; ++i)
                b->u16Line(k)[i] = static_cast<uint16_t>(fixed > 0 ? fixed : counts(rng));
        return b;
    };
    ProjectionSet set;
    for (int k = 0; k < count; ++k)
        set.images.push_back(block(0));
    set.i0 = block(62000);
    set.bg = block(100);
    set.width = w;
    set.height = h;
    return set;
}

// Slices from 16 on (a block starts on a cache line of 16-bit pixels).
void measure(const QString &name, const ProjectionSet &set, bool rowLines, int block, bool keepRaw)
{
    std::vector<SinogramData> s(static_cast<size_t>(block));
    std::vector<int> slices(static_cast<size_t>(block));
    std::iota(slices.begin(), slices.end(), 16);
    const SinogramRequest request {rowLines, 1023.5, 16, false, 0, 0};
    const double seconds = bestSeconds(5, [&] { genSinograms(s, set, request, slices, keepRaw); });
    const double samples = double(s[0].width) * s[0].height * block;
    printFigure(name + QStringLiteral(", per slice"), seconds / block * 1e3, QStringLiteral("ms"));
    printFigure(name, samples / seconds / 1e6, QStringLiteral("M corrected samples/s"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (helpAsked(argc, argv, R"(Usage: bench_sinogram
Sinogram generation from memory-resident 16-bit projections with the I0/BG correction, for rows and
columns, one slice at a time (the sinogram panel) and a block of slices at a time (the workers).
)"))
        return 0;
    QCoreApplication app(argc, argv);
    printProcessor();
    QTemporaryDir dir;
    {
        const ProjectionSet rows = makeImages(dir, 2048, 40, 1800);
        measure(QStringLiteral("sinogram, 2048-pixel rows x 1800, one slice"), rows, true, 1, true);
        measure(QStringLiteral("sinogram, 2048-pixel rows x 1800, block of 16"), rows, true, 16, false);
    }
    {
        const ProjectionSet columns = makeImages(dir, 2048, 2048, 240);
        measure(QStringLiteral("sinogram, 2048-pixel columns x 240, one slice"), columns, false, 1, true);
        measure(QStringLiteral("sinogram, 2048-pixel columns x 240, block of 16"), columns, false, 16, false);
        measure(QStringLiteral("sinogram, 2048-pixel columns x 240, block of 32"), columns, false, 32, false);
    }
    {
        // As the command builds them: from blocks of the slices' lines read from the files.
        const ProjectionSet rows = makeLineBlocks(2048, 2048, true, 16, 1800);
        measure(QStringLiteral("sinogram, line blocks, 2048-pixel rows x 1800, block of 16"), rows, true, 16,
            false);
    }
    {
        const ProjectionSet columns = makeLineBlocks(2048, 2048, false, 16, 1800);
        measure(QStringLiteral("sinogram, line blocks, 2048-pixel columns x 1800, block of 16"), columns,
            false, 16, false);
    }
    return 0;
}
