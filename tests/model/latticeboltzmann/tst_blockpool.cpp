#include "model/latticeboltzmann/blockpool.h"

#include <QtTest>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

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
};

QTEST_GUILESS_MAIN(TestBlockPool)
#include "tst_blockpool.moc"
