// The viewer link's reading of received bytes: the stream cut into lines in deliveries of the sizes
// the input's first bytes choose (so a line may arrive in pieces, and an overlong one is dropped),
// each line read as an "ISBUSY" message. The splitter must never hand out a line holding a line feed
// or beyond its limit, nor keep more than the limit waiting.

// Local
#include "link/isbusymsg.h"
#include "link/linesplitter.h"
#include <cstddef>
#include <cstdint>

namespace {

constexpr qsizetype limit = 64; // small, so that the fuzzer reaches the overlong-line path

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte: the delivery sizes (1 … 16 bytes, cycled from the following bytes).
    const size_t sizesCount = 1 + data[0] % 8;
    if (size < 1 + sizesCount)
        return 0;
    const uint8_t *sizes = data + 1;
    const char *stream = reinterpret_cast<const char *>(data + 1 + sizesCount);
    const size_t streamSize = size - 1 - sizesCount;

    LineSplitter splitter(limit);
    size_t at = 0;
    for (size_t k = 0; at < streamSize; ++k) {
        const size_t n = std::min<size_t>(1 + sizes[k % sizesCount] % 16, streamSize - at);
        for (const QByteArray &line : splitter.feed(QByteArrayView(stream + at, qsizetype(n)))) {
            check(line.size() <= limit && !line.contains('\n'));
            if (const auto msg = parseIsBusy(line)) {
                check(msg->hasFlag || !msg->busy);
                check(msg->finished == msg->finished.toUpper());
            }
        }
        check(splitter.pending() <= limit);
        at += n;
    }
    // The same bytes as one line each, whatever they hold.
    (void)parseIsBusy(QByteArray(stream, qsizetype(streamSize)));
    return 0;
}
