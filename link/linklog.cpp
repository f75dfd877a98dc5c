#include "link/linklog.h"

Q_LOGGING_CATEGORY(lcLink, "qv.link", QtInfoMsg)
