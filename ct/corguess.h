#pragma once

// Qt
#include <QString>

// Local
#include <optional>
#include <span>

struct ProjectionSet;
struct SinogramRequest;

/// How well line b, mirrored about c, matches line a: the plain sum of A[k]·B[k] over |k − L| <
/// window, where A[k] is a at c + (k − L) and B[k] is b at c − (k − L), both interpolated by cubic
/// convolution, with samples outside the line counting as 0. `window` = GuessParam · L.
double corScore(
    std::span<const double> a, std::span<const double> b, double c, int lineLength, double window);

/// Why values give a search nothing to go by: one that is not finite, or all alike (to 1e-9 of
/// their size); empty when they are usable.
QString lineProblem(std::span<const double> values);

/// The projection facing `first`, 180 degrees on: k = ⌊180/range · count⌋ images further (one less
/// when k is exactly the number of images used: a set over 180 degrees ends one step short of it),
/// round the set of `count`. None when that image is not among the `used` images from `first` on.
std::optional<int> oppositeImage(int first, int used, int count, double rangeDeg);

/// Searches the centre of rotation from `start`: coarse passes of 20 candidates one pixel apart
/// (repeated round the best while a pass improves the score), then 40 candidates 0.1 apart round
/// the result. A candidate wins only with a strictly greater score.
double guessCorPosition(
    std::span<const double> a, std::span<const double> b, int lineLength, double start, double window);

/// The search on an image set: the raw slice lines (no correction, no resampling) of the first
/// image used and of the one facing it, compared over guessParam · L on each side, from `start`.
/// None, with the reason in `problem`, when the slice or the set gives no such pair of lines, or
/// when they hold a value that is not finite or no structure (`lineProblem`).
std::optional<double> guessCor(const ProjectionSet &set, const SinogramRequest &request, double rangeDeg,
    double start, double guessParam, QString *problem = nullptr);
