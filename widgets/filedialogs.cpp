#include "widgets/filedialogs.h"

// Qt
#include <QAbstractItemView>
#include <QCompleter>
#include <QFileInfo>
#include <QLineEdit>

// Local
#include "config/configstore.h"

QFileDialog::Options fileDialogOptions()
{
    const bool native = configValue(QStringLiteral("native_dialog"), QStringLiteral("0")).toInt() == 1;
    return native ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog;
}

namespace {

QString g_dataFolder; // of the main thread's window, like the data root

} // namespace

QString dialogStartDir(const QString &lastUsed, const QString &dataFolder, const QString &root)
{
    for (const QString &dir : {lastUsed, dataFolder}) {
        if (!dir.isEmpty() && QFileInfo(dir).isDir())
            return QFileInfo(dir).absoluteFilePath();
    }
    return root;
}

QString dialogStartDir(const QString &lastUsed)
{
    return dialogStartDir(lastUsed, g_dataFolder, dataRoot());
}

void setDataFolder(const QString &dir)
{
    g_dataFolder = dir;
}

QString dataFolder()
{
    return g_dataFolder;
}

void closeCompletionsWhenFinished(QDialog *dialog)
{
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QLineEdit *field : dialog->findChildren<QLineEdit *>()) {
            if (QCompleter *completer = field->completer(); completer && completer->popup())
                completer->popup()->hide();
        }
    });
}
