#pragma once

// Qt
#include <QImage>
#include <QRectF>

// Local
#include "widgets/dispawlayout.h"
#include "widgets/mousec.h"

class ChCoord;
class QPainter;

/// The zoomable image display. The part of the image inside the view rectangle (image pixels) is
/// drawn as large as the painting area allows with square pixels, centred on the display's
/// background (the picture rectangle); with square pixels off (the configuration key
/// "keep_aspect" 0 makes that the default) it fills the whole area, stretched. Mouse positions,
/// the zoom and the selection follow the picture rectangle. The wheel zooms about the cursor, a
/// left drag pans, a Shift + left drag selects a rectangle and Shift + right click clears it; the
/// release of a click of the left button (and of the right one without modifiers) reports the
/// point with its `MouseC::MStat` code. A gesture that moved further than a click (a pan) reports
/// nothing, except a finished Shift selection. A new image keeps the current view; `resetScale`
/// shows the whole image again.
/// \test tst_imgdisp.cpp
class ImgDisp : public DispAWLayout
{
    Q_OBJECT

public:
    explicit ImgDisp(QWidget *parent = nullptr);

    /// Takes the image and shows it (`newImage`).
    void setImage(const QImage &image);
    const QImage &image() const { return image_; }

    /// The view rectangle in image pixels.
    QRectF view() const { return view_; }
    bool isViewInitialised() const { return viewInitialised_; }
    /// Sets the view from outside (panels keeping their views in step): no `newS`, so two
    /// displays connected both ways do not echo each other.
    void setView(const QRectF &view);

    /// The last finished selection in image pixels (normalised), valid or not.
    QRectF selection() const { return selection_; }
    bool isSelectionValid() const { return selectionValid_; }
    /// Forgets the finished selection (its box is no longer drawn).
    void clearSelection()
    {
        selectionValid_ = false;
        update();
    }
    /// True while a left-button gesture may still become a selection.
    bool isSelecting() const { return selecting_; }
    /// The rectangle being dragged out, from its start corner (sizes may be negative).
    QRectF dragRect() const { return drag_; }

    /// A point of the painting area (widget pixels) in image pixels, under the current view.
    QPointF imagePointAt(const QPointF &areaPos) const;
    /// Where the view is drawn in the painting area (widget pixels).
    QRectF pictureRect() const;
    /// Square pixels (true) or the view stretched over the whole area.
    bool isAspectKept() const { return aspectKept_; }

    MouseC *mouse() const { return mouse_; }
    ChCoord *coord() const { return coord_; }

signals:
    /// The cursor's image pixel (truncated).
    void newPos(int x, int y);
    /// The view rectangle changed by the mouse or by the first image.
    void newS(const QRectF &view);
    /// A button released at (x, y) in image pixels.
    void selectedAPoint(double x, double y, MouseC::MStat stat);
    void aspectKeptChanged(bool kept);

public slots:
    void onWheelMoved();
    void onMouseMoved();
    void onMousePressed();
    void onMouseReleased();
    void draw(QPainter *p);
    /// Shows the current image; the first non-empty one sets the view to the whole image.
    void newImage();
    /// The view becomes the whole image (no `newS`).
    void resetScale();
    /// Writes the visible part of the image; the format follows the suffix.
    bool saveImage(const QString &path);
    void setAspectKept(bool kept);

private:
    /// Screen = the painting area, real = the view.
    void syncCoord() const;
    void viewChanged();

    QImage image_;
    QRectF view_;
    QSize shownSize_; // of the last picture that was not empty
    bool viewInitialised_ = false;
    bool aspectKept_;
    QRectF drag_; // the rectangle being dragged out, from its start corner (sizes may be < 0)
    QRectF selection_; // the last finished selection
    bool selecting_ = false;
    bool selectionValid_ = false;
    QPointF grab_; // image point under the cursor at the press; a pan keeps it there
    MouseC *mouse_;
    ChCoord *coord_;
};
