// The one buffer under every source, and its one read.
#include "reading/inputBuffer.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
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

// The mapped files a bus error may come from, each with its message made
// beforehand: the handler may do nothing but look them up and write.  The
// classic tools map three files at most; beyond kMostMappings a file is
// read instead.
struct MappedPlace {
    const unsigned char* begin = nullptr;
    std::size_t length = 0;
    std::string what;
};
constexpr std::size_t kMostMappings = 4;
std::array<MappedPlace, kMostMappings> gMappedPlaces;

void onBusError(int, siginfo_t* info, void*)
{
    const auto* const at = static_cast<const unsigned char*>(info->si_addr);
    for (const MappedPlace& place : gMappedPlaces)
        if (place.length > 0 && at >= place.begin && at - place.begin < static_cast<std::ptrdiff_t>(place.length))
            failInHandler(place.what.c_str(), "the file was cut short while it was read");
    // Not a mapped file's: the fault repeats and ends the process as it would have.
    ::signal(SIGBUS, SIG_DFL);
}

bool placeMapping(const unsigned char* begin, std::size_t length, const char* path)
{
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    if (!installed)
        return false;
    for (MappedPlace& place : gMappedPlaces) {
        if (place.length == 0) {
            place.what = "cannot read " + shellQuoted(path);
            place.begin = begin;
            place.length = length;
            return true;
        }
    }
    return false;
}

std::size_t pageSize()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

// Moves the window's end to at, the zero byte after it with it.
void placeWindowEnd(InputBuffer& input, std::size_t at)
{
    if (input.end < input.mappedSize)
        input.buffer[input.end] = input.coveredByte;
    input.end = at;
    if (at < input.mappedSize) {
        input.coveredByte = input.buffer[at];
        input.buffer[at] = '\0';
    }
}

// Maps the file's whole pages between pages of its own: one before, for the
// tokenizers' reads behind the data, and two after, into which the last
// part page of the file is read, not mapped, so that the zero byte after
// the data and the room past it are the buffer's own whatever the file
// gains meanwhile.  The mapping is private and writable, for the windows'
// zero bytes, and sets no memory aside.  The descriptor is then set to read
// on from the end of what was taken.  Where anything of this fails, the
// file is read as any other, from its start.
bool mapWholeFile(InputBuffer& input)
{
    struct stat status;
    if (::fstat(input.file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size < static_cast<off_t>(kMapLeast) ||
        static_cast<std::uint64_t>(status.st_size) > (std::uint64_t{1} << 46))
        return false;
    const std::size_t page = pageSize();
    const auto size = static_cast<std::size_t>(status.st_size);
    const std::size_t whole = size / page * page;
    const std::size_t tail = size - whole;
    const std::size_t length = page + whole + 2 * page;
    constexpr int kOwn = MAP_PRIVATE | MAP_NORESERVE;
    void* const reserved = ::mmap(nullptr, length, PROT_NONE, kOwn | MAP_ANONYMOUS, -1, 0);
    if (reserved == MAP_FAILED)
        return false;
    std::unique_ptr<unsigned char, MappedFile> mapping(static_cast<unsigned char*>(reserved), MappedFile{length});
    unsigned char* const data = mapping.get() + page;
    const auto place = [&](unsigned char* at, std::size_t bytes, int flags, int fd) {
        return ::mmap(at, bytes, PROT_READ | PROT_WRITE, kOwn | MAP_FIXED | flags, fd, 0) != MAP_FAILED;
    };
    if (!place(mapping.get(), page, MAP_ANONYMOUS, -1) || !place(data + whole, 2 * page, MAP_ANONYMOUS, -1) ||
        !place(data, whole, 0, input.file.fd))
        return false;
    for (std::size_t got = 0; got < tail;) {
        const ssize_t more = ::pread(input.file.fd, data + whole + got, tail - got, static_cast<off_t>(whole + got));
        if (more == 0 || (more < 0 && errno != EINTR))
            return false;
        got += more > 0 ? static_cast<std::size_t>(more) : 0;
    }
    // Placed before the descriptor moves on: a file not mapped is read from
    // its start.
    if (!placeMapping(mapping.get(), length, input.path) ||
        ::lseek(input.file.fd, static_cast<off_t>(size), SEEK_SET) != static_cast<off_t>(size))
        return false;
    ::madvise(data, whole, MADV_SEQUENTIAL);
    input.mapping = std::move(mapping);
    input.mappedSize = size;
    input.buffer = data;
    // No window yet, so no byte to give back.
    input.end = size;
    placeWindowEnd(input, std::min(size, kMapWindow));
    return true;
}

// The next window, the pages well behind the reads handed back first: a
// page stays behind them, for the tokenizers' look behind the token.
std::size_t nextWindow(InputBuffer& input)
{
    const std::size_t page = pageSize();
    const std::size_t spent = input.pos / page * page;
    if (spent > input.released + page) {
        ::madvise(input.buffer + input.released, spent - page - input.released, MADV_DONTNEED);
        input.released = spent - page;
    }
    const std::size_t before = input.end;
    placeWindowEnd(input, input.mappedSize - before > kMapWindow ? before + kMapWindow : input.mappedSize);
    return input.end - before;
}

// Moves the bytes not yet taken, and the byte before them, to the front of
// the buffer's own memory: from further into it, or from the mapping, which
// is then left, reads going on after it.
void keepUntaken(InputBuffer& input)
{
    unsigned char* const own = input.memory.get() + kFrontPadding;
    if (input.pos == 0 && input.buffer == own)
        return;
    own[-1] = input.buffer[static_cast<std::ptrdiff_t>(input.pos) - 1];
    std::memmove(own, input.buffer + input.pos, input.end - input.pos);
    input.bufferOffset += input.pos;
    input.end -= input.pos;
    input.pos = 0;
    input.buffer = own;
    input.mapping.reset();
}

}  // namespace

void MappedFile::operator()(unsigned char* pages) const
{
    for (MappedPlace& place : gMappedPlaces)
        if (place.begin == pages)
            place.length = 0;
    ::munmap(pages, length);
}

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
    input.mayMap = false;
    std::memcpy(input.buffer + input.end, bytes, length);
    input.end += length;
    input.buffer[input.end] = '\0';
}

std::size_t refillInput(InputBuffer& input)
{
    if (input.atEof)
        return 0;
    if (input.mayMap) {
        input.mayMap = false;
        if (mapWholeFile(input))
            return input.end;
    }
    if (input.mapping != nullptr) {
        if (input.end < input.mappedSize)
            return nextWindow(input);
        // What the mapping still holds must fit the buffer.
        if (input.end - input.pos >= input.capacity)
            return 0;
    }
    keepUntaken(input);
    const std::size_t got = readRetrying(input.file.fd, input.path, input.buffer + input.end, input.capacity - input.end);
    input.atEof = got == 0;
    input.end += got;
    input.buffer[input.end] = '\0';
    return got;
}

std::size_t bytesLeavingOnRefill(const InputBuffer& input)
{
    return input.mapping != nullptr && input.end < input.mappedSize ? 0 : input.pos;
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
