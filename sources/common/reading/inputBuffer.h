// A file's bytes streamed through one fixed buffer, as every kind of source
// reads them: one read that survives signals and ends the process on a
// failure, one refill that keeps the bytes not yet taken, one pass over a
// byte-order mark.  Around the data lies the room the tokenizers' wide
// reads need, and a zero byte after it that no token contains.
//
// A large regular file may instead be mapped whole where it is allowed: the
// tokenizers then read the page cache in place, which spares the copy into
// the buffer that a read makes (about a tenth of a classic tool's time).
// The mapped data is taken a window at a time, each ended by a zero byte
// put in place of the byte after it, so that a refill is the next window
// and the scans stop where they would at the end of a read; the pages well
// behind the reads are handed back as the windows move, so that a mapped
// file costs no more memory than a buffer.  When the mapped bytes are
// spent, reads go on from where the mapping ended, so that what the file
// gained meanwhile is read as a stream would read it.
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

// A file's pages mapped with the room around them; a bus error within them
// (the file was cut short while it was read) is reported as a failed read,
// not a crash, for as long as they are mapped.
struct MappedFile {
    std::size_t length = 0;
    void operator()(unsigned char* pages) const;
};

struct InputBuffer {
    OwnedDescriptor file;
    const char* path = nullptr;
    std::unique_ptr<unsigned char, MappedPages> memory;
    // The file mapped whole, while buffer points into it: how many bytes
    // it holds, how many of them were handed back, spent, and the byte
    // that the window's zero byte stands in for.
    std::unique_ptr<unsigned char, MappedFile> mapping;
    std::size_t mappedSize = 0;
    std::size_t released = 0;
    unsigned char coveredByte = 0;
    // The first refill may map the file, where its opener allows it.
    bool mayMap = false;
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
// The first refill of a buffer that may map its file maps it, where it is
// a regular file of kMapLeast bytes or more, and takes its first window; a
// refill of a mapped buffer takes the next window, or after the last one
// leaves the mapping.
constexpr std::size_t kMapLeast = std::size_t{1} << 20;
constexpr std::size_t kMapWindow = std::size_t{1} << 18;
std::size_t refillInput(InputBuffer& input);

// How many bytes at the buffer's front the next refill moves out of it.
std::size_t bytesLeavingOnRefill(const InputBuffer& input);

// Reads until the buffer holds length bytes not yet taken, or the data
// ends; whether it holds them.
bool fillInput(InputBuffer& input, std::size_t length);

// Passes over a UTF-8 byte-order mark at the start of the data, reading
// as much as it takes to tell (a stream may give a byte at a time);
// whether there was one.
bool skipByteOrderMark(InputBuffer& input);

}  // namespace calcgap
