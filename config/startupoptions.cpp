#include "config/startupoptions.h"

// Local
#include "config/configstore.h"

QString configFileName(const ConfigStore &store)
{
    const QString defaultName = QStringLiteral("config.cfg");
    QString name = defaultName;
    if (store.contains(QStringLiteral("-c")))
        name = store.configValue(QStringLiteral("-c"), defaultName);
    if (store.contains(QStringLiteral("-config")))
        name = store.configValue(QStringLiteral("-config"), defaultName);
    return name;
}

StartupOptions applyStartupOptions(const ConfigStore &store)
{
    setDataRoot(store.configValue(QStringLiteral("DataRoot"), dataRoot()));
    if (store.contains(QStringLiteral("-d")))
        setDataRoot(store.configValue(QStringLiteral("-d"), dataRoot()));

    StartupOptions options;
    options.noTranslation = store.contains(QStringLiteral("-e"));
    options.loadBatch = store.contains(QStringLiteral("-b"));
    if (options.loadBatch)
        options.batchFile = store.configValue(QStringLiteral("-b"), QStringLiteral("batchFile.bat"));
    options.execBatch = store.contains(QStringLiteral("-x"));
    options.noWindow = store.contains(QStringLiteral("-nw"));
    setSinogramImageVariant(store.configValue(QStringLiteral("-s"), QStringLiteral("2")).toInt());
    return options;
}
