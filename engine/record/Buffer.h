#pragma once
// The one owning buffer type of the engine. Memory comes zero-filled; large buffers are
// mapped 2 MiB-aligned and advised to use transparent huge pages, because first-touch page
// faults otherwise cost more than the signal processing on a long side. Allocation never
// throws: allocate() reports failure and the caller turns it into the job's error.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace quiramo {

namespace detail {
void* allocateZeroed(size_t bytes);
void freeZeroed(void* p, size_t bytes);
}  // namespace detail

// Returns the spare block large buffers are recycled through to the system; the processing
// pass calls it when it ends, so an idle application holds no audio memory.
void releaseSpareMemory();

// Tests cap the bytes one allocation may take (0: no cap) to reach the failure paths.
void setAllocationLimitForTesting(size_t bytes);

template <typename T>
class Buffer {
public:
    Buffer() = default;
    ~Buffer() { release(); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    Buffer(Buffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        if (this != &other) {
            release();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }

    // Replaces the contents with count zero elements. False (and empty) when the memory
    // cannot be had or count × sizeof(T) overflows.
    bool allocate(size_t count) {
        release();
        if (count == 0) return true;
        if (count > SIZE_MAX / sizeof(T)) return false;
        data_ = static_cast<T*>(detail::allocateZeroed(count * sizeof(T)));
        if (!data_) return false;
        size_ = count;
        return true;
    }

    // Grows or shrinks to count elements keeping the common prefix; new elements are zero.
    bool resize(size_t count) {
        if (count == size_) return true;
        Buffer bigger;
        if (!bigger.allocate(count)) return false;
        const size_t keep = count < size_ ? count : size_;
        for (size_t i = 0; i < keep; ++i) bigger.data_[i] = data_[i];
        *this = std::move(bigger);
        return true;
    }

    void release() {
        if (data_) detail::freeZeroed(data_, size_ * sizeof(T));
        data_ = nullptr;
        size_ = 0;
    }

    // True when the buffer holds no element: never allocated, released, or allocated with 0.
    bool empty() const { return size_ == 0; }
    size_t size() const { return size_; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
};

using SampleBuffer = Buffer<double>;
using ByteBuffer = Buffer<uint8_t>;

}  // namespace quiramo
