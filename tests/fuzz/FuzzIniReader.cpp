// Feeds arbitrary settings files and names to the INI reader and writer. Beyond memory errors it checks
// what every write promises: the written value reads back, every other value reads as before, and
// no byte outside the one changed line moves.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/IntegerText.h"
#include "settings/ProfileText.h"
#include "tests/settings/ProfileFixtures.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(24);
    const std::string key = input.ConsumeRandomLengthString(24);
    const std::string value = input.ConsumeRandomLengthString(64);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const profile::TProfileText original(text);
    const auto entries = original.Entries();
    for (const auto& [s, k] : entries) {
        const auto read = original.Value(s, k);
        Check(read.has_value());
        ParseInt32(*read);
    }
    original.Value(section, key);

    profile::TProfileText written(text);
    if (!written.SetValue(section, key, value)) {
        Check(written.Text() == text);
        return 0;
    }
    Check(written.Value(section, key) == value);
    Check(fixtures::OnlyOneLineChanged(text, written.Text()));
    for (const auto& [s, k] : entries) {
        if (profile::SameName(profile::TrimBlanks(s), profile::TrimBlanks(section)) &&
            profile::SameName(profile::TrimBlanks(k), profile::TrimBlanks(key)))
            continue;
        Check(written.Value(s, k) == original.Value(s, k));
    }
    return 0;
}
