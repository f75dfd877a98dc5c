#pragma once

// Qt
#include <QString>

// Local
#include <memory>

class ImgData;

enum class ImgFileType { ITEX = 0, TIFF = 1, UNKNOWN = 2, HDF5 = 3 };

/// True when the file begins with the two bytes "IM".
bool isItexFile(const QString &fileName);
/// True when the file begins with "II" or "MM".
bool isTiffFile(const QString &fileName);
/// True when the file carries the HDF5 signature, at its start or after a user block (512, 1024,
/// 2048 … bytes); whatever its name (".h5", ".hdf5", ".nxs", ".hdf").
bool isHdf5File(const QString &fileName);
/// ITEX, else TIFF, else HDF5, else UNKNOWN (with a debug message).
ImgFileType checkFileType(const QString &fileName);
/// A new, initialised image object of that type; none for UNKNOWN, and none for HDF5: a scan file
/// holds many frames (see Hdf5Scan).
std::unique_ptr<ImgData> createImgData(ImgFileType type);
/// `createImgData(checkFileType(name))`, then `open` in memory mode; none when that fails.
std::unique_ptr<ImgData> openImgData(const QString &fileName);
