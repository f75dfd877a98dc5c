#include "imagedata/pixelblock.h"

// Local
#include <cstdint>
#ifdef __linux__
#include <sys/mman.h>
#endif

void adviseHugePages(void *data, std::size_t size)
{
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

void PixelBlock::resize(std::size_t size)
{
    bytes_.reset(size ? new unsigned char[size] : nullptr);
    size_ = size;
    if (size)
        adviseHugePages(bytes_.get(), size);
}
