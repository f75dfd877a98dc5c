// The XANES tab's fields (and the batch words that set them) on any bytes: a line per field, read by
// the command's rules. Whatever is accepted is an edge above 0, ranges that run upwards, a window
// above 0, at most the standards a fit takes, named, and a threshold and pixel size in range.

// Local
#include "tests/fuzz/fuzzsupport.h"
#include "xafs/xanesjob.h"
#include <cmath>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool upwards(const EdgeRange &r, bool open)
{
    return std::isfinite(r.from) && (r.to ? std::isfinite(*r.to) && *r.to > r.from : open);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines
        = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(u'\n');
    XanesFields f;
    QString *texts[] = {&f.edge, &f.pre, &f.post, &f.edgeWindow, &f.fit, &f.standards, &f.minJump, &f.pixelSize};
    for (qsizetype i = 0; i < qsizetype(std::size(texts)) && i < lines.size(); ++i)
        *texts[i] = lines[i];
    f.sumToOne = lines.size() > 8 && lines[8].startsWith(u'1');
    XanesSettings s;
    QString error;
    if (!xanesSettingsFromFields(f, s, error)) {
        check(!error.isEmpty());
        return 0;
    }
    check(std::isfinite(s.edge) && s.edge > 0.0);
    check(upwards(s.pre, false) && upwards(s.post, true) && upwards(s.fit, false));
    check(std::isfinite(s.edgeWindow) && s.edgeWindow > 0.0);
    check(int(s.standards.size()) <= maxStandards);
    for (const StandardChoice &choice : s.standards)
        check(!choice.name.isEmpty() && !choice.file.isEmpty());
    check(!s.minJump || (std::isfinite(*s.minJump) && *s.minJump >= 0.0));
    check(!s.pixelSizeUm || (std::isfinite(*s.pixelSizeUm) && *s.pixelSizeUm > 0.0));
    return 0;
}
