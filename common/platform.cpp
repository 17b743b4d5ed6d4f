// The parts of the platform layer that are the same on every system.
#include "common/platform.h"

namespace platform {

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
    if (this != &other) {
        PageFree(data_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

uint8_t* PageBlock::Release() {
    uint8_t* p = data_;
    data_ = nullptr;
    size_ = 0;
    return p;
}

} // namespace platform
