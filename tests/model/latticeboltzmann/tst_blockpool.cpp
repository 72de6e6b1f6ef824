#include "model/latticeboltzmann/blockpool.h"

#include <QtTest>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

class TestBlockPool : public QObject
{
    Q_OBJECT

private slots:
    // A count announced from outside (a document's box) that no memory
    // holds is refused with bad_alloc, never turned into a short chunk by
    // a wrapped size; the size class stays usable afterwards.
    void impossibleCountIsRefused()
    {
        const std::size_t size = 168;
        for (std::size_t count : {std::numeric_limits<std::size_t>::max() / 2, std::size_t(1) << 62,
                                  std::numeric_limits<std::size_t>::max() / size + 1}) {
            BlockPool::expect(size, count);
            bool refused = false;
            try {
                void *block = BlockPool::allocate(size);
                BlockPool::release(block, size);
            } catch (const std::bad_alloc &) {
                refused = true;
            }
            QVERIFY(refused);
        }
        void *blocks[3];
        for (void *&b : blocks) {
            b = BlockPool::allocate(size);
            QVERIFY(b);
            std::memset(b, 0x5a, size);
        }
        QVERIFY(blocks[1] != blocks[0] && blocks[2] != blocks[1]);
        for (void *b : blocks)
            BlockPool::release(b, size);
    }

    // A block made and freed over and over (a temporary per site) reuses
    // the small chunk its size keeps, laid out afresh from its start, rather
    // than taking a new chunk from the system each time; a large chunk goes
    // back to the system once all its blocks are.
    void lastBlockKeepsSmallChunk()
    {
        const std::size_t size = 1040; // a size no other code uses
        const std::size_t empty = BlockPool::reservedBytes();
        void *first = BlockPool::allocate(size);
        const std::size_t reserved = BlockPool::reservedBytes();
        // The first chunk of a size is small: a huge page would be cleared
        // whole when its first block is touched.
        QVERIFY(reserved - empty < (std::size_t(1) << 20));
        BlockPool::release(first, size);
        QCOMPARE(BlockPool::reservedBytes(), reserved);
        for (int k = 0; k < 1000; ++k) {
            void *again = BlockPool::allocate(size);
            QCOMPARE(again, first);
            BlockPool::release(again, size);
        }
        QCOMPARE(BlockPool::reservedBytes(), reserved);

        const std::size_t count = 20000; // about 20 MB in one chunk
        BlockPool::expect(size, count);
        std::vector<void *> many(count);
        for (void *&b : many)
            b = BlockPool::allocate(size);
        QVERIFY(BlockPool::reservedBytes() >= reserved + count * size);
        for (void *b : many)
            BlockPool::release(b, size);
        QVERIFY(BlockPool::reservedBytes() <= reserved);
    }
};

QTEST_GUILESS_MAIN(TestBlockPool)
#include "tst_blockpool.moc"
