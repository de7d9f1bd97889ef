#include "platform/engine/paradox/KeyOrderWindow.h"

#include <algorithm>
#include <cstring>

namespace engine::paradox {

TKeyOrderWindow::TKeyOrderWindow(std::size_t recordSize, std::size_t keySize, std::size_t capacity)
    : recordSize_(recordSize), keySize_(keySize), rows_(recordSize * std::max<std::size_t>(capacity, 1)) {
    for (std::size_t slot = std::max<std::size_t>(capacity, 1); slot-- > 0;)
        free_.push_back(static_cast<std::uint32_t>(slot));
}

void TKeyOrderWindow::Add(const std::uint8_t* record) {
    const std::uint32_t slot = free_.back();
    free_.pop_back();
    std::memcpy(rows_.data() + slot * recordSize_, record, recordSize_);
    // Rows mostly come in order: they join at the end. Others go after every row whose key
    // is not greater, so equal keys keep their order of arrival.
    if (order_.empty() || std::memcmp(Slot(order_.back()), record, keySize_) <= 0) {
        order_.push_back(slot);
        return;
    }
    const auto at = std::upper_bound(order_.begin(), order_.end(), record, [&](const std::uint8_t* r, std::uint32_t s) {
        return std::memcmp(r, Slot(s), keySize_) < 0;
    });
    order_.insert(at, slot);
}

void TKeyOrderWindow::Pop() {
    free_.push_back(order_.front());
    order_.pop_front();
}

} // namespace engine::paradox
