#pragma once

// Qt
#include <QPlainTextEdit>

// Local
#include "config/messagelog.h"

/// The program's messages, time-stamped, newest at the bottom: warnings on a yellow ground, errors
/// on a red one. The text can be selected and copied; the context menu also clears the pane.
/// It shows what the message log already holds when it is made and follows it from then on.
/// \test tst_bodywindow.cpp
class MessagesPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit MessagesPane(QWidget *parent = nullptr);

    /// The background of a line of the given level (none for Info).
    static QColor groundOf(LogMessage::Level level);

public slots:
    void addMessage(const LogMessage &message);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool following_ = true; // the bar stands at the end: new lines keep it there
};
