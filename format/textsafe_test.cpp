#include "textsafe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kreplacement = "\xef\xbf\xbd";

TEST(TextSafe, InvalidUtf8BecomesTheReplacementCharacter) {
  EXPECT_EQ("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac \xf0\x9f\x98\x80",
            validutf8("d\xc3\xa9j\xc3\xa0 \xe2\x82\xac \xf0\x9f\x98\x80"));
  EXPECT_EQ("a" + kreplacement + "b", validutf8("a\xff"
                                                "b"));
  EXPECT_EQ(kreplacement + kreplacement, validutf8("\xc0\xaf"));                     // overlong '/'
  EXPECT_EQ(kreplacement + kreplacement + kreplacement, validutf8("\xed\xa0\x80"));  // surrogate
  EXPECT_EQ(kreplacement + kreplacement + kreplacement + kreplacement,
            validutf8("\xf4\x90\x80\x80"));                              // beyond U+10FFFF
  EXPECT_EQ(kreplacement + kreplacement + "x", validutf8("\xe2\x82x"));  // cut short
  EXPECT_EQ(std::string("a\0b", 3), validutf8(std::string("a\0b", 3)));
}

TEST(TextSafe, JsonStringsEscapeQuotesAndEveryControlCharacter) {
  EXPECT_EQ(R"("wan \"1\" \\ x")", jsonstring("wan \"1\" \\ x"));
  EXPECT_EQ(R"("\u001b[31m\u0000\u007f\u0085")",
            jsonstring(std::string("\x1b[31m\0\x7f\xc2\x85", 9)));
  EXPECT_EQ("\"" + kreplacement + "\"", jsonstring("\xff"));
  EXPECT_EQ("\"\xc3\xa9\"", jsonstring("\xc3\xa9"));
}

TEST(TextSafe, XmlTextEscapesMarkupAndDropsWhatXmlForbids) {
  EXPECT_EQ("&lt;b&gt; &amp; &quot;x&quot; '", xmltext("<b> & \"x\" '"));
  EXPECT_EQ("\\x1b\\x07", xmltext("\x1b\x07"));
  EXPECT_EQ(kreplacement + kreplacement, xmltext("\xef\xbf\xbe\xef\xbf\xbf"));  // U+FFFE, U+FFFF
  EXPECT_EQ(kreplacement, xmltext("\xfe"));
}

TEST(TextSafe, TerminalTextShowsControlsAndBadBytes) {
  EXPECT_EQ("\\x1b[2J\\\\\\xff\\u0085 ok", visibletext("\x1b[2J\\\xff\xc2\x85 ok"));
  EXPECT_EQ("<&amp;>", visibletext("<&amp;>"));
  EXPECT_EQ(5u, displaywidth("d\xc3\xa9j\xc3\xa0 "));
  EXPECT_EQ(2u, displaywidth("\xff\xff"));
  EXPECT_EQ(0u, displaywidth(""));
}

}  // namespace
