#pragma once

// Qt
#include <QCoreApplication>
#include <QDebug>
#include <QList>
#include <QString>

/// A message in two languages: English for standard error, translated for the window's "Messages"
/// pane (see `MessageLog`). Each `arg` fills both alike. Write it whole into a message:
///     qCInfo(lcWindow).noquote() << QV_SAID("%1 images loaded").arg(n);
/// `QV_SAID` translates in the context of the class it is used in, as tr() does; `QV_SAID_IN` in a
/// named context. tools/update-translations.sh collects both.
/// \test tst_messagelog.cpp
class SaidText
{
public:
    SaidText(const char *context, const char *source)
        : english_(QString::fromUtf8(source))
        , shown_(QCoreApplication::translate(context, source))
    {
    }

    /// A text the same in both (a file name, a number, nothing).
    static SaidText plain(const QString &text) { return SaidText(text, text); }
    /// `parts` one after another with `separator` between them.
    static SaidText joined(const QList<SaidText> &parts, const QString &separator);

    template<class... Args> SaidText arg(const Args &...args) const
    {
        return SaidText(english_.arg(args...), shown_.arg(args...));
    }
    /// A part said in both languages fills each with its own.
    SaidText arg(const SaidText &part) const
    {
        return SaidText(english_.arg(part.english_), shown_.arg(part.shown_));
    }

    const QString &english() const { return english_; }
    const QString &shown() const { return shown_; }
    /// Both, as a message carries them (the English alone when there is no translation).
    QString text() const;

private:
    SaidText(QString english, QString shown)
        : english_(std::move(english))
        , shown_(std::move(shown))
    {
    }

    QString english_;
    QString shown_;
};

inline QDebug operator<<(QDebug debug, const SaidText &said)
{
    return debug << said.text();
}

#define QV_SAID(source) SaidText(staticMetaObject.className(), source)
#define QV_SAID_IN(context, source) SaidText(context, source)
