#include "recon/reconlog.h"

Q_LOGGING_CATEGORY(lcRecon, "qv.recon", QtInfoMsg)
