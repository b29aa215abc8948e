#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fixtures/Fixtures.h"
#include "stream/CopyRange.h"
#include "stream/File.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::ReadFileBytes;
using fixtures::TempDir;
using fixtures::WriteFileBytes;

constexpr std::uint64_t kSourceBytes = 1000000;

struct CopyCase {
    const char* name;
    std::uint64_t byteOffset;
    std::uint64_t byteCount;
};

// Lengths around the fallback buffer (256 KiB) and odd offsets catch a run cut short or
// stretched by one buffer, in either way of copying.
constexpr CopyCase kCopyCases[] = {
    {"nothing", 100, 0},
    {"one byte at the start", 0, 1},
    {"odd run in the middle", 4097, 12345},
    {"one byte short of the buffer", 3, (256u << 10) - 1},
    {"one byte past the buffer", 3, (256u << 10) + 1},
    {"several buffers up to the very end", kSourceBytes - 3 * (256u << 10) - 7, 3 * (256u << 10) + 7},
};

constexpr CopyWay kWays[] = {CopyWay::KernelFirst, CopyWay::ReadWriteOnly};

// Each run lands after what the target already holds, byte for byte, and moves the target's
// position but not the source's.
TEST(CopyRangeTest, CopiesTheExactRunAfterWhatTheTargetHolds) {
    TempDir dir;
    const Bytes source = fixtures::Junk(kSourceBytes, 7);
    WriteFileBytes(dir / "source.bin", source);
    for (const CopyWay way : kWays) {
        for (const CopyCase& c : kCopyCases) {
            SCOPED_TRACE(std::string(c.name) + (way == CopyWay::KernelFirst ? " (kernel)" : " (read/write)"));
            File in;
            File out;
            ASSERT_TRUE(in.OpenRead(dir / "source.bin"));
            ASSERT_TRUE(in.Seek(11));
            ASSERT_TRUE(out.Create(dir / "target.bin"));
            ASSERT_TRUE(out.Write("head", 4));
            int error = -1;
            ASSERT_TRUE(CopyRange(in.Descriptor(), c.byteOffset, out.Descriptor(), c.byteCount, way, &error));
            EXPECT_EQ(error, 0);
            EXPECT_EQ(in.Tell(), 11u);
            EXPECT_EQ(out.Tell(), 4 + c.byteCount);
            ASSERT_TRUE(out.Close());
            Bytes expected{'h', 'e', 'a', 'd'};
            expected.insert(expected.end(), source.begin() + static_cast<std::ptrdiff_t>(c.byteOffset),
                            source.begin() + static_cast<std::ptrdiff_t>(c.byteOffset + c.byteCount));
            EXPECT_EQ(ReadFileBytes(dir / "target.bin"), expected);
        }
    }
}

// A source that ends inside the run is a failure (ENODATA), not a short success; so are
// closed descriptors and a run whose end does not fit in a file offset.
TEST(CopyRangeTest, ReportsASourceTooShortAndBadArguments) {
    TempDir dir;
    WriteFileBytes(dir / "source.bin", fixtures::Junk(5000));
    File in;
    File out;
    ASSERT_TRUE(in.OpenRead(dir / "source.bin"));
    ASSERT_TRUE(out.Create(dir / "target.bin"));
    struct FailCase {
        const char* name;
        int sourceFd;
        std::uint64_t byteOffset;
        std::uint64_t byteCount;
        int error;
    };
    const FailCase cases[] = {
        {"run passes the end", in.Descriptor(), 4000, 1001, ENODATA},
        {"run starts past the end", in.Descriptor(), 6000, 1, ENODATA},
        {"closed source", -1, 0, 10, EBADF},
        {"run beyond any offset", in.Descriptor(), ~std::uint64_t{0} - 5, 10, EOVERFLOW},
    };
    for (const CopyWay way : kWays) {
        for (const FailCase& c : cases) {
            SCOPED_TRACE(c.name);
            int error = 0;
            EXPECT_FALSE(CopyRange(c.sourceFd, c.byteOffset, out.Descriptor(), c.byteCount, way, &error));
            EXPECT_EQ(error, c.error);
        }
    }
    int error = 0;
    EXPECT_FALSE(CopyRange(in.Descriptor(), 0, -1, 10, CopyWay::KernelFirst, &error));
    EXPECT_EQ(error, EBADF);
}

// The kernel refuses to copy into a pipe and into a file opened for appending; the run is
// then copied through the buffer, whole.
TEST(CopyRangeTest, FallsBackWhereTheKernelRefuses) {
    TempDir dir;
    const Bytes source = fixtures::Junk(30000, 3);
    WriteFileBytes(dir / "source.bin", source);
    File in;
    ASSERT_TRUE(in.OpenRead(dir / "source.bin"));

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // Less than a pipe holds, so the copy does not wait for a reader.
    ASSERT_TRUE(CopyRange(in.Descriptor(), 1000, ends[1], 20000));
    ::close(ends[1]);
    Bytes piped(25000);
    std::size_t got = 0;
    for (ssize_t n; (n = ::read(ends[0], piped.data() + got, piped.size() - got)) > 0;) got += n;
    ::close(ends[0]);
    piped.resize(got);
    EXPECT_EQ(piped, Bytes(source.begin() + 1000, source.begin() + 21000));

    WriteFileBytes(dir / "appended.bin", {'x'});
    const int appending = ::open((dir / "appended.bin").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(appending, 0);
    EXPECT_TRUE(CopyRange(in.Descriptor(), 0, appending, 300));
    ::close(appending);
    Bytes expected{'x'};
    expected.insert(expected.end(), source.begin(), source.begin() + 300);
    EXPECT_EQ(ReadFileBytes(dir / "appended.bin"), expected);
}

// Offsets past 4 GiB reach the right bytes (no 32-bit truncation on either way).
TEST(CopyRangeTest, ReadsBeyondFourGiB) {
    TempDir dir;
    constexpr std::uint64_t kFar = (5ull << 30) + 17;
    fixtures::WriteSparseFile(dir / "sparse.bin", kFar, Bytes{'f', 'a', 'r', ' ', 'a', 'w', 'a', 'y'});
    for (const CopyWay way : kWays) {
        File in;
        File out;
        ASSERT_TRUE(in.OpenRead(dir / "sparse.bin"));
        ASSERT_TRUE(out.Create(dir / "target.bin"));
        ASSERT_TRUE(CopyRange(in.Descriptor(), kFar - 2, out.Descriptor(), 10, way));
        ASSERT_TRUE(out.Close());
        EXPECT_EQ(ReadFileBytes(dir / "target.bin"), (Bytes{0, 0, 'f', 'a', 'r', ' ', 'a', 'w', 'a', 'y'}));
    }
}

}  // namespace
}  // namespace qm
