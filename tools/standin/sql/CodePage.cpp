#include "tools/standin/sql/CodePage.h"

#include "tools/standin/sql/Utf.h"

#include <cerrno>
#include <stdexcept>

#include <iconv.h>

namespace standin {
namespace {

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string iconvName(uint16_t codePage) { return "CP" + std::to_string(codePage); }

// One conversion descriptor for the duration of one call; iconv descriptors carry state, so they
// are never shared between threads.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("The C library cannot convert between " + from + " and " + to + ".");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts input; at a sequence it cannot convert it appends '?' and skips what skip() says.
    template <typename Skip>
    std::string convert(std::string_view input, Skip skip) {
        std::string out;
        out.reserve(input.size() * 2 + 8);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[256];
        while (true) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            const size_t r = inLeft ? iconv(cd_, &in, &inLeft, &o, &oLeft) : iconv(cd_, nullptr, nullptr, &o, &oLeft);
            out.append(buffer, static_cast<size_t>(o - buffer));
            if (r != static_cast<size_t>(-1)) {
                if (inLeft == 0) {
                    // Flush what a stateful code page (1258 composes) still holds.
                    o = buffer;
                    oLeft = sizeof buffer;
                    iconv(cd_, nullptr, nullptr, &o, &oLeft);
                    out.append(buffer, static_cast<size_t>(o - buffer));
                    return out;
                }
                continue;
            }
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a truncated sequence at the end): one unconvertible character.
            out.push_back('?');
            const size_t n = std::min(inLeft, skip(std::string_view(in, inLeft)));
            in += n;
            inLeft -= n;
            if (inLeft == 0) return out;
        }
    }

private:
    iconv_t cd_;
};

size_t oneUtf8Character(std::string_view rest) {
    size_t i = 0;
    decodeUtf8(rest, i);
    return i;
}

}  // namespace

std::string encodeCodePage(std::string_view utf8, uint16_t codePage) {
    if (isAscii(utf8)) return std::string(utf8);  // every code page here keeps ASCII as it is
    Converter c(iconvName(codePage), "UTF-8");
    return c.convert(utf8, oneUtf8Character);
}

std::string decodeCodePage(std::string_view bytes, uint16_t codePage) {
    if (isAscii(bytes)) return std::string(bytes);
    Converter c("UTF-8", iconvName(codePage));
    return c.convert(bytes, [](std::string_view) { return size_t(1); });
}

std::string storeInCodePage(std::string_view utf8, uint16_t codePage) {
    if (isAscii(utf8)) return std::string(utf8);
    return decodeCodePage(encodeCodePage(utf8, codePage), codePage);
}

size_t codePageLength(std::string_view utf8, uint16_t codePage) {
    if (isAscii(utf8)) return utf8.size();
    return encodeCodePage(utf8, codePage).size();
}

std::string_view codePagePrefix(std::string_view utf8, uint16_t codePage, size_t maxBytes) {
    size_t bytes = 0, i = 0;
    while (i < utf8.size()) {
        size_t next = i;
        decodeUtf8(utf8, next);
        const std::string_view ch = utf8.substr(i, next - i);
        bytes += ch.size() == 1 ? 1 : codePageLength(ch, codePage);
        if (bytes > maxBytes) break;
        i = next;
    }
    return utf8.substr(0, i);
}

}  // namespace standin
