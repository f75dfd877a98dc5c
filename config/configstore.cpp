#include "config/configstore.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

// Local
#include "config/linetokenizer.h"
#include "config/specialfile.h"
#include "config/configlog.h"

namespace {

QString g_dataRoot = QDir::homePath();
// Far beyond any real configuration, which is a few hundred lines.
constexpr qint64 maxConfigFileBytes = 16 << 20;
int g_sinogramImageVariant = 2;

bool isOption(const QString &arg)
{
    return arg.startsWith(QLatin1Char('-'));
}

// "-3", "-.5" and "-٣" are values, not options.
bool isNegativeNumber(const QString &arg)
{
    if (arg.size() < 2 || !isOption(arg))
        return false;
    const QChar c = arg.at(1);
    return c == QLatin1Char('.') || c.isNumber();
}

} // namespace

ConfigStore &ConfigStore::instance()
{
    static ConfigStore store;
    return store;
}

void ConfigStore::parseArguments(int argc, char **argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    parseArguments(list);
}

void ConfigStore::parseArguments(const QStringList &arguments)
{
    args_ += arguments;
    qsizetype i = 0;
    while (i < arguments.size()) {
        const QString &key = arguments.at(i);
        if (!isOption(key)) {
            ++i;
            continue;
        }
        QString value;
        if (i + 1 < arguments.size()) {
            const QString &next = arguments.at(i + 1);
            if (!isOption(next) || isNegativeNumber(next))
                value = next;
        }
        entries_.insert(key, value);
        // Plain arguments after the key are consumed; a negative-number value is looked at again
        // as an option of its own.
        ++i;
        while (i < arguments.size() && !isOption(arguments.at(i)))
            ++i;
    }
}

bool ConfigStore::readConfigFile(const QString &name)
{
    fileName_ = name;
    const QString absolute = QFileInfo(name).absoluteFilePath();
    if (filesBeingRead_.contains(absolute)) {
        qCWarning(lcConfig).noquote() << "Config file is already being read (INCLUDE cycle), not read again :" << name;
        fileName_.clear();
        return false;
    }
    // A FIFO would block start-up and a device or a huge file would fill the memory line by line.
    if (isSpecialFile(name)) {
        qCWarning(lcConfig).noquote() << QStringLiteral("Config file is not a regular file, not read : ") + name;
        fileName_.clear();
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcConfig).noquote() << QStringLiteral("Can't open config file : ") + name;
        fileName_.clear();
        return false;
    }
    if (file.size() > maxConfigFileBytes) {
        qCWarning(lcConfig).noquote()
            << QStringLiteral("Config file is larger than %1 bytes, not read : ").arg(maxConfigFileBytes)
                + name;
        fileName_.clear();
        return false;
    }
    filesBeingRead_.append(absolute);
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        line = stripComment(line);
        if (isBlankLine(line))
            continue;
        lines_.append(line);
        QString key;
        QString value;
        takeItem(takeItem(line, key), value);
        if (key.toUpper() == QLatin1String("INCLUDE"))
            readConfigFile(value);
        else
            entries_.insert(key, value);
    }
    filesBeingRead_.removeLast();
    fileName_ = name;
    return true;
}

QString ConfigStore::configValue(const QString &key, const QString &def) const
{
    const auto it = entries_.constFind(key);
    return it == entries_.cend() ? def : it.value();
}

void ConfigStore::clear()
{
    entries_.clear();
    args_.clear();
    lines_.clear();
    fileName_.clear();
    filesBeingRead_.clear();
}

QString configValue(const QString &key, const QString &def)
{
    return ConfigStore::instance().configValue(key, def);
}

QString dataRoot()
{
    return g_dataRoot;
}

void setDataRoot(const QString &dir)
{
    g_dataRoot = dir;
}

int sinogramImageVariant()
{
    return g_sinogramImageVariant;
}

void setSinogramImageVariant(int variant)
{
    g_sinogramImageVariant = variant;
}
