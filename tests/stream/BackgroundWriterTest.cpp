// The background writer: bytes arrive in order whatever the sizes handed in, flushing leaves
// the file ready for direct use, failures stick until the next output, and discarding lets go
// of the file.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "stream/BackgroundWriter.h"
#include "stream/File.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::FileSizeLimit;
using fixtures::ReadFileBytes;
using fixtures::TempDir;

constexpr std::size_t kBlock = BackgroundWriter::kBlockBytes;

// Parts of every size (a byte, frame sizes, a whole block, more than two blocks) in a row.
TEST(BackgroundWriterTest, PartsArriveInOrder) {
    TempDir dir;
    const Bytes data = fixtures::Noise(3 * kBlock + 12345, 7);
    const std::size_t parts[] = {1, 417, 418, kBlock, 3, 2 * kBlock + 100, 4000};
    File file;
    ASSERT_TRUE(file.Create(dir / "out"));
    BackgroundWriter writer;
    ASSERT_TRUE(writer.Begin(file));
    std::size_t at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const std::size_t part = std::min(parts[i % std::size(parts)], data.size() - at);
        ASSERT_TRUE(writer.Write(data.data() + at, part));
        at += part;
    }
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(file.Tell(), data.size());
    writer.Discard();
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir / "out"), data);
}

// After a flush the file is at its end and may be moved: the next bytes go where it was
// moved to (how a piece's Xing/Info frame is rewritten at the end); one writer serves one
// output after another.
TEST(BackgroundWriterTest, FlushLetsTheCallerMoveTheFile) {
    TempDir dir;
    BackgroundWriter writer;
    for (const std::size_t size : {std::size_t{5000}, 2 * kBlock + 7}) {
        const Bytes data = fixtures::Noise(size, static_cast<std::uint32_t>(size));
        const Bytes patch = {0xAA, 0xBB, 0xCC};
        File file;
        ASSERT_TRUE(file.Create(dir / "out"));
        ASSERT_TRUE(writer.Begin(file));
        ASSERT_TRUE(writer.Write(data.data(), data.size()));
        ASSERT_TRUE(writer.Flush());
        ASSERT_EQ(file.Tell(), data.size());
        ASSERT_TRUE(file.Seek(10));
        ASSERT_TRUE(writer.Write(patch.data(), patch.size()));
        ASSERT_TRUE(writer.Flush());
        writer.Discard();
        ASSERT_TRUE(file.Close());
        Bytes expected = data;
        std::copy(patch.begin(), patch.end(), expected.begin() + 10);
        EXPECT_EQ(ReadFileBytes(dir / "out"), expected);
    }
}

// A write that fails (the size limit stands in for a full disk) makes the writes after it
// and the flush fail, however much was handed in; the next output starts clean.
TEST(BackgroundWriterTest, AFailedWriteSticksUntilTheNextOutput) {
    TempDir dir;
    BackgroundWriter writer;
    const Bytes data = fixtures::Noise(kBlock / 2, 3);
    for (const std::size_t total : {std::size_t{100}, 3 * kBlock}) {
        File file;
        ASSERT_TRUE(file.Create(dir / "full"));
        ASSERT_TRUE(writer.Begin(file));
        {
            const FileSizeLimit limit(50);
            bool allAccepted = true;
            for (std::size_t done = 0; done < total; done += data.size()) {
                allAccepted = writer.Write(data.data(), std::min(data.size(), total - done)) && allAccepted;
            }
            EXPECT_FALSE(writer.Flush()) << total;
            EXPECT_FALSE(writer.Write(data.data(), 10));
            EXPECT_FALSE(writer.Flush());
            if (total > 2 * kBlock) {
                EXPECT_FALSE(allAccepted);
            }
        }
        writer.Discard();
    }
    File file;
    ASSERT_TRUE(file.Create(dir / "fine"));
    ASSERT_TRUE(writer.Begin(file));
    EXPECT_TRUE(writer.Write(data.data(), data.size()));
    EXPECT_TRUE(writer.Flush());
    writer.Discard();
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir / "fine"), data);
}

// Discarding drops what was not flushed; the writer's descriptor goes with it, so the caller
// closing its own leaves nothing open on the file, and an unstarted or closed output refuses
// bytes.
TEST(BackgroundWriterTest, DiscardDropsUnflushedBytesAndLetsGo) {
    TempDir dir;
    BackgroundWriter writer;
    EXPECT_FALSE(writer.Write("x", 1));
    EXPECT_FALSE(writer.Flush());
    File closed;
    EXPECT_FALSE(writer.Begin(closed));

    File file;
    ASSERT_TRUE(file.Create(dir / "out"));
    ASSERT_TRUE(writer.Begin(file));
    const Bytes first = fixtures::Noise(1000, 1);
    ASSERT_TRUE(writer.Write(first.data(), first.size()));
    ASSERT_TRUE(writer.Flush());
    ASSERT_TRUE(writer.Write(first.data(), 500));  // never flushed
    writer.Discard();
    EXPECT_FALSE(writer.Write(first.data(), 1));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(dir / "out"), first);
}

}  // namespace
}  // namespace qm
