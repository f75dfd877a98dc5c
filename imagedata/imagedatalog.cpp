#include "imagedata/imagedatalog.h"

Q_LOGGING_CATEGORY(lcImageData, "qv.imagedata", QtInfoMsg)
