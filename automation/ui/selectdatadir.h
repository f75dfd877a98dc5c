#pragma once

// Qt
#include <QFrame>

// Local
#include "ui_selectdatadir.h"

/// The data-set selector of sequential CT-XAFS runs: a directory of data sets, one per X-ray
/// energy, with the file pattern and the layout of the sets. The window lays it out; the
/// sequential runs that use it are not built yet, so the main window keeps it disabled.
class SelectDataDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataDir(QWidget *parent = nullptr);
    Ui_SelectDataDir &ui() { return ui_; }

private:
    Ui_SelectDataDir ui_;
};
