#include "config/saidtext.h"

// Local
#include "config/messagelog.h"

QString SaidText::text() const
{
    return MessageLog::bilingual(english_, shown_);
}

SaidText SaidText::joined(const QList<SaidText> &parts, const QString &separator)
{
    QStringList english;
    QStringList shown;
    for (const SaidText &part : parts) {
        english << part.english_;
        shown << part.shown_;
    }
    return SaidText(english.join(separator), shown.join(separator));
}
