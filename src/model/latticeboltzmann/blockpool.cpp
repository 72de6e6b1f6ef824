#include "blockpool.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace {

constexpr std::size_t Alignment = 16;
constexpr std::size_t FirstChunkBlocks = 256;
constexpr std::size_t MaxChunkBytes = std::size_t(64) << 20;
constexpr std::size_t HugePage = std::size_t(2) << 20;
// The most a size class keeps of its chunks once all its blocks are back.
constexpr std::size_t RetainedBytes = HugePage;

struct SizeClass
{
    std::size_t size = 0;
    std::vector<char *> chunks;
    std::vector<std::size_t> chunkBytes;
    char *next = nullptr;
    char *end = nullptr;
    void *freeList = nullptr;
    std::size_t live = 0;
    std::size_t expected = 0;

    // Called when every block is back: the next generation of blocks is
    // laid out afresh in allocation order. A small chunk stays for it, so a
    // size whose only block comes and goes (a temporary made and freed per
    // site) costs no system call each time; larger chunks go back to the
    // system.
    void restart()
    {
        char *kept = nullptr;
        std::size_t keptBytes = 0;
        for (std::size_t k = 0; k < chunks.size(); ++k) {
            if (!kept && chunkBytes[k] <= RetainedBytes) {
                kept = chunks[k];
                keptBytes = chunkBytes[k];
            } else {
                std::free(chunks[k]);
            }
        }
        chunks.clear();
        chunkBytes.clear();
        freeList = nullptr;
        next = end = nullptr;
        if (kept) {
            chunks.push_back(kept);
            chunkBytes.push_back(keptBytes);
            next = kept;
            end = kept + keptBytes;
        }
    }
};

struct Pools
{
    std::mutex mutex;
    std::vector<SizeClass> classes;

    SizeClass &classFor(std::size_t size)
    {
        for (SizeClass &c : classes)
            if (c.size == size)
                return c;
        classes.emplace_back();
        classes.back().size = size;
        return classes.back();
    }
};

Pools &pools()
{
    // Never destroyed: cells may be released during static destruction.
    static Pools *p = new Pools;
    return *p;
}

std::size_t roundUp(std::size_t bytes)
{
    return std::max(Alignment, (bytes + Alignment - 1) / Alignment * Alignment);
}

} // namespace

void *BlockPool::allocate(std::size_t bytes)
{
    const std::size_t size = roundUp(bytes);
    Pools &p = pools();
    std::lock_guard<std::mutex> guard(p.mutex);
    SizeClass &c = p.classFor(size);
    ++c.live;
    if (c.freeList) {
        void *block = c.freeList;
        c.freeList = *static_cast<void **>(block);
        return block;
    }
    // A chunk is rounded up to whole huge pages, so its tail may be shorter
    // than a block.
    if (std::size_t(c.end - c.next) < size) {
        // Chunks grow geometrically so a large grid sits in few long runs.
        std::size_t blocks = FirstChunkBlocks;
        if (!c.chunkBytes.empty())
            blocks = std::max(blocks, 2 * c.chunkBytes.back() / size);
        blocks = std::max<std::size_t>(1, std::min(blocks, MaxChunkBytes / size));
        if (c.expected > 0) {
            blocks = c.expected;
            c.expected = 0;
        }
        // A count announced from outside (a document's site count) may be
        // beyond any memory: refuse it rather than let the size wrap.
        if (blocks > (std::numeric_limits<std::size_t>::max() - HugePage) / size) {
            --c.live;
            throw std::bad_alloc();
        }
        // A large chunk is whole huge pages; a small one stays small, since
        // the first touch of a huge page clears all of it.
        const bool huge = blocks * size >= HugePage;
        const std::size_t granule = huge ? HugePage : Alignment;
        const std::size_t chunk = (blocks * size + granule - 1) / granule * granule;
        char *memory = static_cast<char *>(std::aligned_alloc(granule, chunk));
        if (!memory) {
            --c.live;
            throw std::bad_alloc();
        }
        if (huge)
            BlockPool::adviseHugePages(memory, chunk);
        c.chunks.push_back(memory);
        c.chunkBytes.push_back(chunk);
        c.next = memory;
        c.end = memory + chunk;
    }
    void *block = c.next;
    c.next += size;
    return block;
}

void BlockPool::release(void *block, std::size_t bytes)
{
    if (!block)
        return;
    const std::size_t size = roundUp(bytes);
    Pools &p = pools();
    std::lock_guard<std::mutex> guard(p.mutex);
    SizeClass &c = p.classFor(size);
    *static_cast<void **>(block) = c.freeList;
    c.freeList = block;
    if (--c.live == 0)
        c.restart();
}

void BlockPool::expect(std::size_t bytes, std::size_t count)
{
    const std::size_t size = roundUp(bytes);
    Pools &p = pools();
    std::lock_guard<std::mutex> guard(p.mutex);
    SizeClass &c = p.classFor(size);
    const std::size_t room = std::size_t(c.end - c.next) / size;
    c.expected = count > room ? count - room : 0;
    if (c.expected > 0 && c.next != c.end) {
        // Leave the remainder of the current chunk unused so the announced
        // blocks form one run.
        c.next = c.end;
        c.expected = count;
    }
}

void BlockPool::adviseHugePages(void *memory, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    // Only whole huge pages inside the range are advised.
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(memory) + HugePage - 1) / HugePage * HugePage;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / HugePage * HugePage;
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)memory;
    (void)bytes;
#endif
}

std::size_t BlockPool::reservedBytes()
{
    Pools &p = pools();
    std::lock_guard<std::mutex> guard(p.mutex);
    std::size_t total = 0;
    for (const SizeClass &c : p.classes)
        for (std::size_t b : c.chunkBytes)
            total += b;
    return total;
}
