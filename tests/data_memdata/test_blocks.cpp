// Block manager: blocks of N items, the free list and the in-use/free markers.
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

TEST(BlockManager, SingleItemsComeTenToABlock) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    std::set<std::byte*> seen;
    for (int i = 0; i < 10; ++i) {
        TItem item = manager.AllocItem();
        EXPECT_EQ(item.Marker(), TItem::MarkerUsed);
        EXPECT_EQ(item.UpdateAction(), TItem::UpdateActionNone);
        EXPECT_TRUE(seen.insert(item.Address()).second);
    }
    EXPECT_EQ(manager.BlockCount(), 1u);
    EXPECT_EQ(manager.FreeItemCount(), 0u);
    manager.AllocItem();
    EXPECT_EQ(manager.BlockCount(), 2u);
    EXPECT_EQ(manager.FreeItemCount(), 9u);
}

TEST(BlockManager, FreedItemIsReusedAndMarked) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TItem a = manager.AllocItem();
    TItem b = manager.AllocItem();
    b.Record()[0] = std::byte{0x5A};
    manager.FreeItem(b);
    EXPECT_EQ(b.Marker(), TItem::MarkerFree);
    TItem c = manager.AllocItem();
    EXPECT_EQ(c, b);
    EXPECT_EQ(c.Marker(), TItem::MarkerUsed);
    EXPECT_EQ(c.Record()[0], std::byte{0});  // a reused item starts clean
    EXPECT_EQ(c.Block(), a.Block());
}

TEST(BlockManager, DoubleFreeIsCaught) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TItem a = manager.AllocItem();
    manager.AllocItem();
    manager.FreeItem(a);
    EXPECT_THROW(manager.FreeItem(a), EAssertionError);
    EXPECT_EQ(manager.FreeItemCount(), 9u);
}

TEST(BlockManager, BrokenFreeMarkerIsCaught) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TItem a = manager.AllocItem();
    manager.AllocItem();
    manager.FreeItem(a);  // a heads the free list
    a.SetMarker(TItem::MarkerUsed);
    EXPECT_THROW(manager.AllocItem(), EAssertionError);
}

TEST(BlockManager, EmptiedBlockIsReturned) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    TItem a = manager.AllocItem();
    TItem b = manager.AllocItem();
    manager.FreeItem(a);
    EXPECT_EQ(manager.BlockCount(), 1u);
    manager.FreeItem(b);
    EXPECT_EQ(manager.BlockCount(), 0u);
    EXPECT_EQ(manager.FreeItemCount(), 0u);  // its free items left the list with it
    TItem c = manager.AllocItem();           // a fresh block, not a stale list entry
    EXPECT_EQ(c.Marker(), TItem::MarkerUsed);
    EXPECT_EQ(manager.BlockCount(), 1u);
}

TEST(BlockManager, BlocksAreContiguousArraysOfItems) {
    TBlockManager manager;
    manager.SetRecordSize(27);
    TBlock& block = manager.AllocBlock(25);
    EXPECT_EQ(block.ItemCount(), 25);
    EXPECT_EQ(block.UsedItems(), 25);
    for (size_t i = 0; i + 1 < 25; ++i) {
        EXPECT_EQ(block.Item(i + 1).Address() - block.Item(i).Address(), static_cast<ptrdiff_t>(manager.ItemSize()));
        EXPECT_EQ(block.Item(i).Block(), &block);
        EXPECT_EQ(block.Item(i).Marker(), TItem::MarkerUsed);
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
    EXPECT_THROW(two.FreeItem(block.Item(0)), EAssertionError);
    EXPECT_THROW(one.SetRecordSize(7), EAssertionError);  // live records keep their size
    one.FreeAll();
    one.SetRecordSize(7);
    EXPECT_EQ(one.RecordSize(), 7u);
}

TEST(BlockManager, ManyBlocksFreedInAnyOrder) {
    TBlockManager manager;
    manager.SetRecordSize(3);
    std::vector<TItem> items;
    for (int i = 0; i < 1000; ++i) items.push_back(manager.AllocItem());
    EXPECT_EQ(manager.BlockCount(), 100u);
    for (size_t i = 0; i < items.size(); i += 2) manager.FreeItem(items[i]);
    for (size_t i = 1; i < items.size(); i += 2) manager.FreeItem(items[i]);
    EXPECT_EQ(manager.BlockCount(), 0u);
    EXPECT_EQ(manager.FreeItemCount(), 0u);
}

}  // namespace
