// Open/close life cycle, record appending and cursor movement.
#include "StoreFixture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace DataKind;

TTestStore IntStore() { return TTestStore({{Integer, 4, "n"}}); }

void OpenWithRows(TTestStore& store, int rows) {
    store.OnOpen = [rows](TTestStore& s) {
        for (int i = 1; i <= rows; ++i) s.AppendInt(i * 10);
    };
    store.Open();
}

// Moves forward and collects the values read (0 for "no record").
std::vector<int32_t> NextValues(TTestStore& store, int steps) {
    std::vector<int32_t> values;
    std::vector<std::byte> buffer(store.RecordSize());
    for (int i = 0; i < steps; ++i) {
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        store.GetNextRecord(buffer);
        values.push_back(store.IsEOF() && store.RecNo() == 0 ? 0 : IntAt(store, buffer));
    }
    return values;
}

TEST(Navigation, ForwardToTheEndAndBack) {
    TTestStore store = IntStore();
    OpenWithRows(store, 3);
    EXPECT_EQ(store.RecordCount(), 3);
    EXPECT_TRUE(store.IsBOF());
    EXPECT_FALSE(store.IsEOF());
    EXPECT_EQ(store.RecNo(), 0);

    std::vector<std::byte> buffer(store.RecordSize());
    store.GetNextRecord(buffer);
    EXPECT_EQ(store.RecNo(), 1);
    EXPECT_EQ(IntAt(store, buffer), 10);
    EXPECT_FALSE(store.IsBOF());
    store.GetNextRecord(buffer);
    store.GetNextRecord(buffer);
    EXPECT_EQ(store.RecNo(), store.RecordCount());
    EXPECT_EQ(IntAt(store, buffer), 30);
    EXPECT_FALSE(store.IsEOF());

    store.GetNextRecord(buffer);  // past the end: EOF, no current record, buffer untouched
    EXPECT_TRUE(store.IsEOF());
    EXPECT_EQ(store.RecNo(), 0);
    EXPECT_EQ(IntAt(store, buffer), 30);
    store.GetNextRecord(buffer);  // stays there
    EXPECT_TRUE(store.IsEOF());

    store.GetPriorRecord(buffer);  // back from the end gives the last record
    EXPECT_EQ(store.RecNo(), 3);
    EXPECT_EQ(IntAt(store, buffer), 30);
    EXPECT_FALSE(store.IsEOF());
    store.GetPriorRecord(buffer);
    store.GetPriorRecord(buffer);
    EXPECT_EQ(IntAt(store, buffer), 10);
    store.GetPriorRecord(buffer);
    EXPECT_TRUE(store.IsBOF());
    EXPECT_EQ(store.RecNo(), 0);
    store.GetNextRecord(buffer);
    EXPECT_EQ(store.RecNo(), 1);
}

TEST(Navigation, EmptyResult) {
    TTestStore store = IntStore();
    OpenWithRows(store, 0);
    EXPECT_TRUE(store.Active());
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_TRUE(store.IsEOF());
    EXPECT_TRUE(store.IsBOF());
    std::vector<std::byte> buffer(store.RecordSize());
    store.GetNextRecord(buffer);
    EXPECT_TRUE(store.IsEOF());
    EXPECT_EQ(store.RecNo(), 0);
    store.GetPriorRecord(buffer);
    EXPECT_TRUE(store.IsBOF());
    EXPECT_FALSE(store.GetRecord(buffer));
    store.SetToBegin();
    EXPECT_TRUE(store.IsEOF());  // an empty store is at both ends
    store.SetToEnd();
    EXPECT_TRUE(store.IsBOF());
}

TEST(Navigation, SetToBeginAndEnd) {
    TTestStore store = IntStore();
    OpenWithRows(store, 4);
    store.SetToEnd();
    EXPECT_TRUE(store.IsEOF());
    EXPECT_FALSE(store.IsBOF());
    EXPECT_EQ(NextValues(store, 1), std::vector<int32_t>{0});
    std::vector<std::byte> buffer(store.RecordSize());
    store.GetPriorRecord(buffer);
    EXPECT_EQ(IntAt(store, buffer), 40);
    store.SetToBegin();
    EXPECT_TRUE(store.IsBOF());
    EXPECT_FALSE(store.IsEOF());
    EXPECT_EQ(NextValues(store, 5), (std::vector<int32_t>{10, 20, 30, 40, 0}));
}

TEST(Navigation, MoveWithoutBuffer) {
    TTestStore store = IntStore();
    OpenWithRows(store, 2);
    store.GetNextRecord({});
    store.GetNextRecord({});
    EXPECT_EQ(store.RecNo(), 2);
    EXPECT_EQ(IntAt(store, store.CurrentRecord()), 20);
    std::vector<std::byte> tooSmall(store.RecordSize() - 1);
    EXPECT_THROW(store.GetNextRecord(tooSmall), EAssertionError);
    EXPECT_EQ(store.RecNo(), 2);  // refused before moving
}

struct TRecNoCase {
    int32_t Start;  // 0: none
    int32_t Target;
    bool Found;
};

class SetRecNoTest : public ::testing::TestWithParam<TRecNoCase> {};

TEST_P(SetRecNoTest, WalksToTheRecord) {
    TTestStore store = IntStore();
    OpenWithRows(store, 100);
    if (GetParam().Start) {
        ASSERT_TRUE(store.SetRecNo(GetParam().Start));
    }
    EXPECT_EQ(store.SetRecNo(GetParam().Target), GetParam().Found);
    const int32_t expected = GetParam().Found ? GetParam().Target : GetParam().Start;
    EXPECT_EQ(store.RecNo(), expected);
    if (expected) {
        EXPECT_EQ(IntAt(store, store.CurrentRecord()), expected * 10);
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, SetRecNoTest,
                         ::testing::Values(TRecNoCase{0, 1, true}, TRecNoCase{0, 100, true}, TRecNoCase{0, 37, true},
                                           TRecNoCase{90, 60, true}, TRecNoCase{50, 52, true}, TRecNoCase{50, 49, true},
                                           TRecNoCase{10, 95, true}, TRecNoCase{42, 42, true}, TRecNoCase{0, 0, false},
                                           TRecNoCase{5, -3, false}, TRecNoCase{5, 101, false}));

TEST(Navigation, SetRecNoLeavesTheEnds) {
    TTestStore store = IntStore();
    OpenWithRows(store, 3);
    store.SetToEnd();
    ASSERT_TRUE(store.SetRecNo(2));
    EXPECT_FALSE(store.IsEOF());
    EXPECT_FALSE(store.IsBOF());
    EXPECT_EQ(NextValues(store, 2), (std::vector<int32_t>{30, 0}));
}

// A source that hands out blocks of 25 rows until 60 rows are in, the way a record set fetches.
// Open fetches the first block, as a record set without FetchAll does.
void ServeBlocks(TTestStore& store) {
    store.OnOpen = [](TTestStore& s) { s.Fetch(); };
    store.OnFetch = [](TTestStore& s) {
        const int have = s.RecordCount();
        if (have >= 60) return false;
        TBlock& block = s.AllocRecordBlock(25);
        const uint16_t rows = static_cast<uint16_t>(std::min(25, 60 - have));
        for (uint16_t i = 0; i < rows; ++i) {
            const int32_t value = (have + i + 1) * 10;
            s.PutFieldData(1, s.BlockRecord(block, i), std::as_bytes(std::span(&value, 1)));
        }
        s.AppendBlock(block, rows);
        return true;
    };
}

TEST(Navigation, RunningPastTheLastRecordFetchesTheNextBlock) {
    TTestStore store = IntStore();
    ServeBlocks(store);
    store.Open();
    EXPECT_EQ(store.RecordCount(), 25);
    auto values = NextValues(store, 61);
    EXPECT_EQ(values[0], 10);
    EXPECT_EQ(values[59], 600);
    EXPECT_EQ(values[60], 0);
    EXPECT_EQ(store.RecordCount(), 60);
    EXPECT_EQ(store.FetchCalls, 4);  // three blocks, then the end
    EXPECT_EQ(store.BlockManager().BlockCount(), 3u);
    EXPECT_EQ(store.BlockManager().FreeItemCount(), 15u);  // the last block's unused items
}

// NextRecord is GetNextRecord, RecNo and CurrentRecord in one call: the same records and numbers from
// the start and from the middle of a block, across blocks, through the fetch of the next one, and past
// the end.
TEST(Navigation, NextRecordMovesAsTheStepByStepCalls) {
    for (const int32_t start : {0, 20, 25}) {
        TTestStore walked = IntStore();
        TTestStore stepped = IntStore();
        ServeBlocks(walked);
        ServeBlocks(stepped);
        walked.Open();
        stepped.Open();
        if (start != 0) {
            ASSERT_TRUE(walked.SetRecNo(start));
            ASSERT_TRUE(stepped.SetRecNo(start));
        }
        for (int step = 1; step <= 65 - start; ++step) {
            int32_t recNo = -1;
            const TConstRecordSpan record = walked.NextRecord(recNo);
            stepped.GetNextRecord({});
            ASSERT_EQ(recNo, stepped.RecNo()) << "start " << start << " step " << step;
            ASSERT_EQ(walked.IsEOF(), stepped.IsEOF()) << "start " << start << " step " << step;
            if (recNo == 0) {
                EXPECT_TRUE(record.empty());
                continue;
            }
            EXPECT_EQ(recNo, start + step);
            EXPECT_EQ(record.data(), walked.CurrentRecord().data());
            EXPECT_EQ(IntAt(walked, record), recNo * 10);
        }
        EXPECT_TRUE(walked.IsEOF());
        EXPECT_EQ(walked.FetchCalls, stepped.FetchCalls);
    }
}

TEST(Navigation, SetRecNoFetchesUntilTheRecordIsIn) {
    TTestStore store = IntStore();
    ServeBlocks(store);
    store.Open();
    ASSERT_TRUE(store.SetRecNo(55));
    EXPECT_EQ(IntAt(store, store.CurrentRecord()), 550);
    EXPECT_EQ(store.RecordCount(), 60);
    EXPECT_FALSE(store.SetRecNo(61));
    EXPECT_EQ(store.RecNo(), 55);
}

TEST(Blocks, AppendBlockLinksTheRowsAndFreesTheRest) {
    TTestStore store = IntStore();
    store.Open();
    TBlock& block = store.AllocRecordBlock(25);
    for (int32_t i = 0; i < 10; ++i)
        store.PutFieldData(1, store.BlockRecord(block, i), std::as_bytes(std::span(&i, 1)));
    store.AppendBlock(block, 10);
    EXPECT_EQ(store.RecordCount(), 10);
    EXPECT_EQ(store.BlockManager().FreeItemCount(), 15u);
    EXPECT_THROW(store.AppendBlock(block, 10), EAssertionError);  // linking twice would loop the list
    EXPECT_EQ(store.RecordCount(), 10);
    TBlock& empty = store.AllocRecordBlock(25);
    store.AppendBlock(empty, 0);  // a block that got no rows is returned
    EXPECT_EQ(store.BlockManager().BlockCount(), 1u);
    store.AppendInt(99);  // single records use the freed items
    EXPECT_EQ(store.BlockManager().BlockCount(), 1u);
    ASSERT_TRUE(store.SetRecNo(11));
    EXPECT_EQ(IntAt(store, store.CurrentRecord()), 99);
    TBlock& big = store.AllocRecordBlock(3);
    EXPECT_THROW(store.AppendBlock(big, 4), EAssertionError);
    TTestStore other = IntStore();
    other.Open();
    EXPECT_THROW(other.AppendBlock(big, 1), EAssertionError);
    EXPECT_THROW(other.BlockRecord(big, 0), EAssertionError);
}

// Blocks that got fewer rows than they hold leave free items between records; reading in either
// direction and jumping to any record number must step over them.
TEST(Blocks, PartlyFilledBlocksReadInOrderBothWays) {
    TTestStore store = IntStore();
    store.Open();
    int32_t next = 1;
    for (const uint16_t rows : {uint16_t{10}, uint16_t{25}, uint16_t{3}, uint16_t{1}}) {
        TBlock& block = store.AllocRecordBlock(25);
        for (uint16_t i = 0; i < rows; ++i, ++next)
            store.PutFieldData(1, store.BlockRecord(block, i), std::as_bytes(std::span(&next, 1)));
        store.AppendBlock(block, rows);
    }
    const int32_t count = next - 1;
    ASSERT_EQ(store.RecordCount(), count);
    std::vector<std::byte> buffer(store.RecordSize());
    for (int32_t expected = 1; expected <= count; ++expected) {
        store.GetNextRecord(buffer);
        ASSERT_EQ(IntAt(store, buffer), expected);
        ASSERT_EQ(store.RecNo(), expected);
    }
    store.GetNextRecord(buffer);
    EXPECT_TRUE(store.IsEOF());
    for (int32_t expected = count; expected >= 1; --expected) {
        store.GetPriorRecord(buffer);
        ASSERT_EQ(IntAt(store, buffer), expected);
    }
    store.GetPriorRecord(buffer);
    EXPECT_TRUE(store.IsBOF());
    for (const int32_t target : {count, 1, 11, 10, 36, 35, 38, 39, 20}) {
        ASSERT_TRUE(store.SetRecNo(target)) << target;
        EXPECT_EQ(IntAt(store, store.CurrentRecord()), target);
        EXPECT_EQ(store.RecNo(), target);
    }
    EXPECT_FALSE(store.SetRecNo(count + 1));
    EXPECT_FALSE(store.SetRecNo(0));
}

// Single records and blocks of every fill mixed at random, checked against a plain list: reading
// forwards and backwards and jumping to any record number give the list's values.
TEST(Blocks, MixedAppendsMatchAPlainList) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 random(seed);
        TTestStore store = IntStore();
        store.Open();
        std::vector<int32_t> model;
        for (int step = 0; step < 200; ++step) {
            if (random() % 3 == 0) {
                model.push_back(static_cast<int32_t>(model.size()) + 1);
                store.AppendInt(model.back());
                continue;
            }
            const auto capacity = static_cast<uint16_t>(1 + random() % 30);
            const auto rows = static_cast<uint16_t>(random() % (capacity + 1));
            TBlock& block = store.AllocRecordBlock(capacity);
            for (uint16_t i = 0; i < rows; ++i) {
                model.push_back(static_cast<int32_t>(model.size()) + 1);
                store.PutFieldData(1, store.BlockRecord(block, i), std::as_bytes(std::span(&model.back(), 1)));
            }
            store.AppendBlock(block, rows);
        }
        ASSERT_EQ(store.RecordCount(), static_cast<int32_t>(model.size())) << "seed " << seed;
        std::vector<std::byte> buffer(store.RecordSize());
        std::vector<int32_t> forwards;
        for (store.SetToBegin(), store.GetNextRecord(buffer); !store.IsEOF(); store.GetNextRecord(buffer))
            forwards.push_back(IntAt(store, buffer));
        EXPECT_EQ(forwards, model) << "seed " << seed;
        std::vector<int32_t> backwards;
        for (store.SetToEnd(), store.GetPriorRecord(buffer); !store.IsBOF(); store.GetPriorRecord(buffer))
            backwards.insert(backwards.begin(), IntAt(store, buffer));
        EXPECT_EQ(backwards, model) << "seed " << seed;
        for (int i = 0; i < 100; ++i) {
            const auto target = static_cast<int32_t>(1 + random() % model.size());
            ASSERT_TRUE(store.SetRecNo(target)) << "seed " << seed << " record " << target;
            ASSERT_EQ(IntAt(store, store.CurrentRecord()), target) << "seed " << seed;
        }
    }
}

// A block being filled is not part of the store until appended, and a single record cannot jump
// ahead of it (it would land after the block and scramble the order).
TEST(Blocks, ABlockBeingFilledIsInvisibleAndKeepsItsPlace) {
    TTestStore store = IntStore();
    store.Open();
    store.AppendInt(1);
    TBlock& pending = store.AllocRecordBlock(5);
    std::vector<std::byte> buffer(store.RecordSize());
    store.GetNextRecord(buffer);
    store.GetNextRecord(buffer);
    EXPECT_TRUE(store.IsEOF());  // the pending block's items are not records
    EXPECT_THROW(store.AppendInt(2), EAssertionError);
    EXPECT_EQ(store.RecordCount(), 1);
    EXPECT_EQ(store.BlockManager().BlockCount(), 2u);  // the refused record left nothing behind
    const int32_t value = 7;
    store.PutFieldData(1, store.BlockRecord(pending, 0), std::as_bytes(std::span(&value, 1)));
    store.AppendBlock(pending, 1);
    store.AppendInt(3);
    store.SetToBegin();
    EXPECT_EQ(NextValues(store, 4), (std::vector<int32_t>{1, 7, 3, 0}));
}

TEST(Records, GetAndPutRecord) {
    TTestStore store = IntStore();
    OpenWithRows(store, 2);
    std::vector<std::byte> buffer(store.RecordSize());
    EXPECT_FALSE(store.GetRecord(buffer));
    EXPECT_THROW(store.PutRecord(buffer), EDatabaseError);  // nowhere to write
    store.GetNextRecord({});
    ASSERT_TRUE(store.GetRecord(buffer));
    EXPECT_EQ(IntAt(store, buffer), 10);
    const int32_t changed = 77;
    store.PutFieldData(1, buffer, std::as_bytes(std::span(&changed, 1)));
    store.PutRecord(buffer);
    EXPECT_EQ(IntAt(store, store.CurrentRecord()), 77);
    std::vector<std::byte> small(store.RecordSize() - 1);
    EXPECT_THROW(store.GetRecord(small), EAssertionError);
    EXPECT_THROW(store.PutRecord(small), EAssertionError);
    EXPECT_THROW(store.AppendRecord(small), EAssertionError);
}

TEST(Lifecycle, FailedOpenLeavesTheStoreFreedAndInactive) {
    TTestStore store = IntStore();
    store.OnOpen = [](TTestStore& s) {
        s.AppendInt(1);
        s.StringHeap().AllocStr("x", false);
        throw EDatabaseError("fetch failed");
    };
    EXPECT_THROW(store.Open(), EDatabaseError);
    EXPECT_FALSE(store.Active());
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_EQ(store.BlockManager().BlockCount(), 0u);
    EXPECT_EQ(store.StringHeap().PageCount(), 0u);
    EXPECT_EQ(store.RecNo(), 0);
}

TEST(Lifecycle, CloseRunsToTheEndWhenInternalCloseRaises) {
    TTestStore store = IntStore();
    OpenWithRows(store, 3);
    store.OnClose = [] { throw EDatabaseError("close failed"); };
    EXPECT_THROW(store.Close(), EDatabaseError);
    EXPECT_FALSE(store.Active());
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_EQ(store.FieldCount(), 0);
    EXPECT_EQ(store.BlockManager().BlockCount(), 0u);
}

TEST(Lifecycle, PreparedStoreKeepsItsFieldsOverClose) {
    TTestStore store = IntStore();
    store.Prepare();
    OpenWithRows(store, 1);
    store.Close();
    EXPECT_EQ(store.FieldCount(), 1);
    EXPECT_TRUE(store.Prepared());
    store.UnPrepare();
    EXPECT_EQ(store.FieldCount(), 0);
    EXPECT_FALSE(store.Prepared());
}

TEST(Lifecycle, InitDataOnAFilledStoreReleasesItsRecords) {
    TTestStore store({{ExtString, 4}});
    store.OnOpen = [](TTestStore& s) {
        std::vector<std::byte> record(s.RecordSize());
        s.InitRecord(record);
        s.PutFieldString(1, record, "value");
        s.AppendRecord(record);
    };
    store.Open();
    store.GetNextRecord({});
    store.InitData();
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_EQ(store.RecNo(), 0);
    EXPECT_EQ(store.BlockManager().BlockCount(), 0u);
    EXPECT_EQ(store.StringHeap().PageCount(), 0u);
    EXPECT_TRUE(store.IsEOF());
}

TEST(Lifecycle, ReopenAndSerialNumbers) {
    TTestStore store = IntStore();
    int opens = 0;
    store.OnOpen = [&opens](TTestStore& s) {
        ++opens;
        s.AppendInt(5);
    };
    store.Open();
    store.Open();  // already active: nothing happens
    EXPECT_EQ(opens, 1);
    const uint32_t first = store.SerialNumber();
    store.GetNextRecord({});
    store.Reopen();
    EXPECT_EQ(opens, 2);
    EXPECT_NE(store.SerialNumber(), first);
    EXPECT_EQ(store.RecordCount(), 1);
    EXPECT_EQ(store.RecNo(), 0);
    EXPECT_TRUE(store.IsBOF());
    TTestStore other = IntStore();
    other.Open();
    EXPECT_NE(other.SerialNumber(), store.SerialNumber());
}

}  // namespace
