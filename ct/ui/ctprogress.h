#pragma once

// Qt
#include <QObject>

/// Paces the single-thread calculator from its own thread: one projection per turn of the main
/// thread's event loop, so that the picture is refreshed after every projection.
class CtProgress : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void calcAll();
    void calcOne(int index);
    void finishedCalcOneByOne();

public slots:
    void startCalcAll();
    /// Starts a one-by-one run over `total` projections.
    void startCalcOneByOne(int total);
    void calcNext();

private:
    int total_ = 0;
    int current_ = 0;
};
