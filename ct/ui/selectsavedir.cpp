#include "ct/ui/selectsavedir.h"

// Qt
#include <QFileDialog>

// Local
#include "widgets/filedialogs.h"
#include "widgets/statestyles.h"

SelectSaveDir::SelectSaveDir(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    connect(ui_.Select, &QPushButton::clicked, this, &SelectSaveDir::select);
    // A typed path: the tooltip shows it whole.
    connect(ui_.FilePath, &QLineEdit::textChanged, ui_.FilePath, &QWidget::setToolTip);
}

void SelectSaveDir::select()
{
    // The folder typed or chosen last, else the data's.
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Directory to save in"),
        dialogStartDir(ui_.FilePath->text()), fileDialogOptions() | QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty())
        setDir(dir);
}

void SelectSaveDir::setDir(const QString &dir)
{
    ui_.FilePath->setText(dir);
    ui_.FilePath->setCursorPosition(static_cast<int>(dir.size()));
}

void SelectSaveDir::setFailed(bool failed)
{
    ui_.FilePath->setStyleSheet(failed ? ButtonStyle::failed : QString());
}

bool SelectSaveDir::isFailed() const
{
    return ui_.FilePath->styleSheet() == ButtonStyle::failed;
}
