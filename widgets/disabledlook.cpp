#include "widgets/disabledlook.h"

// Qt
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QWidget>

namespace {

const char *const fadedProperty = "quorvelFaded";

/// Watches enabling and style changes of the widgets it is installed on.
class DisabledLook : public QObject
{
public:
    using QObject::QObject;

    static void refresh(QWidget *w)
    {
        // Only a widget with a style sheet keeps its colours when disabled; the style greys the
        // others by itself.
        const bool fade = !w->isEnabled() && !w->styleSheet().isEmpty();
        const bool faded = looksDisabled(w);
        if (fade && !faded && !w->graphicsEffect()) {
            auto *effect = new QGraphicsOpacityEffect(w);
            effect->setOpacity(0.4);
            w->setGraphicsEffect(effect); // the widget owns it
            w->setProperty(fadedProperty, true);
        } else if (!fade && faded) {
            w->setGraphicsEffect(nullptr); // deletes our effect
            w->setProperty(fadedProperty, false);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange) {
            if (auto *w = qobject_cast<QWidget *>(watched))
                refresh(w);
        }
        return false;
    }
};

} // namespace

bool looksDisabled(const QWidget *w)
{
    return w->property(fadedProperty).toBool();
}

void keepDisabledLook(QWidget *root)
{
    // One watcher per root, owned by it (found by name: the class has no meta-object of its own).
    const QString name = QStringLiteral("disabledLookWatcher");
    QObject *look = root->findChild<QObject *>(name, Qt::FindDirectChildrenOnly);
    if (!look) {
        look = new DisabledLook(root);
        look->setObjectName(name);
    }
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        w->removeEventFilter(look); // never twice
        w->installEventFilter(look);
        DisabledLook::refresh(w);
    }
}
