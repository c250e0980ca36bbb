#include "data/MemData.h"

#include "common/ByteAccess.h"
#include "common/CodePage.h"
#include "common/Format.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace {

using bytes::Load;
using bytes::Store;

[[noreturn]] void Internal(const std::string& text) { throw EAssertionError(text); }

// The process-wide serial counter of record stores; atomic so concurrent stores cannot tear it.
std::atomic<uint32_t> GSerialCounter{0};

}  // namespace

namespace DataKind {
bool IsByReference(uint16_t kind) { return kind == ExtString || kind == ExtVarBytes || kind == ExtWideString; }
bool IsSharedObject(uint16_t kind) { return kind == Blob || kind == Memo || kind == Variant; }
}  // namespace DataKind

// ---------------------------------------------------------------------------------------------------
// Field descriptors

int CompareFieldNames(std::string_view a, std::string_view b) { return codepage::CompareText(a, b); }

TFieldDesc& TFieldDescs::Add(std::unique_ptr<TFieldDesc> desc) {
    if (!desc) Internal("TFieldDescs.Add: nil descriptor");
    FItems.push_back(std::move(desc));
    return *FItems.back();
}

void TFieldDescs::IndexError(size_t index) { throw EDatabaseError(Format(SListIndexUnsigned, index)); }

TFieldDesc* TFieldDescs::FindField(std::string_view name) const {
    if (name.find_first_of(".[") != std::string_view::npos) {
        for (const auto& f : FItems)
            if (CompareFieldNames(f->ActualName, name) == 0) return f.get();
        return nullptr;
    }
    for (const auto& f : FItems)
        if (!f->ParentField && CompareFieldNames(f->Name, name) == 0) return f.get();
    for (const auto& f : FItems)
        if (f->ParentField && CompareFieldNames(f->Name, name) == 0) return f.get();
    return nullptr;
}

TFieldDesc& TFieldDescs::FieldByName(std::string_view name) const {
    if (TFieldDesc* f = FindField(name)) return *f;
    throw EDatabaseError(Format(SStoreFieldNotFound, std::string(name).c_str()));
}

namespace {

bool NameTaken(const std::vector<TFieldDesc*>& all, const TFieldDesc* except, std::string_view name) {
    for (const TFieldDesc* d : all)
        if (d != except && CompareFieldNames(d->Name, name) == 0) return true;
    return false;
}

// After `changed` got a new name, any other descriptor with that name moves aside to the first free
// name_k; since that name is free, the chain of renames ends there.
void ResolveCollisions(const std::vector<TFieldDesc*>& all, TFieldDesc* changed) {
    for (TFieldDesc* d : all) {
        if (d == changed || CompareFieldNames(d->Name, changed->Name) != 0) continue;
        const std::string base = d->Name;
        for (unsigned k = 1;; ++k) {
            std::string candidate = base + "_" + std::to_string(k);
            if (!NameTaken(all, d, candidate)) {
                d->Name = std::move(candidate);
                break;
            }
        }
        ResolveCollisions(all, d);
    }
}

}  // namespace

void MakeUniqueFieldNames(TFieldDescs& fields) {
    std::vector<TFieldDesc*> all;
    for (const auto& f : fields)
        if (!f->ParentField) all.push_back(f.get());

    struct TEntry {
        TFieldDesc* Desc;
        std::string Original;
        bool Duplicate = false;
    };
    std::vector<TEntry> sorted;
    for (TFieldDesc* d : all) sorted.push_back({d, d->Name});
    std::stable_sort(sorted.begin(), sorted.end(), [](const TEntry& a, const TEntry& b) {
        const int c = CompareFieldNames(a.Original, b.Original);
        return c != 0 ? c < 0 : a.Desc->FieldNo < b.Desc->FieldNo;
    });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (CompareFieldNames(sorted[i - 1].Original, sorted[i].Original) == 0)
            sorted[i - 1].Duplicate = sorted[i].Duplicate = true;

    unsigned n = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        TEntry& e = sorted[i];
        if (!e.Duplicate && !e.Original.empty()) {
            n = 0;
            continue;
        }
        // A new group starts whenever the original name changes. (Comparing only once the counter is
        // above 1 let one nameless column push the next group's first name to x_1.)
        if (n != 0 && i > 0 && CompareFieldNames(sorted[i - 1].Original, e.Original) != 0) n = 0;
        if (n != 0 || e.Original.empty()) {
            e.Desc->Name = e.Original + "_" + std::to_string(n);
            ResolveCollisions(all, e.Desc);
        }
        ++n;
    }
}

// ---------------------------------------------------------------------------------------------------
// Items and blocks

int32_t TItem::Order() const { return FBlock->FirstOrder() + static_cast<int32_t>(FIndex); }
uint8_t TItem::Marker() const { return Load<uint8_t>(Address()); }
void TItem::SetMarker(uint8_t value) const { Store(Address(), value); }
std::byte* TItem::Address() const { return FBlock->ItemAddress(FIndex); }

TBlock::TPtr TBlock::Create(uint16_t itemCount, size_t itemSize) {
    if (itemSize > std::numeric_limits<uint32_t>::max()) Internal("Item size too large");
    // The header and its items are one allocation: at 25 rows a block, a second one per block would
    // cost more than a byte per row.
    const size_t items = size_t{itemCount} * itemSize;
    void* memory = ::operator new(sizeof(TBlock) + items);
    TPtr block(new (memory) TBlock(itemCount, static_cast<uint32_t>(itemSize)));
    std::memset(block->Items(), 0, items);
    return block;
}

void TBlock::TDeleter::operator()(TBlock* block) const {
    block->~TBlock();
    ::operator delete(block);
}

TItem TBlock::Item(size_t index) {
    if (index >= FItemCount) Internal("Block item index out of range");
    return {this, static_cast<uint32_t>(index)};
}

void TBlockManager::SetRecordSize(uint32_t size) {
    if (size == FRecordSize) return;
    if (!FBlocks.empty()) Internal("Record size changed while records exist");
    if (size > std::numeric_limits<int32_t>::max() - TItem::HeaderSize) Internal("Record size too large");
    FRecordSize = size;
}

TBlock& TBlockManager::AllocBlock(uint16_t itemCount) {
    if (itemCount == 0) Internal("Empty block requested");
    auto block = TBlock::Create(itemCount, ItemSize());
    block->FIndex = FBlocks.size();
    block->FUsedItems = itemCount;
    for (size_t i = 0; i < itemCount; ++i) block->Item(i).SetMarker(TItem::MarkerUsed);
    FBlocks.push_back(std::move(block));
    return *FBlocks.back();
}

TItem TBlockManager::AllocItem() {
    if (FBlocks.empty() || FBlocks.back()->FUsedItems == FBlocks.back()->FItemCount) {
        TBlock& block = AllocBlock(DefaultItemCount);
        TrimBlock(block, 1);
        return block.Item(0);
    }
    TBlock& block = *FBlocks.back();
    const TItem item = block.Item(block.FUsedItems);
    if (item.Marker() != TItem::MarkerFree) Internal("Free item marker is broken");
    std::memset(item.Address(), 0, block.ItemSize());
    item.SetMarker(TItem::MarkerUsed);
    ++block.FUsedItems;
    --FFreeCount;
    return item;
}

void TBlockManager::TrimBlock(TBlock& block, uint16_t used) {
    if (!Owns(block)) Internal("TrimBlock: foreign block");
    if (used > block.FUsedItems) Internal("TrimBlock: more items than the block has in use");
    if (used == 0) {
        FreeBlock(block);
        return;
    }
    for (size_t i = used; i < block.FUsedItems; ++i) block.Item(i).SetMarker(TItem::MarkerFree);
    FFreeCount += block.FUsedItems - used;
    block.FUsedItems = used;
}

void TBlockManager::FreeBlock(TBlock& block) {
    if (!Owns(block)) Internal("FreeBlock: foreign block");
    FFreeCount -= block.FItemCount - block.FUsedItems;
    // Blocks are freed from the end in practice (a fetch that got no rows); anywhere else the later
    // blocks move up to keep the list in record order.
    const auto erased = FBlocks.erase(FBlocks.begin() + static_cast<ptrdiff_t>(block.FIndex));
    for (auto it = erased; it != FBlocks.end(); ++it) (*it)->FIndex = static_cast<size_t>(it - FBlocks.begin());
}

void TBlockManager::FreeAll() {
    FBlocks.clear();
    FFreeCount = 0;
}

TBlock& TBlockManager::Block(size_t index) const {
    if (index >= FBlocks.size()) Internal("Block index out of range");
    return *FBlocks[index];
}

bool TBlockManager::Owns(const TBlock& block) const {
    return block.FIndex < FBlocks.size() && FBlocks[block.FIndex].get() == &block;
}

TItem TBlockManager::NextItem(TItem item) const {
    TBlock* block = item.Block();
    if (item.Index() + 1 < block->FUsedItems) return {block, item.Index() + 1};
    const size_t next = block->FIndex + 1;
    return next < FBlocks.size() ? TItem(FBlocks[next].get(), 0) : TItem();
}

TItem TBlockManager::PriorItem(TItem item) const {
    TBlock* block = item.Block();
    if (item.Index() > 0) return {block, item.Index() - 1};
    if (block->FIndex == 0) return {};
    TBlock* prior = FBlocks[block->FIndex - 1].get();
    return {prior, prior->FUsedItems - 1u};
}

size_t TBlockManager::AllocatedBytes() const {
    size_t total = FBlocks.capacity() * sizeof(TBlock::TPtr);
    for (const auto& b : FBlocks) total += sizeof(TBlock) + size_t{b->ItemCount()} * b->ItemSize();
    return total;
}

// ---------------------------------------------------------------------------------------------------
// String heap

TStringHeap::TRef TStringHeap::NewBuffer(size_t page, size_t position, uint32_t size, uint16_t refWord) {
    std::byte* p = FPages[page].get() + position;
    Store<uint32_t>(p, size);
    Store<uint16_t>(p + 4, refWord);
    return static_cast<TRef>(page * PageSize + position);
}

void TStringHeap::StartPage() {
    // Handles keep the top bit for large buffers, which bounds the small-buffer pages.
    if ((FPages.size() + 1) * PageSize > LargeFlag) throw EDatabaseError(SStringHeapFull);
    auto page = std::make_unique<std::byte[]>(PageSize);
    Store<uint32_t>(page.get(), static_cast<uint32_t>(FPages.size()));  // link to the previous page
    FPages.push_back(std::move(page));
    FPagePos = PageLinkSize;
}

TStringHeap::TRef TStringHeap::Alloc(size_t dataSize) {
    if (dataSize > std::numeric_limits<uint32_t>::max() - BufferHeaderSize - Granularity)
        throw EDatabaseError(SStringHeapBufferTooLarge);
    const size_t total = (dataSize + BufferHeaderSize + Granularity - 1) / Granularity * Granularity;
    return total > MaxSmallSize ? AllocLarge(total) : AllocSmall(total);
}

TStringHeap::TRef TStringHeap::AllocSmall(size_t total) {
    auto& freeList = FFreeLists[total / Granularity - 1];
    if (!freeList.empty()) {
        const TRef ref = freeList.back();
        uint32_t size = 0;
        std::byte* p = Locate(ref, size);
        if (Load<uint16_t>(p + 4) != RefBase) Internal("String heap free list is broken");
        freeList.pop_back();
        Store<uint16_t>(p + 4, RefBase + 1);
        return ref;
    }
    if (FPages.empty() || PageSize - FPagePos < total) {
        if (!FPages.empty()) {
            const size_t rest = (PageSize - FPagePos) / Granularity * Granularity;
            if (rest >= Granularity) {
                FFreeLists[rest / Granularity - 1].push_back(
                    NewBuffer(FPages.size() - 1, FPagePos, static_cast<uint32_t>(rest), RefBase));
            }
        }
        StartPage();
    }
    size_t size = total;
    if (PageSize - (FPagePos + total) < MinPageTail) size = PageSize - FPagePos;  // the tail goes along
    const TRef ref = NewBuffer(FPages.size() - 1, FPagePos, static_cast<uint32_t>(size), RefBase + 1);
    FPagePos += size;
    return ref;
}

TStringHeap::TRef TStringHeap::AllocLarge(size_t total) {
    if (FLarge.size() >= LargeFlag - 1) throw EDatabaseError(SStringHeapFull);
    TLarge large{std::make_unique<std::byte[]>(total), total};
    Store<uint32_t>(large.Memory.get(), static_cast<uint32_t>(total));
    Store<uint16_t>(large.Memory.get() + 4, RefBase + 1);
    FLarge.push_back(std::move(large));
    FHasLargeBlocks = true;
    return LargeFlag | static_cast<TRef>(FLarge.size());
}

std::byte* TStringHeap::Locate(TRef ref, uint32_t& size) const {
    if (ref == 0) Internal("String heap: nil reference");
    if (ref & LargeFlag) {
        const size_t slot = (ref & ~LargeFlag) - 1;
        if (slot >= FLarge.size() || !FLarge[slot].Memory) Internal("String heap: invalid reference");
        size = Load<uint32_t>(FLarge[slot].Memory.get());
        if (size != FLarge[slot].Size) Internal("String heap: invalid reference");
        return FLarge[slot].Memory.get();
    }
    const size_t page = ref / PageSize;
    const size_t position = ref % PageSize;
    const size_t used = page + 1 == FPages.size() ? FPagePos : PageSize;
    if (page >= FPages.size() || position < PageLinkSize || (position - PageLinkSize) % Granularity != 0 ||
        position + BufferHeaderSize > used)
        Internal("String heap: invalid reference");
    std::byte* p = FPages[page].get() + position;
    size = Load<uint32_t>(p);
    if (size < Granularity || size > MaxSmallSize + MinPageTail || position + size > used)
        Internal("String heap: invalid reference");
    return p;
}

void TStringHeap::AddRefStr(TRef ref) {
    uint32_t size = 0;
    std::byte* p = Locate(ref, size);
    const uint16_t word = Load<uint16_t>(p + 4);
    if (word <= RefBase) Internal("AddRefStr failed");
    if (word == std::numeric_limits<uint16_t>::max()) Internal("AddRefStr failed: too many references");
    Store<uint16_t>(p + 4, word + 1);
}

void TStringHeap::DisposeBuf(TRef ref) {
    uint32_t size = 0;
    std::byte* p = Locate(ref, size);
    const uint16_t word = Load<uint16_t>(p + 4);
    if (word <= RefBase) Internal("DisposeBuf failed");
    if (word > RefBase + 1) {
        Store<uint16_t>(p + 4, word - 1);
        return;
    }
    Store<uint16_t>(p + 4, RefBase);
    if (ref & LargeFlag) {
        FLarge[(ref & ~LargeFlag) - 1].Memory.reset();
        return;
    }
    // A buffer that took a page's tail may be a few bytes above the largest class.
    FFreeLists[std::min<size_t>(size / Granularity, SizeClassCount) - 1].push_back(ref);
}

std::span<std::byte> TStringHeap::Data(TRef ref) {
    uint32_t size = 0;
    std::byte* p = Locate(ref, size);
    if (Load<uint16_t>(p + 4) <= RefBase) Internal("String heap: buffer is not in use");
    return {p + BufferHeaderSize, size - BufferHeaderSize};
}

std::span<const std::byte> TStringHeap::Data(TRef ref) const { return const_cast<TStringHeap*>(this)->Data(ref); }

std::string_view TStringHeap::Str(TRef ref) const {
    const auto data = Data(ref);
    const char* chars = reinterpret_cast<const char*>(data.data());
    return {chars, strnlen(chars, data.size())};
}

std::u16string TStringHeap::WideStr(TRef ref) const {
    const auto data = Data(ref);
    std::u16string result;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = Load<char16_t>(data.data() + i);
        if (c == 0) break;
        result += c;
    }
    return result;
}

uint16_t TStringHeap::RefWord(TRef ref) const {
    uint32_t size = 0;
    if (ref & LargeFlag) {
        const size_t slot = (ref & ~LargeFlag) - 1;
        if (slot < FLarge.size() && !FLarge[slot].Memory) return RefBase;  // freed large buffer
    }
    return Load<uint16_t>(Locate(ref, size) + 4);
}

uint32_t TStringHeap::BufferSize(TRef ref) const {
    uint32_t size = 0;
    Locate(ref, size);
    return size;
}

TStringHeap::TRef TStringHeap::AllocStr(const char* text, bool trim, int length) {
    if (!text) return 0;
    if (length < -1) Internal("AllocStr: negative length");
    return AllocStr(std::string_view(text, length == -1 ? std::strlen(text) : static_cast<size_t>(length)), trim);
}

TStringHeap::TRef TStringHeap::AllocStr(std::string_view text, bool trim) {
    if (trim)
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    const TRef ref = Alloc(text.size() + 1);
    std::byte* p = Data(ref).data();
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    p[text.size()] = std::byte{0};
    return ref;
}

TStringHeap::TRef TStringHeap::AllocWideStr(const char16_t* text, bool trim, int length) {
    if (!text) return 0;
    if (length < -1) Internal("AllocWideStr: negative length");
    return AllocWideStr(
        length == -1 ? std::u16string_view(text) : std::u16string_view(text, static_cast<size_t>(length)), trim);
}

TStringHeap::TRef TStringHeap::AllocWideStr(std::u16string_view text, bool trim) {
    if (trim)
        while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    const TRef ref = Alloc(2 * text.size() + 2);
    std::byte* p = Data(ref).data();
    if (!text.empty()) std::memcpy(p, text.data(), 2 * text.size());
    Store<char16_t>(p + 2 * text.size(), 0);
    return ref;
}

size_t TStringHeap::FreeListLength(size_t sizeClass) const {
    if (sizeClass < 1 || sizeClass > SizeClassCount) Internal("Size class out of range");
    return FFreeLists[sizeClass - 1].size();
}

size_t TStringHeap::AllocatedBytes() const {
    size_t total = FPages.size() * PageSize;
    for (const auto& l : FLarge) total += l.Memory ? l.Size : 0;
    return total;
}

void TStringHeap::Clear() {
    FPages.clear();
    FPagePos = PageSize;
    for (auto& l : FFreeLists) l.clear();
    FLarge.clear();
    FHasLargeBlocks = false;
}

// ---------------------------------------------------------------------------------------------------
// Shared objects

int32_t TSharedObject::AddRef() {
    if (FRefCount <= 0) Internal("AddRef on a released object");
    if (FRefCount == std::numeric_limits<int32_t>::max()) Internal("AddRef: too many references");
    return ++FRefCount;
}

int32_t TSharedObject::Release() {
    if (FRefCount <= 0) Internal("Release on a released object");
    return --FRefCount;
}

size_t TBlob::Size() const {
    size_t total = 0;
    for (const auto& p : FPieces) total += p.Used;
    return total;
}

size_t TBlob::PieceCapacity(size_t index) const {
    if (index >= FPieces.size()) Internal("Blob piece index out of range");
    return FPieces[index].Capacity;
}

size_t TBlob::PieceUsed(size_t index) const {
    if (index >= FPieces.size()) Internal("Blob piece index out of range");
    return FPieces[index].Used;
}

std::span<std::byte> TBlob::AllocPiece(size_t capacity) {
    if (capacity == 0) Internal("Empty blob piece");
    FPieces.push_back({std::make_unique<std::byte[]>(capacity), capacity, 0});
    return {FPieces.back().Data.get(), capacity};
}

void TBlob::CommitPiece(size_t used) {
    if (FPieces.empty() || used > FPieces.back().Capacity) Internal("CommitPiece: more bytes than the piece holds");
    FPieces.back().Used = used;
}

void TBlob::Write(size_t position, std::span<const std::byte> bytes) {
    if (position > Size()) Internal("Blob write past its end");
    size_t start = 0;
    for (auto& piece : FPieces) {
        if (bytes.empty()) return;
        if (position < start + piece.Used) {
            const size_t at = position - start;
            const size_t n = std::min(bytes.size(), piece.Used - at);
            std::memcpy(piece.Data.get() + at, bytes.data(), n);
            bytes = bytes.subspan(n);
            position += n;
        }
        start += piece.Used;
    }
    // Appending: fill the last piece's spare room, then whole new pieces.
    if (!bytes.empty() && !FPieces.empty()) {
        TPiece& last = FPieces.back();
        const size_t n = std::min(bytes.size(), last.Capacity - last.Used);
        if (n) std::memcpy(last.Data.get() + last.Used, bytes.data(), n);
        last.Used += n;
        bytes = bytes.subspan(n);
    }
    while (!bytes.empty()) {
        auto piece = AllocPiece(DefaultPieceSize);
        const size_t n = std::min(bytes.size(), piece.size());
        std::memcpy(piece.data(), bytes.data(), n);
        CommitPiece(n);
        bytes = bytes.subspan(n);
    }
}

size_t TBlob::Read(size_t position, std::span<std::byte> destination) const {
    size_t start = 0;
    size_t copied = 0;
    for (const auto& piece : FPieces) {
        if (copied == destination.size()) break;
        if (position < start + piece.Used) {
            const size_t at = position - start;
            const size_t n = std::min(destination.size() - copied, piece.Used - at);
            std::memcpy(destination.data() + copied, piece.Data.get() + at, n);
            copied += n;
            position += n;
        }
        start += piece.Used;
    }
    return copied;
}

void TBlob::Truncate(size_t size) {
    size_t start = 0;
    for (size_t i = 0; i < FPieces.size(); ++i) {
        if (size <= start + FPieces[i].Used) {
            FPieces[i].Used = size - start;
            FPieces.resize(FPieces[i].Used == 0 ? i : i + 1);
            return;
        }
        start += FPieces[i].Used;
    }
}

std::string TBlob::AsString() const {
    std::string result(Size(), '\0');
    Read(0, std::as_writable_bytes(std::span(result)));
    return result;
}

std::u16string TBlob::AsWideString() const {
    std::u16string result(Size() / 2, u'\0');
    Read(0, std::as_writable_bytes(std::span(result)));
    return result;
}

TSharedObjects::TRef TSharedObjects::Add(std::shared_ptr<TSharedObject> object) {
    if (!object) Internal("Nil shared object");
    if (FItems.size() >= std::numeric_limits<TRef>::max() - 1) throw EDatabaseError(STooManySharedObjects);
    FItems.push_back(std::move(object));
    ++FLive;
    return static_cast<TRef>(FItems.size());
}

std::shared_ptr<TSharedObject> TSharedObjects::Get(TRef ref) const {
    if (ref == 0 || ref > FItems.size() || !FItems[ref - 1]) Internal("Invalid shared object reference");
    return FItems[ref - 1];
}

void TSharedObjects::AddRef(TRef ref) { Get(ref)->AddRef(); }

void TSharedObjects::Release(TRef ref) {
    if (Get(ref)->Release() == 0) {
        FItems[ref - 1].reset();
        --FLive;
    }
}

void TSharedObjects::Clear() {
    FItems.clear();
    FLive = 0;
}

// ---------------------------------------------------------------------------------------------------
// TData

void TData::InitData() {
    FRecordCount = 0;
    FRecNoOffset = 0;
    FBOF = true;
    FEOF = true;
}

void TData::FreeData() {
    // Every by-reference value belongs to exactly one store, so dropping the heap and the object table
    // releases the values of every record at once.
    FStringHeap.Clear();
    FObjects.Clear();
    TData::InitData();
}

void TData::Open() {
    if (FActive) return;
    try {
        InitData();
        InternalOpen();
    } catch (...) {
        FreeData();
        throw;
    }
    FActive = true;
}

void TData::Close() {
    std::exception_ptr failure;
    if (FActive) {
        try {
            InternalClose();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    FreeData();
    if (!FPrepared) ClearFields();
    FActive = false;
    if (failure) std::rethrow_exception(failure);
}

void TData::Prepare() {
    if (FPrepared) return;
    InternalPrepare();
    FPrepared = true;
}

void TData::UnPrepare() {
    if (!FPrepared) return;
    FPrepared = false;
    ClearFields();
    InternalUnPrepare();
}

void TData::Reopen() {
    Close();
    Open();
}

void TData::InitFields() {
    ClearFields();
    InternalInitFields();
    MakeUniqueFieldNames(FFields);
    ComputeLayout();
    RecordSizeChanged();
}

void TData::ClearFields() {
    FFields.Clear();
    FDataSize = 0;
}

void TData::ComputeLayout() {
    uint64_t offset = 0;
    for (const auto& f : FFields) {
        if (f->Size < DataKind::MinimumSize(f->DataType))
            Internal("Field " + f->Name + ": size " + std::to_string(f->Size) + " too small for its kind");
        if (f->DataType == DataKind::WideString && offset % 2 != 0) ++offset;
        f->Offset = static_cast<uint32_t>(offset);
        offset += f->Size;
    }
    FStatusWidth = StatusWordSize();
    FNullStatus = NullStatus();
    uint64_t recordSize = offset + uint64_t{FStatusWidth} * FFields.Count();
    if (recordSize % 2 == 0) ++recordSize;
    if (recordSize > std::numeric_limits<int32_t>::max() / 2) Internal("Record size too large");
    FDataSize = static_cast<uint32_t>(offset);
    FRecordSize = static_cast<uint32_t>(recordSize);
}

void TData::FieldNumberError(int fieldNo) { Internal("Field number " + std::to_string(fieldNo) + " out of range"); }

void TData::LayoutError(const TFieldDesc& f) { Internal("Field " + f.Name + " lies outside the record layout"); }

void TData::RecordSizeError() { Internal("Record buffer smaller than the record size"); }

uint32_t TData::StatusOffset(int fieldNo) const {
    CheckField(fieldNo);
    return FDataSize + FStatusWidth * static_cast<uint32_t>(fieldNo - 1);
}

void TData::SetStatus(int fieldNo, TRecordSpan record, uint32_t value) {
    CheckRecord(record);
    const uint32_t at = StatusOffset(fieldNo);
    std::memcpy(record.data() + at, &value, FStatusWidth);
}

bool TData::GetNull(int fieldNo, TConstRecordSpan record) const { return GetStatus(fieldNo, record) == FNullStatus; }

void TData::SetNull(int fieldNo, TRecordSpan record, bool value) {
    const TFieldDesc& f = CheckField(fieldNo);
    CheckRecord(record);
    if (value) ReleaseFieldValue(f, record);
    SetStatus(fieldNo, record, value ? NullStatus() : 0);
}

void TData::ReleaseFieldValue(const TFieldDesc& f, TRecordSpan record) {
    std::byte* p = record.data() + f.Offset;
    if (!DataKind::IsByReference(f.DataType) && !DataKind::IsSharedObject(f.DataType)) return;
    const uint32_t ref = Load<uint32_t>(p);
    if (ref == 0) return;
    Store<uint32_t>(p, 0);
    if (DataKind::IsByReference(f.DataType))
        FStringHeap.DisposeBuf(ref);
    else
        FObjects.Release(ref);
}

void TData::InitRecord(TRecordSpan record) {
    CheckRecord(record);
    std::memset(record.data(), 0, FRecordSize);
    for (int i = 1; i <= FieldCount(); ++i) SetStatus(i, record, NullStatus());
}

namespace {

// Characters of a string value, of width 1 or 2, as they are stored (no terminator).
struct TChars {
    const std::byte* Data = nullptr;
    size_t Count = 0;
    size_t Width = 1;
    uint16_t At(size_t i) const { return Width == 1 ? static_cast<uint16_t>(Data[i]) : Load<uint16_t>(Data + 2 * i); }
};

// Units before the first zero among the first `capacity` units.
size_t UnitsBeforeZero(const std::byte* p, size_t capacity, size_t width) {
    if (capacity == 0) return 0;  // also a nil heap value, whose data pointer is null
    if (width == 1) {
        const void* zero = std::memchr(p, 0, capacity);
        return zero ? static_cast<size_t>(static_cast<const std::byte*>(zero) - p) : capacity;
    }
    size_t n = 0;
    while (n < capacity && Load<uint16_t>(p + 2 * n) != 0) ++n;
    return n;
}

TChars InlineChars(const std::byte* p, size_t size, size_t width) {
    return {p, UnitsBeforeZero(p, size / width - 1, width), width};  // the last unit holds the terminator
}

TChars HeapChars(std::span<const std::byte> data, size_t width) {
    return {data.data(), UnitsBeforeZero(data.data(), data.size() / width, width), width};
}

// Characters after the optional conversions: LF without a preceding CR becomes CR LF; trailing blanks
// removed. Writes at most `capacity` units to out (when given) and returns the unit count.
size_t ConvertChars(const TChars& chars, bool convertEOL, bool trim, std::byte* out, size_t capacity) {
    size_t count = chars.Count;
    if (trim)
        while (count > 0 && chars.At(count - 1) == ' ') --count;
    if (!convertEOL) {
        if (out && count) std::memcpy(out, chars.Data, std::min(count, capacity) * chars.Width);
        return count;
    }
    size_t written = 0;
    auto put = [&](uint16_t c) {
        if (out && written < capacity) {
            if (chars.Width == 1)
                out[written] = static_cast<std::byte>(c);
            else
                Store<uint16_t>(out + 2 * written, c);
        }
        ++written;
    };
    for (size_t i = 0; i < count; ++i) {
        const uint16_t c = chars.At(i);
        if (c == '\n' && (i == 0 || chars.At(i - 1) != '\r')) put('\r');
        put(c);
    }
    return written;
}

void TooSmall(const TFieldDesc& f) { throw EDatabaseError(Format(SBufferTooSmall, f.Name.c_str())); }

}  // namespace

size_t TData::GetFieldData(int fieldNo, TConstRecordSpan record, bool& isNull, std::span<std::byte> dest) const {
    const TFieldDesc& f = CheckField(fieldNo);
    CheckRecord(record);
    isNull = GetNull(fieldNo, record);
    const uint16_t kind = f.DataType;
    if (isNull && DataKind::IsByReference(kind)) return 0;
    if (dest.empty()) return 0;

    const std::byte* p = record.data() + f.Offset;
    switch (kind) {
    case DataKind::String:
    case DataKind::WideString:
    case DataKind::ExtString:
    case DataKind::ExtWideString: {
        const size_t width = kind == DataKind::WideString || kind == DataKind::ExtWideString ? 2 : 1;
        TChars chars;
        if (kind == DataKind::String || kind == DataKind::WideString)
            chars = InlineChars(p, f.Size, width);
        else
            chars = HeapChars(HeapData(Load<uint32_t>(p)), width);
        const bool trim =
            !isNull && (kind == DataKind::String || kind == DataKind::WideString) && f.Fixed && TrimFixedChar;
        const size_t units = ConvertChars(chars, ConvertEOL, trim, nullptr, 0);
        const size_t bytes = (units + 1) * width;
        if (dest.size() < bytes) TooSmall(f);
        ConvertChars(chars, ConvertEOL, trim, dest.data(), units);
        std::memset(dest.data() + units * width, 0, width);
        return bytes;
    }
    case DataKind::Date:
    case DataKind::Time: {
        if (dest.size() < sizeof(double)) TooSmall(f);
        const double stored = Load<double>(p);
        const double whole = std::trunc(stored);
        Store<double>(dest.data(), kind == DataKind::Date ? whole : std::fabs(stored - whole));
        return sizeof(double);
    }
    case DataKind::ExtVarBytes: {
        const auto data = HeapData(Load<uint32_t>(p));
        const size_t length = data.size() < 2 ? 0 : std::min<size_t>(Load<uint16_t>(data.data()), data.size() - 2);
        if (dest.size() < length + 2) TooSmall(f);
        Store<uint16_t>(dest.data(), static_cast<uint16_t>(length));
        if (length) std::memcpy(dest.data() + 2, data.data() + 2, length);
        return length + 2;
    }
    default:
        if (dest.size() < f.Size) TooSmall(f);
        std::memcpy(dest.data(), p, f.Size);
        return f.Size;
    }
}

size_t TData::MaxFieldDataSize(int fieldNo) const {
    const TFieldDesc& f = CheckField(fieldNo);
    switch (f.DataType) {
    case DataKind::String: return ConvertEOL ? 2 * (f.Size - 1) + 1 : f.Size;
    case DataKind::WideString: return ConvertEOL ? 2 * (f.Size - 2) + 2 : f.Size;
    case DataKind::ExtVarBytes: return size_t{f.Length} + 2;
    case DataKind::ExtString: return (ConvertEOL ? 2 : 1) * size_t{f.Length} + 1;
    case DataKind::ExtWideString: return (ConvertEOL ? 2 : 1) * 2 * size_t{f.Length} + 2;
    case DataKind::Date:
    case DataKind::Time: return sizeof(double);
    default: return f.Size;
    }
}

std::string TData::ConvertedFieldString(const TFieldDesc& f, int fieldNo, TConstRecordSpan record, bool& isNull) const {
    if (f.DataType != DataKind::String && f.DataType != DataKind::ExtString && f.DataType != DataKind::Guid)
        Internal("Field " + f.Name + " is not a string field");
    CheckRecord(record);
    isNull = StatusWord(fieldNo, record) == FNullStatus;
    if (isNull) return {};
    const std::byte* p = record.data() + f.Offset;
    const TChars chars =
        f.DataType == DataKind::ExtString ? HeapChars(HeapData(Load<uint32_t>(p)), 1) : InlineChars(p, f.Size, 1);
    const bool convert = ConvertEOL && f.DataType != DataKind::Guid;
    const bool trim = f.DataType == DataKind::String && f.Fixed && TrimFixedChar;
    if (!convert && !trim) return std::string(reinterpret_cast<const char*>(chars.Data), chars.Count);
    std::string result(ConvertChars(chars, convert, trim, nullptr, 0), '\0');
    ConvertChars(chars, convert, trim, reinterpret_cast<std::byte*>(result.data()), result.size());
    return result;
}

std::u16string TData::GetFieldWideString(int fieldNo, TConstRecordSpan record, bool& isNull) const {
    const TFieldDesc& f = CheckField(fieldNo);
    if (f.DataType != DataKind::WideString && f.DataType != DataKind::ExtWideString)
        Internal("Field " + f.Name + " is not a wide string field");
    CheckRecord(record);
    isNull = GetNull(fieldNo, record);
    if (isNull) return {};
    const std::byte* p = record.data() + f.Offset;
    const TChars chars =
        f.DataType == DataKind::ExtWideString ? HeapChars(HeapData(Load<uint32_t>(p)), 2) : InlineChars(p, f.Size, 2);
    const bool trim = f.DataType == DataKind::WideString && f.Fixed && TrimFixedChar;
    std::u16string result(ConvertChars(chars, ConvertEOL, trim, nullptr, 0), u'\0');
    ConvertChars(chars, ConvertEOL, trim, reinterpret_cast<std::byte*>(result.data()), result.size());
    return result;
}

std::vector<std::byte> TData::GetFieldBytes(int fieldNo, TConstRecordSpan record, bool& isNull) const {
    const TFieldDesc& f = CheckField(fieldNo);
    CheckRecord(record);
    isNull = GetNull(fieldNo, record);
    if (isNull) return {};
    const std::byte* p = record.data() + f.Offset;
    switch (f.DataType) {
    case DataKind::Bytes: {
        const size_t n = std::min<size_t>(f.Length ? f.Length : f.Size, f.Size);
        return {p, p + n};
    }
    case DataKind::VarBytes: {
        const size_t n = std::min<size_t>(Load<uint16_t>(p), f.Size - 2);
        return {p + 2, p + 2 + n};
    }
    case DataKind::ExtVarBytes: {
        const auto data = HeapData(Load<uint32_t>(p));
        if (data.size() < 2) return {};
        const size_t n = std::min<size_t>(Load<uint16_t>(data.data()), data.size() - 2);
        return {data.data() + 2, data.data() + 2 + n};
    }
    default: Internal("Field " + f.Name + " is not a bytes field");
    }
}

std::shared_ptr<TBlob> TData::GetFieldBlob(int fieldNo, TConstRecordSpan record) const {
    const TFieldDesc& f = CheckField(fieldNo);
    if (f.DataType != DataKind::Blob && f.DataType != DataKind::Memo)
        Internal("Field " + f.Name + " is not a blob field");
    CheckRecord(record);
    const uint32_t ref = Load<uint32_t>(record.data() + f.Offset);
    if (GetNull(fieldNo, record) || ref == 0) return nullptr;
    auto blob = std::dynamic_pointer_cast<TBlob>(FObjects.Get(ref));
    if (!blob) Internal("Field " + f.Name + " does not refer to a blob");
    return blob;
}

TVariant TData::GetFieldVariant(int fieldNo, TConstRecordSpan record, bool& isNull) const {
    const TFieldDesc& f = CheckField(fieldNo);
    if (f.DataType != DataKind::Variant) Internal("Field " + f.Name + " is not a variant field");
    CheckRecord(record);
    const uint32_t ref = Load<uint32_t>(record.data() + f.Offset);
    isNull = GetNull(fieldNo, record) || ref == 0;
    if (isNull) return {};
    auto object = std::dynamic_pointer_cast<TVariantObject>(FObjects.Get(ref));
    if (!object) Internal("Field " + f.Name + " does not refer to a variant");
    return object->Value;
}

std::span<const std::byte> TData::HeapData(uint32_t ref) const {
    // A present value whose handle is nil (a record never filled) reads as empty.
    if (ref == 0) return {};
    return FStringHeap.Data(ref);
}

void TData::PutFieldData(int fieldNo, TRecordSpan record, std::span<const std::byte> value) {
    const TFieldDesc& f = CheckField(fieldNo);
    CheckRecord(record);
    std::byte* p = record.data() + f.Offset;
    const auto tooLong = [&] { throw EDatabaseError(Format(SValueTooLong, f.Name.c_str())); };
    switch (f.DataType) {
    case DataKind::String:
    case DataKind::WideString: {
        const size_t width = f.DataType == DataKind::String ? 1 : 2;
        if (value.size() % width != 0 || value.size() + width > f.Size) tooLong();
        std::memcpy(p, value.data(), value.size());
        std::memset(p + value.size(), 0, f.Size - value.size());
        break;
    }
    case DataKind::ExtString:
    case DataKind::ExtWideString:
    case DataKind::ExtVarBytes: {
        TStringHeap::TRef ref = 0;
        if (f.DataType == DataKind::ExtString) {
            ref = FStringHeap.AllocStr(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()),
                                       TrimFixedChar);
        } else if (f.DataType == DataKind::ExtWideString) {
            if (value.size() % 2 != 0) tooLong();
            std::u16string text(value.size() / 2, u'\0');
            std::memcpy(text.data(), value.data(), value.size());
            ref = FStringHeap.AllocWideStr(text, TrimFixedChar);
        } else {
            if (value.size() > std::numeric_limits<uint16_t>::max()) tooLong();
            ref = FStringHeap.Alloc(value.size() + 2);
            std::byte* data = FStringHeap.Data(ref).data();
            Store<uint16_t>(data, static_cast<uint16_t>(value.size()));
            if (!value.empty()) std::memcpy(data + 2, value.data(), value.size());
        }
        ReleaseFieldValue(f, record);
        Store<uint32_t>(p, ref);
        break;
    }
    case DataKind::VarBytes: {
        // 16-bit length, the bytes, then the provider's 32-bit length slot when the field has room.
        const size_t room = f.Size >= 6 ? f.Size - 6u : f.Size - 2u;
        if (value.size() > room) tooLong();
        std::memset(p, 0, f.Size);
        Store<uint16_t>(p, static_cast<uint16_t>(value.size()));
        if (!value.empty()) std::memcpy(p + 2, value.data(), value.size());
        if (f.Size >= 6) Store<uint32_t>(p + 2 + room, static_cast<uint32_t>(value.size()));
        break;
    }
    case DataKind::Bytes: {
        // The bytes, then the provider's 32-bit length slot when the field has one.
        const size_t room = f.Length != 0 && f.Length <= f.Size ? f.Length : f.Size;
        if (value.size() > room) tooLong();
        std::memset(p, 0, f.Size);
        if (!value.empty()) std::memcpy(p, value.data(), value.size());
        if (f.Size >= room + 4) Store<uint32_t>(p + room, static_cast<uint32_t>(value.size()));
        break;
    }
    case DataKind::Blob:
    case DataKind::Memo:
    case DataKind::Variant: Internal("Field " + f.Name + " takes a shared object");
    default:
        if (value.size() > f.Size) tooLong();
        std::memcpy(p, value.data(), value.size());
        std::memset(p + value.size(), 0, f.Size - value.size());
    }
    SetStatus(fieldNo, record, 0);
}

void TData::PutFieldString(int fieldNo, TRecordSpan record, std::string_view value) {
    PutFieldData(fieldNo, record, std::as_bytes(std::span(value.data(), value.size())));
}

void TData::PutFieldWideString(int fieldNo, TRecordSpan record, std::u16string_view value) {
    PutFieldData(fieldNo, record, std::as_bytes(std::span(value.data(), value.size())));
}

void TData::PutFieldObject(int fieldNo, TRecordSpan record, std::shared_ptr<TSharedObject> object) {
    const TFieldDesc& f = CheckField(fieldNo);
    CheckRecord(record);
    const bool fits = f.DataType == DataKind::Variant        ? dynamic_cast<TVariantObject*>(object.get()) != nullptr
                      : DataKind::IsSharedObject(f.DataType) ? dynamic_cast<TBlob*>(object.get()) != nullptr
                                                             : false;
    if (!fits) Internal("Field " + f.Name + " cannot hold this object");
    const TSharedObjects::TRef ref = FObjects.Add(std::move(object));
    ReleaseFieldValue(f, record);
    Store<uint32_t>(record.data() + f.Offset, ref);
    SetStatus(fieldNo, record, 0);
}

// ---------------------------------------------------------------------------------------------------
// TMemData

void TMemData::InitData() {
    // Resetting a store that still holds records releases them rather than orphaning their memory.
    if (FFirstItem || FBlockMan.BlockCount() != 0) {
        FreeData();
        return;
    }
    TData::InitData();
    FFirstItem = FLastItem = FCurrentItem = TItem();
    FSerialNumber = ++GSerialCounter;
}

void TMemData::FreeData() {
    TData::FreeData();
    FBlockMan.FreeAll();
    FFirstItem = FLastItem = FCurrentItem = TItem();
    FSerialNumber = ++GSerialCounter;
}

void TMemData::RecordSizeChanged() { FBlockMan.SetRecordSize(FRecordSize); }

int32_t TMemData::RecNo() const { return FCurrentItem ? FCurrentItem.Order() + FRecNoOffset : 0; }

bool TMemData::SetRecNo(int32_t value) {
    const int64_t target = int64_t{value} - FRecNoOffset;
    if (target < 1) return false;
    while (!FLastItem || FLastItem.Order() < target) {
        if (!Fetch(false)) break;
    }
    if (!FFirstItem || target < FFirstItem.Order() || target > FLastItem.Order()) return false;

    // Blocks hold consecutive orders, so the record's block is found by its first order.
    const size_t first = FFirstItem.Block()->Index();
    const size_t last = FLastItem.Block()->Index();
    size_t low = first;
    size_t high = last;
    while (low < high) {
        const size_t middle = low + (high - low + 1) / 2;
        if (FBlockMan.Block(middle).FirstOrder() <= target)
            low = middle;
        else
            high = middle - 1;
    }
    TBlock& block = FBlockMan.Block(low);
    const int64_t index = target - block.FirstOrder();
    if (index < 0 || index >= block.UsedItems()) Internal("Record order broken");
    FCurrentItem = block.Item(static_cast<size_t>(index));
    FBOF = FEOF = false;
    return true;
}

bool TMemData::GetRecord(TRecordSpan buffer) const {
    if (!FCurrentItem) return false;
    CheckRecord(buffer);
    std::memcpy(buffer.data(), FCurrentItem.Record(), FRecordSize);
    return true;
}

void TMemData::PutRecord(TConstRecordSpan buffer) {
    if (!FCurrentItem) throw EDatabaseError(SNoCurrentRecord);
    CheckRecord(buffer);
    std::memcpy(FCurrentItem.Record(), buffer.data(), FRecordSize);
}

// A block being filled may follow the last record; it is not part of the store until appended.
TItem TMemData::NextOf(TItem item) const { return item == FLastItem ? TItem() : FBlockMan.NextItem(item); }
TItem TMemData::PriorOf(TItem item) const { return item == FFirstItem ? TItem() : FBlockMan.PriorItem(item); }

void TMemData::GetNextRecord(TRecordSpan buffer) {
    if (!buffer.empty()) CheckRecord(buffer);
    if (FEOF && !FCurrentItem) return;
    const auto following = [this] { return FCurrentItem ? NextOf(FCurrentItem) : FFirstItem; };
    TItem item;
    if (FBOF && !FCurrentItem) {
        FBOF = false;
        item = FFirstItem;
    } else {
        item = following();
    }
    // Running past the last record asks the source for the next block.
    if (!item && Fetch(false)) item = following();
    FCurrentItem = item;
    if (!item) {
        FEOF = true;
        return;
    }
    if (!buffer.empty()) std::memcpy(buffer.data(), item.Record(), FRecordSize);
}

TConstRecordSpan TMemData::NextRecord(int32_t& recNo) {
    // The usual step of a read, the next item of the same block, without the general walk.
    if (FCurrentItem && FCurrentItem != FLastItem) {
        TBlock* block = FCurrentItem.Block();
        const uint32_t index = FCurrentItem.Index() + 1;
        if (index < block->UsedItems()) {
            FCurrentItem = TItem(block, index);
            recNo = block->FirstOrder() + static_cast<int32_t>(index) + FRecNoOffset;
            return {FCurrentItem.Record(), FRecordSize};
        }
    }
    TMemData::GetNextRecord({});
    recNo = TMemData::RecNo();
    return recNo == 0 ? TConstRecordSpan() : TConstRecordSpan(FCurrentItem.Record(), FRecordSize);
}

void TMemData::GetPriorRecord(TRecordSpan buffer) {
    if (!buffer.empty()) CheckRecord(buffer);
    if (FBOF && !FCurrentItem) return;
    TItem item;
    if (FEOF && !FCurrentItem) {
        FEOF = false;
        item = FLastItem;
    } else {
        item = FCurrentItem ? PriorOf(FCurrentItem) : FLastItem;
    }
    FCurrentItem = item;
    if (!item) {
        FBOF = true;
        return;
    }
    if (!buffer.empty()) std::memcpy(buffer.data(), item.Record(), FRecordSize);
}

void TMemData::SetToBegin() {
    FCurrentItem = TItem();
    FBOF = true;
    if (FFirstItem) FEOF = false;
}

void TMemData::SetToEnd() {
    FCurrentItem = TItem();
    FEOF = true;
    if (FFirstItem) FBOF = false;
}

bool TMemData::Fetch(bool) { return false; }

void TMemData::LinkAtEnd(TItem item, int32_t count) {
    if (FRecordCount > std::numeric_limits<int32_t>::max() - count) throw EDatabaseError(STooManyRecords);
    // Records are kept in block order, so only the item right after the last record can follow it.
    const TItem expected = FLastItem ? FBlockMan.NextItem(FLastItem) : FBlockMan.Block(0).Item(0);
    if (item != expected) Internal("Records appended out of order");
    TBlock& block = *item.Block();
    const int32_t order = FLastItem ? FLastItem.Order() + 1 : 1;
    if (item.Index() == 0) block.SetFirstOrder(order);
    if (item.Order() != order) Internal("Record order broken");
    // The first record of a store positioned before its start is no longer past the end.
    if (!FCurrentItem && FBOF && !FLastItem) FEOF = false;
    if (!FFirstItem) FFirstItem = item;
    FLastItem = block.Item(item.Index() + static_cast<uint32_t>(count) - 1);
    FRecordCount += count;
}

void TMemData::AppendRecord(TConstRecordSpan record) {
    CheckRecord(record);
    const TItem item = FBlockMan.AllocItem();
    std::memcpy(item.Record(), record.data(), FRecordSize);
    try {
        LinkAtEnd(item, 1);
    } catch (...) {
        FBlockMan.TrimBlock(*item.Block(), static_cast<uint16_t>(item.Index()));
        throw;
    }
}

TBlock& TMemData::AllocRecordBlock(uint16_t itemCount) { return FBlockMan.AllocBlock(itemCount); }

TRecordSpan TMemData::BlockRecord(TBlock& block, size_t index) {
    if (!FBlockMan.Owns(block)) Internal("Block of another store");
    return {block.Item(index).Record(), FRecordSize};
}

void TMemData::AppendBlock(TBlock& block, uint16_t rows) {
    if (!FBlockMan.Owns(block)) Internal("Block of another store");
    if (rows > block.UsedItems()) Internal("More rows than the block holds");
    if (block.FirstOrder() != 0) Internal("Block items already appended");
    FBlockMan.TrimBlock(block, rows);  // a block that got no rows is returned
    if (rows > 0) LinkAtEnd(block.Item(0), rows);
}

TConstRecordSpan TMemData::CurrentRecord() const {
    if (!FCurrentItem) return {};
    return {FCurrentItem.Record(), FRecordSize};
}

TRecordSpan TMemData::CurrentRecord() {
    if (!FCurrentItem) return {};
    return {FCurrentItem.Record(), FRecordSize};
}
