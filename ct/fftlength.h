#pragma once

// C++
#include <algorithm>

/// The smallest length ≥ n made of the factors 2, 3 and 5, which FFTW transforms fastest (2046 is
/// 2 · 3 · 11 · 31, several times slower than 2048).
inline int fastFftLength(int n)
{
    for (int m = std::max(n, 1);; ++m) {
        int r = m;
        for (int f : {2, 3, 5})
            while (r % f == 0)
                r /= f;
        if (r == 1)
            return m;
    }
}
