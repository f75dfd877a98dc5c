#pragma once

// Local
#include "imagedata/imgdata.h"
#include <vector>

/// An image computed in memory rather than read from one file (the mean of a scan's flat frames):
/// `width` × `height` values, row after row. `fileName` names where it came from; `what` says how it
/// was made ("mean of 20 flats").
class ImgDataValues : public ImgData
{
public:
    /// `values` holds width × height values; the image is open at once.
    ImgDataValues(
        const QString &fileName, const QString &what, int width, int height, std::vector<double> values);

    bool readProps(const QString &fileName, int32_t &width, int32_t &height) override;
    bool loadData() override;
    double *getRow(int y, double *buffer) const override;
    double *getColumn(int x, double *buffer) const override;

    const QString &what() const { return what_; }

private:
    QString what_;
    std::vector<double> values_;
};
