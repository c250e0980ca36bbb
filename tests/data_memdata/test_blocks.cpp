// Block manager: blocks of N items in record order, free tails handed out from the front, markers.
#include "data/MemData.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(BlockManager, ItemHeaderIsOddSoItemsStayEven) {
    EXPECT_EQ(TItem::HeaderSize % 2, 1u);
    TBlockManager manager;
    manager.SetRecordSize(21);
    EXPECT_EQ(manager.ItemSize(), TItem::HeaderSize + 21);
    EXPECT_EQ(manager.ItemSize() % 2, 0u);
}

TEST(BlockManager, SingleItemsComeTenToABlockInOrder) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    std::set<std::byte*> seen;
    TItem previous;
    for (int i = 0; i < 10; ++i) {
        TItem item = manager.AllocItem();
        EXPECT_EQ(item.Marker(), TItem::MarkerUsed);
        EXPECT_TRUE(seen.insert(item.Record()).second);
        if (previous) {
            EXPECT_EQ(manager.NextItem(previous), item);
        }
        previous = item;
    }
    EXPECT_EQ(manager.BlockCount(), 1u);
    EXPECT_EQ(manager.FreeItemCount(), 0u);
    const TItem eleventh = manager.AllocItem();
    EXPECT_EQ(manager.BlockCount(), 2u);
    EXPECT_EQ(manager.FreeItemCount(), 9u);
    EXPECT_EQ(manager.NextItem(previous), eleventh);
    EXPECT_EQ(manager.PriorItem(eleventh), previous);
    EXPECT_FALSE(manager.NextItem(eleventh));  // its block's free items are not in use
    EXPECT_EQ(eleventh.Block()->Item(1).Marker(), TItem::MarkerFree);
}

TEST(BlockManager, TrimmedItemsAreReusedClean) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TBlock& block = manager.AllocBlock(4);
    block.Item(2).Record()[0] = std::byte{0x5A};
    manager.TrimBlock(block, 2);
    EXPECT_EQ(block.UsedItems(), 2);
    EXPECT_EQ(manager.FreeItemCount(), 2u);
    EXPECT_EQ(block.Item(2).Marker(), TItem::MarkerFree);
    EXPECT_EQ(block.Item(3).Marker(), TItem::MarkerFree);
    const TItem reused = manager.AllocItem();
    EXPECT_EQ(reused, block.Item(2));
    EXPECT_EQ(reused.Marker(), TItem::MarkerUsed);
    EXPECT_EQ(reused.Record()[0], std::byte{0});  // a reused item starts clean
    EXPECT_EQ(manager.FreeItemCount(), 1u);
    EXPECT_THROW(manager.TrimBlock(block, 4), EAssertionError);  // more than in use
}

TEST(BlockManager, BrokenFreeMarkerIsCaught) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TBlock& block = manager.AllocBlock(3);
    manager.TrimBlock(block, 1);
    block.Item(1).SetMarker(TItem::MarkerUsed);
    EXPECT_THROW(manager.AllocItem(), EAssertionError);
}

TEST(BlockManager, TrimmingToNothingReturnsTheBlock) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TBlock& first = manager.AllocBlock(3);
    TBlock& second = manager.AllocBlock(3);
    manager.TrimBlock(second, 1);
    EXPECT_EQ(manager.FreeItemCount(), 2u);
    manager.TrimBlock(second, 0);
    EXPECT_EQ(manager.BlockCount(), 1u);
    EXPECT_EQ(manager.FreeItemCount(), 0u);  // its free items went with it
    EXPECT_TRUE(manager.Owns(first));
    const TItem next = manager.AllocItem();  // the full first block is not reused: a fresh block
    EXPECT_NE(next.Block(), &first);
    EXPECT_EQ(manager.BlockCount(), 2u);
}

TEST(BlockManager, BlocksAreContiguousArraysOfItems) {
    TBlockManager manager;
    manager.SetRecordSize(27);
    TBlock& block = manager.AllocBlock(25);
    EXPECT_EQ(block.ItemCount(), 25);
    EXPECT_EQ(block.UsedItems(), 25);
    for (size_t i = 0; i + 1 < 25; ++i) {
        EXPECT_EQ(block.Item(i + 1).Record() - block.Item(i).Record(), static_cast<ptrdiff_t>(manager.ItemSize()));
        EXPECT_EQ(block.Item(i).Block(), &block);
        EXPECT_EQ(block.Item(i).Marker(), TItem::MarkerUsed);
        for (size_t b = 0; b < 27; ++b) ASSERT_EQ(block.Item(i).Record()[b], std::byte{0});
    }
    EXPECT_THROW(block.Item(25), EAssertionError);
    EXPECT_THROW(manager.AllocBlock(0), EAssertionError);
}

TEST(BlockManager, ForeignBlockAndRecordSizeChangesAreRefused) {
    TBlockManager one;
    TBlockManager two;
    one.SetRecordSize(5);
    two.SetRecordSize(5);
    TBlock& block = one.AllocBlock(3);
    EXPECT_THROW(two.FreeBlock(block), EAssertionError);
    EXPECT_THROW(two.TrimBlock(block, 1), EAssertionError);
    EXPECT_THROW(one.SetRecordSize(7), EAssertionError);  // live records keep their size
    one.FreeAll();
    one.SetRecordSize(7);
    EXPECT_EQ(one.RecordSize(), 7u);
}

TEST(BlockManager, FreeingAMiddleBlockKeepsTheRestInOrder) {
    TBlockManager manager;
    manager.SetRecordSize(3);
    std::vector<TBlock*> blocks;
    for (int i = 0; i < 5; ++i) blocks.push_back(&manager.AllocBlock(2));
    manager.FreeBlock(*blocks[1]);
    manager.FreeBlock(*blocks[3]);
    ASSERT_EQ(manager.BlockCount(), 3u);
    const std::vector<TBlock*> expected{blocks[0], blocks[2], blocks[4]};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(&manager.Block(i), expected[i]);
        EXPECT_EQ(expected[i]->Index(), i);
        EXPECT_TRUE(manager.Owns(*expected[i]));
    }
    EXPECT_EQ(manager.NextItem(blocks[0]->Item(1)), blocks[2]->Item(0));
    EXPECT_EQ(manager.PriorItem(blocks[4]->Item(0)), blocks[2]->Item(1));
    EXPECT_FALSE(manager.PriorItem(blocks[0]->Item(0)));
}

}  // namespace
