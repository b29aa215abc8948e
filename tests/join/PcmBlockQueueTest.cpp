// The ring between the decoding thread and the encoder of a re-encoding join: order kept
// across threads, never more than kSlots blocks taken, a stopped producer let go, buffers
// reused rather than allocated per block.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "join/PcmBlockQueue.h"

namespace qm {
namespace {

constexpr int kSlots = PcmBlockQueue::kSlots;

// Waits up to two seconds for flag to reach value.
bool WaitFor(const std::atomic<int>& flag, int value) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (flag.load() != value) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Many more blocks than slots, of changing sizes, arrive complete and in order; the
// producer publishes as fast as it can, so it is held up by a full ring again and again.
TEST(PcmBlockQueue, BlocksArriveInOrderAcrossThreads) {
    constexpr int kBlocks = 20 * kSlots;
    PcmBlockQueue queue;
    std::thread producer([&] {
        for (int i = 0; i < kBlocks; ++i) {
            PcmBlock* block = queue.Claim();
            ASSERT_NE(block, nullptr);
            const int samples = 100 + (i * 37) % 1200;
            block->Reserve(samples);
            block->kind = PcmBlock::Kind::kSamples;
            block->index = i;
            block->units = static_cast<std::uint64_t>(i) * 4608;
            block->samples = samples;
            for (int s = 0; s < samples; ++s) {
                block->left[static_cast<std::size_t>(s)] = static_cast<std::int16_t>(i + s);
                block->right[static_cast<std::size_t>(s)] = static_cast<std::int16_t>(i - s);
            }
            queue.Publish();
        }
    });
    for (int i = 0; i < kBlocks; ++i) {
        const PcmBlock& block = queue.Front();
        ASSERT_EQ(block.index, i);
        ASSERT_EQ(block.units, static_cast<std::uint64_t>(i) * 4608);
        ASSERT_EQ(block.samples, 100 + (i * 37) % 1200);
        for (int s = 0; s < block.samples; s += 97) {
            ASSERT_EQ(block.left[static_cast<std::size_t>(s)], static_cast<std::int16_t>(i + s)) << i;
            ASSERT_EQ(block.right[static_cast<std::size_t>(s)], static_cast<std::int16_t>(i - s)) << i;
        }
        ASSERT_LE(queue.Count(), kSlots);
        queue.Release();
    }
    producer.join();
    EXPECT_EQ(queue.Count(), 0);
}

// A producer that filled the ring waits until the consumer has given back half of it, and
// no sooner (catches a ring that overwrites unreleased blocks, or wakes on every release).
TEST(PcmBlockQueue, FullRingHoldsTheProducerUntilHalfIsReleased) {
    PcmBlockQueue queue;
    std::atomic<int> published{0};
    std::thread producer([&] {
        for (int i = 0; i < kSlots + 1; ++i) {
            PcmBlock* block = queue.Claim();
            if (block == nullptr) return;
            block->index = i;
            queue.Publish();
            ++published;
        }
    });
    ASSERT_TRUE(WaitFor(published, kSlots));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(published.load(), kSlots);
    EXPECT_EQ(queue.Count(), kSlots);
    for (int i = 0; i < kSlots / 2 - 1; ++i) queue.Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(published.load(), kSlots) << "woken before half the ring was free";
    queue.Release();
    EXPECT_TRUE(WaitFor(published, kSlots + 1));
    producer.join();
    // The block after the released ones is the oldest still published.
    EXPECT_EQ(queue.Front().index, kSlots / 2);
    EXPECT_EQ(queue.Count(), kSlots / 2 + 1);
}

// Stop lets go of a producer waiting on a full ring, and every later Claim returns null.
TEST(PcmBlockQueue, StopReleasesAWaitingProducer) {
    PcmBlockQueue queue;
    std::atomic<int> claims{0};
    std::atomic<int> nullClaims{0};
    std::thread producer([&] {
        while (PcmBlock* block = queue.Claim()) {
            (void)block;
            queue.Publish();
            ++claims;
        }
        ++nullClaims;
        if (queue.Claim() == nullptr) ++nullClaims;
    });
    ASSERT_TRUE(WaitFor(claims, kSlots));
    queue.Stop();
    EXPECT_TRUE(WaitFor(nullClaims, 2));
    producer.join();
    EXPECT_EQ(claims.load(), kSlots);
}

// Claiming again without publishing gives the same block (a read that found the end of a
// source leaves its block for the next event); once every slot has grown, cycling the ring
// reuses the same buffers.
TEST(PcmBlockQueue, ClaimsAreStableAndBuffersReused) {
    PcmBlockQueue queue;
    PcmBlock* first = queue.Claim();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(queue.Claim(), first);

    std::set<const std::int16_t*> buffers;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kSlots; ++i) {
            PcmBlock* block = queue.Claim();
            block->Reserve(1152);
            if (round == 0) {
                buffers.insert(block->left.data());
                buffers.insert(block->right.data());
            } else {
                EXPECT_EQ(buffers.count(block->left.data()), 1u) << "round " << round << " block " << i;
                EXPECT_EQ(buffers.count(block->right.data()), 1u) << "round " << round << " block " << i;
            }
            queue.Publish();
            queue.Front();
            queue.Release();
        }
    }
    EXPECT_EQ(buffers.size(), 2u * kSlots);
}

}  // namespace
}  // namespace qm
