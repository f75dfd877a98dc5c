#include "config/specialfile.h"

// Qt
#include <QFile>

// Local
#include <sys/stat.h>

bool isSpecialFile(const QString &name)
{
    struct stat st;
    if (name.isEmpty() || ::stat(QFile::encodeName(name).constData(), &st) != 0)
        return false;
    return !S_ISREG(st.st_mode);
}
