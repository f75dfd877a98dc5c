#include "automation/setupfile.h"

// Qt
#include <QDebug>
#include <QDir>
#include <QFileInfo>

// Local
#include "automation/automationlog.h"
#include "automation/batchcmd.h"
#include "automation/batchfile.h"
#include "config/linetokenizer.h"
#include "config/specialfile.h"
#include "imagedata/imagefiles.h"

QString setupFileTitle()
{
    return QStringLiteral("### quorvel setup saving setup file");
}

QString setupEntryLine(const QString &key, const QString &value)
{
    constexpr int field = 25;
    const QString padded = key.size() >= field ? key + u' ' : key.leftJustified(field, u' ');
    return padded + value;
}

QString setupFileText(const QList<SetupSection> &sections)
{
    QString text = setupFileTitle() + QStringLiteral("\n\n");
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (i > 0)
            text += u'\n';
        text += sections[i].heading + QStringLiteral("\n\n");
        for (const SetupEntry &e : sections[i].entries)
            text += setupEntryLine(e.key, e.value) + u'\n';
    }
    return text;
}

QString setupFlag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString setupReal(double v)
{
    return QString::number(v, 'g', 6);
}

QString setupText(const QString &text)
{
    // Read back by the line tokenizer: a quoted item runs to the next double quote (there is no
    // escape), and a "#" outside quotes starts a comment. The form that reads back whole is written.
    const auto readsBack = [&text](const QString &written) {
        QString item;
        return stripComment(written) == written && takeItem(written, item).trimmed().isEmpty()
            && item == text;
    };
    const QString quoted = u'"' + text + u'"';
    bool plain = !text.isEmpty();
    for (QChar c : text)
        plain = plain && !c.isSpace() && c != u'#';
    if (plain && readsBack(text))
        return text;
    if (text.isEmpty() || readsBack(quoted))
        return text.isEmpty() ? text : quoted;
    if (readsBack(text))
        return text;
    qCWarning(lcAutomation).noquote()
        << QStringLiteral("A setup text cannot be stored so that it reads back whole "
                          "(it holds a double quote): %1")
               .arg(text);
    return quoted;
}

QString setupDirPattern(const QString &firstFile)
{
    const QFileInfo info(firstFile);
    return setupText(info.absolutePath()) + QStringLiteral(" *.") + info.suffix();
}

QString setupDirFile(const QString &file)
{
    const QFileInfo info(file);
    return setupText(info.absolutePath()) + u' ' + setupText(info.fileName());
}

std::optional<QStringList> readSetupLines(const QString &fileName, QString &why)
{
    // A pipe in a setup's place would block the window; a huge file is no setup.
    QByteArray bytes;
    QString refused;
    switch (readRegularFile(fileName, maxBatchFileBytes, bytes, refused)) {
    case RegularRead::Read:
        break;
    case RegularRead::Missing:
        why = QStringLiteral("can't open save setup file : %1").arg(fileName);
        return std::nullopt;
    case RegularRead::Refused:
        why = QStringLiteral("can't open save setup file : %1 (%2)").arg(fileName, refused);
        return std::nullopt;
    }
    // Decoded as a batch file is: UTF-8 or Latin-1 text, no NUL or other control bytes.
    QString text;
    QString notText;
    if (!batchFileText(bytes, text, notText)) {
        why = QStringLiteral("can't open save setup file : %1 (%2)").arg(fileName, notText);
        return std::nullopt;
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QString missingSetupData(const BatchCmd &cmd)
{
    const QString word = cmd.cmd.toLower();
    if (word == u"images_load") {
        const QString dir = cmd.args.value(0);
        const QStringList patterns = cmd.args.mid(1);
        if (dir.isEmpty() || !imageFileEntries(dir, patterns).isEmpty())
            return {};
        return QDir(dir).filePath(patterns.join(u' '));
    }
    if (word == u"i0_load" || word == u"bg_load") {
        const QString file = cmd.args.value(0);
        return file.isEmpty() || QFileInfo(file).isFile() ? QString() : file;
    }
    return {};
}
