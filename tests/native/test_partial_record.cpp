#include <gtest/gtest.h>

#include <string>

#include "update/PartialRecord.h"

namespace {
const int64_t kNow = 1700000000;
const char kUrl[] = "http://127.0.0.1/files/setup.exe";

IntegrityExpectation Want(const char* size, const char* sha256) {
    IntegrityExpectation e;
    EXPECT_TRUE(ParseIntegrity(size, sha256, e));
    return e;
}

const IntegrityExpectation kWant = Want("1000", std::string(64, 'a').c_str());

PartialRecord Kept() {
    PartialRecord r;
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

TEST(PartialRecord, RoundTripsWithAndWithoutIntegrity) {
    for (const IntegrityExpectation& want : {kWant, Want("", "")}) {
        PartialRecord r = Kept(), back;
        r.integrity = want;
        ASSERT_TRUE(ParsePartialRecord(SerializePartialRecord(r), back));
        EXPECT_EQ(SerializePartialRecord(r), SerializePartialRecord(back));
        EXPECT_EQ(400u, back.nHeld);
    }
}

// What the next download does with a kept record: each row changes the
// record's text, the file or the download.
TEST(PartialRecord, DecidesWhetherTheNextDownloadContinues) {
    const std::string good = SerializePartialRecord(Kept());
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
        PartialMatch expect;
    };
    const IntegrityExpectation none = Want("", "");
    const Case cases[] = {
        {"match", good, 400, kNow, kUrl, kWant, true, PartialMatch::Match},
        {"file longer than the count", good, 900, kNow, kUrl, kWant, true, PartialMatch::Match},
        {"other URL", good, 400, kNow, "http://127.0.0.1/files/setup.exe?v=2", kWant, true, PartialMatch::OtherUrl},
        {"other digest", good, 400, kNow, kUrl, Want("1000", std::string(64, 'b').c_str()), true,
         PartialMatch::OtherIntegrity},
        {"other size", good, 400, kNow, kUrl, Want("1001", std::string(64, 'a').c_str()), true,
         PartialMatch::OtherIntegrity},
        {"digest no longer given", good, 400, kNow, kUrl, Want("1000", ""), true, PartialMatch::OtherIntegrity},
        {"neither given, no key", unsized, 400, kNow, kUrl, none, false, PartialMatch::Match},
        {"neither given, keyed build", unsized, 400, kNow, kUrl, none, true, PartialMatch::OtherIntegrity},
        {"7 days old", good, 400, kNow - 60 + kPartialMaxAgeSeconds, kUrl, kWant, true, PartialMatch::Match},
        {"a second older", good, 400, kNow - 59 + kPartialMaxAgeSeconds, kUrl, kWant, true, PartialMatch::TooOld},
        {"written in the future", good, 400, kNow - 7200, kUrl, kWant, true, PartialMatch::TooOld},
        {"counts past the file", good, 399, kNow, kUrl, kWant, true, PartialMatch::PastFile},
        {"missing", "", 400, kNow, kUrl, kWant, true, PartialMatch::Unreadable},
        {"cut short", good.substr(0, good.size() - 1), 400, kNow, kUrl, kWant, true, PartialMatch::Unreadable},
        {"line added", good + "path C:\\x\n", 400, kNow, kUrl, kWant, true, PartialMatch::Unreadable},
        {"CR LF", Replace(good, "\nurl", "\r\nurl"), 400, kNow, kUrl, kWant, true, PartialMatch::Unreadable},
        {"header smuggled into the validator", Replace(good, "\"abc-0\"", "\"a\"\rX: y"), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"weak validator", Replace(good, "\"abc-0\"", "W/\"abc-0\""), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"no validator", Replace(good, "\"abc-0\"", ""), 400, kNow, kUrl, kWant, true, PartialMatch::Unreadable},
        {"held past the total", Replace(good, "held 400", "held 1001"), 2000, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"total other than the size", Replace(good, "total 1000", "total 999"), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"signed count", Replace(good, "held 400", "held +400"), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"count beyond 64 bits", Replace(good, "held 400", "held 99999999999999999999"), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"upper-case digest", Replace(good, std::string(64, 'a'), std::string(64, 'A')), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
        {"too large", good + std::string(kPartialRecordMaxBytes, ' '), 400, kNow, kUrl, kWant, true,
         PartialMatch::Unreadable},
    };
    for (const Case& c : cases) {
        PartialRecord out;
        EXPECT_EQ(c.expect, JudgePartialRecord(c.text, c.fileSize, c.now, c.url, c.want, c.keyed, out)) << c.name;
        if (c.expect == PartialMatch::Match) {
            EXPECT_EQ(400u, out.nHeld) << c.name;
        }
    }
}
