#include "data/CRAccess.h"

TCRConnection::TCRConnection() : FCreationTime(std::chrono::steady_clock::now()) {}

TCRConnection::~TCRConnection() = default;

bool TCRConnection::SetProp(int prop, const TPropValue& value) {
    if (prop == prAutoCommit) {
        FAutoCommit = std::get<bool>(value);
        return true;
    }
    return false;
}

bool TCRConnection::GetProp(int prop, TPropValue& value) const {
    if (prop == prAutoCommit) {
        value = FAutoCommit;
        return true;
    }
    return false;
}
