#include "view3d/textfields.h"

// Local
#include <charconv>
#include <cstring>
#include <limits>

namespace {

inline bool isBlank(char c, bool commas)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || (commas && c == ',');
}

} // namespace

LineFields splitFields(std::string_view line, bool commasSeparate)
{
    LineFields fields;
    const char *p = line.data();
    const char *end = p + line.size();
    for (;;) {
        while (p < end && isBlank(*p, commasSeparate))
            ++p;
        if (p == end)
            break;
        const char *start = p;
        while (p < end && !isBlank(*p, commasSeparate))
            ++p;
        if (fields.count < LineFields::kept)
            fields.field[static_cast<size_t>(fields.count)]
                = std::string_view(start, static_cast<size_t>(p - start));
        ++fields.count;
    }
    return fields;
}

int fieldToInt(std::string_view field)
{
    const char *p = field.data();
    const char *end = p + field.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || end - p > 18) // 18 digits cannot overflow the sum below
        return 0;
    long long v = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        v = v * 10 + (*p - '0');
    }
    v = negative ? -v : v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(v);
}

double fieldToDouble(std::string_view field)
{
    const char *p = field.data();
    const char *end = p + field.size();
    if (p < end && *p == '+')
        ++p;
    if (p < end && (*p == '+' || *p == '-') && p != field.data())
        return 0.0; // "+-1"
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(p, end, v, std::chars_format::general);
    if (ec != std::errc() || ptr != end)
        return 0.0;
    return v;
}

bool LineCursor::next(std::string_view &line)
{
    if (done_)
        return false;
    const void *nl = std::memchr(rest_.data(), '\n', rest_.size());
    if (!nl) {
        done_ = true;
        if (rest_.empty())
            return false; // the text ended with a line feed
        line = rest_;
        return true;
    }
    const size_t length = static_cast<size_t>(static_cast<const char *>(nl) - rest_.data());
    line = rest_.substr(0, length);
    rest_.remove_prefix(length + 1);
    return true;
}
