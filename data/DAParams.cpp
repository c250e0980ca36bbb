#include "data/DAParams.h"

TDAParam& TDAParams::Add(std::string name) {
    FItems.push_back(CreateParam(std::move(name)));
    return *FItems.back();
}

TDAParam* TDAParams::FindParam(std::string_view name) {
    for (auto& item : FItems) {
        if (item->Name() == name) {
            return item.get();
        }
    }
    return nullptr;
}

const TDAParam* TDAParams::FindParam(std::string_view name) const {
    for (const auto& item : FItems) {
        if (item->Name() == name) {
            return item.get();
        }
    }
    return nullptr;
}

void TDAParams::AssignValues(const TDAParams& old) {
    for (auto& item : FItems) {
        if (const TDAParam* source = old.FindParam(item->Name())) {
            item->AssignValue(*source);
        }
    }
}
