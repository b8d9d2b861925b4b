// The one buffer under every source, and its one read.
#include "reading/inputBuffer.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/mman.h>
#include <unistd.h>

namespace calcgap {

void MappedPages::operator()(unsigned char* pages) const
{
    ::munmap(pages, length);
}

OwnedDescriptor::~OwnedDescriptor()
{
    if (fd >= 0)
        ::close(fd);
}

namespace {

[[noreturn]] void failRead(const char* path, int error)
{
    fail(("cannot read " + shellQuoted(path)).c_str(), std::strerror(error));
}

}  // namespace

std::size_t readRetrying(int fd, const char* path, unsigned char* into, std::size_t length)
{
    ssize_t got;
    do
        got = ::read(fd, into, length);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        failRead(path, errno);
    return static_cast<std::size_t>(got);
}

void startInputBuffer(InputBuffer& input, int fd, const char* path, std::size_t capacity)
{
    input = InputBuffer{};
    input.file = OwnedDescriptor(fd);
    input.path = path;
    input.capacity = capacity;
    const std::size_t length = kFrontPadding + capacity + kBackPadding;
    void* const mapped = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        failRead(path, ENOMEM);
    input.memory = std::unique_ptr<unsigned char, MappedPages>(static_cast<unsigned char*>(mapped),
                                                               MappedPages{length});
    input.buffer = input.memory.get() + kFrontPadding;
}

void preloadInput(InputBuffer& input, const unsigned char* bytes, std::size_t length)
{
    if (length == 0)
        return;
    std::memcpy(input.buffer + input.end, bytes, length);
    input.end += length;
    input.buffer[input.end] = '\0';
}

std::size_t refillInput(InputBuffer& input)
{
    if (input.atEof)
        return 0;
    if (input.pos > 0) {
        input.buffer[-1] = input.buffer[input.pos - 1];
        std::memmove(input.buffer, input.buffer + input.pos, input.end - input.pos);
        input.bufferOffset += input.pos;
        input.end -= input.pos;
        input.pos = 0;
    }
    const std::size_t got = readRetrying(input.file.fd, input.path, input.buffer + input.end, input.capacity - input.end);
    input.atEof = got == 0;
    input.end += got;
    input.buffer[input.end] = '\0';
    return got;
}

bool fillInput(InputBuffer& input, std::size_t length)
{
    while (input.end - input.pos < length)
        if (refillInput(input) == 0)
            return false;
    return true;
}

bool skipByteOrderMark(InputBuffer& input)
{
    static const unsigned char kMark[] = {0xef, 0xbb, 0xbf};
    while (input.end - input.pos < std::size(kMark) &&
           std::memcmp(input.buffer + input.pos, kMark, input.end - input.pos) == 0 && refillInput(input) > 0) {
    }
    if (input.end - input.pos < std::size(kMark) ||
        std::memcmp(input.buffer + input.pos, kMark, std::size(kMark)) != 0)
        return false;
    input.pos += std::size(kMark);
    return true;
}

}  // namespace calcgap
