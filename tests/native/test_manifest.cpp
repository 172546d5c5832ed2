#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tinyxml.h"
#include "update/Manifest.h"

namespace {
std::string Find(const char* xml, const char* name, bool* pFound = nullptr, size_t nSize = 260) {
    TiXmlDocument doc;
    doc.Parse(xml);
    std::string buf(nSize, '\0');
    bool bFound = doc.RootElement() && FindElementText(doc.RootElement(), name, &buf[0], nSize);
    if (pFound) *pFound = bFound;
    return buf.c_str();
}

bool Read(const std::string& xml, ManifestValues& v) { return ReadManifest(xml.data(), xml.size(), v); }
}  // namespace

TEST(FindElementText, UsualShapeInAnyOrder) {
    const char* xml = "<r><url>http://h/s.exe</url><force>1</force><version>1.1.1.3</version></r>";
    EXPECT_EQ(Find(xml, "version"), "1.1.1.3");
    EXPECT_EQ(Find(xml, "url"), "http://h/s.exe");
    EXPECT_EQ(Find(xml, "force"), "1");
}

TEST(FindElementText, WalkGoesDownAndSidewaysButNeverUp) {
    // Nested one level inside the root's first child: found.
    EXPECT_EQ(Find("<r><c><version>9</version></c></r>", "version"), "9");
    // After a sibling that has children of its own: the walk descends into
    // that sibling, ends at its last leaf and never comes back.
    bool bFound = true;
    EXPECT_EQ(Find("<r><a><b/></a><version>9</version></r>", "version", &bFound), "");
    EXPECT_FALSE(bFound);
    // Siblings without children are passed sideways.
    EXPECT_EQ(Find("<r><a/><b>x</b><version>9</version></r>", "version"), "9");
    // The start element itself is tested first.
    EXPECT_EQ(Find("<version>7<x/></version>", "version"), "7");
    // Tag names compare byte-wise and case-sensitively.
    EXPECT_EQ(Find("<r><Version>9</Version></r>", "version", &bFound), "");
    EXPECT_FALSE(bFound);
}

TEST(FindElementText, FirstChildOfAnyKind) {
    bool bFound = false;
    EXPECT_EQ(Find("<r><version/></r>", "version", &bFound), "");
    EXPECT_TRUE(bFound);  // an element without children counts as found
    // The first child is an element: its tag name is the value.
    EXPECT_EQ(Find("<r><version><b>1</b></version></r>", "version"), "b");
    // A comment first: its text is the value.
    EXPECT_EQ(Find("<r><version><!--c-->1</version></r>", "version"), "c");
}

TEST(FindElementText, ValueThatDoesNotFitIsRefused) {
    TiXmlDocument doc;
    doc.Parse("<r><force>123456</force></r>");
    char buf[6] = {};
    bool bTooLong = false;
    EXPECT_TRUE(FindElementText(doc.RootElement(), "force", buf, sizeof(buf), &bTooLong));
    EXPECT_TRUE(bTooLong);
    EXPECT_STREQ(buf, "");
    char fits[7] = {};
    EXPECT_TRUE(FindElementText(doc.RootElement(), "force", fits, sizeof(fits), &bTooLong));
    EXPECT_FALSE(bTooLong);
    EXPECT_STREQ(fits, "123456");
}

TEST(ReadManifest, ReadsAllValues) {
    ManifestValues v;
    ASSERT_TRUE(Read("<?xml version=\"1.0\"?>\r\n<update>\r\n <version>1.1.1.3</version>\r\n"
                     " <url>http://h/a b.exe</url>\r\n <force>1</force>\r\n <size>42</size>\r\n"
                     " <sha256>00ff</sha256>\r\n</update>\r\n", v));
    EXPECT_STREQ(v.szVersion, "1.1.1.3");
    EXPECT_STREQ(v.szUrl, "http://h/a b.exe");
    EXPECT_STREQ(v.szForce, "1");
    EXPECT_STREQ(v.szSize, "42");
    EXPECT_STREQ(v.szSha256, "00ff");
}

TEST(ReadManifest, MissingElementsStayEmpty) {
    ManifestValues v;
    ASSERT_TRUE(Read("<update><other>1</other></update>", v));
    EXPECT_STREQ(v.szVersion, "");
    EXPECT_STREQ(v.szUrl, "");
    EXPECT_STREQ(v.szForce, "");
}

TEST(ReadManifest, EncodingsAndBom) {
    ManifestValues v;
    ASSERT_TRUE(Read("\xEF\xBB\xBF<u><version>1.2</version></u>", v));
    EXPECT_STREQ(v.szVersion, "1.2");
    ASSERT_TRUE(Read("<?xml version=\"1.0\" encoding=\"GBK\"?><u><version>1.3</version></u>", v));
    EXPECT_STREQ(v.szVersion, "1.3");
}

TEST(ReadManifest, UnreadableManifests) {
    ManifestValues v;
    EXPECT_FALSE(Read("", v));
    EXPECT_FALSE(Read("not xml at all", v));
    EXPECT_FALSE(Read("<!-- only a comment -->", v));
    // A parse error after the root element still leaves the root: only its
    // presence decides, as with every manifest we have read so far.
    EXPECT_TRUE(Read("<a><version>3</version><b></a>", v));
    // A value longer than its buffer makes the whole manifest unreadable
    // rather than a cut url being downloaded.
    EXPECT_FALSE(Read("<u><url>http://h/" + std::string(1100, 'a') + "</url></u>", v));
    EXPECT_STREQ(v.szUrl, "");
    EXPECT_TRUE(Read("<u><url>http://h/" + std::string(1023 - 9, 'a') + "</url></u>", v));
    EXPECT_FALSE(Read("<u><version>" + std::string(260, '1') + "</version></u>", v));
    EXPECT_TRUE(Read("<u><version>" + std::string(259, '1') + "</version></u>", v));
}

TEST(ReadManifest, HostileSizeAndNestingAreRefusedWithoutCrashing) {
    ManifestValues v;
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    EXPECT_FALSE(Read(deep, v));
    std::string big = "<u><version>1</version>" + std::string(kMaxManifestBytes, ' ') + "</u>";
    EXPECT_FALSE(Read(big, v));
    // Moderate nesting is fine.
    std::string ok;
    for (int i = 0; i < 20; ++i) ok += "<a>";
    ok += "<version>5</version>";
    for (int i = 0; i < 20; ++i) ok += "</a>";
    EXPECT_TRUE(Read(ok, v));
    EXPECT_STREQ(v.szVersion, "5");
}

TEST(XmlNestingDepth, IgnoresMarkupThatIsNotAnElement) {
    EXPECT_EQ(XmlNestingDepth("<a><b/><c></c></a>", 18), 2u);
    const char* p = "<?xml?><!-- <x><y><z> --><a x='>' y=\"<q>\"><![CDATA[<b><c>]]></a>";
    EXPECT_EQ(XmlNestingDepth(p, std::strlen(p)), 1u);
    EXPECT_EQ(XmlNestingDepth("<a><a><a", 8), 3u);  // cut short
}

TEST(ParseForce, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(ParseForce("1"), 1);
    EXPECT_EQ(ParseForce("01"), 1);
    EXPECT_EQ(ParseForce(" 1"), 1);
    EXPECT_EQ(ParseForce("\t\n+1"), 1);
    EXPECT_EQ(ParseForce("1abc"), 1);
    EXPECT_EQ(ParseForce("true"), 0);
    EXPECT_EQ(ParseForce(""), 0);
    EXPECT_EQ(ParseForce("-1"), -1);
    EXPECT_EQ(ParseForce("4294967297"), 2147483647);  // would wrap to 1 in 32-bit atoi
    EXPECT_EQ(ParseForce("-99999999999999999999"), -2147483647 - 1);
}

TEST(ReadManifest, MultiByteSequenceCutByTheEndStaysInBounds) {
    // Found by fuzzing: a BOM, a broken declaration and UTF-8 lead bytes at
    // the very end once made the parser read past the text (the sanitizer
    // build catches a regression).
    const char data[] = "\xef\xbb\xbf<?xml version=\"1<u. encodpd<!-\xff\xef\xef\xef\xef\xef-\xef";
    ManifestValues v;
    ReadManifest(data, sizeof(data) - 1, v);
    SUCCEED();
}
