#pragma once

// Qt
#include <QPointer>

// Local
#include "config/saidtext.h"
#include "imagedata/hdf5scan.h"
#include "imagedata/imgdatas.h"
#include "imagedata/ui/selectafile.h"
#include "widgets/imgdispwpv.h"
#include <optional>

class ImgDispWPV;
class QLineEdit;
class QPushButton;

/// The I0 or BG image selector: holds the opened image of the chosen file (the slot the image set
/// reads), shows it in its own display and keeps the exposure time typed for it.
class SelectAImgFile : public SelectAFile
{
    Q_OBJECT
public:
    explicit SelectAImgFile(QWidget *parent = nullptr);
    ~SelectAImgFile() override;

    /// The image slot; empty when no file is held.
    const ImgDatas::ImageSlot &img() const { return img_; }
    const ImgDatas::ImageSlot *imgSlot() const { return &img_; }
    ImgDispWPV *display() const { return display_; }
    double expTime() const;

    /// A scan file (HDF5) chosen here stands for the mean of its frames of `kind`: the flats for I0,
    /// the darks for BG. Without it a scan file is refused.
    void setScanFrames(Hdf5Scan::Kind kind) { scanKind_ = kind; }
    /// "from scan.nxs: mean of 20 flats" ("…: its flat" for one).
    static SaidText scanOrigin(const QString &fileName, Hdf5Scan::Kind kind, int count);

    /// Holds an image made from other files (the mean of a scan's flats) instead of a chosen file:
    /// "FilePath" shows `origin` ("from scan.nxs: mean of 20 flats"), "Name" the base name of `name`.
    void holdComputed(std::shared_ptr<ImgData> img, const QString &origin, const QString &name);
    /// Whether the held image was made that way rather than read from a file the operator chose.
    bool holdsComputed() const { return img_ && computed_; }

    /// Checks the held image against the image set's size: a mismatching image is left out of the
    /// correction, reported to the log and marked red until it fits or is replaced. True when it fits
    /// (or none is held, or the set has no size).
    bool checkSize(int setWidth, int setHeight);

signals:
    /// "Show Img" was pressed: the owner brings the display to the front.
    void showImageRequested();
    /// "Clear" let the held image go: the correction goes on without it.
    void cleared();

public slots:
    void noticedNewPos(double x, double y);
    void clear();
    void setExpTime(double seconds);
    /// Renders the held image through the generator rule (a new image).
    void redraw();

private slots:
    void openSelected(const QString &fileName);

protected:
    QString extraNameFilter() const override;

private:
    /// The mean of the scan's frames of `scanKind_`, or none (said why).
    std::unique_ptr<ImgData> openScanMean(const QString &fileName) const;
    /// Renders the held image through `scale`; the bar takes the range the rendering used.
    void render(GreyScale scale);

    ImgDatas::ImageSlot img_;
    bool computed_ = false;
    std::optional<Hdf5Scan::Kind> scanKind_;
    QPointer<ImgDispWPV> display_; // may be placed (and owned) elsewhere
    QLineEdit *expTime_;
    QPushButton *showImg_;
    QPushButton *clear_;
    QString initialExpTime_;
    bool openFailed_ = false; // the last file chosen could not be opened
};
