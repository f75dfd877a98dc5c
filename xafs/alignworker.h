#pragma once

// Qt
#include <QMetaType>
#include <QObject>
#include <QString>

// Local
#include "xafs/alignseries.h"
#include "xafs/phasecorrelation.h"
#include "xafs/resample.h"
#include "xafs/volume.h"
#include <memory>
#include <optional>
#include <vector>

/// What every worker of one alignment shares, made before they start and never changed after.
struct AlignContext
{
    AlignSeries series;
    int referenceIndex = 0;
    std::shared_ptr<const Volume> reference; // as read: values that were not finite are 0
    std::vector<std::uint64_t> referenceNonFinite;
    std::shared_ptr<const RegistrationReference> registration; // to register to (none: shifts given)
    VolumeBox box;
    RegistrationSettings settings;
    int middle = 0; // the slice of the picture
};

/// One piece of work: register an energy to another (a link of a chain, or its closing check), or
/// read an energy, register it to the shared reference (or take the shift given) and move it.
struct AlignTask
{
    enum class Kind { Register, Move };
    Kind kind = Kind::Move;
    int energy = 0;
    int to = -1; // Register: the energy it is registered to
    bool registerFirst = false; // Move: register to the context's reference first
    Shift3 shift; // Move without registering: the shift to apply
    bool keepMiddle = false; // keep the middle slice before and after (for the picture)
};

struct AlignResult
{
    AlignTask task;
    QString problem; // empty when it worked
    bool registered = false;
    RegistrationResult registration;
    Shift3 shift;
    std::optional<double> peak; // Pearson correlation with the reference over their overlap
    ResampleCounts counts;
    std::size_t nonFiniteRead = 0;
    std::shared_ptr<const Volume> aligned; // Move
    std::vector<float> before, after; // the middle slice, when asked
    double seconds = 0.0;
};
using AlignResultPtr = std::shared_ptr<const AlignResult>;
Q_DECLARE_METATYPE(AlignTask)
Q_DECLARE_METATYPE(AlignResultPtr)

/// The Pearson correlation of `aligned` with `reference` over the voxels where both are numbers
/// (`referenceGaps`: the reference's voxels that were not); none for fewer than two such voxels or
/// a constant volume.
std::optional<double> overlapCorrelation(
    const Volume &aligned, const Volume &reference, const std::vector<std::uint64_t> &referenceGaps);

/// Does the tasks of a series aligner, one at a time; holds a registration's spectra between them.
/// runs on: a worker thread of the series aligner
class AlignWorker : public QObject
{
    Q_OBJECT
public:
    explicit AlignWorker(std::shared_ptr<const AlignContext> context);

public slots:
    void run(const AlignTask &task);

signals:
    void done(const AlignResultPtr &result);

private:
    void move(AlignResult &r);
    void registerPair(AlignResult &r);
    std::shared_ptr<const AlignContext> context_;
    std::unique_ptr<PhaseCorrelation> correlation_; // to the shared reference
};
