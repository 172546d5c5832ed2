#include <gtest/gtest.h>

#include <string>

#include "update/download/KeptRecord.h"

namespace {
const int64_t kNow = 1700000000;
const char kUrl[] = "http://127.0.0.1/files/setup.exe";

IntegrityExpectation Want(const char* size, const char* sha256) {
    IntegrityExpectation e;
    EXPECT_TRUE(ParseIntegrity(size, sha256, e));
    return e;
}

const IntegrityExpectation kWant = Want("1000", std::string(64, 'a').c_str());

KeptRecord Kept() {
    KeptRecord r;
    r.url = kUrl;
    r.integrity = kWant;
    r.validator = "\"abc-0\"";
    r.nTotal = 1000;
    r.nHeld = 400;
    r.nSavedAt = kNow - 60;
    return r;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}
}  // namespace

TEST(KeptRecord, RoundTripsWithAndWithoutIntegrity) {
    for (const IntegrityExpectation& want : {kWant, Want("", "")}) {
        KeptRecord r = Kept(), back;
        r.integrity = want;
        ASSERT_TRUE(ParseKeptRecord(SerializeKeptRecord(r), back));
        EXPECT_EQ(SerializeKeptRecord(r), SerializeKeptRecord(back));
        EXPECT_EQ(400u, back.nHeld);
    }
}

// What the next download does with a kept record: each row changes the
// record's text, the file or the download.
TEST(KeptRecord, DecidesWhetherTheNextDownloadContinues) {
    const std::string good = SerializeKeptRecord(Kept());
    const std::string unsized =
        Replace(Replace(good, "size 1000", "size -"), "sha256 " + std::string(64, 'a'), "sha256 -");
    struct Case {
        const char* name;
        std::string text;
        uint64_t fileSize;
        int64_t now;
        const char* url;
        IntegrityExpectation want;
        bool keyed;
        KeptMatch expect;
    };
    const IntegrityExpectation none = Want("", "");
    const Case cases[] = {
        {"match", good, 400, kNow, kUrl, kWant, true, KeptMatch::Match},
        {"file longer than the count", good, 900, kNow, kUrl, kWant, true, KeptMatch::Match},
        {"other URL", good, 400, kNow, "http://127.0.0.1/files/setup.exe?v=2", kWant, true, KeptMatch::OtherUrl},
        {"other digest", good, 400, kNow, kUrl, Want("1000", std::string(64, 'b').c_str()), true,
         KeptMatch::OtherIntegrity},
        {"other size", good, 400, kNow, kUrl, Want("1001", std::string(64, 'a').c_str()), true,
         KeptMatch::OtherIntegrity},
        {"digest no longer given", good, 400, kNow, kUrl, Want("1000", ""), true, KeptMatch::OtherIntegrity},
        {"neither given, no key", unsized, 400, kNow, kUrl, none, false, KeptMatch::Match},
        {"neither given, keyed build", unsized, 400, kNow, kUrl, none, true, KeptMatch::OtherIntegrity},
        {"7 days old", good, 400, kNow - 60 + kKeptMaxAgeSeconds, kUrl, kWant, true, KeptMatch::Match},
        {"a second older", good, 400, kNow - 59 + kKeptMaxAgeSeconds, kUrl, kWant, true, KeptMatch::TooOld},
        {"written in the future", good, 400, kNow - 7200, kUrl, kWant, true, KeptMatch::TooOld},
        {"counts past the file", good, 399, kNow, kUrl, kWant, true, KeptMatch::PastFile},
        {"missing", "", 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"cut short", good.substr(0, good.size() - 1), 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"line added", good + "path C:\\x\n", 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"CR LF", Replace(good, "\nurl", "\r\nurl"), 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"header smuggled into the validator", Replace(good, "\"abc-0\"", "\"a\"\rX: y"), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"weak validator", Replace(good, "\"abc-0\"", "W/\"abc-0\""), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"no validator", Replace(good, "\"abc-0\"", ""), 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"held past the total", Replace(good, "held 400", "held 1001"), 2000, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"total other than the size", Replace(good, "total 1000", "total 999"), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"signed count", Replace(good, "held 400", "held +400"), 400, kNow, kUrl, kWant, true, KeptMatch::Unreadable},
        {"count beyond 64 bits", Replace(good, "held 400", "held 99999999999999999999"), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"upper-case digest", Replace(good, std::string(64, 'a'), std::string(64, 'A')), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
        {"too large", good + std::string(kKeptRecordMaxBytes, ' '), 400, kNow, kUrl, kWant, true,
         KeptMatch::Unreadable},
    };
    for (const Case& c : cases) {
        KeptRecord out;
        EXPECT_EQ(c.expect, JudgeKeptRecord(c.text, c.fileSize, c.now, c.url, c.want, c.keyed, out)) << c.name;
        if (c.expect == KeptMatch::Match) {
            EXPECT_EQ(400u, out.nHeld) << c.name;
        }
    }
}
