#include "widgets/childedits.h"

// Qt
#include <QLineEdit>

void detachChildEdits(QWidget *root, QObject *receiver)
{
    const QList<QLineEdit *> edits = root->findChildren<QLineEdit *>();
    for (QLineEdit *edit : edits)
        QObject::disconnect(edit, nullptr, receiver, nullptr);
}
