// The command line and the configuration reader with INCLUDE. An input is up to four parts
// separated by NUL bytes: the files a.cfg, b.cfg and c.cfg of the working folder (which may include
// one another, or anything else), then the command line, one argument a line. Start-up reads the
// file the command line names (config.cfg by default, which does not exist here) and applies the
// options, as the program does.

// Local
#include "config/configstore.h"
#include "config/startupoptions.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    QDir::setCurrent(QFileInfo(fuzz::scratchPath(QStringLiteral("a.cfg"))).absolutePath());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    const char *files[] = {"a.cfg", "b.cfg", "c.cfg"};
    for (int i = 0; i < 3; ++i) {
        const QString name = QString::fromLatin1(files[i]);
        if (i < parts.size()) {
            QFile f(name);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(parts[i]);
        } else {
            QFile::remove(name);
        }
    }
    QStringList arguments {QStringLiteral("quorvel")};
    if (parts.size() > 3) {
        for (const QByteArray &line : parts[3].split('\n'))
            arguments << QString::fromLocal8Bit(line);
    } else {
        arguments << QStringLiteral("-c") << QStringLiteral("a.cfg");
    }
    ConfigStore store;
    store.parseArguments(arguments);
    store.readConfigFile(configFileName(store));
    applyStartupOptions(store);
    return 0;
}
