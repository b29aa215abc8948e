#pragma once

// The hand-over between the two threads of a re-encoding join: a decoding thread fills
// blocks of 16-bit split-channel PCM (and the events between sources) in source order, the
// thread that called the join takes them out in the same order and encodes them.
//
// A fixed ring of kSlots blocks: memory stays bounded however far decoding could run ahead,
// and the blocks' buffers are reused, so once they have grown to the largest block nothing
// is allocated. One producer and one consumer.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

namespace qm {

// One unit handed from the decoding thread to the encoder.
struct PcmBlock {
    enum class Kind {
        kSourceStart,  // source `index` is open; `units` is its decoded length in bytes
        kSamples,      // one read of source `index`; `units` is its position after the read
        kSourceTail,   // what the resampler held back at the end of source `index`
        kOpenFailed,   // source `index` cannot be decoded; nothing follows
        kChanged,      // source `index` changed while it was decoded; nothing follows
        kFailed,       // the decoding thread stopped on an exception; nothing follows
        kEnd,          // every source delivered
    };

    // Makes room for samples per channel in both buffers; they only ever grow.
    void Reserve(int samples);

    Kind kind = Kind::kEnd;
    int index = 0;
    std::uint64_t units = 0;
    int samples = 0;  // per channel, in left and (for two channels) right
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> right;
    std::exception_ptr error;  // kFailed: what the decoding thread threw
};

class PcmBlockQueue {
public:
    // A block is one decoder read, a fraction of a millisecond of LAME's work, so the ring
    // holds a few milliseconds: enough for the decoder to open the next source, or to lose
    // the processor for a moment, without the encoder waiting. About 150 KB at 44.1 kHz.
    static constexpr int kSlots = 32;

    PcmBlockQueue() = default;
    PcmBlockQueue(const PcmBlockQueue&) = delete;
    PcmBlockQueue& operator=(const PcmBlockQueue&) = delete;

    // Producer: the next free block to fill, waiting while every block is taken. Claiming
    // again without Publish gives the same block. Null once Stop was called.
    PcmBlock* Claim();
    // Producer: hands the claimed block to the consumer.
    void Publish();

    // Consumer: the oldest published block, waiting until there is one. It stays the
    // consumer's until Release.
    PcmBlock& Front();
    // Consumer: gives the front block back to the producer.
    void Release();

    // Consumer: tells the producer to stop; its waiting or next Claim returns null.
    void Stop();

    // Blocks published and not yet released.
    int Count();

private:
    // A producer that found the ring full sleeps until it is half empty, so that it is
    // woken once per few blocks rather than once per block.
    static constexpr int kWakeProducerAt = kSlots / 2;

    std::mutex m_mutex;
    std::condition_variable m_space;
    std::condition_variable m_ready;
    std::array<PcmBlock, kSlots> m_blocks;
    int m_head = 0;   // the consumer's front block
    int m_count = 0;  // published blocks
    bool m_stopped = false;
    bool m_producerWaiting = false;
    bool m_consumerWaiting = false;
};

}  // namespace qm
