#pragma once

// Qt
#include <QFrame>

// Local
#include "ct/corscan.h"
#include "ui_corscan.h"
#include <optional>
#include <vector>

/// The "CoR Scan" page: the trials of a scan of centres, one slice reconstructed at each, as
/// thumbnails labelled with their centre (the best score marked) and one shown large through a
/// colour bar. The arrow keys and the wheel over the picture step through the trials; Enter, a
/// double click on a thumbnail or a click on the picture takes the shown centre (`centreTaken`).
/// The panel only shows: the window runs the scan and hands each trial over as it arrives.
/// \test tst_bodycalc.cpp
class CorScanPanel : public QFrame
{
    Q_OBJECT
public:
    explicit CorScanPanel(QWidget *parent = nullptr);
    ~CorScanPanel() override;

    /// The range typed in: none for an empty field (the window puts its default there).
    std::optional<double> typedFrom() const;
    std::optional<double> typedTo() const;
    double typedStep() const;
    /// Shows the range scanned.
    void setRange(double from, double to, double step);

    /// A new scan of `centres`: the trials are listed empty and filled as they arrive.
    void begin(const std::vector<double> &centres, const CorScoreSetup &score);
    /// Trial `index` has arrived (the first one shown at once).
    void addTrial(int index, const CorTrial &trial);
    /// The scan has ended: trial `best` (−1: none) is marked and shown, the pictures take its range.
    void finish(int best);
    /// The button reads "Stop" while a scan runs.
    void setRunning(bool running);
    void setState(const QString &text);

    int count() const { return static_cast<int>(trials_.size()); }
    int current() const;
    int best() const { return best_; }
    const CorTrial &trial(int index) const { return trials_[static_cast<size_t>(index)]; }
    Ui_CorScan &ui() { return ui_; }

signals:
    void scanClicked();
    /// The operator takes this centre into the centre-of-rotation field.
    void centreTaken(double cor);

public slots:
    /// Shows trial `index` large.
    void setCurrent(int index);
    /// Moves the shown trial by `delta` (clamped to the trials).
    void step(int delta);
    /// Takes the shown trial's centre, when it was reconstructed.
    void takeCurrent();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showCurrent();
    /// A thumbnail with the bold two-line label of the best trial.
    QSize trialItemSize() const;
    /// The strip's height: one row of trials and its scroll bar.
    void fitTrialStrip();
    void showValue(double x, double y);
    void redraw();
    QString label(int index) const;
    void updateItem(int index);
    void showState();

    Ui_CorScan ui_;
    bool formReady_ = false; // the form's widgets exist
    std::vector<CorTrial> trials_;
    CorScoreSetup score_;
    int best_ = -1;
    bool rangeTaken_ = false; // the pictures' grey scale has its range
    QString state_; // what the window says of the scan
};
