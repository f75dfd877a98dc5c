#pragma once

// Qt
#include <QObject>

// Local
#include "imagedata/projectionset.h"
#include <memory>
#include <vector>

class ImgData;
class QImage;
struct GreyScale;

/// The raw image set: equal-size projections in load order (index = projection number) and
/// references to the I0 and BG selectors' image slots. The first image of a series fixes the size;
/// a new series (or `clear`) lets the next one set it again. Workers read only the read-only
/// `projectionSet` a run takes.
/// runs on: the main thread, which fills it one file per pass of the event loop.
class ImgDatas : public QObject
{
    Q_OBJECT
public:
    using ImageSlot = std::shared_ptr<ImgData>;

    explicit ImgDatas(QObject *parent = nullptr);
    ~ImgDatas() override;

    /// The I0 and BG selectors' slots; read at every use, so a new selection takes effect at once.
    void setI0Ref(const ImageSlot *slot) { i0Ref_ = slot; }
    void setBgRef(const ImageSlot *slot) { bgRef_ = slot; }

    int count() const { return static_cast<int>(imgs_.size()); }
    int width() const { return width_; }
    int height() const { return height_; }
    const ImgData *image(int index) const;
    /// The open I0 (BG) image, or none.
    std::shared_ptr<const ImgData> i0() const;
    std::shared_ptr<const ImgData> bg() const;
    /// Whether an image has the set's size (always true while the set has no size yet).
    bool fitsSize(const ImgData *img) const;

    /// The read-only view that sinogram building uses; taken on the main thread.
    ProjectionSet projectionSet() const;

    /// Appends an opened image (a frame of a scan file); false (with a debug message) when its size
    /// differs from the set's.
    bool addImage(std::unique_ptr<ImgData> img);

    /// Renders projection `index` through `scale`; false for an index outside the set.
    bool drawImage(int index, QImage &target, GreyScale &scale);

signals:
    void imageUpdated();

public slots:
    /// Loads one file and appends it; false (with a debug message) when it cannot be opened or
    /// its size differs from the set's.
    bool add(const QString &fileName);
    /// Deletes every image; the size stays fixed.
    void clearImgs();
    /// Deletes every image and forgets the size.
    void clear();
    /// Starts a new series: the images and their size are put aside and the set is empty and
    /// unsized, so that the series' first image sets the size.
    void startSeries();
    /// Ends the series started last. When it loaded no image, the set put aside comes back whole
    /// and the result is false; otherwise the set put aside is let go.
    bool endSeries();

private:
    std::vector<std::shared_ptr<ImgData>> imgs_;
    int width_ = 0;
    int height_ = 0;
    // The set before the series under way, until that series has an image.
    std::vector<std::shared_ptr<ImgData>> previousImgs_;
    int previousWidth_ = 0;
    int previousHeight_ = 0;
    const ImageSlot *i0Ref_ = nullptr;
    const ImageSlot *bgRef_ = nullptr;
};
