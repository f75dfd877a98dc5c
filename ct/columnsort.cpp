#include "ct/columnsort.h"

// Local
#include <array>
#include <cstring>
#include <vector>

namespace {

// The bits of a float as an unsigned number in the same order as the values: negative numbers
// (sign bit set) have all bits turned round, positive ones the sign bit set.
inline std::uint32_t orderedBits(float v)
{
    std::uint32_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    return (u & 0x80000000u) ? ~u : (u | 0x80000000u);
}

} // namespace

void sortColumns(
    const float *in, float *sorted, std::uint32_t *order, int columns, std::size_t stride, int rows)
{
    if (columns < 1 || rows < 1 || static_cast<std::size_t>(rows) > stride)
        return;
    const std::size_t n = static_cast<std::size_t>(rows);
    // Key: the value's bits above, the row below, so that one 64-bit item carries both.
    std::vector<std::uint64_t> a(n), b(n);
    for (int j = 0; j < columns; ++j) {
        const float *column = in + static_cast<std::size_t>(j) * stride;
        std::array<std::array<std::uint32_t, 256>, 3> count {};
        for (std::size_t r = 0; r < n; ++r) {
            const std::uint32_t bits = orderedBits(column[r]);
            a[r] = (std::uint64_t(bits) << 32) | r;
            for (int p = 0; p < 3; ++p)
                ++count[p][(bits >> (8 * p + 8)) & 0xFF];
        }
        std::uint64_t *from = a.data();
        std::uint64_t *to = b.data();
        for (int p = 0; p < 3; ++p) {
            const int shift = 40 + 8 * p;
            if (count[p][(from[0] >> shift) & 0xFF] == n)
                continue; // every value has this byte: the pass would change nothing
            std::array<std::uint32_t, 256> start;
            std::uint32_t sum = 0;
            for (int d = 0; d < 256; ++d) {
                start[d] = sum;
                sum += count[p][d];
            }
            for (std::size_t r = 0; r < n; ++r)
                to[start[(from[r] >> shift) & 0xFF]++] = from[r];
            std::swap(from, to);
        }
        float *out = sorted + static_cast<std::size_t>(j) * stride;
        std::uint32_t *rank = order + static_cast<std::size_t>(j) * stride;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint32_t row = static_cast<std::uint32_t>(from[k]);
            rank[k] = row;
            out[k] = column[row];
        }
    }
}
