#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tinyxml.h"
#include "update/manifest/Manifest.h"

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
    ASSERT_TRUE(
        Read("<?xml version=\"1.0\"?>\r\n<update>\r\n <version>1.1.1.3</version>\r\n"
             " <url>http://h/a b.exe</url>\r\n <force>1</force>\r\n <size>42</size>\r\n"
             " <sha256>00ff</sha256>\r\n</update>\r\n",
             v));
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
    for (int i = 0; i < 20000; ++i) deep += "<a>";  // within the size limit
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

std::string Repeat(const std::string& part, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += part;
    return out;
}

TEST(ReadManifest, NestingIsCountedAsTheParserReadsIt) {
    ManifestValues v;
    const std::string kUtf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    // A broken UTF-8 lead byte swallows the "</" behind it, so each
    // repetition opens one more element (160 KB once overflowed the stack).
    EXPECT_FALSE(Read(kUtf8 + Repeat("<a>\xF0</a>", 20000), v));
    // A character reference is read up to the next ';', hiding end tags.
    EXPECT_FALSE(Read(Repeat("<a>&#</a>#1;", 20000), v));
    // An unknown tag ends at its first '>', quotes or not.
    EXPECT_FALSE(Read("<r><1 \">" + Repeat("<a>", 20000) + "\">", v));
    // Exactly the limit is fine, one more is not; markup that is not an
    // element does not count.
    const std::string kNoise = "<!-- <x><y> --><![CDATA[<x><y>]]><?pi <x>?>";
    EXPECT_TRUE(Read(Repeat("<a q='<x>'>" + kNoise, 63) + "<version>4</version>" + Repeat("</a>", 63), v));
    EXPECT_STREQ(v.szVersion, "4");
    EXPECT_FALSE(Read(Repeat("<a>", 64) + "<version>4</version>" + Repeat("</a>", 64), v));
}

TEST(ReadManifest, Utf8ManifestsMustBeValidUtf8) {
    struct {
        const char* pszPrefix;
        bool bUtf8;
    } prefixes[] = {
        {"\xEF\xBB\xBF", true},
        {"<?xml version=\"1.0\"?>", true},  // no encoding: UTF-8
        {"<?xml version='1.0' encoding='utf-8'?>", true},
        {"<?XML version=\"1.0\" encoding = \"UTF8\"?>", true},
        {"<?xml version=\"1.0\" encoding=\"GBK\"?>", false},
        {"", false},
    };
    for (const auto& prefix : prefixes) {
        ManifestValues v;
        const std::string head = prefix.pszPrefix;
        EXPECT_EQ(ReadsAsUtf8(head.data(), head.size()), prefix.bUtf8) << head;
        // GBK bytes (D5FD) are not UTF-8; U+4E2D is.
        EXPECT_EQ(Read(head + "<u><version>1.3</version><x>\xD5\xFD</x></u>", v), !prefix.bUtf8) << head;
        EXPECT_TRUE(Read(head + "<u><version>1.3</version><x>\xE4\xB8\xAD</x></u>", v)) << head;
        EXPECT_STREQ(v.szVersion, "1.3");
    }
}

TEST(ReadManifest, AtMost64KiBWithAPlainDeclaration) {
    ManifestValues v;
    const std::string head = "<u><version>1</version>", tail = "</u>";
    EXPECT_TRUE(Read(head + std::string(64 * 1024 - head.size() - tail.size(), ' ') + tail, v));
    EXPECT_FALSE(Read(head + std::string(64 * 1024 + 1 - head.size() - tail.size(), ' ') + tail, v));
    // The parser decodes references and takes the last of repeated
    // attributes: such a declaration could make it read GBK where the
    // UTF-8 check was passed, or the other way round.
    const std::string body = "<u><version>1</version></u>";
    for (const char* decl : {"<?xml version=\"1.0\" encoding=\"&#85;TF-8\"?>",
                             "<?xml version=\"1.0\" encoding=\"GBK\" encoding=\"UTF-8\"?>",
                             "<?xml version=\"1.0\" ENCODING='UTF-8' encoding='GBK'?>",
                             "<?xml version=\"1.0\" version=\"1.0\"?>", "<?xml version=\"1.0\" standalone=\"&amp;\"?>"})
        EXPECT_FALSE(Read(decl + body, v)) << decl;
    for (const char* decl :
         {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version='1.0' encoding='GBK' standalone='yes'?>",
          "<?xml version=\"1.0\" encoding=\"a>b\"?>"})
        EXPECT_TRUE(Read(decl + body, v)) << decl;
}

TEST(ReadManifest, SignedValuesCutByANulAreFlagged) {
    ManifestValues v;
    ASSERT_TRUE(Read("<u><version>1.1.1.3</version><url>http://h/a.exe&#0;.txt</url></u>", v));
    EXPECT_STREQ(v.szUrl, "http://h/a.exe");
    EXPECT_TRUE(v.bSignedValueHasNul);
    ASSERT_TRUE(Read("<u><signature>&#0;</signature><expires>x</expires></u>", v));
    EXPECT_FALSE(v.bSignedValueHasNul);  // the signature is not signed
    // A too long signature or expiry only fails the signature check.
    ASSERT_TRUE(Read("<u><version>1</version><signature>" + std::string(300, 'A') + "</signature></u>", v));
    EXPECT_STREQ(v.szSignature, "");
    EXPECT_STREQ(v.szVersion, "1");
}

TEST(ReadManifest, PublisherControls) {
    const std::string kMirror = "<mirror>http://m/s.exe</mirror>";
    const struct {
        const char* pszName;
        std::string xml;
        size_t nMirrors;
        bool bValid;
    } cases[] = {
        {"none", "", 0, true},
        {"four mirrors and a rollout", kMirror + kMirror + kMirror + "<rollout>100</rollout>" + kMirror, 4, true},
        {"five mirrors", kMirror + kMirror + kMirror + kMirror + kMirror, 5, false},
        {"empty mirror", kMirror + "<mirror/>", 2, false},
        {"mirror too long", "<mirror>http://m/" + std::string(1100, 'a') + "</mirror>", 1, false},
        {"rollout 1", "<rollout>1</rollout>", 0, true},
        {"rollout 0", "<rollout>0</rollout>", 0, false},
        {"rollout 101", "<rollout>101</rollout>", 0, false},
        {"rollout 2.5", "<rollout>2.5</rollout>", 0, false},
        {"empty rollout", "<rollout></rollout>", 0, false},
        {"rollout too long", "<rollout>" + std::string(300, '1') + "</rollout>", 0, false},
    };
    for (const auto& c : cases) {
        ManifestValues v;
        ASSERT_TRUE(Read("<u><version>1.1.1.3</version>" + c.xml + "</u>", v)) << c.pszName;
        EXPECT_EQ(v.nMirrors, c.nMirrors) << c.pszName;
        EXPECT_EQ(PublisherControlsValid(v), c.bValid) << c.pszName;
    }
    ManifestValues v;
    ASSERT_TRUE(Read("<u>" + kMirror + "<mirror>http://n/s.exe&#0;x</mirror></u>", v));
    EXPECT_STREQ(v.szMirrors[0], "http://m/s.exe");
    EXPECT_STREQ(v.szMirrors[1], "http://n/s.exe");
    EXPECT_TRUE(v.bSignedValueHasNul);
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
