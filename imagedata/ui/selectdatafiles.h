#pragma once

// Qt
#include <QFileInfoList>
#include <QFrame>
#include <QPointer>

// Local
#include "ui_selectdatafiles.h"

class QFileDialog;

/// The names of the files in `dir` that a dialog's name filter ("Itex File (*.img)") matches, in
/// the order a folder's files load.
QStringList matchingFileNames(const QString &dir, const QString &nameFilter);

/// The selector of a series of raw projection files: lists the files loaded so far and asks for a
/// new series ("New") or more of the same ("Add"), optionally the first file many times ("Multi.").
class SelectDataFiles : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataFiles(QWidget *parent = nullptr);

    /// Appends a loaded file to "Selected" and updates "Count".
    void addFile(const QString &name);
    /// Shows the count of the last load: plain, or with the number of files that could not be
    /// loaded ("1014 (86 not loaded)") on the failure colour.
    void showCount(int notLoaded);
    /// Hides the series options (for a plain file set); "New" stays checked.
    void setSimpleMode(bool simple);
    /// How a choice of files is taken: as "New"/"Add" and "Repeat 1st" say, or as a whole new
    /// series of the files as they are (a setup restoring the data it was saved with).
    enum class Take { AsSet, WholeNewSeries };
    /// Lists the directory's files that match the filters (default: *.Extention) and takes them as
    /// the chosen files.
    void selectDirFiles(const QString &dir, const QStringList &nameFilters, Take take = Take::AsSet);
    void selectFileInfos(const QFileInfoList &infos, Take take = Take::AsSet);
    /// Handles a choice of files as the file dialog reports it.
    void filesChosen(const QStringList &files, Take take = Take::AsSet);

    int count() const { return ui_.Selected->count(); }
    QStringList files() const;
    bool keepConditions() const { return ui_.KeepConditions->isChecked(); }
    bool loadNew() const { return ui_.LoadNewFiles->isChecked(); }
    Ui_SelectDataFiles &ui() { return ui_; }

signals:
    void currentIndexChanged(int index);
    void filesSelected(const QStringList &files, bool newSeries);
    void filesCleared();

public slots:
    void clearFiles();
    void prev();
    void next();
    void select(int index);
    void setExpTime(double seconds);
    double expTime() const;
    /// Opens the file dialog ("DataFilesDialog", modal to the window): every file of the chosen type
    /// in the folder shown is selected, so that Open loads the whole set.
    void openDialog();

private:
    Ui_SelectDataFiles ui_;
    QString lastDir_;
    QPointer<QFileDialog> dialog_;
};
