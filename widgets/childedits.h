#pragma once

class QObject;
class QWidget;

/// Disconnects every line edit below `root` from `receiver`. A panel calls it in its destructor:
/// a line edit that holds the focus when the panel goes finishes its editing while the panel's
/// children are being deleted, and its signal must not reach the half-destroyed panel.
void detachChildEdits(QWidget *root, QObject *receiver);
