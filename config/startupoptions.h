#pragma once

// Qt
#include <QString>

class ConfigStore;

/// What the command line asks of start-up, read from the store once the configuration file is in.
struct StartupOptions
{
    bool noTranslation = false; // "-e"
    bool loadBatch = false; // "-b"
    QString batchFile;
    bool execBatch = false; // "-x"
    bool noWindow = false; // "-nw"
};

/// The configuration file to read: "config.cfg", or the value of "-c", or of "-config" (which wins).
QString configFileName(const ConfigStore &store);

/// Sets the data root ("DataRoot" of the configuration, then "-d") and the sinogram image
/// variant ("-s"), and returns the remaining options.
StartupOptions applyStartupOptions(const ConfigStore &store);
