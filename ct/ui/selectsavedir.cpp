#include "ct/ui/selectsavedir.h"

// Qt
#include <QFileDialog>

// Local
#include "app/config/configstore.h"

namespace {

const QString failedStyle = QStringLiteral("background-color: rgb(255, 192, 192);");

} // namespace

SelectSaveDir::SelectSaveDir(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    connect(ui_.Select, &QPushButton::clicked, this, &SelectSaveDir::select);
}

void SelectSaveDir::select()
{
    const QString dir = QFileDialog::getExistingDirectory(
        this, tr("Directory to save in"), ui_.FilePath->text().isEmpty() ? dataRoot() : ui_.FilePath->text());
    if (!dir.isEmpty())
        ui_.FilePath->setText(dir);
}

void SelectSaveDir::setFailed(bool failed)
{
    ui_.FilePath->setStyleSheet(failed ? failedStyle : QString());
}

bool SelectSaveDir::isFailed() const
{
    return ui_.FilePath->styleSheet() == failedStyle;
}
