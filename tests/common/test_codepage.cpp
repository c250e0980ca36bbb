// The system code page: how it is chosen and what its conversions and case rules do.
#include "app/SqlQuote.h"
#include "common/CodePage.h"
#include "data/provider/OdbcConnectString.h"
#include "tests/common/ScopedCodePage.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <optional>

#include <string>
#include <vector>

namespace {

struct LocaleCase {
    const char* Locale;
    unsigned CodePage;
};

TEST(CodePageChoice, FollowsTheLocaleAsWindowsDoes) {
    const LocaleCase cases[] = {
        {"ru_RU.UTF-8", 1251}, {"uk_UA.UTF-8", 1251},  {"be_BY.UTF-8", 1251},
        {"bg_BG", 1251},       {"sr_RS", 1251},        {"sr_RS@latin", 1250},
        {"sr_ME.UTF-8", 1250}, {"mk_MK", 1251},        {"kk_KZ", 1251},
        {"pl_PL.UTF-8", 1250}, {"cs_CZ", 1250},        {"sk_SK", 1250},
        {"hu_HU", 1250},       {"sl_SI", 1250},        {"hr_HR.UTF-8", 1250},
        {"ro_RO", 1250},       {"ko_KR.UTF-8", 949},   {"ko_KR.eucKR", 949},
        {"ja_JP.UTF-8", 932},  {"zh_CN.GB18030", 936}, {"zh_SG.UTF-8", 936},
        {"zh_TW.UTF-8", 950},  {"zh_HK.UTF-8", 950},   {"el_GR.UTF-8", 1253},
        {"tr_TR.UTF-8", 1254}, {"az_AZ", 1254},        {"uz_UZ@cyrillic", 1251},
        {"he_IL.UTF-8", 1255}, {"ar_EG.UTF-8", 1256},  {"fa_IR", 1256},
        {"et_EE", 1257},       {"lv_LV", 1257},        {"lt_LT.UTF-8", 1257},
        {"vi_VN", 1258},       {"th_TH.UTF-8", 874},   {"en_US.UTF-8", 1252},
        {"de_DE@euro", 1252},  {"fr_CA", 1252},        {"C", 1252},
        {"C.UTF-8", 1252},     {"POSIX", 1252},        {"", 1252},
    };
    for (const LocaleCase& c : cases) EXPECT_EQ(codepage::ForLocale(c.Locale), c.CodePage) << c.Locale;
}

TEST(CodePageChoice, TakesTheLocaleVariablesInTheCLibrarysOrder) {
    struct Case {
        std::optional<std::string> All, CType, Lang;
        unsigned CodePage;
    };
    const Case cases[] = {
        {"ru_RU.UTF-8", "ko_KR.UTF-8", "ja_JP.UTF-8", 1251},
        {std::nullopt, "ko_KR.UTF-8", "ja_JP.UTF-8", 949},
        {"", "", "ja_JP.UTF-8", 932},  // empty counts as not set
        {std::nullopt, std::nullopt, "pl_PL", 1250},
        {std::nullopt, std::nullopt, std::nullopt, 1252},
    };
    for (const Case& c : cases) {
        const TScopedEnv all("LC_ALL", c.All), ctype("LC_CTYPE", c.CType), lang("LANG", c.Lang);
        EXPECT_EQ(codepage::ForEnvironment(), c.CodePage) << c.All.value_or("-") << c.CType.value_or("-");
    }
}

TEST(CodePageChoice, RefusesWhatIsNotAnAnsiCodePage) {
    const TScopedCodePage cyrillic(1251);
    for (unsigned number : {0u, 437u, 1200u, 1259u, 20127u, 65001u}) {
        EXPECT_THROW(codepage::SetActive(number), codepage::ECodePageError) << number;
        EXPECT_EQ(codepage::Active(), 1251u);
    }
    for (unsigned number : {874u, 932u, 936u, 949u, 950u, 1250u, 1258u}) {
        codepage::SetActive(number);
        EXPECT_EQ(codepage::Active(), number);
    }
}

struct TextCase {
    unsigned CodePage;
    std::string Utf8;
    std::string Bytes;
};

TEST(CodePageConversion, TextAndBytesRoundTrip) {
    const TextCase cases[] = {
        {1252, "caf\u00e9 \u20ac", "caf\xE9 \x80"},
        {1251, "\u0418\u0432\u0430\u043d \u0451", "\xC8\xE2\xE0\xED \xB8"},
        {1250, "\u0142\u00f3d\u017a", "\xB3\xF3\x64\x9F"},
        {1253, "\u03a9", "\xD9"},
        {1254, "\u015f\u0131\u0130", "\xFE\xFD\xDD"},
        {1255, "\u05d0", "\xE0"},
        {1256, "\u0639", "\xDA"},
        {1257, "\u0105", "\xE0"},
        {1258, "\u0111", "\xF0"},
        {874, "\u0e01", "\xA1"},
        {949, "\uac00\ub098 kim", "\xB0\xA1\xB3\xAA kim"},
        {932, "\u65e5\u672c", "\x93\xFA\x96\x7B"},
        {936, "\u4e2d\u6587", "\xD6\xD0\xCE\xC4"},
        {950, "\u4e2d\u6587", "\xA4\xA4\xA4\xE5"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.CodePage);
        const TScopedCodePage codePage(c.CodePage);
        EXPECT_EQ(codepage::FromUtf8(c.Utf8), c.Bytes);
        EXPECT_EQ(codepage::ToUtf8(c.Bytes), c.Utf8);
        EXPECT_TRUE(codepage::RoundTrips(c.Bytes));
        EXPECT_TRUE(codepage::CanHold(codepage::ToUtf16(c.Bytes)));
    }
}

TEST(CodePageConversion, PrintableAsciiIsTheSameInEveryCodePage) {
    // What lets ASCII pass without the converter. (ICU's 932 swaps three control codes, 0x1A, 0x1C and
    // 0x7F, as IBM's tables do; Windows keeps them, as the short way does.)
    std::string ascii;
    for (int c = 0x20; c < 0x7F; ++c) ascii += static_cast<char>(c);
    for (unsigned number :
         {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
        const TScopedCodePage codePage(number);
        // Decoded with one non-ASCII byte in front, so the converter is used.
        const std::u16string text = codepage::ToUtf16("\xA1" + ascii);
        ASSERT_EQ(text.size(), ascii.size() + 1) << number;
        EXPECT_EQ(text.substr(1), std::u16string(ascii.begin(), ascii.end())) << number;
    }
}

TEST(CodePageConversion, WhatTheCodePageCannotHoldIsKnownAndMarked) {
    struct Case {
        unsigned CodePage;
        std::u16string Text;
        std::string Marked;  // FromUtf16
    };
    const Case cases[] = {
        {1252, u"a\u0416z", "a?z"},                 // Cyrillic in Western
        {1251, u"\u03a9\u0416", "?\xC6"},           // Greek in Cyrillic
        {1251, u"\uac00", "?"},                     // Hangul in Cyrillic
        {1252, u"\u0100", "?"},                     // no look-alike "A" either
        {1252, u"x\U0001F600", "x?"},               // one character, two code units
        {1252, std::u16string(1, u'\xD800'), "?"},  // a lone surrogate
        {949, u"\u03a9\u0e01", "\xA5\xD8?"},        // Greek is in 949, Thai is not
    };
    for (const Case& c : cases) {
        const TScopedCodePage codePage(c.CodePage);
        EXPECT_FALSE(codepage::CanHold(c.Text)) << c.Marked;
        EXPECT_EQ(codepage::FromUtf16(c.Text), c.Marked);
    }
    const TScopedCodePage cyrillic(1251);
    EXPECT_TRUE(codepage::CanHold(u"\u0416 abc"));
    EXPECT_TRUE(codepage::CanHold(u""));
}

TEST(CodePageConversion, BytesThatDoNotComeBackAreKnown) {
    struct Case {
        unsigned CodePage;
        std::string Bytes;
    };
    const Case cases[] = {
        {949, "\xB0"},       // a lead byte without its trail
        {949, "a\xB0\x20"},  // a lead byte with a trail that is not one
        {932, "\xED\x40"},   // NEC-selected duplicate: encodes back as the IBM extension
    };
    for (const Case& c : cases) {
        const TScopedCodePage codePage(c.CodePage);
        EXPECT_FALSE(codepage::RoundTrips(c.Bytes)) << c.CodePage;
    }
}

struct UpperCase {
    unsigned CodePage;
    std::string Bytes;
    std::string Upper;
};

TEST(CodePageCase, UpperCasesAsWindowsDoes) {
    const UpperCase cases[] = {
        {1252, "abc\xE9\xFF\x9A\xF7\xDF\xB5", "ABC\xC9\x9F\x8A\xF7\xDF\xB5"},      // ÷ ß µ stay
        {1251, "\xE8\xE2\xE0\xED \xB8\xA2\xB3", "\xC8\xC2\xC0\xCD \xA8\xA1\xB2"},  // иван ё ў і
        {1250, "\xB3\xB9\x9C\x9F", "\xA3\xA5\x8C\x8F"},                            // ł ą ś ź
        // Turkish: "i" becomes "I" as in every language (Windows' upper case is not linguistic);
        // dotless ı becomes I too; İ stays; ş ğ take their capitals.
        {1254, "i\xFD\xDD\xFE\xF0", "II\xDD\xDE\xD0"},
        {1253, "\xF9\xDC", "\xD9\xA2"},       // ω ά
        {949, "kim\xAC\xD8", "KIM\xAC\xA8"},  // ж in 949
    };
    for (const UpperCase& c : cases) {
        SCOPED_TRACE(c.CodePage);
        const TScopedCodePage codePage(c.CodePage);
        EXPECT_EQ(codepage::UpperCase(c.Bytes), c.Upper);
        EXPECT_TRUE(codepage::SameText(c.Bytes, c.Upper));
        EXPECT_EQ(codepage::CompareText(c.Bytes, c.Upper), 0);
    }
}

TEST(CodePageCase, Windows1252KeepsItsFold) {
    // The fold the record store, the lexer and the settings file have always used under 1252.
    const auto oldFold = [](unsigned char c) -> unsigned char {
        if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
        switch (c) {
        case 0x9A: return 0x8A;
        case 0x9C: return 0x8C;
        case 0x9E: return 0x8E;
        case 0xFF: return 0x9F;
        default: return c;
        }
    };
    const TScopedCodePage western(1252);
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(codepage::UpperCase(one),
                  std::string(1, static_cast<char>(oldFold(static_cast<unsigned char>(byte)))))
            << byte;
    }
}

// Every character of a double-byte code page that takes two bytes, found by asking the converter
// about every character of the Basic Multilingual Plane.
std::vector<std::string> DoubleByteCharacters() {
    std::vector<std::string> found;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::u16string text(1, static_cast<char16_t>(c));
        if (!codepage::CanHold(text)) continue;
        const std::string bytes = codepage::FromUtf16(text);
        if (bytes.size() == 2) found.push_back(bytes);
    }
    return found;
}

TEST(CodePageCase, TrailBytesThatLookLikeLettersStay) {
    // In 932, 936, 949 and 950 a trail byte may be an ASCII letter's byte: upper-casing must not touch it.
    for (unsigned number : {932u, 936u, 949u, 950u}) {
        const TScopedCodePage codePage(number);
        int checked = 0;
        for (const std::string& character : DoubleByteCharacters()) {
            if (character[1] < 'a' || character[1] > 'z') continue;
            const std::u16string text = codepage::ToUtf16(character);
            ASSERT_EQ(text.size(), 1u);
            // Only a letter whose capital the code page holds in two bytes changes, into that capital.
            const auto capital = static_cast<char16_t>(u_toupper(text[0]));
            const std::u16string expected(1, capital);
            const bool changes =
                capital != text[0] && codepage::CanHold(expected) && codepage::FromUtf16(expected).size() == 2;
            EXPECT_EQ(codepage::UpperCase(character), changes ? codepage::FromUtf16(expected) : character);
            ++checked;
        }
        EXPECT_GT(checked, 100) << number;
    }
}

TEST(CodePageChoice, IsTheFreeTdsClientCharacterSet) {
    provider::ConnectSettings settings;
    settings.driver = "FreeTDS";
    settings.address = *provider::ParseServerName("db1,1433");
    for (unsigned number : {1251u, 949u, 1252u}) {
        const TScopedCodePage codePage(number);
        const std::string text = provider::BuildConnectString(settings);
        EXPECT_NE(text.find(";ClientCharset=CP" + std::to_string(number) + ";"), std::string::npos) << text;
    }
}

TEST(DoubleByteQuoting, NoCharacterHoldsAQuoteByte) {
    // Why doubling 0x27 bytes quotes text correctly in these code pages: no two-byte character
    // contains the byte, so each 0x27 is a quote of its own.
    for (unsigned number : {932u, 936u, 949u, 950u}) {
        SCOPED_TRACE(number);
        const TScopedCodePage codePage(number);
        const std::vector<std::string> characters = DoubleByteCharacters();
        EXPECT_GT(characters.size(), 7000u);
        std::string all;
        for (const std::string& character : characters) {
            EXPECT_EQ(character.find('\''), std::string::npos);
            all += character;
        }
        // Quoting therefore leaves every character whole and doubles only the quotes.
        EXPECT_EQ(QuoteInner(all + "'" + all), all + "''" + all);
        // And after any lead byte, a quote byte still reads as a quote.
        for (int lead = 0x80; lead < 0x100; ++lead) {
            const std::u16string text = codepage::ToUtf16(std::string(1, static_cast<char>(lead)) + "'x");
            ASSERT_GE(text.size(), 2u);
            EXPECT_EQ(text.substr(text.size() - 2), u"'x") << lead;
        }
    }
}

}  // namespace
