#pragma once

// Qt
#include <QMap>
#include <QString>
#include <QStringList>

/// The process-wide configuration: entries from the command line first and from the
/// configuration file(s) second, read-only once start-up has finished.
class ConfigStore
{
public:
    /// The one store of the process.
    static ConfigStore &instance();

    /// Records every argument and the option entries found among them (argument 0 included).
    void parseArguments(const QStringList &arguments);
    void parseArguments(int argc, char **argv);

    /// Reads one configuration file, recursively through "INCLUDE" lines.
    /// False when the file cannot be opened (or is already being read).
    bool readConfigFile(const QString &name);

    bool contains(const QString &key) const { return entries_.contains(key); }
    /// The value of the entry, or `def` when there is no such key (an empty value stays empty).
    QString configValue(const QString &key, const QString &def) const;
    void setEntry(const QString &key, const QString &value) { entries_.insert(key, value); }

    const QStringList &args() const { return args_; }
    /// Non-blank configuration lines, comments cut off, in reading order over all included files.
    const QStringList &lines() const { return lines_; }
    /// The file being (or last) read; empty after a file that could not be opened.
    const QString &fileName() const { return fileName_; }

    /// Forgets everything (for a fresh start in tests).
    void clear();

private:
    QMap<QString, QString> entries_;
    QStringList args_;
    QStringList lines_;
    QString fileName_;
    QStringList filesBeingRead_; // absolute paths, to refuse an INCLUDE cycle
};

/// `ConfigStore::instance().configValue(key, def)`.
QString configValue(const QString &key, const QString &def);

/// Start directory of every file and directory dialog.
QString dataRoot();
void setDataRoot(const QString &dir);

/// 2 selects the direct sinogram view, any other value the resampled 360-degree view.
int sinogramImageVariant();
void setSinogramImageVariant(int variant);
