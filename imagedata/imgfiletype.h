#pragma once

// Qt
#include <QString>

// Local
#include <memory>

class ImgData;

enum class ImgFileType { ITEX = 0, TIFF = 1, UNKNOWN = 2 };

/// True when the file begins with the two bytes "IM".
bool isItexFile(const QString &fileName);
/// True when the file begins with "II" or "MM".
bool isTiffFile(const QString &fileName);
/// ITEX, else TIFF, else UNKNOWN (with a debug message).
ImgFileType checkFileType(const QString &fileName);
/// A new, initialised image object of that type; none for UNKNOWN.
std::unique_ptr<ImgData> createImgData(ImgFileType type);
/// `createImgData(checkFileType(name))`, then `open` in memory mode; none when that fails.
std::unique_ptr<ImgData> openImgData(const QString &fileName);
