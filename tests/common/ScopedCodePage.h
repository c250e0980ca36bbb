#pragma once
// Tests that run in another code page than the process's: the code page (and the locale variables
// that choose it) are set for the test's lifetime and put back afterwards.
#include "common/CodePage.h"

#include <cstdlib>
#include <optional>
#include <string>

// Sets one environment variable (or removes it, for nullopt) and restores it.
class TScopedEnv {
public:
    TScopedEnv(const char* name, std::optional<std::string> value) : Name(name) {
        if (const char* old = std::getenv(name)) Old = old;
        Set(value);
    }
    ~TScopedEnv() { Set(Old); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& value) {
        if (value)
            setenv(Name, value->c_str(), 1);
        else
            unsetenv(Name);
    }
    const char* Name;
    std::optional<std::string> Old;
};

// The user's locale for the test: LC_ALL names it (so whatever LC_CTYPE and LANG say does not count),
// and the code page in use follows it.
class TScopedLocale {
public:
    explicit TScopedLocale(const std::string& locale) : All("LC_ALL", locale) {
        codepage::SetActive(codepage::ForEnvironment());
    }
    ~TScopedLocale() { codepage::SetActive(Old); }
    TScopedLocale(const TScopedLocale&) = delete;
    TScopedLocale& operator=(const TScopedLocale&) = delete;

private:
    unsigned Old = codepage::Active();
    TScopedEnv All;
};

class TScopedCodePage {
public:
    explicit TScopedCodePage(unsigned number) { codepage::SetActive(number); }
    ~TScopedCodePage() { codepage::SetActive(Old); }
    TScopedCodePage(const TScopedCodePage&) = delete;
    TScopedCodePage& operator=(const TScopedCodePage&) = delete;

private:
    unsigned Old = codepage::Active();
};
