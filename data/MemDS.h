#pragma once
// TMemDataSet: a dataset over an in-memory record store (TData). Open fills the store, builds the
// field definitions from its descriptors and the default field objects; the fields read their values
// straight from the store's current record (no copy per move).
#include "data/DataSet.h"
#include "data/MemData.h"

#include <memory>
#include <vector>

class TMemDataSet : public TDataSet {
public:
    TMemDataSet() = default;
    ~TMemDataSet() override;

    int32_t RecordCount() const override;
    int32_t RecNo() const override;

    bool HasCurrentRecord() const override { return FHasCurrent; }
    bool GetFieldNull(const TField& field) const override;
    bool GetFieldFixed(const TField& field, void* destination, size_t size) const override;
    std::string GetFieldStr(const TField& field) const override;
    std::optional<std::u16string> GetFieldWideStr(const TField& field) const override;
    std::optional<std::vector<std::byte>> GetFieldBytes(const TField& field) const override;
    std::shared_ptr<TBlob> GetFieldBlob(const TField& field) const override;
    TVariant GetFieldVariant(const TField& field) const override;

    // The record store (created by the subclass; nullptr before).
    TData* Data() const { return FData.get(); }

protected:
    void InternalOpen() override;
    void InternalClose() override;
    void InternalFirst() override;
    bool GetNextRecord() override;

    // Field definitions from the store's descriptors (rebuilt when stale).
    void CreateFieldDefs();
    static TFieldType FieldTypeOfKind(uint16_t kind);
    // Whether a not-nullable column makes a required field definition.
    virtual bool RequiredFieldsOption() const { return false; }

    std::unique_ptr<TData> FData;

private:
    TConstRecordSpan Current(const TField& field, bool& isNull) const;

    TConstRecordSpan FActive;  // the store's record the fields show
    int32_t FActiveRecNo = 0;
    bool FHasCurrent = false;
};
