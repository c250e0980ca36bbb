#pragma once
// One text per collation family that SQL Server keeps in a Windows code page: its bytes there, its
// upper case (where the script has case) and a character that code page cannot hold.
#include <cstddef>

namespace standin::test {

struct CodePageSample {
    const char* collation;
    unsigned codePage;
    const char* text;  // UTF-8
    size_t bytes;      // in the code page
    size_t characters;
    const char* upper;       // the same text in upper case; equals text in scripts without case
    const char* unmappable;  // one character the code page lacks
};

inline constexpr CodePageSample kCodePageSamples[] = {
    {"SQL_Latin1_General_CP1_CI_AS", 1252, "M\u00fcller", 6, 6, "M\u00dcLLER", "\u0416"},
    {"Latin1_General_CI_AS", 1252, "\u00c6r\u00f8", 3, 3, "\u00c6R\u00d8", "\u0416"},
    {"Cyrillic_General_CI_AS", 1251, "\u0418\u0432\u0430\u043d", 4, 4, "\u0418\u0412\u0410\u041d", "\u4e2d"},
    {"Polish_CI_AS", 1250, "\u0141\u00f3d\u017a", 4, 4, "\u0141\u00d3D\u0179", "\u0416"},
    {"Czech_CI_AS", 1250, "\u0158eka", 4, 4, "\u0158EKA", "\u0416"},
    {"Hungarian_CI_AS", 1250, "Gy\u0151r", 4, 4, "GY\u0150R", "\u0416"},
    {"Greek_CI_AS", 1253, "\u0391\u03b8\u03ae\u03bd\u03b1", 5, 5, "\u0391\u0398\u0389\u039d\u0391", "\u0416"},
    {"Turkish_CI_AS", 1254, "\u015eeker", 5, 5, "\u015eEKER", "\u0416"},
    {"Hebrew_CI_AS", 1255, "\u05e9\u05dc\u05d5\u05dd", 4, 4, "\u05e9\u05dc\u05d5\u05dd", "\u0416"},
    {"Arabic_CI_AS", 1256, "\u0633\u0644\u0627\u0645", 4, 4, "\u0633\u0644\u0627\u0645", "\u0416"},
    {"Estonian_CI_AS", 1257, "T\u00f5nu", 4, 4, "T\u00d5NU", "\u0416"},
    {"Latvian_CI_AS", 1257, "R\u012bga", 4, 4, "R\u012aGA", "\u0416"},
    {"Lithuanian_CI_AS", 1257, "\u0160iauliai", 8, 8, "\u0160IAULIAI", "\u0416"},
    // 1258 keeps the tone mark of "ệ" as a combining byte after "ê".
    {"Vietnamese_CI_AS", 1258, "Vi\u1ec7t", 5, 4, "VI\u1ec6T", "\u0416"},
    {"Thai_CI_AS", 874, "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35", 6, 6, "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35", "\u0416"},
    {"Japanese_CI_AS", 932, "\u65e5\u672c\uff71", 5, 3, "\u65e5\u672c\uff71", "\uac00"},
    {"Chinese_PRC_CI_AS", 936, "\u4e2d\u6587", 4, 2, "\u4e2d\u6587", "\u0e01"},
    {"Korean_Wansung_CI_AS", 949, "\uac00\ub098\ub2e4", 6, 3, "\uac00\ub098\ub2e4", "\u0e01"},
    {"Chinese_Taiwan_Stroke_CI_AS", 950, "\u4e2d\u6587", 4, 2, "\u4e2d\u6587", "\u0e01"},
};

}  // namespace standin::test
