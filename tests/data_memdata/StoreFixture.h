#pragma once
// A record store with a fixed column list and rows added by the test, standing in for the record set
// that fills the store from a server.
#include "data/MemData.h"

#include <functional>
#include <string>
#include <vector>

struct TColumn {
    uint16_t Kind;
    uint16_t Size;
    std::string Name = "f";
    uint16_t Length = 0;
    bool Fixed = false;
};

inline std::unique_ptr<TFieldDesc> MakeDesc(const TColumn& c, uint16_t fieldNo) {
    auto d = std::make_unique<TFieldDesc>();
    d->Name = d->ActualName = c.Name;
    d->DataType = c.Kind;
    d->Size = c.Size;
    d->Length = c.Length;
    d->Fixed = c.Fixed;
    d->FieldNo = fieldNo;
    return d;
}

class TTestStore : public TMemData {
public:
    explicit TTestStore(std::vector<TColumn> columns = {}, bool statusWords = false)
        : Columns(std::move(columns)), FStatusWords(statusWords) {}

    std::vector<TColumn> Columns;
    std::function<void(TTestStore&)> OnOpen;  // runs inside Open after the layout
    std::function<void()> OnClose;
    std::function<bool(TTestStore&)> OnFetch;  // a source with more blocks
    int FetchCalls = 0;

    // Appends one record whose first field is an Integer holding value.
    void AppendInt(int32_t value) {
        std::vector<std::byte> record(RecordSize());
        InitRecord(record);
        PutFieldData(1, record, std::as_bytes(std::span(&value, 1)));
        AppendRecord(record);
    }

    bool Fetch(bool = false) override {
        ++FetchCalls;
        return OnFetch ? OnFetch(*this) : false;
    }

protected:
    void InternalInitFields() override {
        uint16_t n = 1;
        for (const auto& c : Columns) Fields().Add(MakeDesc(c, n++));
    }
    void InternalOpen() override {
        InitFields();
        if (OnOpen) OnOpen(*this);
    }
    void InternalClose() override {
        if (OnClose) OnClose();
    }
    // The record set's status area: a 32-bit word per field, 3 meaning null.
    uint32_t StatusWordSize() const override { return FStatusWords ? 4 : 1; }
    uint32_t NullStatus() const override { return FStatusWords ? 3 : 1; }

private:
    bool FStatusWords;
};

inline int32_t IntAt(const TData& data, std::span<const std::byte> record, int fieldNo = 1) {
    int32_t value = 0;
    bool isNull = false;
    data.GetFieldData(fieldNo, record, isNull, std::as_writable_bytes(std::span(&value, 1)));
    return value;
}
