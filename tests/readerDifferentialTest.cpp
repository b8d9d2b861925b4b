// The value readers against the C library's own fscanf on the same bytes:
// for every read, whether a value is stored, its bits and the input
// consumed, the float reader against "%f" and the report's double reader
// against "%lf" (its float against "%f").  CALCGAP_DIFF_READS sets how many
// reads the random run compares, of the two readers together (a long run:
// CALCGAP_DIFF_READS=200000000, 10^8 each) and CALCGAP_DIFF_SEED its seed.
#include "reading/inputBuffer.h"
#include "reading/textReader.h"
#include "reading/valueSource.h"
#include "readComparison.h"
#include "testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <vector>
#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

using namespace calcgap;

namespace {

// Compares the reads and fails the test with the first mismatch.
long compareReads(const std::string& bytes, std::size_t bufferSize, long maxReads)
{
    const ReadComparison comparison = compareWithFscanf(bytes, bufferSize, maxReads);
    if (!comparison.mismatch.empty())
        ADD_FAILURE() << comparison.mismatch;
    return comparison.reads;
}

// Byte streams made to hit the scanner's corners: odd characters one at a
// time, printed floats of every kind, long digit runs, near-halfway decimals
// and known awkward tokens, glued together or apart.
class StreamMaker {
public:
    explicit StreamMaker(std::uint64_t seed) : random_(seed) {}

    std::string stream()
    {
        std::string out;
        const int atoms = pick(1, 24);
        for (int i = 0; i < atoms; ++i) {
            out += atom();
            if (pick(0, 3) != 0)
                out += space();
        }
        return out;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string space()
    {
        static const char spaces[] = " \t\n\v\f\r";
        std::string out;
        for (int i = pick(1, 3); i > 0; --i)
            out += spaces[pick(0, 5)];
        return out;
    }

    std::string digits(int count)
    {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += static_cast<char>('0' + pick(0, 9));
        return out;
    }

    float anyFloat()
    {
        const std::uint32_t bits = static_cast<std::uint32_t>(random_());
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    std::string printed(const char* format, double value)
    {
        char text[512];
        std::snprintf(text, sizeof text, format, value);
        return text;
    }

    std::string atom()
    {
        static const char* const awkward[] = {
            "inf", "INF", "infinity", "InFiNiTy", "infin", "infinit", "in", "i", "nan", "NaN",
            "nan(1)", "na", "n", "-nan", "+inf", "-", "+", "+-1", "-+1", "--1", ".", "-.", "..",
            "1..2", "1.2.3", "0x", "0X", "0x.", "-0x", "0x.p1", "0xp1", "0x1p", "0x1p+", "0x1.8p3",
            "0x1P-126", "0xAbC.dEfP-3", "0x1e5", "1e", "1e+", "1e-", "1e+x", "1E5", "1e5e5", "1.e3",
            ".5e-3", "00x1", "0.0e0", "-0", "-0.0", "1e50", "1e-50", "1e39", "1e-46", "3.4028235e38",
            "3.40282357e38", "1.4e-45", "7e-46", "0x1p128", "0x1p-150", "0x1.fffffffp127",
            "0x0.000002p-126", "e5", "p3", "x", "(", ")", "()", "1-2", "1.5-2.5", "12abc"};
        switch (pick(0, 16)) {
        case 0:
        case 1: {
            static const char letters[] = "0123456789.eEpPxX+-infatyINFATY()bcdgqz#,;";
            std::string out;
            for (int i = pick(1, 6); i > 0; --i)
                out += letters[pick(0, static_cast<int>(sizeof letters) - 2)];
            return out;
        }
        case 2:
            return std::string(1, pick(0, 9) == 0 ? '\0' : static_cast<char>(pick(1, 255)));
        case 3:
            return awkward[pick(0, static_cast<int>(std::size(awkward)) - 1)];
        case 4: {
            static const char* const formats[] = {"%.9g", "%a", "%e", "%.40e", "%f", "%.3g", "%.12f"};
            return printed(formats[pick(0, 6)], anyFloat());
        }
        case 5: {
            // Halfway between two neighbouring floats, and a hair either side.
            const float low = std::fabs(anyFloat());
            const float high = std::nextafter(low, HUGE_VALF);
            if (!std::isfinite(high))
                return "1";
            const double middle = (static_cast<double>(low) + high) / 2;
            static const char* const formats[] = {"%.17g", "%.60g", "%.9g", "%.120e"};
            return printed(formats[pick(0, 3)], middle);
        }
        case 6: {
            std::string out = digits(pick(20, 300));
            if (pick(0, 1) == 0)
                out.insert(static_cast<std::size_t>(pick(0, static_cast<int>(out.size()))), ".");
            if (pick(0, 1) == 0)
                out += "e-" + digits(pick(1, 3));
            return out;
        }
        case 7:
            return "0." + std::string(static_cast<std::size_t>(pick(1, 60)), '0') + digits(pick(1, 30));
        case 8: {
            // A halfway point written with 17 to 25 significant digits, then
            // moved a step in its last digit either way, normal or subnormal.
            const float low = std::fabs(anyFloat());
            const float high = std::nextafter(low, HUGE_VALF);
            if (!std::isfinite(high))
                return "2";
            static const int precisions[] = {16, 17, 18, 19, 24};
            char text[128];
            std::snprintf(text, sizeof text, "%.*e", precisions[pick(0, 4)],
                          (static_cast<double>(low) + high) / 2);
            std::string out = text;
            const std::size_t last = out.find('e') - 1;
            const int step = pick(-1, 1);
            if (out[last] + step >= '0' && out[last] + step <= '9')
                out[last] = static_cast<char>(out[last] + step);
            return out;
        }
        case 9: {
            // The shapes real files hold, with their signs and exponents;
            // one in eight is subnormal.
            static const char* const formats[] = {"%.6g", "%.8g", "%.9g", "%.17g", "%.18e",
                                                  "%e",   "%.7e", "%f",   "%.10f", "%+.9g"};
            const double fraction = static_cast<double>(random_() >> 11) * 0x1p-53;
            double value = std::ldexp(fraction, pick(0, 7) == 0 ? pick(-149, -126) : pick(-110, 100));
            if (pick(0, 2) == 0)
                value = -value;
            return printed(formats[pick(0, 9)], value);
        }
        case 14: {
            // Doubles as numpy and printf write them, normal, subnormal and
            // beyond the double range either way.
            static const char* const formats[] = {"%.17g", "%.18e", "%.16e", "%.15g", "%a", "%.20g"};
            double value;
            const std::uint64_t bits = random_();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value))
                value = 1.0;
            if (pick(0, 3) == 0)
                value = std::ldexp(static_cast<double>(random_() >> 11) * 0x1p-53, pick(-1090, -1000));
            std::string text = printed(formats[pick(0, 5)], value);
            if (pick(0, 9) == 0)
                text += pick(0, 1) == 0 ? "e-30" : "e300";
            return text;
        }
        case 15: {
            // Near a point halfway between two doubles, with up to 60
            // significant digits, from the long double that holds it
            // exactly.
            double low;
            const std::uint64_t bits = random_() >> 1;
            std::memcpy(&low, &bits, sizeof low);
            const double high = std::nextafter(low, HUGE_VAL);
            if (!std::isfinite(high) || !std::isfinite(low))
                return "3";
            char text[160];
            std::snprintf(text, sizeof text, "%.*Le", pick(16, 60),
                          (static_cast<long double>(low) + static_cast<long double>(high)) / 2);
            return text;
        }
        case 16: {
            // More digits than a double's rounding can need, ending in a
            // nonzero digit or not.
            std::string out = "0." + std::string(static_cast<std::size_t>(pick(0, 3)), '0') + digits(pick(790, 820));
            if (pick(0, 1) == 0)
                out += "e-" + std::to_string(pick(290, 330));
            return out;
        }
        default: {
            // The shapes the fast path takes, and its edges.
            std::string out = pick(0, 3) == 0 ? "-" : "";
            std::string mantissa = digits(pick(1, 21));
            if (pick(0, 2) != 0)
                mantissa.insert(static_cast<std::size_t>(pick(0, static_cast<int>(mantissa.size()))), ".");
            out += mantissa;
            if (pick(0, 2) == 0) {
                out += pick(0, 1) == 0 ? 'e' : 'E';
                if (pick(0, 1) == 0)
                    out += '-';
                out += std::to_string(pick(0, 45));
            }
            return out;
        }
        }
    }

    std::mt19937_64 random_;
};

long readsWanted()
{
    const char* text = std::getenv("CALCGAP_DIFF_READS");
    return text != nullptr ? std::atol(text) : 300000;
}

std::uint64_t seedWanted()
{
    const char* text = std::getenv("CALCGAP_DIFF_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261208;
}

TEST(ReaderAgainstFscanf, RandomStreamsWithEveryBufferSize)
{
    const long wanted = readsWanted();
    StreamMaker maker(seedWanted());
    long reads = 0;
    for (long streamNumber = 0; reads < wanted && !HasFailure(); ++streamNumber) {
        const std::string bytes = maker.stream();
        reads += compareReads(bytes, kBufferSizes[streamNumber % std::size(kBufferSizes)], 200);
    }
    std::printf("compared %ld reads\n", reads);
}

// What count reads of the bytes give, a failed read repeating the value
// before it, as the tools' pass keeps it.
std::vector<float> fscanfValues(const std::string& bytes, int count)
{
    const int memory = memoryFile(bytes);
    std::FILE* file = std::fopen(pathOf(memory).c_str(), "r");
    std::vector<float> values;
    float value = 0.0f;
    for (int i = 0; i < count; ++i) {
        std::fscanf(file, "%f", &value);
        values.push_back(value);
    }
    std::fclose(file);
    ::close(memory);
    return values;
}

TEST(ReaderAgainstFscanf, BlocksAsThePassReadsThem)
{
    StreamMaker maker(4242);
    std::mt19937 random(1);
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        const std::string bytes = maker.stream();
        const int count = 40;
        const std::vector<float> expected = fscanfValues(bytes, count);
        auto* const reader = new ValueReader;
        attachValueReader(*reader, memoryFile(bytes), "blocks", kBufferSizes[random() % std::size(kBufferSizes)]);
        std::vector<float> got(count);
        ReadEvents events;
        float last = 0.0f;
        for (int done = 0; done < count;) {
            const int block = std::min(count - done, static_cast<int>(random() % 9 + 1));
            done = readTextValues(*reader, events, got.data(), done, done + block, last, false);
            events.reads = done;
        }
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(floatBits(got[static_cast<std::size_t>(i)]), floatBits(expected[static_cast<std::size_t>(i)]))
                << "read " << i << " of \"" << shown(bytes) << "\"";
        *reader = ValueReader{};
        delete reader;
    }
}

TEST(ReaderAgainstFscanf, DocumentedCorners)
{
    using namespace std::string_literals;
    const std::string inputs[] = {"1e+x 5", "- 3", "0x 3", "infin 3", "nan(1)", "1..2",
                                  "1e50 1e-50", "", "   ", "\0 5"s, "-", "+\n", "0x.p1"};
    for (const std::string& input : inputs)
        for (std::size_t bufferSize : kBufferSizes)
            compareReads(input, bufferSize, 10);
}

// Decimals of few digits that lie exactly halfway between two floats, and
// their neighbours in the last digit: the fast paths must leave every one
// of them to the exact conversion or get it right.
TEST(ReaderAgainstFscanf, ShortDecimalsAtAndNearHalfwayPoints)
{
    std::mt19937_64 random(17);
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        // Between 2^(23 - s) and 2^(24 - s) floats are 2^-s apart, so the
        // halfway points are odd multiples of 2^-(s + 1), written exactly with
        // s + 1 decimals.
        const int s = static_cast<int>(random() % 8);
        const std::uint64_t low = std::uint64_t{1} << (23 - s);
        const std::uint64_t whole = low + random() % low;
        const std::uint64_t half = 2 * (random() % (std::uint64_t{1} << s)) + 1;
        char fraction[32];
        std::snprintf(fraction, sizeof fraction, "%.*f", s + 1,
                      static_cast<double>(half) / static_cast<double>(std::uint64_t{1} << (s + 1)));
        std::string halfway = std::to_string(whole) + (fraction + 1);
        text += halfway + " ";
        // The same value as a mantissa and an exponent, then one step either side.
        std::string digits = halfway;
        digits.erase(digits.find('.'), 1);
        text += digits + "e-" + std::to_string(s + 1) + " ";
        for (int step : {-1, 1}) {
            std::string near = halfway;
            char& last = near.back();
            last = static_cast<char>(last + step);
            if (last >= '0' && last <= '9')
                text += near + "\n";
        }
    }
    compareReads(text, kReaderBufferSize, 200000);
}

TEST(ReaderAgainstFscanf, EveryPrintedFloatReadsBack)
{
    std::mt19937 random(7);
    std::string text;
    std::vector<std::uint32_t> bits;
    for (int i = 0; i < 60000; ++i) {
        const std::uint32_t pattern = random();
        float value;
        std::memcpy(&value, &pattern, sizeof value);
        if (std::isnan(value))
            continue;
        char printed[128];
        std::snprintf(printed, sizeof printed, i % 2 == 0 ? "%.9g " : "%a\n", value);
        text += printed;
        bits.push_back(pattern);
    }
    ValueReader reader;
    attachValueReader(reader, memoryFile(text), "round trip");
    for (std::uint32_t expected : bits) {
        float value = 0.0f;
        ASSERT_TRUE(readValue(reader, value));
        ASSERT_EQ(floatBits(value), expected);
    }
    reader = ValueReader{};

    std::string shortForms;
    for (int i = 0; i < 60000; ++i) {
        const std::uint32_t pattern = random();
        float value;
        std::memcpy(&value, &pattern, sizeof value);
        char printed[128];
        std::snprintf(printed, sizeof printed, "%e ", value);
        shortForms += printed;
    }
    compareReads(shortForms, kReaderBufferSize, 70000);
}

// Tokens longer than any limit on the counts of digit places, whose explicit
// exponent brings the value back into the float range: the places and the
// exponent must be added exactly before anything is clamped.
TEST(ReaderAgainstFscanf, HugeTokensWhoseExponentOffsetsTheirLength)
{
    const std::string zeros(100000010, '0');
    for (const std::string& token : {"0." + zeros + "1e100000011", "1" + zeros + "e-100000010",
                                     "0x0." + zeros + "1p400000044"})
        compareReads(token + " 2", kReaderBufferSize, 3);
}

// Numbers only, apart by random white space, so that fscanf never stops
// for good: printed floats of every kind and long runs of digits.
std::string numbersOnly(std::mt19937_64& random, std::size_t size)
{
    static const char* const formats[] = {"%.9g", "%a", "%e", "%.40e", "%f", "%.3g", "%.12f", "%.17g", "%.8g"};
    static const char spaces[] = " \t\n\v\f\r";
    std::string out;
    char text[512];
    while (out.size() < size) {
        if (random() % 8 == 0) {
            for (std::uint64_t i = random() % 300 + 1; i > 0; --i)
                out += static_cast<char>('0' + random() % 10);
        } else {
            const auto bits = static_cast<std::uint32_t>(random());
            float value;
            std::memcpy(&value, &bits, sizeof value);
            std::snprintf(text, sizeof text, formats[random() % std::size(formats)], static_cast<double>(value));
            out += text;
        }
        for (std::uint64_t i = random() % 2 + 1; i > 0; --i)
            out += spaces[random() % 6];
    }
    out.resize(size);
    return out;
}

// A large file is mapped and read a window at a time: tokens cut by a
// window's end (one put across it at each of several places), by the end of
// the whole pages mapped and by the end of the file must read as fscanf
// reads them, in files whose size is a whole number of pages and in files
// that end part of the way into one.
TEST(ReaderAgainstFscanf, MappedFilesAcrossTheirWindows)
{
    std::mt19937_64 random(seedWanted() + 7);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t sizes[] = {kMapLeast + 2 * kMapWindow + 1000, kMapLeast + kMapWindow, kMapLeast + page - 3,
                                 kMapLeast + 41};
    const std::string across = " 0.00012345678901234567890123456789e+7 ";
    for (std::size_t round = 0; round < 8; ++round) {
        const std::size_t size = sizes[round % std::size(sizes)];
        std::string bytes = numbersOnly(random, size);
        const std::size_t cut = round * 5 + 1;
        bytes.replace(kMapWindow - cut, across.size(), across);
        const ReadComparison comparison = compareWithFscanf(bytes, kOpenedByPath, 10000000);
        EXPECT_TRUE(comparison.mismatch.empty()) << comparison.mismatch;
        EXPECT_TRUE(comparison.mapped) << size;
        EXPECT_GT(comparison.reads, static_cast<long>(size / 200)) << size;
    }
}

// What a mapped file gains after it was mapped is read on, as a stream's
// reads would find it.
TEST(ReaderAgainstFscanf, MappedFileReadsWhatItGains)
{
    std::string bytes;
    for (int i = 0; bytes.size() < kMapLeast + 10; ++i)
        bytes += std::to_string(i % 1000) + ".25\n";
    const int memory = memoryFile(bytes);
    const std::string path = pathOf(memory);
    ValueReader reader;
    openValueReader(reader, path.c_str());
    float value = 0.0f;
    ASSERT_TRUE(readValue(reader, value));
    ASSERT_NE(reader.input.mapping, nullptr);
    const std::string more = "17.5e1 -3\n";
    ASSERT_EQ(::pwrite(memory, more.data(), more.size(), static_cast<off_t>(bytes.size())),
              static_cast<ssize_t>(more.size()));
    long reads = 1;
    float last[2] = {};
    while (readValue(reader, value)) {
        last[0] = last[1];
        last[1] = value;
        ++reads;
    }
    EXPECT_EQ(last[0], 175.0f);
    EXPECT_EQ(last[1], -3.0f);
    EXPECT_EQ(consumedBytes(reader), bytes.size() + more.size());
    EXPECT_EQ(reads, static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n')) + 2);
    reader = ValueReader{};
    ::close(memory);
}

// Only so many files are mapped at once; the others are read, from their
// start, and give the same values.
TEST(ReaderAgainstFscanf, FilesBeyondTheMappingsAreRead)
{
    std::string bytes;
    double expected = 0;
    for (int i = 0; bytes.size() < kMapLeast + 10; ++i) {
        const std::string token = std::to_string(i % 997) + "e-3";
        expected += i > 0 ? std::strtof(token.c_str(), nullptr) : 0.0f;
        bytes += token + "\n";
    }
    const long lines = static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n'));
    const int memory = memoryFile(bytes);
    const std::string path = pathOf(memory);
    std::vector<ValueReader> readers(6);
    int mapped = 0;
    float value = 0.0f;
    for (ValueReader& reader : readers) {
        openValueReader(reader, path.c_str());
        ASSERT_TRUE(readValue(reader, value));
        EXPECT_EQ(value, 0.0f);
        mapped += reader.input.mapping != nullptr ? 1 : 0;
    }
    EXPECT_GE(mapped, 1);
    EXPECT_LT(mapped, 6);
    for (ValueReader& reader : readers) {
        long reads = 1;
        double sum = 0;
        while (readValue(reader, value)) {
            sum += value;
            ++reads;
        }
        EXPECT_EQ(reads, lines);
        EXPECT_EQ(sum, expected);
        EXPECT_EQ(consumedBytes(reader), bytes.size());
    }
    readers.clear();
    ::close(memory);
}

// A mapped file cut short while it is read fails the read as a read error
// does, with status 1, instead of ending the process by a bus error.
TEST(ReaderAgainstFscanfDeathTest, MappedFileCutShortFailsTheRead)
{
    const std::string bytes(kMapLeast + 2 * kMapWindow, '7');
    EXPECT_EXIT(
        {
            const int memory = memoryFile(std::string("1 ") + bytes);
            const std::string path = pathOf(memory);
            ValueReader reader;
            openValueReader(reader, path.c_str());
            float value;
            readValue(reader, value);
            if (reader.input.mapping == nullptr)
                std::exit(2);
            ::ftruncate(memory, 4096);
            while (readValue(reader, value)) {
            }
            std::exit(3);
        },
        ::testing::ExitedWithCode(1), "cannot read .*fd.*: the file was cut short while it was read\n$");
}

}  // namespace
