// Names and arguments as messages show them: quoted so that a message stays
// one line and no byte of a name reaches the terminal as a control sequence
// or reorders what it shows, in the forms a POSIX shell reads back as the
// same bytes.
#include "support/quoting.h"

#include <cstdint>
#include <cstdio>

namespace calcgap {

namespace {

// Code points that print nothing yet change what the terminal shows: the
// Unicode format characters (among them the bidirectional controls, which
// reorder the text around them, and the byte-order mark) and the line and
// paragraph separators.  Ranges, inclusive, in order.
constexpr std::uint32_t kInvisible[][2] = {
    {0x00ad, 0x00ad},   {0x0600, 0x0605},   {0x061c, 0x061c},   {0x06dd, 0x06dd},
    {0x070f, 0x070f},   {0x0890, 0x0891},   {0x08e2, 0x08e2},   {0x180e, 0x180e},
    {0x200b, 0x200f},   {0x2028, 0x202e},   {0x2060, 0x2064},   {0x2066, 0x206f},
    {0xfeff, 0xfeff},   {0xfff9, 0xfffb},   {0x110bd, 0x110bd}, {0x110cd, 0x110cd},
    {0x13430, 0x1343f}, {0x1bca0, 0x1bca3}, {0x1d173, 0x1d17a}, {0xe0001, 0xe0001},
    {0xe0020, 0xe007f},
};

bool invisible(std::uint32_t codePoint)
{
    for (const auto& range : kInvisible)
        if (codePoint >= range[0] && codePoint <= range[1])
            return true;
    return false;
}

// The length of the printable character at p, before end: an ASCII
// character other than a control, or a well-formed UTF-8 sequence for a
// code point that is neither a C1 control nor invisible; 0 for anything
// else.
std::size_t printableLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned first = p[0];
    if (first >= 0x20 && first < 0x7f)
        return 1;
    if (first < 0xc2 || first > 0xf4)
        return 0;
    const std::size_t length = first < 0xe0 ? 2 : first < 0xf0 ? 3 : 4;
    if (static_cast<std::size_t>(end - p) < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((p[i] & 0xc0) != 0x80)
            return 0;
    const unsigned second = p[1];
    // C1 controls, overlong forms, surrogates, and beyond U+10FFFF.
    if ((first == 0xc2 && second < 0xa0) || (first == 0xe0 && second < 0xa0) ||
        (first == 0xed && second >= 0xa0) || (first == 0xf0 && second < 0x90) ||
        (first == 0xf4 && second >= 0x90))
        return 0;
    std::uint32_t codePoint = first & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i)
        codePoint = (codePoint << 6) | (p[i] & 0x3f);
    return invisible(codePoint) ? 0 : length;
}

void appendEscaped(std::string& out, unsigned char c)
{
    static const char kNamed[] = "abtnvfr";
    if (c >= '\a' && c <= '\r') {
        out += '\\';
        out += kNamed[c - '\a'];
        return;
    }
    char octal[5];
    std::snprintf(octal, sizeof octal, "\\%03o", c);
    out += octal;
}

}  // namespace

bool isPrintable(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    while (p < end) {
        const std::size_t length = printableLength(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

std::string wordOrQuoted(std::string_view text)
{
    const bool plain = !text.empty() && isPrintable(text) && text.find_first_of(" '\"") == std::string_view::npos;
    return plain ? std::string(text) : shellQuoted(text);
}

std::string shellQuoted(std::string_view text)
{
    const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = bytes + text.size();
    bool printable = true;
    bool singleQuote = false;
    bool specialInDoubleQuotes = false;
    for (const unsigned char* p = bytes; p < end;) {
        const std::size_t length = printableLength(p, end);
        if (length == 0) {
            printable = false;
            break;
        }
        singleQuote = singleQuote || *p == '\'';
        specialInDoubleQuotes = specialInDoubleQuotes || *p == '"' || *p == '$' || *p == '`' || *p == '\\';
        p += length;
    }
    std::string out;
    if (printable && (!singleQuote || !specialInDoubleQuotes)) {
        const char mark = singleQuote ? '"' : '\'';
        out += mark;
        out += text;
        out += mark;
        return out;
    }

    // Printable runs in single quotes, a single quote as \', and each run of
    // other bytes in one $'...' with every byte escaped.
    bool inQuotes = false;
    for (const unsigned char* p = bytes; p < end;) {
        const std::size_t length = printableLength(p, end);
        if (length == 0 || *p == '\'') {
            if (inQuotes)
                out += '\'';
            inQuotes = false;
            if (*p == '\'') {
                out += "\\'";
                ++p;
                continue;
            }
            out += "$'";
            for (; p < end && printableLength(p, end) == 0; ++p)
                appendEscaped(out, *p);
            out += '\'';
            continue;
        }
        if (!inQuotes)
            out += '\'';
        inQuotes = true;
        out.append(reinterpret_cast<const char*>(p), length);
        p += length;
    }
    if (inQuotes)
        out += '\'';
    return out.empty() ? "''" : out;
}

}  // namespace calcgap
