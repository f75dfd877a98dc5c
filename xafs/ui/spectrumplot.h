#pragma once

// Qt
#include <QWidget>

// Local
#include "xafs/voxelspectrum.h"
#include <optional>

/// The spectrum of a voxel over energy, painted: above, μ with its pre- and post-edge lines; below,
/// the normalised spectrum and the fit of the standards (where there is one), with 0 and 1 marked.
/// Energies in eV on the axis; under the cursor, the energy nearest to it and the values there.
/// \test tst_xanestab.cpp
class SpectrumPlot : public QWidget
{
    Q_OBJECT
public:
    explicit SpectrumPlot(QWidget *parent = nullptr);

    void setSpectrum(const VoxelSpectrum &spectrum, double edge);
    void clear();
    const std::optional<VoxelSpectrum> &spectrum() const { return spectrum_; }
    /// The index of the energy nearest to widget column x; −1 with no spectrum.
    int energyIndexAt(double x) const;
    /// What the plot says of energy i: "7112.0 eV  μ 0.3412  normalised 0.512  fit 0.498".
    QString valuesText(int i) const;

    QSize sizeHint() const override { return {420, 320}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QRectF plotArea(int pane) const; // 0: μ, 1: normalised
    double xOf(double energy) const;

    std::optional<VoxelSpectrum> spectrum_;
    double edge_ = 0.0;
    int cursor_ = -1; // the energy under the cursor
};
