#include "xafs/xafslog.h"

Q_LOGGING_CATEGORY(lcXafs, "qv.xafs", QtInfoMsg)
