#include "engine/record/Buffer.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>

namespace quiramo {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this a plain calloc is cheaper than a mapping.
constexpr size_t kMapThreshold = size_t{4} << 20;

std::atomic<size_t>& allocationLimit() {
    static std::atomic<size_t> limit{0};
    return limit;
}

size_t mappedLength(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void setAllocationLimitForTesting(size_t bytes) { allocationLimit().store(bytes); }

namespace detail {

void* allocateZeroed(size_t bytes) {
    const size_t limit = allocationLimit().load();
    if (limit != 0 && bytes > limit) return nullptr;
    if (bytes < kMapThreshold) return std::calloc(1, bytes);

    // Over-map by one huge page, then trim both ends so the block starts 2 MiB-aligned.
    const size_t length = mappedLength(bytes);
    if (length < bytes || length > SIZE_MAX - kHugePage) return nullptr;
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t end = start + length + kHugePage;
    if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    void* p = reinterpret_cast<void*>(aligned);
    madvise(p, length, MADV_HUGEPAGE);
    return p;  // anonymous mappings are zero-filled by the kernel
}

void freeZeroed(void* p, size_t bytes) {
    if (!p) return;
    if (bytes < kMapThreshold) {
        std::free(p);
        return;
    }
    munmap(p, mappedLength(bytes));
}

}  // namespace detail
}  // namespace quiramo
