#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "TransferRules.h"

TEST(TransferRules, BackoffDoublesWithBoundedSpread) {
    const double nominal[] = {0.5, 1.0, 2.0};
    for (int n = 1; n <= kMaxRetries; ++n) {
        EXPECT_DOUBLE_EQ(nominal[n - 1] * 0.8, RetryBackoffSeconds(n, 0.0));
        EXPECT_DOUBLE_EQ(nominal[n - 1], RetryBackoffSeconds(n, 0.5));
        EXPECT_LT(RetryBackoffSeconds(n, 0.999999), nominal[n - 1] * 1.2);
    }
    EXPECT_DOUBLE_EQ(0.5, RetryBackoffSeconds(1, 7.0));  // a bad random value spreads nothing
}

TEST(TransferRules, OnlyNotNowStatusesAreRetried) {
    for (int s : {408, 429, 500, 502, 503, 504}) EXPECT_TRUE(IsRetryableStatus(s)) << s;
    for (int s : {200, 206, 301, 400, 401, 403, 404, 410, 416, 501, 505}) EXPECT_FALSE(IsRetryableStatus(s)) << s;
}

TEST(TransferRules, RetryAfterCountsOnlyPlainSeconds) {
    struct Case {
        const char* text;
        int64_t seconds;
    };
    for (const Case& c : {Case{"1", 1},
                          {" 10 ", 10},
                          {"0", 0},
                          {"60", 60},
                          {nullptr, -1},
                          {"", -1},
                          {"1.5", -1},
                          {"-1", -1},
                          {"Wed, 21 Oct 2015 07:28:00 GMT", -1},
                          {"99999999999999999999", -1},
                          {"3000000000", -1}})
        EXPECT_EQ(c.seconds, ParseRetryAfterSeconds(c.text)) << (c.text ? c.text : "(null)");
}

// Beyond 32 bits, below 2^63; "?" stands for a character beyond ASCII.
TEST(TransferRules, ContentLengthIsOnePlainNumber) {
    struct Case { const char* text; int64_t length; };
    for (const Case& c : {Case{"0", 0}, {" \t17179869184\t ", 17179869184}, {"9223372036854775807", INT64_MAX},
                          {"9223372036854775808", -1}, {"", -1}, {" ", -1}, {"-1", -1}, {"+1", -1}, {"1 2", -1},
                          {"0x10", -1}, {"12?", -1}, {nullptr, -1}})
        EXPECT_EQ(c.length, ParseContentLength(c.text)) << (c.text ? c.text : "(null)");
}

TEST(TransferRules, OnlyStrongEtagsAreValidators) {
    EXPECT_TRUE(IsStrongEtag("\"abc-1\""));
    EXPECT_TRUE(IsStrongEtag("\"\""));
    for (const char* t : std::initializer_list<const char*>{"W/\"abc\"", "abc", "\"abc", "\"", "\"a\"b\"", "", nullptr})
        EXPECT_FALSE(IsStrongEtag(t));
}

TEST(TransferRules, ContentRangeIsParsedStrictly) {
    ContentRange r;
    ASSERT_TRUE(ParseContentRange("bytes 100-999/1000", r));
    EXPECT_EQ(100u, r.nFirst);
    EXPECT_EQ(999u, r.nLast);
    EXPECT_EQ(1000u, r.nTotal);
    ASSERT_TRUE(ParseContentRange("bytes 0-17179869183/17179869184", r));  // beyond 32 bits
    EXPECT_EQ(17179869184u, r.nTotal);
    for (const char* t : std::initializer_list<const char*>{
             "bytes */1000", "bytes 100-999/*", "bytes 5-4/10", "bytes 0-10/10", "bits 0-1/2", "bytes 0-1/2 x",
             "bytes=0-1/2", "bytes 0-99999999999999999999/1", "", nullptr})
        EXPECT_FALSE(ParseContentRange(t, r)) << (t ? t : "(null)");
}

TEST(TransferRules, RangeAnswerAppendsOnlyTheExactRestOfTheSameFile) {
    struct Case {
        int status;
        const char* range;
        int64_t length;
        RangeAnswer want;
    };
    const Case cases[] = {
        {206, "bytes 100-999/1000", 900, RangeAnswer::Append},
        {206, "bytes 100-999/1000", -1, RangeAnswer::Append},
        {200, nullptr, 1000, RangeAnswer::Restart},
        {200, "bytes 100-999/1000", 1000, RangeAnswer::Restart},
        {206, "bytes 90-999/1000", 910, RangeAnswer::Refused},     // another offset
        {206, "bytes 100-1999/2000", 1900, RangeAnswer::Refused},  // another total
        {206, "bytes 100-499/1000", 400, RangeAnswer::Refused},    // not the whole rest
        {206, "bytes 100-999/1000", 899, RangeAnswer::Refused},    // length disagrees
        {206, nullptr, 900, RangeAnswer::Refused},
        {416, "bytes */1000", 0, RangeAnswer::Refused},
        {503, nullptr, 10, RangeAnswer::Other},
        {404, nullptr, 10, RangeAnswer::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.want, JudgeRangeAnswer(c.status, c.range, c.length, 100, 1000))
            << c.status << " " << (c.range ? c.range : "(none)") << " " << c.length;
}

// A link that delivers bytes evenly at a fixed rate into a socket buffer,
// read through the pacer for 10 s. A read either waits until its buffer is
// full (Wine's WinHTTP) or returns what has arrived, waiting only for the
// first bytes (a reader that returns early).
struct LinkRun {
    double share;       // bytes read / bytes the link delivered
    double longestGap;  // seconds between two reads' ends, after the first second
    double waitShare;   // of the time, spent waiting inside reads
    double readsPerSecond;
};

LinkRun ReadThroughPacer(double rate, bool returnsEarly) {
    CReadPacer pacer(1u << 20);
    const double kCopySecondsPerByte = 1 / 30e6;  // bytes that wait, as fast as Wine takes them
    double t = 0, consumed = 0, waited = 0, lastEnd = 0, longestGap = 0;
    int reads = 0;
    while (t < 10 && reads < 100000) {
        t += pacer.PauseSeconds();
        const double ask = static_cast<double>(pacer.ReadSize());
        const double avail = rate * t - consumed;
        double got = ask, wait = 0;
        if (returnsEarly) {
            const double kSegment = 1460;
            if (avail < kSegment) wait = (kSegment - avail) / rate;
            got = std::min(ask, std::max(kSegment, std::floor(avail)));
        } else if (avail < ask) {
            wait = (ask - avail) / rate;
        }
        const double took = wait + got * kCopySecondsPerByte;
        t += took;
        waited += wait;
        consumed += got;
        ++reads;
        if (lastEnd >= 1) longestGap = std::max(longestGap, t - lastEnd);
        lastEnd = t;
        pacer.Record(static_cast<size_t>(ask), static_cast<size_t>(got), took);
    }
    return {consumed / (std::min(rate, 30e6) * t), longestGap, waited / t, reads / t};
}

TEST(TransferRules, ReadsKeepUpWithEveryLinkAndWaitLittleOnSlowOnes) {
    for (bool returnsEarly : {false, true}) {
        for (double kib : {64.0, 256.0, 1024.0, 4096.0, 16384.0, 65536.0, 262144.0}) {
            SCOPED_TRACE(std::to_string(kib) + " KiB/s" + (returnsEarly ? ", early" : ", full"));
            const LinkRun r = ReadThroughPacer(kib * 1024, returnsEarly);
            EXPECT_GE(r.share, 0.97);
            EXPECT_LE(r.longestGap, 0.2);  // progress moves five times a second
            if (kib <= 1024) {
                // What costs CPU on a slow link: waking often, and waiting in a read.
                EXPECT_LE(r.waitShare, 0.15);
                EXPECT_LE(r.readsPerSecond, 20);
            }
        }
    }
}

TEST(TransferRules, RateFloorEndsATrickleButNotASlowSteadyLink) {
    const struct {
        const char* what;
        double step;         // seconds between reads
        uint64_t perRead;    // bytes each read brings
        double stallsAfter;  // seconds after the first byte; 0: never within 10 minutes
    } cases[] = {
        {"one byte every 29 s", 29, 1, 87},     {"900 bytes a second", 1, 900, 60}, {"1 KiB a second", 1, 1024, 0},
        {"64 KiB every 50 s", 50, 64 << 10, 0}, {"fast", 0.1, 1 << 20, 0},
    };
    for (const auto& c : cases) {
        CRateFloor floor;
        EXPECT_FALSE(floor.Stalled(0, 0));
        EXPECT_FALSE(floor.Stalled(100, 0)) << "no byte yet: the idle time-out's business";
        double stalled = 0;
        uint64_t bytes = 0;
        for (double t = 100; t <= 700 && !stalled; t += c.step) {
            bytes += c.perRead;
            if (floor.Stalled(t, bytes)) stalled = t - 100;
        }
        EXPECT_DOUBLE_EQ(stalled, c.stallsAfter) << c.what;
    }
}
