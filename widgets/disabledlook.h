#pragma once

class QWidget;

/// Makes disabled controls look disabled even when a style sheet colours them: a state colour such
/// as the idle blue of "Calc" is painted faded while the control is disabled, and as it is when it
/// is enabled again. The style sheets themselves are left exactly as they were set. Applies to
/// `root` and every widget under it at the time of the call; call it again for widgets made later.
/// \test tst_panels.cpp
void keepDisabledLook(QWidget *root);

/// True while `w` is drawn faded by `keepDisabledLook`.
bool looksDisabled(const QWidget *w);
