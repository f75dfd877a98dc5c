#pragma once

// Local
#include <array>
#include <string_view>

/// The fields of one text line, split at runs of white space (and of commas where asked): the first
/// few kept, all counted. A blank line has no fields.
struct LineFields
{
    static constexpr int kept = 4;
    std::array<std::string_view, kept> field;
    int count = 0;
};

LineFields splitFields(std::string_view line, bool commasSeparate);

/// A base-10 integer with an optional sign, the whole field; 0 when it is not one or does not fit
/// in 32 bits.
int fieldToInt(std::string_view field);

/// A decimal number (exponent, "inf" and "nan" allowed, optional sign), the whole field; 0 when it
/// is not one or is out of range.
double fieldToDouble(std::string_view field);

/// Walks a text line by line; a line ends at '\n' (a '\r' before it is white space to the fields).
class LineCursor
{
public:
    explicit LineCursor(std::string_view text)
        : rest_(text)
    {
    }
    bool next(std::string_view &line);

private:
    std::string_view rest_;
    bool done_ = false;
};
