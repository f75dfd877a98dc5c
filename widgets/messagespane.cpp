#include "widgets/messagespane.h"

// Qt
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>

MessagesPane::MessagesPane(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("Messages"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setMaximumBlockCount(static_cast<int>(MessageLog::maxKept));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setPlaceholderText(tr("Messages of the program appear here."));
    MessageLog *log = MessageLog::install();
    for (const LogMessage &m : log->messages())
        addMessage(m);
    connect(log, &MessageLog::added, this, &MessagesPane::addMessage);
}

QColor MessagesPane::groundOf(LogMessage::Level level)
{
    switch (level) {
    case LogMessage::Warning:
        return QColor(255, 240, 176);
    case LogMessage::Error:
        return QColor(255, 192, 192);
    default:
        return QColor();
    }
}

void MessagesPane::addMessage(const LogMessage &message)
{
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCharFormat format;
    const QColor ground = groundOf(message.level);
    if (ground.isValid()) {
        format.setBackground(ground);
        format.setForeground(Qt::black); // legible on the light ground whatever the palette
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!document()->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(MessageLog::lineOf(message), format);
    if (atEnd) // follow the newest message unless the operator scrolled back to read
        bar->setValue(bar->maximum());
}

void MessagesPane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->addSeparator();
    menu->addAction(tr("Clear"), this, &QPlainTextEdit::clear);
    menu->exec(event->globalPos());
    delete menu;
}
