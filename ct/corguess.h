#pragma once

// Local
#include <span>

struct ProjectionSet;
struct SinogramRequest;

/// How well line b, mirrored about c − 0.5, matches line a: the plain sum of A[k]·B[k] over
/// |k − L| < window, where A[k] is a at c + (k − L) and B[k] is b at c − 1 − (k − L), both linearly
/// interpolated, with samples outside the line counting as 0. `window` = GuessParam · L.
double corScore(
    std::span<const double> a, std::span<const double> b, double c, int lineLength, double window);

/// The projection facing the first one: ⌊180/range · count⌋ + first, one less when that equals
/// count, modulo count.
int oppositeImage(int first, int count, double rangeDeg);

/// Searches the centre of rotation from `start`: coarse passes of 20 candidates one pixel apart
/// (repeated round the best while a pass improves the score), then 40 candidates 0.1 apart round
/// the result. A candidate wins only with a strictly greater score.
double guessCorPosition(
    std::span<const double> a, std::span<const double> b, int lineLength, double start, double window);

/// The search on an image set: the raw slice lines (no correction, no resampling) of the first
/// image used and of the one facing it, compared over guessParam · L on each side, from `start`.
/// Returns `start` when the slice or the set gives no lines.
double guessCor(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg, double start,
    double guessParam);
