#include "automation/batchfile.h"

// Qt
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextStream>

// Local
#include "automation/batchcmd.h"
#include "automation/batchlines.h"
#include "config/specialfile.h"
#include <algorithm>

namespace {

bool isControl(char32_t c)
{
    const bool allowed = c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
    return !allowed && (c < 0x20 || (c >= 0x7f && c <= 0x9f));
}

class Reader
{
public:
    explicit Reader(BatchFileLines &out)
        : out_(out)
    {
    }

    // `via`: the INCLUDE line that names the file, empty for the batch file itself.
    bool read(const QString &fileName, const QString &via, QString &error)
    {
        const QString where
            = via.isEmpty() ? fileName : QStringLiteral("%1 (INCLUDE in %2)").arg(fileName, via);
        const QString absolute = QFileInfo(fileName).absoluteFilePath();
        if (reading_.contains(absolute)) {
            error = QStringLiteral("Batch file includes itself (INCLUDE loop), not read : %1").arg(where);
            return false;
        }
        if (reading_.size() > maxBatchIncludeDepth) {
            error = QStringLiteral("Batch files are included more than %1 deep, not read : %2")
                        .arg(maxBatchIncludeDepth)
                        .arg(where);
            return false;
        }
        // A pipe or a device would block the opening or never end: only regular files are read.
        if (isSpecialFile(fileName)) {
            error = QStringLiteral("Batch file is not a regular file, not read : %1").arg(where);
            return false;
        }
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Can't open batch file %1").arg(where);
            return false;
        }
        // Read with a bound, so that neither a huge file nor an endless device is taken in whole; in
        // pieces, so that a small file does not cost a buffer of the bound.
        QByteArray bytes;
        while (bytes.size() <= maxBatchFileBytes) {
            const QByteArray piece
                = file.read(std::min<qint64>(64 * 1024, maxBatchFileBytes + 1 - bytes.size()));
            if (piece.isEmpty())
                break;
            bytes += piece;
        }
        if (bytes.size() > maxBatchFileBytes) {
            error = QStringLiteral("Batch file is larger than 16 MiB, not read : %1").arg(where);
            return false;
        }
        QString text, why;
        if (!batchFileText(bytes, text, why)) {
            error = QStringLiteral("Batch file is not text (%1), not read : %2").arg(why, where);
            return false;
        }
        QStringList fileLines;
        QTextStream in(&text);
        QString line;
        while (in.readLineInto(&line)) // "\n" and "\r\n" both end a line
            fileLines.append(line);

        reading_.append(absolute);
        bool ok = true;
        for (const NumberedLine &l : numberedCommandLines(fileLines)) {
            const BatchLineOrigin origin {fileName, l.number};
            const BatchCmd c = parseBatchCmd(l.text);
            if (c.cmd.compare(QLatin1String("INCLUDE"), Qt::CaseInsensitive) == 0) {
                ok = read(textArg(c), origin.text(), error);
            } else if (out_.lines.size() >= maxBatchLines) {
                error = QStringLiteral("Batch file holds more than %1 command lines with its includes, not "
                                       "read : %2")
                            .arg(maxBatchLines)
                            .arg(where);
                ok = false;
            } else {
                out_.lines.append(l.text);
                out_.origins.push_back(origin);
            }
            if (!ok)
                break;
        }
        reading_.removeLast();
        return ok;
    }

private:
    BatchFileLines &out_;
    QStringList reading_; // the files being read, outermost first
};

} // namespace

QString BatchLineOrigin::text() const
{
    return QStringLiteral("%1 line %2").arg(file).arg(line);
}

bool batchFileText(const QByteArray &bytes, QString &text, QString &why)
{
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        why = QStringLiteral("a NUL byte on line %1").arg(bytes.left(nul).count('\n') + 1);
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    int line = 1;
    for (const QChar c : std::as_const(text)) {
        if (c == u'\n')
            ++line;
        else if (isControl(c.unicode())) {
            why = QStringLiteral("control character 0x%1 on line %2")
                      .arg(c.unicode(), 2, 16, QLatin1Char('0'))
                      .arg(line);
            return false;
        }
    }
    return true;
}

bool readBatchFile(const QString &fileName, BatchFileLines &out, QString &error)
{
    out = BatchFileLines {};
    BatchFileLines read;
    Reader reader(read);
    if (!reader.read(fileName, QString(), error))
        return false;
    out = std::move(read);
    return true;
}
