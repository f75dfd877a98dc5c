#pragma once

// Qt
#include <QFileInfoList>
#include <QFrame>

// Local
#include "recon/seriescheck.h"
#include "ui_selectdatadir.h"
#include <vector>

class CtFileSet;

/// The data-set selector of sequential CT-XAFS runs: scans a folder into data sets, one per X-ray
/// energy, lists them and hands the current one to the window. Two layouts: the Ormel standard
/// (every file in the one folder, sample-energy-number.ext, a set per run of files with one key)
/// and one sub-folder per set.
/// \test tst_dataseries.cpp
class SelectDataDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataDir(QWidget *parent = nullptr);
    ~SelectDataDir() override;

    Ui_SelectDataDir &ui() { return ui_; }
    bool isOrmelStandard() const { return ui_.isOrmelStd_->isChecked(); }
    QString dir() const;
    QString pattern() const { return ui_.Pattern->text(); }
    void setPattern(const QString &pattern) { ui_.Pattern->setText(pattern); }
    int count() const { return ui_.SubDirs->count(); }
    int currentIndex() const { return ui_.SubDirs->currentIndex(); }
    /// The Ormel standard sets of the last scan (empty after a scan of sub-folders).
    const std::vector<CtFileSet *> &fileSets() const { return fileSets_; }

    /// Energy of the current set: value × unit factor (Ormel standard), or the number in the
    /// sub-folder name.
    double currentSetEnergy() const;
    /// The tag of the current set's files: its energy field, or the sub-folder name; empty
    /// without a current set.
    QString currentSetTag() const;
    /// A short name of the current set for messages: "3 (Fe 7112.5 eV)".
    QString currentSetTitle() const;
    /// Moves to the next set; false at the last one.
    bool advanceSet();
    /// Points the folder dialog at `dir` and scans it, as if it had been chosen.
    /// The number of data sets found in the folder (0: none, and the sets listed before stay).
    int selectDir(const QString &dir);

    /// The energies of the I0 images the sets choose from (empty: one I0 for all): the sets are
    /// checked against them.
    void setI0Energies(const QList<double> &energies);
    /// Why the current set would be reconstructed wrongly or would overwrite another's files (it is
    /// not to be loaded); empty when nothing is wrong.
    QString currentSetProblem() const;
    /// A doubt about the current set's energy or its I0 (it may be loaded); empty when none.
    QString currentSetDoubt() const;
    /// The sets from `firstIdx` to `lastIdx` (indices; a last below the first means the first alone)
    /// that share their tag with another set, "1 (Fe 7100eV), 3 (Fe2 7100eV) share the tag 7100eV";
    /// empty when none does.
    QString clashesIn(int firstIdx, int lastIdx) const;
    /// The series as listed and its checks, set by set.
    const std::vector<SeriesSet> &series() const { return series_; }
    const SeriesCheck &check() const { return check_; }

signals:
    void newSets(int items);
    void selected(const QString &dir, const QStringList &patterns);
    void selectedFileInfoList(const QFileInfoList &fileInofs);
    void noMoreSets();

public slots:
    void setIsOrmelStandard(bool f);
    /// Applies the current set: hands its files (or its folder) to the window.
    void set();
    void next();
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);

private slots:
    void aDirSelected(const QString &dir);
    void changedOrmelStd();
    void setSubDirs(const QString &dir);
    void setFileSets(const QString &dir);

private:
    bool currentIsValid() const;
    /// Checks the sets listed and marks those with a problem in the list.
    void checkSets();

    Ui_SelectDataDir ui_;
    std::vector<CtFileSet *> fileSets_;
    QStringList subDirs_;
    bool listsOrmel_ = true; // which of the two lists the combo shows
    int lastScanFound_ = 0; // data sets found by the last scan of a folder
    std::vector<SeriesSet> series_; // the sets listed, whatever their layout
    SeriesCheck check_;
    QList<double> i0Energies_;
};
