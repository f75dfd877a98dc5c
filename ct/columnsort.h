#pragma once

// Local
#include <cstddef>
#include <cstdint>

/// Sorts the first `rows` values of each of `columns` columns (column j at in + j·stride) in
/// ascending order of their upper 24 bits (sign, exponent and 15 bits of the fraction: values that
/// differ by less than 1/32768 of themselves count as equal): sorted[j·stride + k] is the k-th value
/// of column j in that order and order[j·stride + k] the row it came from (equal values keep their
/// row order). Finite values only. A radix sort, a byte at a time, passing over the bytes all values
/// share.
/// \test tst_sinogramgen.cpp
void sortColumns(
    const float *in, float *sorted, std::uint32_t *order, int columns, std::size_t stride, int rows);
