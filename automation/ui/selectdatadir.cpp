#include "automation/ui/selectdatadir.h"

// Qt
#include <QPushButton>

SelectDataDir::SelectDataDir(QWidget *parent)
    : QFrame(parent)
{
    ui_.setupUi(this);
    ui_.SelDir->button()->setText(tr("Sel. Data Dir."));
}
