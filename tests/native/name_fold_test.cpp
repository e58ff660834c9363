#include "common/name_fold.h"

#include <gtest/gtest.h>

#include "common/text_bytes.h"

namespace {

TEST(NameFold, FoldsEachRangeFromItsFirstLetterToItsLastAndNothingBesideIt) {
  const struct {
    const char* name;
    const char* folded;
  } rows[] = {
      {"`az{", "`AZ{"},  // ASCII
      {"@AZ[", "@AZ["},
      // Latin-1: a grave to thorn, but the division sign; y with diaeresis has its capital in
      // Latin Extended-A; sharp s has no one-letter capital.
      {"\xC3\x9F", "\xC3\x9F"},
      {"\xC3\xA0", "\xC3\x80"},
      {"\xC3\xB6", "\xC3\x96"},
      {"\xC3\xB7", "\xC3\xB7"},
      {"\xC3\xB8", "\xC3\x98"},
      {"\xC3\xBE", "\xC3\x9E"},
      {"\xC3\xBF", "\xC5\xB8"},
      {"\xC3\x80", "\xC3\x80"},
      // Latin Extended-A, capital first: A macron to k cedilla, but dotless i, whose capital is
      // ASCII; kra has none.
      {"\xC4\x80", "\xC4\x80"},
      {"\xC4\x81", "\xC4\x80"},
      {"\xC4\xB1", "\xC4\xB1"},
      {"\xC4\xB7", "\xC4\xB6"},
      {"\xC4\xB8", "\xC4\xB8"},
      // Small letter second: L acute to n caron; n preceded by apostrophe has no capital.
      {"\xC4\xB9", "\xC4\xB9"},
      {"\xC4\xBA", "\xC4\xB9"},
      {"\xC5\x88", "\xC5\x87"},
      {"\xC5\x89", "\xC5\x89"},
      // Capital first again: eng to y circumflex.
      {"\xC5\x8A", "\xC5\x8A"},
      {"\xC5\x8B", "\xC5\x8A"},
      {"\xC5\xB7", "\xC5\xB6"},
      {"\xC5\xB8", "\xC5\xB8"},
      // Small letter second: Z acute to z caron; long s, whose capital is ASCII, stays.
      {"\xC5\xB9", "\xC5\xB9"},
      {"\xC5\xBA", "\xC5\xB9"},
      {"\xC5\xBE", "\xC5\xBD"},
      {"\xC5\xBF", "\xC5\xBF"},
      // Greek: alpha to upsilon with dialytika, final sigma as sigma, the vowels with tonos;
      // the two with dialytika and tonos have no one-letter capital.
      {"\xCE\xB0", "\xCE\xB0"},
      {"\xCE\xB1", "\xCE\x91"},
      {"\xCF\x82\xCF\x83", "\xCE\xA3\xCE\xA3"},
      {"\xCF\x8B", "\xCE\xAB"},
      {"\xCE\x90", "\xCE\x90"},
      {"\xCE\xAC", "\xCE\x86"},
      {"\xCE\xAD", "\xCE\x88"},
      {"\xCE\xAF", "\xCE\x8A"},
      {"\xCF\x8C", "\xCE\x8C"},
      {"\xCF\x8D", "\xCE\x8E"},
      {"\xCF\x8E", "\xCE\x8F"},
      {"\xCF\x8F", "\xCF\x8F"},
      // Cyrillic: a to ya, then ie with grave to dzhe.
      {"\xD0\xAF", "\xD0\xAF"},
      {"\xD0\xB0", "\xD0\x90"},
      {"\xD1\x8F", "\xD0\xAF"},
      {"\xD1\x90", "\xD0\x80"},
      {"\xD1\x9F", "\xD0\x8F"},
      {"\xD1\xA0", "\xD1\xA0"},
      // Letters of three and four bytes stay, and so does what is no well-formed UTF-8.
      {"\xEF\xBD\x81", "\xEF\xBD\x81"},
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8"},
      {"\xC3", "\xC3"},
      {"\xC3z\xC3", "\xC3Z\xC3"},
      {"\xC3\xA0"
       "clair",
       "\xC3\x80"
       "CLAIR"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FoldedName(row.name), row.folded) << EscapedBytes(row.name);
  }
  EXPECT_TRUE(SameName("COM", "com"));
  EXPECT_TRUE(EndsWithName("kickhelp.json", "Help.json"));
  EXPECT_FALSE(EndsWithName("elp.json", "Help.json"));
}

}  // namespace
