#include "join/PcmBlockQueue.h"

namespace qm {

void PcmBlock::Reserve(int samples) {
    const auto count = static_cast<std::size_t>(samples);
    if (left.size() < count) left.resize(count);
    if (right.size() < count) right.resize(count);
}

PcmBlock* PcmBlockQueue::Claim() {
    std::unique_lock lock(m_mutex);
    if (!m_stopped && m_count == kSlots) {
        m_producerWaiting = true;
        m_space.wait(lock, [this] { return m_stopped || m_count <= kWakeProducerAt; });
        m_producerWaiting = false;
    }
    if (m_stopped) return nullptr;
    // Blocks m_head .. m_head + m_count - 1 are the consumer's; the next one is free.
    return &m_blocks[static_cast<std::size_t>((m_head + m_count) % kSlots)];
}

void PcmBlockQueue::Publish() {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_count;
        wake = m_consumerWaiting;
    }
    if (wake) m_ready.notify_one();
}

PcmBlock& PcmBlockQueue::Front() {
    std::unique_lock lock(m_mutex);
    if (m_count == 0) {
        m_consumerWaiting = true;
        m_ready.wait(lock, [this] { return m_count > 0; });
        m_consumerWaiting = false;
    }
    return m_blocks[static_cast<std::size_t>(m_head)];
}

void PcmBlockQueue::Release() {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_head = (m_head + 1) % kSlots;
        --m_count;
        wake = m_producerWaiting && m_count <= kWakeProducerAt;
    }
    if (wake) m_space.notify_one();
}

void PcmBlockQueue::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_space.notify_one();
}

int PcmBlockQueue::Count() {
    std::lock_guard lock(m_mutex);
    return m_count;
}

}  // namespace qm
