#pragma once

// Local
#include "ct/ui/ct2job.h"
#include "ct/ui/ctpanel.h"

class CtCalc2;

/// The panel of a calculation worker: shows its slice, times and regions. The worker reaches it
/// only through queued signals; the panel shows copies.
class CtCalc2Ui : public CtPanel
{
    Q_OBJECT
public:
    explicit CtCalc2Ui(QWidget *parent = nullptr);

    /// Connects the worker's reports to this panel (queued across the threads).
    void setWorker(CtCalc2 *worker);
    CtCalc2 *worker() const { return worker_; }

signals:
    /// The colour bar changed: the worker remakes its image through this scale.
    void askResImage(const GreyScale &scale);

public slots:
    void showStartTime(int slice, const QDateTime &start);
    void showEndTime(const QDateTime &start, const QDateTime &end);
    void newImage(const QImage &image, const SliceValues &values, int n, const GreyScale &scale);
    bool saveImage(const QString &fileName);

private:
    CtCalc2 *worker_ = nullptr;
};
