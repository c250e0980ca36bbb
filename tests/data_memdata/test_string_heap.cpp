// String heap: size classes, reuse, reference words, pages, large buffers and handle checks.
#include "data/MemData.h"
#include "tests/support/ExpectThrows.h"

#include <gtest/gtest.h>

namespace {

using TRef = TStringHeap::TRef;

TEST(StringHeap, AllocStrCopiesTrimsAndTerminates) {
    TStringHeap heap;
    EXPECT_EQ(heap.AllocStr(nullptr, false), 0u);
    EXPECT_EQ(heap.Str(heap.AllocStr("abc  ", false)), "abc  ");
    EXPECT_EQ(heap.Str(heap.AllocStr("abc  ", true)), "abc");
    EXPECT_EQ(heap.Str(heap.AllocStr("  a\t ", true)), "  a\t");  // only trailing code-32 blanks go
    EXPECT_EQ(heap.Str(heap.AllocStr("   ", true)), "");
    EXPECT_EQ(heap.Str(heap.AllocStr("abcdef", false, 3)), "abc");
    const TRef ref = heap.AllocStr("xy", false);
    EXPECT_EQ(heap.RefWord(ref), 101);
    EXPECT_EQ(heap.Data(ref)[2], std::byte{0});
    EXPECT_THROW(heap.AllocStr("abc", false, -2), EAssertionError);
}

TEST(StringHeap, AllocWideStr) {
    TStringHeap heap;
    EXPECT_EQ(heap.AllocWideStr(static_cast<const char16_t*>(nullptr), false), 0u);
    EXPECT_EQ(heap.WideStr(heap.AllocWideStr(u"\u0416ab  ", true)), u"\u0416ab");
    EXPECT_EQ(heap.WideStr(heap.AllocWideStr(u"ab ", false)), u"ab ");
    EXPECT_EQ(heap.WideStr(heap.AllocWideStr(u"abcd", false, 2)), u"ab");
    const TRef ref = heap.AllocWideStr(u"abc", false);
    EXPECT_GE(heap.Data(ref).size(), 8u);  // 2 * 3 + 2
}

struct TClassCase {
    size_t DataSize;
    uint32_t BufferSize;  // header (6) + data, rounded up to 8
    bool Large;
};

class SizeClassTest : public ::testing::TestWithParam<TClassCase> {};

TEST_P(SizeClassTest, RoundsToEightWithHeader) {
    TStringHeap heap;
    const TRef ref = heap.Alloc(GetParam().DataSize);
    EXPECT_EQ(heap.BufferSize(ref), GetParam().BufferSize);
    EXPECT_EQ((ref & TStringHeap::LargeFlag) != 0, GetParam().Large);
    EXPECT_EQ(heap.HasLargeBlocks(), GetParam().Large);
    EXPECT_GE(heap.Data(ref).size(), GetParam().DataSize);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeClassTest,
                         ::testing::Values(TClassCase{0, 8, false}, TClassCase{1, 8, false}, TClassCase{2, 8, false},
                                           TClassCase{3, 16, false}, TClassCase{10, 16, false},
                                           TClassCase{11, 24, false}, TClassCase{1994, 2000, false},
                                           TClassCase{1995, 2008, true}, TClassCase{100000, 100008, true}));

TEST(StringHeap, DisposedBufferGoesToItsClassAndIsReused) {
    TStringHeap heap;
    const TRef a = heap.AllocStr("hello", false);  // 6 + 6 = 12 -> class 2 (16 bytes)
    heap.AllocStr("other", false);
    EXPECT_EQ(heap.FreeListLength(2), 0u);
    heap.DisposeBuf(a);
    EXPECT_EQ(heap.RefWord(a), 100);
    EXPECT_EQ(heap.FreeListLength(2), 1u);
    const TRef b = heap.AllocStr("world", false);
    EXPECT_EQ(b, a);
    EXPECT_EQ(heap.Str(b), "world");
    EXPECT_EQ(heap.FreeListLength(2), 0u);
    EXPECT_EQ(heap.Str(heap.AllocStr("x", false)), "x");  // class 1 does not take class 2 buffers
}

TEST(StringHeap, ReferenceWordCountsAndProtects) {
    TStringHeap heap;
    const TRef ref = heap.AllocStr("shared", false);
    heap.AddRefStr(ref);
    EXPECT_EQ(heap.RefWord(ref), 102);
    heap.DisposeBuf(ref);
    EXPECT_EQ(heap.RefWord(ref), 101);
    EXPECT_EQ(heap.Str(ref), "shared");
    heap.DisposeBuf(ref);
    EXPECT_EQ(heap.RefWord(ref), 100);
    vactest::ExpectThrows<EAssertionError>([&] { heap.DisposeBuf(ref); }, "DisposeBuf failed");
    vactest::ExpectThrows<EAssertionError>([&] { heap.AddRefStr(ref); }, "AddRefStr failed");
    EXPECT_THROW(heap.Data(ref), EAssertionError);  // a freed buffer is not readable
    EXPECT_EQ(heap.FreeListLength(2), 1u);          // and was listed once only
}

TEST(StringHeap, ReferenceWordDoesNotWrap) {
    TStringHeap heap;
    const TRef ref = heap.AllocStr("a", false);
    for (int i = 101; i < 65535; ++i) heap.AddRefStr(ref);
    EXPECT_EQ(heap.RefWord(ref), 65535);
    EXPECT_THROW(heap.AddRefStr(ref), EAssertionError);
    EXPECT_EQ(heap.RefWord(ref), 65535);
}

TEST(StringHeap, PageRestGoesToFreeListWhenARequestDoesNotFit) {
    TStringHeap heap;
    for (int i = 0; i < 8; ++i) heap.Alloc(1994);  // 8 x 2000 of 16380 usable bytes
    EXPECT_EQ(heap.PageCount(), 1u);
    heap.Alloc(1994);  // 380 left: rounded down to 376, class 47
    EXPECT_EQ(heap.PageCount(), 2u);
    EXPECT_EQ(heap.FreeListLength(47), 1u);
    const TRef fromRest = heap.Alloc(370);  // 376 bytes: served from that rest
    EXPECT_EQ(fromRest / TStringHeap::PageSize, 0u);
    EXPECT_EQ(heap.FreeListLength(47), 0u);
}

TEST(StringHeap, SmallPageTailIsGivenToTheRequest) {
    TStringHeap heap;
    for (int i = 0; i < 8; ++i) heap.Alloc(1994);
    const TRef last = heap.Alloc(370);  // 376 of the remaining 380 would leave 4 (< 14) bytes
    EXPECT_EQ(heap.BufferSize(last), 380u);
    EXPECT_EQ(heap.PageCount(), 1u);
    heap.Alloc(1);
    EXPECT_EQ(heap.PageCount(), 2u);
    for (size_t c = 1; c <= TStringHeap::SizeClassCount; ++c) EXPECT_EQ(heap.FreeListLength(c), 0u) << c;
    heap.DisposeBuf(last);  // 380 bytes: class 47, still holds 376
    EXPECT_EQ(heap.FreeListLength(47), 1u);
}

TEST(StringHeap, TailOnTheLargestClassStaysInRange) {
    TStringHeap heap;
    // 16380 = 8 x 2000 + 380; fill to leave 2012 so a 2000-byte request takes a 12-byte tail.
    for (int i = 0; i < 7; ++i) heap.Alloc(1994);
    heap.Alloc(362);  // 368 bytes: 16380 - 14000 - 368 = 2012 left
    const TRef last = heap.Alloc(1994);
    EXPECT_EQ(heap.BufferSize(last), 2012u);
    heap.DisposeBuf(last);
    EXPECT_EQ(heap.FreeListLength(250), 1u);
    EXPECT_EQ(heap.Alloc(1994), last);
}

TEST(StringHeap, LargeBuffers) {
    TStringHeap heap;
    const TRef big = heap.AllocStr(std::string(5000, 'q'), false);
    EXPECT_TRUE(heap.HasLargeBlocks());
    EXPECT_EQ(heap.Str(big).size(), 5000u);
    heap.AddRefStr(big);
    heap.DisposeBuf(big);
    EXPECT_EQ(heap.Str(big).size(), 5000u);
    heap.DisposeBuf(big);
    EXPECT_EQ(heap.RefWord(big), 100);
    EXPECT_THROW(heap.Data(big), EAssertionError);
    EXPECT_THROW(heap.DisposeBuf(big), EAssertionError);
}

TEST(StringHeap, ForgedReferencesAreRejected) {
    TStringHeap heap;
    const TRef ref = heap.AllocStr("abc", false);
    for (TRef bad : {TRef{0}, ref + 1, ref + 8, TRef{1}, TRef{3 * TStringHeap::PageSize + 4}, TStringHeap::LargeFlag,
                     TStringHeap::LargeFlag | 7u, TRef{0xFFFFFFFF}})
        EXPECT_THROW(heap.Data(bad), EAssertionError) << bad;
}

TEST(StringHeap, ClearDropsEverything) {
    TStringHeap heap;
    const TRef small = heap.AllocStr("abc", false);
    const TRef large = heap.Alloc(4000);
    heap.DisposeBuf(heap.AllocStr("gone", false));
    heap.Clear();
    EXPECT_EQ(heap.PageCount(), 0u);
    EXPECT_FALSE(heap.HasLargeBlocks());
    EXPECT_EQ(heap.AllocatedBytes(), 0u);
    EXPECT_EQ(heap.FreeListLength(2), 0u);
    EXPECT_THROW(heap.Data(small), EAssertionError);
    EXPECT_THROW(heap.Data(large), EAssertionError);
}

}  // namespace
