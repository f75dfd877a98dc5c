#pragma once

// Qt
#include <QDateTime>
#include <QFrame>

// Local
#include "ct/ctimagefile.h"
#include "ui_ctcalc.h"
#include "display/greyscale.h"
#include <memory>
#include <vector>

class ColorBar;

/// The values of a reconstructed slice, shared read-only with the panel that shows it.
using SliceValues = std::shared_ptr<const std::vector<double>>;

/// What CT panels share: the slice display with its colour bar, the display region (what the view
/// shows) and the calculation region (what the engine computes), kept equal across all CT panels by
/// the main window, the times of the last calculation and the value readout.
class CtPanel : public QFrame
{
    Q_OBJECT
public:
    explicit CtPanel(QWidget *parent = nullptr);
    ~CtPanel() override;

    Ui_CtCalc &ui() { return ui_; }
    ColorBar *colorBar() const;
    /// The calculation region as the fields hold it.
    Region calcRegion() const { return cr_; }
    Region dispRegion() const { return dr_; }
    /// False until a region has been set by the operator, a command or a first calculation.
    bool regionSet() const { return regionSet_; }

    /// Shows a result: the 8-bit picture and the values behind it for the readout.
    void showResult(const QImage &image, SliceValues values, int n);
    /// The values shown (none before a result), n × n.
    const SliceValues &shownValues() const { return values_; }
    int shownN() const { return valuesN_; }

    static QString timeText(const QDateTime &t);
    static QString spentText(const QDateTime &start, const QDateTime &end);

signals:
    void dRUpdated(double x0, double z0, double x1, double z1);
    void cRUpdated(double x0, double z0, double x1, double z1);

public slots:
    void noticedNewPos(double x, double y);
    void noticedNewS(const QRectF &view);
    void setCRegion();
    void setCR(double x0, double z0, double x1, double z1);
    void setDR(double x0, double z0, double x1, double z1);
    void setFixColorScale(bool fixed);
    void setCBarMinMaxForced(double min, double max);
    void showSliceNo(int slice);
    /// The slice could not be made: no picture is left that would look like its result.
    void showFailure(int slice, const QString &why);
    void showTimes(const QDateTime &start, const QDateTime &end);

protected:
    /// The reconstructed value at column i, row j, for the readout; false outside the image.
    virtual bool valueAt(long i, long j, double &value) const;

    Ui_CtCalc ui_;

private slots:
    /// The operator typed into a region's fields (or left them for "Set To C. Region").
    void calcRegionEdited();
    void dispRegionEdited();

private:
    Region dr_;
    Region cr_;
    bool regionSet_ = false;
    SliceValues values_;
    int valuesN_ = 0;
};
