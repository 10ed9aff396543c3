#include "engine/record/Buffer.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

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

namespace {

// Large blocks are recycled: on this machine kind the first touch of fresh memory (the
// kernel zeroing it, the host backing it) costs more than the signal processing of a whole
// side, while zeroing memory already in hand is a fast memset. The pipeline frees a
// full-length buffer just before it allocates the next of the same size, so one spare block
// is enough, and keeping only one keeps the peak at the buffers actually alive.
struct Mapping {
    void* p = nullptr;
    size_t length = 0;
};

struct MappingPool {
    std::mutex mutex;
    std::vector<Mapping> live;
    Mapping spare;
};

MappingPool& pool() {
    static MappingPool* p = new MappingPool;  // never destroyed: buffers may outlive statics
    return *p;
}

void* mapAligned(size_t length) {
    // Over-map by one huge page, then trim both ends so the block starts 2 MiB-aligned.
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t end = start + length + kHugePage;
    if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    void* p = reinterpret_cast<void*>(aligned);
    madvise(p, length, MADV_HUGEPAGE);
    return p;  // anonymous mappings are zero-filled by the kernel
}

}  // namespace

void releaseSpareMemory() {
    Mapping spare;
    {
        std::lock_guard lock(pool().mutex);
        spare = std::exchange(pool().spare, Mapping{});
    }
    if (spare.p) munmap(spare.p, spare.length);
}

namespace detail {

void* allocateZeroed(size_t bytes) {
    const size_t limit = allocationLimit().load();
    if (limit != 0 && bytes > limit) return nullptr;
    if (bytes < kMapThreshold) return std::calloc(1, bytes);

    const size_t length = mappedLength(bytes);
    if (length < bytes || length > SIZE_MAX - kHugePage) return nullptr;
    MappingPool& mp = pool();
    Mapping block;
    Mapping unfit;
    {
        std::lock_guard lock(mp.mutex);
        // A spare block serves only a request of about its own size: a big block kept for a
        // small buffer would raise the peak instead of saving work.
        if (mp.spare.p && mp.spare.length >= length && mp.spare.length - length <= length / 4) {
            block = std::exchange(mp.spare, Mapping{});
        } else {
            unfit = std::exchange(mp.spare, Mapping{});
        }
    }
    if (unfit.p) munmap(unfit.p, unfit.length);  // give it back before mapping anew
    if (block.p) {
        std::memset(block.p, 0, bytes);
    } else {
        block.p = mapAligned(length);
        block.length = length;
        if (!block.p) return nullptr;
    }
    try {
        std::lock_guard lock(mp.mutex);
        mp.live.push_back(block);
    } catch (const std::bad_alloc&) {
        munmap(block.p, block.length);
        return nullptr;
    }
    return block.p;
}

void freeZeroed(void* p, size_t bytes) {
    if (!p) return;
    if (bytes < kMapThreshold) {
        std::free(p);
        return;
    }
    MappingPool& mp = pool();
    Mapping block, dropped;
    {
        std::lock_guard lock(mp.mutex);
        for (auto it = mp.live.begin(); it != mp.live.end(); ++it) {
            if (it->p == p) {
                block = *it;
                mp.live.erase(it);
                break;
            }
        }
        if (!block.p) return;  // not ours: never unmap what we did not map
        // Keep the larger of the two as the spare.
        if (mp.spare.length >= block.length) {
            dropped = block;
        } else {
            dropped = std::exchange(mp.spare, block);
        }
    }
    if (dropped.p) munmap(dropped.p, dropped.length);
}

}  // namespace detail
}  // namespace quiramo
