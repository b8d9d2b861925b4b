// A file's bytes streamed through one fixed buffer, as every kind of source
// reads them: one read that survives signals and ends the process on a
// failure, one refill that keeps the bytes not yet taken, one pass over a
// byte-order mark.  Around the data lies the room the tokenizers' wide
// reads need, and a zero byte after it that no token contains.
#pragma once

#include "reading/decimalParts.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace calcgap {

constexpr std::size_t kFrontPadding = kFastReadWidth;
constexpr std::size_t kBackPadding = 1 + kFastReadWidth;

// Anonymous pages, unmapped whole.
struct MappedPages {
    std::size_t length = 0;
    void operator()(unsigned char* pages) const;
};

// A descriptor, closed with its owner.
struct OwnedDescriptor {
    int fd = -1;
    OwnedDescriptor() = default;
    explicit OwnedDescriptor(int descriptor) : fd(descriptor) {}
    OwnedDescriptor(OwnedDescriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    OwnedDescriptor& operator=(OwnedDescriptor&& other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    ~OwnedDescriptor();
};

struct InputBuffer {
    OwnedDescriptor file;
    const char* path = nullptr;
    std::unique_ptr<unsigned char, MappedPages> memory;
    // kFrontPadding bytes into memory.
    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t pos = 0;
    std::size_t end = 0;
    // Bytes of the file that came before the buffer's first byte.
    std::uint64_t bufferOffset = 0;
    // read(2) returned 0 once; as with stdio, the end of the data is then
    // final.
    bool atEof = false;
};

// Takes fd, which the buffer closes, and room for capacity bytes of data.
// Mapped rather than taken from the heap: zero, as the padding must be,
// with only the pages the data reaches ever touched, where calloc may clear
// the whole of a block it reuses, which a run of thousands of short files
// pays for thousands of times.
void startInputBuffer(InputBuffer& input, int fd, const char* path, std::size_t capacity);

// Hands the buffer bytes of its file that were read already.
void preloadInput(InputBuffer& input, const unsigned char* bytes, std::size_t length);

// One read(2) of up to length bytes, again where a signal interrupted it;
// 0 at the end of the data.  A failure ends the process with "cannot read
// 'PATH': REASON".
std::size_t readRetrying(int fd, const char* path, unsigned char* into, std::size_t length);

// Moves the bytes not yet taken to the buffer's front, keeping the byte
// before them in reach (a scan may ask whether a line began there), and
// reads once into the room after them.  The bytes read, 0 at the end of the
// data.  The bytes left must not fill the buffer (every caller refills with
// fewer than half of it left), or a read of nothing would pass for the end.
std::size_t refillInput(InputBuffer& input);

// Reads until the buffer holds length bytes not yet taken, or the data
// ends; whether it holds them.
bool fillInput(InputBuffer& input, std::size_t length);

// Passes over a UTF-8 byte-order mark at the start of the data, reading
// as much as it takes to tell (a stream may give a byte at a time);
// whether there was one.
bool skipByteOrderMark(InputBuffer& input);

}  // namespace calcgap
