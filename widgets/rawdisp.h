#pragma once

// Local
#include "widgets/imgdispwpv.h"

/// The display of the raw projection image. The main window draws the projection into it from the
/// image set, looks up the value under the cursor there and paints its overlays (slice, centre of
/// rotation, selection) through the `drawImage2` hook of the painting area.
class RawDisp : public ImgDispWPV
{
    Q_OBJECT
public:
    explicit RawDisp(QWidget *parent = nullptr);
};
