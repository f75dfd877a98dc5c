#pragma once

// Qt
#include <QString>

// Local
#include <optional>
#include <span>
#include <vector>

/// The slice number of a slice file's name: the number after the last "-" of the name without its
/// suffix ("name-tag-00080.dat" is slice 80); none when that is not a whole number.
std::optional<long long> sliceNumberOfName(const QString &path);

/// Where the slices of a stack lie along the volume's z axis, in grid units (the slices' pixels):
/// slice k fills the slab from offsets[k] up to the next slice's offset (the last one `step` deep).
/// The box is `depth` deep from the lowest offset, 0.
struct SlicePlacement
{
    enum class Source { Unit, Numbers, Typed };
    std::vector<double> offsets;
    /// The smallest gap between neighbours (the common step when they are even).
    double step = 1.0;
    double depth = 0.0;
    Source source = Source::Unit;
    /// The gaps between neighbouring numbers are not all the same.
    bool uneven = false;
    /// Why several slices were placed 1 apart without their numbers.
    enum class Unnumbered { No, NameWithoutNumber, RepeatedNumber };
    Unnumbered unnumbered = Unnumbered::No;
};

/// The placement of a stack's slices by their numbers (none where a name has none), in file order:
/// each slice at its own number less the smallest, the gaps as the numbers say, even or not, in
/// whatever order the files came. A typed spacing above 0 places slice k at k × spacing instead.
/// One slice, a slice without a number or two slices of one number: 1 apart, in file order.
/// \test tst_slicespacing.cpp
SlicePlacement placeSlices(std::span<const std::optional<long long>> numbers, double typedSpacing = 0.0);

/// A plane of the volume the renderer samples: at z (the box centred on 0), the values of `slice`.
struct VolumePlane
{
    double z = 0.0;
    int slice = 0;
};

/// The planes through the box, one per grid unit of depth (closer where slices lie closer, further
/// apart where there would be more than `maxPlanes`), each taking the slice whose slab holds it: the
/// gaps between spaced slices are filled by the nearest slice below, as the nearest-sample lookup
/// does across a slice. Slices 1 apart give one plane each, slice k at k − ns/2.
std::vector<VolumePlane> volumePlanes(const SlicePlacement &placement, int maxPlanes = 4096);
