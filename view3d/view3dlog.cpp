#include "view3d/view3dlog.h"

Q_LOGGING_CATEGORY(lcView3d, "qv.view3d", QtInfoMsg)
