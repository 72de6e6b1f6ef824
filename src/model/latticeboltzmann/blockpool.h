#pragma once

#include <cstddef>

// Process-wide allocator of fixed-size blocks. Blocks of one size come from
// large chunks handed out in allocation order, so cells and distribution
// arrays that the grid creates site by site lie in site order in memory, with
// no per-block malloc header. Thread-safe.
class BlockPool
{
public:
    static void *allocate(std::size_t bytes);
    static void release(void *block, std::size_t bytes);
    // Announces that about count blocks of this size follow, so the next
    // chunk holds them all in one run.
    static void expect(std::size_t bytes, std::size_t count);
    // Asks the system to back the range with huge pages where it can: the
    // stepping sweeps several large arrays at once, and small pages make the
    // address translations miss.
    static void adviseHugePages(void *memory, std::size_t bytes);
    // Bytes held in chunks for blocks of every size (live or free).
    static std::size_t reservedBytes();
};
