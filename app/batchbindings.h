#pragma once

// Qt
#include <QAbstractButton>
#include <QHash>

// Local
#include "app/batchcontroller.h"
#include <functional>

/// What the command words do, by the kind of binding (whatever family the table names): a check
/// box, a pair of radio buttons, a number, a text, a clearing, or an action of its own.
struct BatchController::Bindings
{
    QHash<QString, QAbstractButton *> flags;
    QHash<QString, std::pair<QAbstractButton *, QAbstractButton *>> pairs; // the flag chooses one
    QHash<QString, std::function<void(const BatchCmd &)>> numbers;
    QHash<QString, std::function<void(const QString &)>> texts;
    QHash<QString, std::function<void()>> clears;
    QHash<QString, Action> others;
};

