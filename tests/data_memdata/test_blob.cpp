// Blobs (pieces of 65514 bytes), variant objects and the shared-object table.
#include "data/MemData.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::byte> Pattern(size_t n, unsigned seed = 1) {
    std::vector<std::byte> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::byte>((i * 131 + seed) & 0xFF);
    return bytes;
}

TEST(Blob, DefaultPieceFitsOneAllocation) {
    EXPECT_EQ(TBlob::DefaultPieceSize, 65514u);
    EXPECT_EQ(TBlob::DefaultPieceSize + TBlob::PieceHeaderSize, 65536u);
}

TEST(Blob, WriteSplitsIntoDefaultPieces) {
    TBlob blob;
    const auto data = Pattern(150000);
    blob.Write(0, data);
    ASSERT_EQ(blob.PieceCount(), 3u);
    EXPECT_EQ(blob.PieceUsed(0), 65514u);
    EXPECT_EQ(blob.PieceUsed(1), 65514u);
    EXPECT_EQ(blob.PieceUsed(2), 150000u - 2 * 65514u);
    EXPECT_EQ(blob.Size(), 150000u);
    std::vector<std::byte> back(150000);
    EXPECT_EQ(blob.Read(0, back), 150000u);
    EXPECT_EQ(back, data);
}

TEST(Blob, StreamStylePiecesWithAShortRead) {
    // The fetch reads a stream one piece at a time and stops after the first short read.
    TBlob blob;
    const auto data = Pattern(65514 + 100, 9);
    auto piece = blob.AllocPiece();
    std::copy_n(data.begin(), 65514, piece.begin());
    blob.CommitPiece(65514);
    piece = blob.AllocPiece();
    std::copy_n(data.begin() + 65514, 100, piece.begin());
    blob.CommitPiece(100);
    EXPECT_EQ(blob.Size(), data.size());
    std::vector<std::byte> back(data.size());
    blob.Read(0, back);
    EXPECT_EQ(back, data);
    EXPECT_THROW(blob.CommitPiece(65515), EAssertionError);
    blob.Write(blob.Size(), Pattern(10));  // appends into the last piece's spare room
    EXPECT_EQ(blob.PieceCount(), 2u);
    EXPECT_EQ(blob.Size(), data.size() + 10);
}

TEST(Blob, OverwriteAcrossPiecesAndPartialReads) {
    TBlob blob;
    blob.Write(0, Pattern(70000));
    const auto patch = Pattern(100, 77);
    blob.Write(65500, patch);  // spans the first two pieces
    EXPECT_EQ(blob.Size(), 70000u);
    std::vector<std::byte> back(100);
    EXPECT_EQ(blob.Read(65500, back), 100u);
    EXPECT_EQ(back, patch);
    std::vector<std::byte> tail(50);
    EXPECT_EQ(blob.Read(69980, tail), 20u);  // only what is there
    EXPECT_EQ(blob.Read(70000, tail), 0u);
    EXPECT_EQ(blob.Read(1u << 30, tail), 0u);
    EXPECT_THROW(blob.Write(70001, patch), EAssertionError);  // no holes
}

TEST(Blob, TruncateAndText) {
    TBlob blob(true);
    const std::u16string text = u"line\u0416";
    blob.Write(0, std::as_bytes(std::span(text.data(), text.size())));
    EXPECT_TRUE(blob.IsUnicode());
    EXPECT_EQ(blob.AsWideString(), text);
    blob.Truncate(4);
    EXPECT_EQ(blob.AsWideString(), u"li");
    blob.Truncate(0);
    EXPECT_EQ(blob.PieceCount(), 0u);
    TBlob bytes;
    bytes.Write(0, std::as_bytes(std::span("abc", 3)));
    EXPECT_EQ(bytes.AsString(), "abc");
}

TEST(SharedObjects, ReferencesAndLifetime) {
    TSharedObjects objects;
    auto blob = std::make_shared<TBlob>();
    const auto ref = objects.Add(blob);
    EXPECT_NE(ref, 0u);
    objects.AddRef(ref);
    EXPECT_EQ(blob->RefCount(), 2);
    objects.Release(ref);
    EXPECT_EQ(objects.Get(ref), blob);
    objects.Release(ref);
    EXPECT_EQ(objects.LiveCount(), 0u);
    EXPECT_THROW(objects.Get(ref), EAssertionError);      // released: the handle is dead
    EXPECT_THROW(objects.Release(ref), EAssertionError);  // and cannot be released twice
    EXPECT_THROW(objects.Get(0), EAssertionError);
    EXPECT_THROW(objects.Get(99), EAssertionError);
}

TEST(SharedObjects, HolderOutlivesTheTable) {
    TSharedObjects objects;
    const auto ref = objects.Add(std::make_shared<TVariantObject>(TVariant{std::string("kept")}));
    auto held = std::dynamic_pointer_cast<TVariantObject>(objects.Get(ref));
    objects.Clear();
    EXPECT_EQ(std::get<std::string>(held->Value), "kept");
    EXPECT_THROW(objects.Get(ref), EAssertionError);
}

}  // namespace
