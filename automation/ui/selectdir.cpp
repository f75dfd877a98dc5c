#include "automation/ui/selectdir.h"

// Qt
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

// Local
#include "widgets/filedialogs.h"

SelectDir::SelectDir(QWidget *parent)
    : QFrame(parent)
    , select_(new QPushButton(tr("Sel. Dir"), this))
    , selectedDir_(new QLineEdit(this))
{
    select_->setObjectName(QStringLiteral("Select"));
    selectedDir_->setObjectName(QStringLiteral("SelectedDir"));
    select_->setToolTip(tr("Choose the folder that holds the data sets"));
    selectedDir_->setToolTip(tr("Folder that holds the data sets"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(select_);
    layout->addWidget(selectedDir_);
    connect(select_, &QPushButton::clicked, this, &SelectDir::select);
}

QString SelectDir::dir() const
{
    return selectedDir_->text();
}

void SelectDir::setDirName(const QString &dir)
{
    selectedDir_->setText(dir);
    startDir_ = dir;
}

void SelectDir::select()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select a directory"),
        dialogStartDir(startDir_), fileDialogOptions() | QFileDialog::ShowDirsOnly);
    if (dir.isEmpty())
        return;
    setDirName(dir);
    emit aDirSelected(dir);
}
