#include "xafs/shiftstable.h"

// Qt
#include <QString>

QByteArray shiftsTable(std::span<const ShiftRecord> records)
{
    QByteArray text("# energy_eV\tdz\tdy\tdx\tpeak\n");
    const auto number = [](std::optional<double> v) {
        return v ? QByteArray::number(*v, 'f', 4) : QByteArrayLiteral("nan");
    };
    for (const ShiftRecord &r : records) {
        text += QByteArray::number(r.energy, 'g', 10);
        for (int a = 0; a < 3; ++a)
            text += '\t' + number(r.shift ? std::optional<double>((*r.shift)[a]) : std::nullopt);
        text += '\t' + number(r.peak);
        text += '\n';
    }
    return text;
}
