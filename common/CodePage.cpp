#include "common/CodePage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace codepage {
namespace {

constexpr unsigned DefaultCodePage = 1252;

// Windows' ANSI code page by language (ISO 639 code) where territory and script do not change it.
struct LanguageCodePage {
    std::string_view Language;
    unsigned CodePage;
};
constexpr LanguageCodePage ByLanguage[] = {
    {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251}, {"mk", 1251}, {"kk", 1251}, {"ky", 1251}, {"tt", 1251},
    {"mn", 1251}, {"ba", 1251}, {"tg", 1251}, {"cs", 1250}, {"sk", 1250}, {"pl", 1250}, {"hu", 1250}, {"sl", 1250},
    {"hr", 1250}, {"bs", 1250}, {"ro", 1250}, {"sq", 1250}, {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"uz", 1254},
    {"he", 1255}, {"iw", 1255}, {"ar", 1256}, {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257},
    {"vi", 1258}, {"th", 874},  {"ja", 932},  {"ko", 949},
};

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsAscii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::atomic<unsigned>& ActiveNumber() {
    static std::atomic<unsigned> number{ForEnvironment()};
    return number;
}

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU converters keep state and are not shared between threads: each thread keeps one for the code
// page it last used (opening one per call would dominate short conversions).
UConverter& Converter(unsigned number) {
    thread_local ConverterPtr converter;
    thread_local unsigned converterNumber = 0;
    if (!converter || converterNumber != number) {
        UErrorCode error = U_ZERO_ERROR;
        ConverterPtr opened(ucnv_open(ConverterName(number).c_str(), &error));
        if (U_FAILURE(error) || !opened)
            throw ECodePageError("The code page " + std::to_string(number) +
                                 " cannot be converted: " + u_errorName(error) + ".");
        converter = std::move(opened);
        converterNumber = number;
    }
    ucnv_reset(converter.get());
    return *converter;
}

// Converts with the converter's callbacks set for this call: substitute ('?' / U+FFFD) or stop at the
// first character that cannot be converted (then returns false).
bool Encode(unsigned number, std::u16string_view text, bool substitute, std::string& out) {
    UConverter& converter = Converter(number);
    UErrorCode error = U_ZERO_ERROR;
    if (substitute) {
        ucnv_setSubstChars(&converter, "?", 1, &error);
        ucnv_setFromUCallBack(&converter, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &error);
    } else {
        ucnv_setFromUCallBack(&converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    }
    out.resize(static_cast<size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(text.size(), ucnv_getMaxCharSize(&converter))));
    const int32_t length =
        ucnv_fromUChars(&converter, out.data(), static_cast<int32_t>(out.size()),
                        reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &error);
    if (U_FAILURE(error)) return false;
    out.resize(static_cast<size_t>(length));
    return true;
}

bool Decode(unsigned number, std::string_view bytes, bool substitute, std::u16string& out) {
    UConverter& converter = Converter(number);
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(&converter, substitute ? UCNV_TO_U_CALLBACK_SUBSTITUTE : UCNV_TO_U_CALLBACK_STOP, nullptr,
                        nullptr, nullptr, &error);
    out.resize(bytes.size() * 2 + 1);
    const int32_t length =
        ucnv_toUChars(&converter, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &error);
    if (U_FAILURE(error)) return false;
    out.resize(static_cast<size_t>(length));
    return true;
}

// The upper case of one character of the code page, given as its bytes and its code point: the bytes
// of the upper-case character when the code page holds it in as many bytes, else the bytes unchanged.
void AppendUpper(unsigned number, std::string_view character, UChar32 codePoint, std::string& out) {
    if (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80) {
        out += AsciiUpper(character[0]);
        return;
    }
    const UChar32 upper = u_toupper(codePoint);
    if (upper != codePoint) {
        char16_t units[2];
        const size_t count = U_IS_BMP(upper) ? 1 : 2;
        if (count == 1) {
            units[0] = static_cast<char16_t>(upper);
        } else {
            units[0] = static_cast<char16_t>(U16_LEAD(upper));
            units[1] = static_cast<char16_t>(U16_TRAIL(upper));
        }
        std::string encoded;
        if (Encode(number, std::u16string_view(units, count), false, encoded) && encoded.size() == character.size()) {
            out += encoded;
            return;
        }
    }
    out += character;
}

// Upper case of any bytes, one character at a time as the converter splits them.
std::string UpperByCharacter(unsigned number, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const char* source = bytes.data();
    const char* const end = bytes.data() + bytes.size();
    while (source < end) {
        const char* const start = source;
        UConverter& converter = Converter(number);
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setToUCallBack(&converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        const UChar32 codePoint = ucnv_getNextUChar(&converter, &source, end, &error);
        if (U_FAILURE(error) || source == start) {
            // A byte sequence the code page does not define stays as it is, one byte at a time.
            source = start + 1;
            out += *start;
            continue;
        }
        AppendUpper(number, std::string_view(start, static_cast<size_t>(source - start)), codePoint, out);
    }
    return out;
}

// The upper case of every byte of a single-byte code page, worked out once per code page.
using ByteTable = std::array<unsigned char, 256>;

const ByteTable& BuildUpperTable(unsigned number) {
    static std::mutex mutex;
    static std::map<unsigned, std::unique_ptr<const ByteTable>> tables;
    const std::lock_guard lock(mutex);
    auto& table = tables[number];
    if (!table) {
        auto built = std::make_unique<ByteTable>();
        for (unsigned byte = 0; byte < 256; ++byte) {
            const char single = static_cast<char>(byte);
            const std::string upper = UpperByCharacter(number, std::string_view(&single, 1));
            (*built)[byte] = static_cast<unsigned char>(upper.size() == 1 ? upper[0] : single);
        }
        table = std::move(built);
    }
    return *table;
}

// Field-name comparisons ask for the table all the time: each thread remembers the last one.
const ByteTable& UpperTable(unsigned number) {
    thread_local const ByteTable* table = nullptr;
    thread_local unsigned tableNumber = 0;
    if (!table || tableNumber != number) {
        table = &BuildUpperTable(number);
        tableNumber = number;
    }
    return *table;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    // ICU's macro compares the index with a signed length.
    const auto length = static_cast<int64_t>(text.size());
    for (int64_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT_OR_FFFD(reinterpret_cast<const uint8_t*>(text.data()), i, length, c);
        if (U_IS_BMP(c)) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(U16_LEAD(c));
            out += static_cast<char16_t>(U16_TRAIL(c));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        UChar32 c = 0;
        U16_NEXT_OR_FFFD(text.data(), i, text.size(), c);
        char buffer[U8_MAX_LENGTH];
        int32_t length = 0;
        U8_APPEND_UNSAFE(buffer, length, c);
        out.append(buffer, static_cast<size_t>(length));
    }
    return out;
}

}  // namespace

bool IsAnsiCodePage(unsigned number) {
    switch (number) {
    case 874:
    case 932:
    case 936:
    case 949:
    case 950: return true;
    default: return number >= 1250 && number <= 1258;
    }
}

bool IsDoubleByte(unsigned number) { return number == 932 || number == 936 || number == 949 || number == 950; }

std::string ConverterName(unsigned number) { return "windows-" + std::to_string(number); }

unsigned ForLocale(std::string_view locale) {
    const size_t at = locale.find('@');
    const std::string_view modifier = at == std::string_view::npos ? std::string_view() : locale.substr(at + 1);
    locale = locale.substr(0, std::min(at, locale.find('.')));
    const size_t underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);

    if (language == "zh") return territory == "TW" || territory == "HK" || territory == "MO" ? 950 : 936;
    // Serbian is written in Cyrillic or Latin letters; glibc names the Latin locales with "@latin" and
    // writes Montenegro's in Latin.
    if (language == "sr") return modifier == "latin" || territory == "ME" ? 1250 : 1251;
    // Azerbaijani and Uzbek are Latin unless the locale says Cyrillic.
    if ((language == "az" || language == "uz") && modifier == "cyrillic") return 1251;
    for (const LanguageCodePage& entry : ByLanguage)
        if (entry.Language == language) return entry.CodePage;
    return DefaultCodePage;
}

unsigned ForEnvironment() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return ForLocale(value);
    }
    return DefaultCodePage;
}

unsigned Active() { return ActiveNumber().load(std::memory_order_relaxed); }

void SetActive(unsigned number) {
    if (!IsAnsiCodePage(number))
        throw ECodePageError("The code page " + std::to_string(number) + " is not a Windows ANSI code page.");
    ActiveNumber().store(number, std::memory_order_relaxed);
}

std::u16string ToUtf16(std::string_view bytes) {
    if (IsAscii(bytes)) return std::u16string(bytes.begin(), bytes.end());
    std::u16string out;
    Decode(Active(), bytes, true, out);
    return out;
}

std::string FromUtf16(std::u16string_view text) {
    if (IsAscii(text)) return std::string(text.begin(), text.end());
    std::string out;
    Encode(Active(), text, true, out);
    return out;
}

std::string ToUtf8(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    return Utf16ToUtf8(ToUtf16(bytes));
}

std::string FromUtf8(std::string_view text) {
    if (IsAscii(text)) return std::string(text);
    return FromUtf16(Utf8ToUtf16(text));
}

bool CanHold(std::u16string_view text) {
    if (IsAscii(text)) return true;
    const unsigned number = Active();
    std::string bytes;
    std::u16string back;
    return Encode(number, text, false, bytes) && Decode(number, bytes, false, back) && back == text;
}

bool RoundTrips(std::string_view bytes) {
    if (IsAscii(bytes)) return true;
    const unsigned number = Active();
    std::u16string text;
    std::string back;
    return Decode(number, bytes, false, text) && Encode(number, text, false, back) && back == bytes;
}

std::string UpperCase(std::string_view bytes) {
    const unsigned number = Active();
    if (IsAscii(bytes)) {
        std::string out(bytes);
        std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
        return out;
    }
    if (IsDoubleByte(number)) return UpperByCharacter(number, bytes);
    const ByteTable& table = UpperTable(number);
    std::string out(bytes);
    for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

int CompareText(std::string_view a, std::string_view b) {
    const unsigned number = Active();
    if (IsDoubleByte(number) && !(IsAscii(a) && IsAscii(b))) {
        // A trail byte may look like an ASCII letter, so such text is compared character by character.
        const std::string x = UpperCase(a);
        const std::string y = UpperCase(b);
        return std::string_view(x).compare(y) < 0 ? -1 : x == y ? 0 : 1;
    }
    const ByteTable* table = IsDoubleByte(number) ? nullptr : &UpperTable(number);
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        const unsigned char ux = table ? (*table)[x] : static_cast<unsigned char>(AsciiUpper(a[i]));
        const unsigned char uy = table ? (*table)[y] : static_cast<unsigned char>(AsciiUpper(b[i]));
        if (ux != uy) return ux < uy ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

}  // namespace codepage
