// The long-operation contract: the rate-limited message pump and the cancel check.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fixtures/ProgressFakes.h"
#include "progress/Progress.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

struct PumpCase {
    const char* name;
    std::chrono::microseconds interval;
    int callsPerBurst;
    int bursts;
    std::chrono::milliseconds pauseBetweenBursts;
    long expectedPumps;
};

// The first call always pumps; further calls pump again only once the interval has passed;
// a zero interval pumps every time.
TEST(RateLimitedPump, ForwardsAtMostOncePerInterval) {
    const PumpCase cases[] = {
        {"OneBurst", 200ms, 1000, 1, 0ms, 1},
        {"BurstsFartherApartThanTheInterval", 20ms, 200, 3, 40ms, 3},
        {"ZeroInterval", 0us, 50, 1, 0ms, 50},
    };
    for (const PumpCase& c : cases) {
        fixtures::RecordingPump inner;
        RateLimitedPump pump(inner, c.interval);
        for (int burst = 0; burst < c.bursts; ++burst) {
            if (burst > 0) std::this_thread::sleep_for(c.pauseBetweenBursts);
            for (int i = 0; i < c.callsPerBurst; ++i) pump.PumpMessages();
        }
        EXPECT_EQ(inner.count, c.expectedPumps) << c.name;
    }
}

// Calling the limited pump after every frame costs next to nothing: a million calls (about
// an hour of MP3 frames) take well under a second and reach the inner pump rarely.
TEST(RateLimitedPump, CallsAreCheap) {
    fixtures::RecordingPump inner;
    RateLimitedPump pump(inner);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1'000'000; ++i) pump.PumpMessages();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, 1s);
    // At most one inner pump per 15 ms of the elapsed time, plus the first.
    EXPECT_LE(inner.count, 1 + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 15 + 1);
}

// A long operation without pump or flag never cancels; with a flag, it cancels once the
// flag is set, after pumping (so that a Cancel button pressed in the pump counts at once).
TEST(LongOperation, PumpsThenReadsTheCancelFlag) {
    const LongOperation none;
    EXPECT_FALSE(none.PumpAndCheckCancel());
    none.SetStatus("ignored");

    fixtures::FakeOperation fake;
    fake.CancelAtPump(2);
    const LongOperation op = fake.Get();
    EXPECT_FALSE(op.PumpAndCheckCancel());
    EXPECT_TRUE(op.PumpAndCheckCancel());
    EXPECT_TRUE(op.PumpAndCheckCancel());  // stays set
    EXPECT_EQ(fake.pump.count, 3);
    op.SetStatus("Splitting");
    EXPECT_EQ(fake.status.texts, std::vector<std::string>{"Splitting"});
}

}  // namespace
}  // namespace qm
