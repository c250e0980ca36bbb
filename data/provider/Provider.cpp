#include "data/provider/Provider.h"

#include "data/provider/OdbcProvider.h"

namespace provider {

namespace {

// Like COM's per-thread error object: each thread sees only the errors of its own calls.
thread_local std::unique_ptr<ErrorInfo> threadErrorInfo;

Provider* installedProvider = nullptr;

}  // namespace

void SetErrorInfo(std::unique_ptr<ErrorInfo> info) { threadErrorInfo = std::move(info); }

std::unique_ptr<ErrorInfo> GetErrorInfo() { return std::move(threadErrorInfo); }

Provider& CurrentProvider() {
    if (installedProvider != nullptr) {
        return *installedProvider;
    }
    return OdbcProvider::Instance();
}

ScopedProvider::ScopedProvider(Provider& replacement) : previous_(installedProvider) {
    installedProvider = &replacement;
}

ScopedProvider::~ScopedProvider() { installedProvider = previous_; }

}  // namespace provider
