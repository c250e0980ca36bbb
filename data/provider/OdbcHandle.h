#pragma once
// One ODBC handle (environment, connection or statement) that frees itself with its own type when
// its owner goes, so no failure path can leak one.
#include <sql.h>

#include <utility>

namespace provider {

class OdbcHandle {
public:
    explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
    ~OdbcHandle() { Reset(); }
    OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(std::exchange(other.handle_, None)) {}
    OdbcHandle& operator=(OdbcHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            type_ = other.type_;
            handle_ = std::exchange(other.handle_, None);
        }
        return *this;
    }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    // Allocates a new handle under parent (SQL_NULL_HANDLE for an environment), freeing the old one.
    SQLRETURN Allocate(SQLHANDLE parent) {
        Reset();
        const SQLRETURN rc = SQLAllocHandle(type_, parent, &handle_);
        if (!SQL_SUCCEEDED(rc)) handle_ = SQL_NULL_HANDLE;
        return rc;
    }

    SQLHANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

    void Reset() {
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, std::exchange(handle_, None));
    }

    // Forgets the handle without freeing it: a statement handle went with its connection's SQLDisconnect.
    void Abandon() { handle_ = SQL_NULL_HANDLE; }

private:
    static constexpr SQLHANDLE None = SQL_NULL_HANDLE;

    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

}  // namespace provider
