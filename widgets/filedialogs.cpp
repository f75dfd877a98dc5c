#include "widgets/filedialogs.h"

// Local
#include "config/configstore.h"

QFileDialog::Options fileDialogOptions()
{
    const bool native = configValue(QStringLiteral("native_dialog"), QStringLiteral("0")).toInt() == 1;
    return native ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog;
}
