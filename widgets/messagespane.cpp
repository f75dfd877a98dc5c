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
    // Whether the pane follows is decided by where the operator leaves it, not by comparing the bar
    // after an insertion: a wrapped line is laid out after it is added (in Japanese, where lines break
    // between any two characters, the layout lags by a line), which moves the end past the value.
    QScrollBar *bar = verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this,
        [this, bar](int value) { following_ = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (following_)
            bar->setValue(maximum);
    });
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
    const bool follow = following_;
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
    if (follow) { // the newest message in sight, unless the operator scrolled back to read
        following_ = true;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

void MessagesPane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    menu->addSeparator();
    menu->addAction(tr("Clear"), this, &QPlainTextEdit::clear);
    menu->exec(event->globalPos());
    delete menu;
}
