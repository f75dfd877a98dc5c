#pragma once

// Qt
#include <QList>
#include <QString>

// Local
#include "recon/dataseries.h"
#include <span>
#include <vector>

/// File numbers first … last of a set's run that no file has.
struct NumberGap
{
    qint64 first = 0;
    qint64 last = 0;
};

/// What would make one data set of a series wrong or lost, found from the listing alone: files that
/// would overwrite another set's (the same tag), projections missing (the count or a gap in the file
/// numbers: the rest would be reconstructed over the wrong angles), and an I0 image far from the
/// set's energy (or no energy at all in its name).
struct SetCheck
{
    QList<int> sameTagAs; // positions (from 1) of the other sets with this set's tag
    /// Positions of the other sets of its energy spelled otherwise (7120eV, 7_12keV, 7.12keV): of its
    /// sample too when the tags name the sample.
    QList<int> sameEnergyAs;
    int images = 0; // files of the set (projection frames of a set of scan files)
    int expectedImages = 0; // the series' count; 0 when sets of different counts are allowed
    QList<NumberGap> gaps; // file numbers missing from the set's run
    qint64 missingNumbers = 0; // how many numbers the gaps hold
    bool noEnergy = false; // its name gives the energy 0
    int i0 = -1; // index of the I0 image chosen, -1 without a list of them
    double i0Energy = 0.0;
    bool farI0 = false; // the I0 lies further from the set's energy than the series allows

    bool clashes() const { return !sameTagAs.isEmpty() || !sameEnergyAs.isEmpty(); }
    bool incomplete() const { return !gaps.isEmpty() || (expectedImages > 0 && images != expectedImages); }
    /// A doubtful energy or I0: reported, and refused by the command unless allowed.
    bool energyDoubtful() const { return noEnergy || farI0; }
    bool clean() const { return !clashes() && !incomplete() && !energyDoubtful(); }
};

/// The checks of a whole series, set by set in the order of the series.
struct SeriesCheck
{
    int images = 0; // the count most sets have (the larger one on a tie)
    double farLimit = 1.0; // eV: half the median spacing of the series' energies, at least 1 eV
    std::vector<SetCheck> sets;

    /// "the tag 7100eV is also set 3's" (or its energy), "89 of 90 images, number 17 missing", "its I0
    /// (7131 eV) is 9 eV from its energy 7140 eV (more than 5 eV)"; empty when there is nothing to say.
    QString clashText(size_t set, const SeriesSet &s) const;
    QString countText(size_t set) const;
    QString energyText(size_t set, const SeriesSet &s) const;
    /// All of the above, joined with "; ".
    QString problemText(size_t set, const SeriesSet &s) const;
};

/// Checks `sets` against each other and against the energies of the I0 images (empty: one I0 for
/// all, nothing to check). A set's file numbers are expected on the series' grid (its most common
/// first number and step) for as many images as most sets have; a set of scan files is counted by its
/// projection frames, and not at all when its scans record their angles (each then fits its own).
/// With `allowUneven` the sets may differ in count and numbering: neither is checked.
SeriesCheck checkSeries(
    const std::vector<SeriesSet> &sets, std::span<const double> i0Energies, bool allowUneven);

/// The numbers of the gaps, "17", "17, 40-45", at most `maxGaps` of them and then "…".
QString gapText(const QList<NumberGap> &gaps, int maxGaps = 8);
