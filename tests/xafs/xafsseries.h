#pragma once

// Qt
#include <QDir>
#include <QFile>

// Local
#include "ct/ctimagefile.h"
#include "ct/ctimagetiff.h"
#include "tools/phantom/volumephantom.h"

// Synthetic CT-XAFS series for the tests, written as a series run writes it with one folder per energy.

/// Writes `volume` as the slices of one energy: DIR/TAG/NAME-TAG-NNNNN.tif (float TIFF, slices
/// first, first + step, …) or .dat (CT image data files). Slices are square (ny = nx).
inline bool writeEnergy(const QString &dir, const QString &tag, const Volume &volume, int first = 10,
    int step = 2, bool dataFiles = false)
{
    const QDir folder(QDir(dir).filePath(tag));
    if (!QDir().mkpath(folder.path()))
        return false;
    const int n = volume.shape.nx;
    const Region region {0.0, 0.0, double(n), double(volume.shape.ny)};
    for (int z = 0; z < volume.shape.nz; ++z) {
        const int slice = first + z * step;
        std::vector<double> image(std::size_t(n) * n, 0.0);
        for (std::size_t i = 0; i < volume.shape.plane(); ++i)
            image[i] = volume.slice(z)[i];
        const QByteArray bytes = dataFiles ? ctImageDataText(image, n, region, DataWindow {1e30, -1e30, 0.0})
                                           : ctImageTiff(image, n, region, slice);
        QFile f(folder.filePath(QStringLiteral("demo-%1-%2.%3")
                                    .arg(tag)
                                    .arg(slice, 5, 10, QLatin1Char('0'))
                                    .arg(dataFiles ? QStringLiteral("dat") : QStringLiteral("tif"))));
        if (bytes.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

/// The energies of the test series and the element's contrast at each: an edge between the third
/// and the fourth.
inline double testEnergy(int i)
{
    return 7100.0 + 5.0 * i;
}
inline QString testTag(int i)
{
    return QString::number(testEnergy(i), 'g', 10) + QStringLiteral("eV");
}
inline double testContrast(int i)
{
    return i < 3 ? 1.0 : 5.0;
}
