// .npy files: the header read and checked, the array after it streamed as
// an array source.  Versions 1, 2 and 3; float32 or float64 of either byte
// order; shape (n,), (n, 1), or (n, m) with --column choosing the column;
// C order, or Fortran order for one column.
#include "inputs/sourceKinds.h"

#include "support/quoting.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace calcgap::report {

namespace {

constexpr std::size_t kMagicLength = 6;
// Beyond any header numpy writes; a longer one is taken for damage.
constexpr std::size_t kLongestHeader = std::size_t{1} << 20;

struct NpyHeader {
    std::string descr;
    // The dtype is a list of fields rather than one type.
    bool structured = false;
    bool fortranOrder = false;
    std::vector<std::int64_t> shape;
};

void readExactly(Prefix& prefix, int fd, const char* path, unsigned char* out, std::size_t length)
{
    if (!readFromPrefix(prefix, fd, path, out, length))
        failSource(path, "its .npy header is cut short");
}

// A small reader of the header's Python literal.
struct Literal {
    std::string_view text;
    std::size_t at = 0;
};

void skipBlanks(Literal& l)
{
    while (l.at < l.text.size() && std::isspace(static_cast<unsigned char>(l.text[l.at])))
        ++l.at;
}

bool take(Literal& l, char c)
{
    skipBlanks(l);
    if (l.at < l.text.size() && l.text[l.at] == c) {
        ++l.at;
        return true;
    }
    return false;
}

bool quoted(Literal& l, std::string& out)
{
    skipBlanks(l);
    if (l.at >= l.text.size() || (l.text[l.at] != '\'' && l.text[l.at] != '"'))
        return false;
    const char quote = l.text[l.at++];
    const std::size_t close = l.text.find(quote, l.at);
    if (close == std::string_view::npos)
        return false;
    out = std::string(l.text.substr(l.at, close - l.at));
    l.at = close + 1;
    return true;
}

bool word(Literal& l, std::string& out)
{
    skipBlanks(l);
    const std::size_t start = l.at;
    while (l.at < l.text.size() && std::isalnum(static_cast<unsigned char>(l.text[l.at])))
        ++l.at;
    out = std::string(l.text.substr(start, l.at - start));
    return !out.empty();
}

bool shapeTuple(Literal& l, std::vector<std::int64_t>& shape)
{
    if (!take(l, '('))
        return false;
    for (;;) {
        if (take(l, ')'))
            return true;
        std::string digits;
        if (!word(l, digits) || digits.size() > 18)
            return false;
        for (char c : digits)
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return false;
        shape.push_back(std::stoll(digits));
        if (!take(l, ',') && !take(l, ')'))
            return false;
        if (l.text[l.at - 1] == ')')
            return true;
    }
}

// {'descr': '<f8', 'fortran_order': False, 'shape': (3,), }, keys in any
// order; false for anything else.
bool parseHeader(std::string_view text, NpyHeader& header)
{
    Literal l{text};
    if (!take(l, '{'))
        return false;
    bool gotDescr = false;
    bool gotOrder = false;
    bool gotShape = false;
    while (!take(l, '}')) {
        std::string key;
        if (!quoted(l, key) || !take(l, ':'))
            return false;
        if (key == "descr") {
            if (!quoted(l, header.descr)) {
                header.structured = take(l, '[');
                return header.structured;
            }
            gotDescr = true;
        } else if (key == "fortran_order") {
            std::string value;
            if (!word(l, value) || (value != "True" && value != "False"))
                return false;
            header.fortranOrder = value == "True";
            gotOrder = true;
        } else if (key == "shape") {
            if (!shapeTuple(l, header.shape))
                return false;
            gotShape = true;
        } else {
            return false;
        }
        if (!take(l, ','))
            return take(l, '}') && gotDescr && gotOrder && gotShape;
    }
    return gotDescr && gotOrder && gotShape;
}

}  // namespace

void openNpyFile(ValueSource& source, int fd, const char* path, Prefix& prefix, const SourceOptions& options)
{
    // Magic, version, and the header's length: 2 bytes in version 1, 4 in
    // versions 2 and 3.
    unsigned char start[kMagicLength + 2 + 4];
    readExactly(prefix, fd, path, start, kMagicLength + 4);
    const unsigned major = start[kMagicLength];
    if (major < 1 || major > 3)
        failSource(path, "its .npy version " + std::to_string(major) + "." + std::to_string(start[kMagicLength + 1]) +
                             " is not 1, 2 or 3");
    const std::size_t lengthBytes = major == 1 ? 2 : 4;
    const std::size_t fixed = kMagicLength + 2 + lengthBytes;
    readExactly(prefix, fd, path, start + kMagicLength + 4, fixed - kMagicLength - 4);
    std::size_t headerLength = start[kMagicLength + 2] | std::size_t{start[kMagicLength + 3]} << 8;
    if (lengthBytes == 4)
        headerLength |= std::size_t{start[kMagicLength + 4]} << 16 | std::size_t{start[kMagicLength + 5]} << 24;
    if (headerLength > kLongestHeader)
        failSource(path, "its .npy header claims " + std::to_string(headerLength) + " bytes");
    std::string text(headerLength, '\0');
    readExactly(prefix, fd, path, reinterpret_cast<unsigned char*>(text.data()), headerLength);

    NpyHeader header;
    if (!parseHeader(text, header))
        failSource(path, "its .npy header is malformed: " + shellQuoted(text.substr(0, text.find_last_not_of(" \n") + 1)));
    if (header.structured)
        failSource(path, "its dtype is a structured type, not float32 or float64");
    const std::string& d = header.descr;
    const bool known = d.size() == 3 && (d[0] == '<' || d[0] == '>' || d[0] == '=') && d[1] == 'f' &&
                       (d[2] == '4' || d[2] == '8');
    if (!known)
        failSource(path, "dtype " + shellQuoted(d) + " is not float32 or float64");
    const std::size_t rank = header.shape.size();
    if (rank == 0 || rank > 2)
        failSource(path, "its array has " + std::to_string(rank) + " dimensions, not 1 or 2");
    ArrayLayout layout;
    layout.elementSize = d[2] == '4' ? 4 : 8;
    const bool little = d[0] == '<' || (d[0] == '=' && std::endian::native == std::endian::little);
    layout.swapBytes = little != (std::endian::native == std::endian::little);
    layout.rows = header.shape[0];
    layout.columns = rank == 2 ? header.shape[1] : 1;
    // The shape as the header declares it, for what is said of it, before
    // a flat read makes its elements one column.
    const std::int64_t declaredRows = layout.rows;
    const std::int64_t declaredColumns = layout.columns;
    // No file holds 2^62 bytes: a shape past that is malformed, and its
    // element count need not fit in any integer.
    constexpr std::int64_t kMostBytes = std::int64_t{1} << 62;
    if (layout.columns > 0 && layout.rows > kMostBytes / static_cast<std::int64_t>(layout.elementSize) / layout.columns)
        failSource(path, "its .npy header declares a shape (" + std::to_string(layout.rows) + ", " +
                             std::to_string(layout.columns) + ") larger than any file");
    if (options.columnName != nullptr)
        failSource(path, "a .npy array has no column names");
    std::string reason;
    const std::int64_t column = chooseArrayColumn(options, "its array", layout.columns, reason);
    if (!reason.empty())
        failSource(path, reason);
    if (column < 0) {
        // Every element in order: the rows of a C-ordered array one after
        // the other.
        if (header.fortranOrder)
            failSource(path, "its array is in Fortran order, which is read only for one column");
        layout.rows *= layout.columns;
        layout.valuesPerRow = layout.columns;
        layout.columns = 1;
    }
    if (header.fortranOrder && layout.columns > 1)
        failSource(path, "its array is in Fortran order, which is read only for one column");
    layout.column = std::max<std::int64_t>(column, 0);
    layout.description = ".npy " + d;
    if (layout.columns > 1)
        layout.description += ", column " + std::to_string(column + 1) + " of " + std::to_string(layout.columns);
    // A regular file shorter than its header says is found at once.
    struct stat status;
    const std::uint64_t dataStart = fixed + headerLength;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && layout.rows >= 0) {
        const auto size = static_cast<std::uint64_t>(status.st_size);
        const std::uint64_t wanted = static_cast<std::uint64_t>(layout.rows) * static_cast<std::uint64_t>(layout.columns) *
                                     layout.elementSize;
        const std::uint64_t rowBytes = static_cast<std::uint64_t>(declaredColumns) * layout.elementSize;
        if (size < dataStart + wanted)
            failSource(path, "it ends after " + std::to_string((size - std::min(size, dataStart)) / rowBytes) +
                                 " of the " + std::to_string(declaredRows) + " rows its header declares");
    }
    openArray(source, fd, path, prefix.bytes.data() + prefix.used, prefix.bytes.size() - prefix.used, layout);
    source.arrayColumns = rank == 2 ? declaredColumns : 0;
}

}  // namespace calcgap::report
