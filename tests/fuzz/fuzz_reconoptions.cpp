// The options of quorvel-recon, one argument a line, parsed and then checked as the command checks
// them once its projections are loaded (here 180 images of 2048 slices), with the calculation region
// and the value window written into a data file of a 64-pixel slice.

// Local
#include "recon/reconoptions.h"
#include "ct/ctimagefile.h"
#include "tests/fuzz/fuzzsupport.h"
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    setDataFileByteLimit(256 << 20); // data files well inside the fuzzer's memory limit
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments;
    for (const QByteArray &line :
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n'))
        arguments << QString::fromLocal8Bit(line);
    ReconOptions options;
    QString error;
    if (!parseReconOptions(arguments, options, error))
        return 0;
    constexpr int extent = 2048;
    constexpr int images = 180;
    const int from = options.sliceFrom.value_or(extent / 2);
    const int to = options.sliceFrom ? options.sliceTo : extent / 2;
    QList<int> slices;
    checkedSliceList(from, to, options.sliceStep, extent, slices, error);
    checkPartial(options, images, error);
    static const std::vector<double> slice(64 * 64, 0.5);
    ctImageDataText(slice, 64, options.region.value_or(Region {0, 0, 64, 64}), options.window);
    return 0;
}
