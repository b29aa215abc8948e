#include "join/JoinProgress.h"

#include <algorithm>
#include <cstdio>

namespace qm {

JoinProgress::JoinProgress(const LongOperation& operation, int sourceCount, std::string targetName)
    : m_operation(operation), m_sourceCount(std::max(sourceCount, 1)), m_targetName(std::move(targetName)) {
    if (operation.bar != nullptr) m_widthPixels = std::max(operation.bar->WidthPixels(), 0);
}

void JoinProgress::Begin() {
    if (m_operation.bar != nullptr) {
        m_operation.bar->SetRange(0, m_widthPixels);
        m_operation.bar->SetPosition(0);
    }
    m_lastPercent = 0;
    m_lastBar = 0;
    ShowPercent(0);
}

bool JoinProgress::StartSource(int index, std::uint64_t sizeUnits) {
    // The divisors spread each source over 1/N of the percent and of the bar; both are in
    // 64-bit arithmetic because N × S overflows 32 bits for large sources.
    const std::uint64_t total = static_cast<std::uint64_t>(m_sourceCount) * std::max<std::uint64_t>(sizeUnits, 1);
    m_percentDivisor = std::max<std::uint64_t>(total / 100, 1);
    m_barDivisor = m_widthPixels > 0 ? std::max<std::uint64_t>(total / m_widthPixels, 1) : 1;
    m_percentBase = 100 * index / m_sourceCount;
    m_barBase = static_cast<int>(static_cast<std::int64_t>(m_widthPixels) * index / m_sourceCount);
    return !m_operation.PumpAndCheckCancel();
}

bool JoinProgress::Advance(std::uint64_t positionUnits) {
    const std::uint64_t percent = std::min<std::uint64_t>(positionUnits / m_percentDivisor + m_percentBase, 100);
    if (static_cast<int>(percent) > m_lastPercent) {
        m_lastPercent = static_cast<int>(percent);
        ShowPercent(m_lastPercent);
    }
    if (m_widthPixels > 0) {
        const std::uint64_t bar = std::min<std::uint64_t>(positionUnits / m_barDivisor + m_barBase, m_widthPixels);
        if (static_cast<int>(bar) > m_lastBar) {
            m_lastBar = static_cast<int>(bar);
            m_operation.bar->SetPosition(m_lastBar);
        }
    }
    return !m_operation.PumpAndCheckCancel();
}

void JoinProgress::ShowPercent(int percent) {
    if (m_operation.status == nullptr) return;
    char text[64];
    std::snprintf(text, sizeof text, "Joining %d files into ", m_sourceCount);
    m_operation.SetStatus(text + m_targetName + "..." + std::to_string(percent) + "%");
}

}  // namespace qm
