// SPDX-License-Identifier: MIT
// Names between UTF-16 and the scanner's bytes (the Windows reader's): every
// sequence of units, unpaired surrogates included, goes there and back
// unchanged; bytes that no sequence of units gives are refused.

#include <gtest/gtest.h>

#include <string>

#include "DirwalkProbe.h"
#include "Wtf8.h"

namespace quorvel::testing {
namespace {

std::string ToBytes(std::u16string_view units) {
    std::string bytes;
    wtf8::AppendFromUtf16(units, bytes);
    return bytes;
}

TEST(Wtf8, UnitsBecomeUtf8WithUnpairedSurrogatesKeptAndComeBackUnchanged) {
    const struct {
        std::u16string units;
        std::string bytes;
    } cases[] = {
        {u"a.txt", "a.txt"},
        {u"\u00e9\u4e2d\uffff", "\xc3\xa9\xe4\xb8\xad\xef\xbf\xbf"},
        {u"\U0001F600", "\xf0\x9f\x98\x80"},                      // a pair
        {u"x\xD800y", "x\xed\xa0\x80y"},                          // a lone lead
        {u"\xDC01", "\xed\xb0\x81"},                              // a lone trail
        {u"\xDC00\xD800", "\xed\xb0\x80\xed\xa0\x80"},            // trail, then lead: no pair
        {u"\xD800\xD800\xDC00", "\xed\xa0\x80\xf0\x90\x80\x80"},  // a lead, then a pair
        {std::u16string(1, u'\0') + u"z", std::string("\0z", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Escaped(c.bytes));
        EXPECT_EQ(Escaped(ToBytes(c.units)), Escaped(c.bytes));
        std::u16string back;
        EXPECT_TRUE(wtf8::AppendToUtf16(c.bytes, back));
        EXPECT_TRUE(back == c.units);
    }
}

TEST(Wtf8, BytesThatNoUnitsGiveAreRefused) {
    for (const std::string bytes : {
             "\xed\xa0\x80\xed\xb0\x80",                      // a pair spelt as two surrogates
             "\xc0\xaf", "\xe0\x80\xaf", "\xf0\x8f\xbf\xbf",  // overlong
             "\xf4\x90\x80\x80", "\xf5\x80\x80\x80",          // past U+10FFFF
             "\x80", "ok\xff", "\xe4\xb8", "\xe4\xb8x",       // stray, truncated
         }) {
        SCOPED_TRACE(Escaped(bytes));
        std::u16string units;
        EXPECT_FALSE(wtf8::AppendToUtf16(bytes, units));
    }
}

}  // namespace
}  // namespace quorvel::testing
