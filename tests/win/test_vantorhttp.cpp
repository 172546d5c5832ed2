// CVantorHttp against the local update service and its injected faults.
#include "CVantorHttp.h"
#include "Timeouts.h"

#include <windows.h>
#include <bcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/TextConv.h"

#ifndef LUMORA_TEST_PORT
#define LUMORA_TEST_PORT 18480
#endif

// Linked in place of the library's own, so that a stall ends within
// seconds: SendShort() sets them for one transfer, and every other one gets
// the library's 10 s and 30 s.
const TransferTimeouts kLibraryTimeouts = {10000, 30000};
TransferTimeouts g_timeouts = kLibraryTimeouts;
TransferTimeouts GetTransferTimeouts() { return g_timeouts; }

namespace {

using H = CVantorHttp;
using Bytes = std::vector<uint8_t>;
const auto t0 = std::chrono::steady_clock::now();
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); }

std::string Url(const std::string& path) {
    const char* env = std::getenv("LUMORA_TEST_PORT");
    return "http://127.0.0.1:" + (env ? std::string(env) : std::to_string(LUMORA_TEST_PORT)) + path;
}

// What the service generates under /gen: byte i = (i*131 + (i>>16)) & 0xFF.
Bytes GenBody(size_t n) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + (i >> 16));
    return v;
}

Bytes Sha256(Bytes data) {
    Bytes out(32);
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptHash(alg, nullptr, 0, data.data(), static_cast<ULONG>(data.size()), out.data(), 32);
    BCryptCloseAlgorithmProvider(alg, 0);
    return out;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Starts a transfer that waits 2 s to connect and idleMs for a byte.
int SendShort(H& h, const std::string& url, int idleMs) {
    g_timeouts = {2000, idleMs};
    const int r = h.SendData("GET", url.c_str());
    g_timeouts = kLibraryTimeouts;
    return r;
}

std::wstring Wide(const std::string& path) { return NarrowToWide(path.c_str()); }

// Polls every 10 ms until the state is final or capS has passed.
template <class OnPoll>
int Wait(const H& h, double capS, OnPoll onPoll) {
    for (const double end = Now() + capS; h.GetState() == H::kStateRunning && Now() < end; Sleep(10)) onPoll();
    return h.GetState();
}
int Wait(const H& h) {
    return Wait(h, 20, [] {});
}

// The same for transfers side by side: polls every 10 ms until all have
// ended or capS has passed, calling onPoll(i) for each one still running.
// Returns the seconds each took from start, -1 for any still running.
template <class OnPoll>
std::vector<double> WaitAll(const std::vector<std::unique_ptr<H>>& hs, double start, double capS, OnPoll onPoll) {
    std::vector<double> took(hs.size(), -1);
    for (bool busy = true; busy && Now() < start + capS; Sleep(10)) {
        busy = false;
        for (size_t i = 0; i < hs.size(); ++i) {
            if (took[i] >= 0) continue;
            onPoll(i);
            if (hs[i]->GetState() != H::kStateRunning) took[i] = Now() - start;
            busy |= took[i] < 0;
        }
    }
    return took;
}

// Lower case, so that `ctest -R vantorhttp` picks these tests.
class vantorhttp : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        for (unsigned n = GetTickCount(); dir.empty(); ++n)  // names of failed runs may remain
            if (CreateDirectoryA((tmp + ("vantor-test-" + std::to_string(n))).c_str(), nullptr))
                dir = tmp + ("vantor-test-" + std::to_string(n));
    }
    void TearDown() override {
        EXPECT_EQ(0, Count("*.part")) << "a temporary file outlived its transfer";
        Count("*", true);
        RemoveDirectoryA(dir.c_str());
    }
    int Count(const char* pattern, bool remove = false) const {
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
        int n = 0;
        for (BOOL more = f != INVALID_HANDLE_VALUE; more; more = FindNextFileA(f, &fd)) {
            const std::string path = dir + "\\" + fd.cFileName;
            if (fd.cFileName[0] == '.') continue;
            if (remove && !DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
            ++n;
        }
        if (f != INVALID_HANDLE_VALUE) FindClose(f);
        return n;
    }
    // A hashing transfer in this test's folder, with short time-outs unless told otherwise.
    std::unique_ptr<H> Start(const std::string& url, int idleMs = 1500, uint64_t maxBody = UINT64_MAX,
                             bool retries = false, std::function<void(const H::AttemptReport&)> onAttempt = nullptr) {
        auto h = std::make_unique<H>();
        h->SetTempDir(Wide(dir).c_str());
        h->SetMaxBodySize(maxBody);
        h->EnableSha256();
        if (retries) h->EnableRetries();
        if (onAttempt) h->OnAttempt(std::move(onAttempt));
        EXPECT_EQ(0, SendShort(*h, url, idleMs)) << url;
        return h;
    }
    // The service's requests whose path contains needle, as "status[r][e|d]"
    // joined by commas: r for a Range header, e or d for an If-Range naming
    // an ETag or a date.
    std::string RequestLog(const std::string& needle) {
        H h;
        h.SetTempDir(Wide(dir).c_str());
        h.SendData("GET", Url("/log/" + needle).c_str());
        if (Wait(h) != H::kStateDone || h.SaveData(Path("log.txt").c_str()) != 0) return "no log";
        const Bytes text = ReadAll(dir + "\\log.txt");
        DeleteFileA((dir + "\\log.txt").c_str());
        std::istringstream lines(std::string(text.begin(), text.end()));
        std::string out, status, range, ifRange, line;
        while (std::getline(lines, line)) {
            std::istringstream(line) >> status;
            range = line.substr(line.find('\t') + 1);
            ifRange = range.substr(range.find('\t') + 1);
            out += (out.empty() ? "" : ",") + status + (range[0] == '-' ? "" : "r") +
                   (ifRange[0] == '-'   ? ""
                    : ifRange[0] == '"' ? "e"
                                        : "d");
        }
        return out;
    }
    // A path of its own for each request series, so that the service counts
    // "first=K" faults for this run alone.
    std::string Unique(const std::string& name) const {
        static unsigned serial = 0;
        return name + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
               std::to_string(++serial) + ".exe";
    }
    std::wstring Path(const std::string& name) const { return Wide(dir + "\\" + name); }
    std::string dir;
};

TEST_F(vantorhttp, ThrottledDownloadShowsProgressAndSavesExactBytes) {
    auto h = Start(Url("/fault/throttle=256K/gen/512K/setup.exe"));
    bool sawMiddle = false;
    double last = 0;
    EXPECT_EQ(H::kStateDone, Wait(*h, 10, [&] {
                  EXPECT_GE(h->GetDownProgress(), last);
                  last = h->GetDownProgress();
                  if (last > 0 && last < 1) sawMiddle = h->SaveData(Path("early.exe").c_str()) == -1;
              }));
    EXPECT_TRUE(sawMiddle);  // and SaveData refused the partial body
    EXPECT_EQ(1.0, h->GetDownProgress());
    ASSERT_EQ(0, h->SaveData(Path("setup.exe").c_str()));
    EXPECT_EQ(GenBody(512 << 10), ReadAll(dir + "\\setup.exe"));
    EXPECT_EQ(-1, h->SaveData(Path("again.exe").c_str()));
    EXPECT_EQ(1, Count("*"));
}

// All at once, each checked against its own content, so transfers cannot
// share anything. Sizes avoid multiples of any buffer size.
TEST_F(vantorhttp, ConcurrentDownloadsEachDeliverTheirOwnBody) {
    struct Case {
        std::string path;
        size_t size;
        bool hasLength;
        uint64_t limit;
    };
    const uint64_t kNone = UINT64_MAX;
    const Case cases[] = {{"/gen/5242887/a", 5242887, true, kNone},
                          {"/fault/nolength/gen/1048579/b", 1048579, false, kNone},
                          {"/fault/throttle=1M/gen/777777/c", 777777, true, kNone},
                          {"/fault/redirect=3/gen/1000/d", 1000, true, kNone},
                          {"/fault/redirect=5/gen/0/e", 0, true, 0},  // a limit of 0 allows an empty body
                          {"/gen/1M/f", 1 << 20, true, 1 << 20},      // exactly at the limit
                          {"/fault/nolength/gen/1M/g", 1 << 20, false, 1 << 20}};
    std::vector<std::unique_ptr<H>> hs;
    for (const Case& c : cases) hs.push_back(Start(Url(c.path), 1500, c.limit));
    for (size_t i = 0; i < hs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.path);
        ASSERT_EQ(H::kStateDone, Wait(*hs[i]));
        EXPECT_EQ(200, hs[i]->GetHttpStatus());
        // The whole body arrived: a progress of 1.0 then shows that the length
        // was read as announced, 0.0 that none was.
        EXPECT_EQ(c.size, hs[i]->GetReceivedBytes());
        EXPECT_EQ(c.hasLength ? 1.0 : 0.0, hs[i]->GetDownProgress());
        Bytes digest(32);
        EXPECT_TRUE(hs[i]->GetSha256(digest.data()));
        EXPECT_EQ(Sha256(GenBody(c.size)), digest);
        ASSERT_EQ(0, hs[i]->SaveData(Path(std::to_string(i)).c_str()));
        EXPECT_EQ(GenBody(c.size), ReadAll(dir + "\\" + std::to_string(i)));
    }
}

// Side by side as well: the slow cases bound the time.
TEST_F(vantorhttp, FailuresEndInTheRightState) {
    const int kAny = 99;  // a failure, whichever
    struct Case {
        std::string url;
        int state, status;
        double minS, maxS;
        uint64_t limit = 1 << 20;
    };
    const Case cases[] = {
        {Url("/fault/status=404/gen/1K/a"), H::kErrStatus, 404, 0, 3},
        {Url("/fault/status=500/gen/1K/a"), H::kErrStatus, 500, 0, 3},
        {"http://127.0.0.1:1/a", H::kErrFailed, 0, 0, 3},
        {Url("/fault/stall_headers/gen/1K/a"), H::kErrFailed, 0, 1.2, 4},
        {Url("/fault/stall_body=100K/gen/1M/a"), H::kErrFailed, 200, 1.2, 4},
        {Url("/fault/reset=100K/gen/1M/a"), kAny, 200, 0, 3},  // Wine: an error or an early end
        {Url("/fault/short=100K/gen/1M/a"), H::kErrShortBody, 200, 0, 3},
        {Url("/fault/redirect_loop/gen/1K/a"), kAny, -1, 0, 3},
        {Url("/fault/redirect=6/gen/1K/a"), kAny, -1, 0, 3},
        {Url("/gen/1G/a"), H::kErrTooLarge, 200, 0, 3},                  // announced too large
        {Url("/fault/nolength/gen/64M/a"), H::kErrTooLarge, 200, 0, 3},  // grows too large
        {Url("/gen/1K/a"), H::kErrTooLarge, 200, 0, 3, 0},               // 0 is a limit like any other
    };
    std::vector<std::unique_ptr<H>> hs;
    const double start = Now();
    for (const Case& c : cases) hs.push_back(Start(c.url, 1500, c.limit));
    const std::vector<double> took = WaitAll(hs, start, 15, [](size_t) {});
    for (size_t i = 0; i < hs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.url);
        const int state = hs[i]->GetState();
        EXPECT_TRUE(c.state == kAny ? state < 0 : state == c.state) << state;
        EXPECT_TRUE(c.status < 0 || c.status == hs[i]->GetHttpStatus()) << hs[i]->GetHttpStatus();
        EXPECT_TRUE(took[i] >= c.minS && took[i] <= c.maxS) << took[i] << " s";
        EXPECT_LE(hs[i]->GetReceivedBytes(), (2u << 20)) << "kept reading past the limit";
        EXPECT_FALSE(hs[i]->GetSha256(Bytes(32).data()));
        EXPECT_EQ(-1, hs[i]->SaveData(Path("x").c_str()));
    }
}

TEST_F(vantorhttp, RefusesWhatItCannotFetch) {
    struct Case {
        const char* method;
        const char* url;
        int state;
    };
    for (const Case& c : {Case{"GET", nullptr, H::kErrBadUrl},
                          {"GET", "", H::kErrBadUrl},
                          {"GET", "ftp://127.0.0.1/a", H::kErrBadUrl},
                          {"GET", "no url", H::kErrBadUrl},
                          {"POST", "http://127.0.0.1:1/", H::kErrFailed},
                          {nullptr, "http://127.0.0.1:1/", H::kErrFailed}}) {
        H h;
        EXPECT_EQ(c.state, h.SendData(c.method, c.url)) << (c.url ? c.url : "(null)");
        EXPECT_LT(h.SendData("GET", Url("/gen/1K/a").c_str()), 0);  // one go per object
        EXPECT_EQ(c.state, h.GetState());
    }
    H h;
    h.SetTempDir(Path("missing").c_str());
    h.SendData("GET", Url("/gen/1K/a").c_str());
    EXPECT_EQ(H::kErrFile, Wait(h));
}

TEST_F(vantorhttp, SaveDataReportsFileSystemRefusals) {
    const std::string locked = dir + "\\locked.exe";
    HANDLE f = CreateFileA(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    for (const std::string& target : {dir + "\\missing\\a.exe", locked, dir}) {
        SCOPED_TRACE(target);
        auto h = Start(Url("/gen/100K/a"));
        ASSERT_EQ(H::kStateDone, Wait(*h));
        EXPECT_EQ(-1, h->SaveData(Wide(target).c_str()));
        EXPECT_EQ(1, Count("*.part"));  // still the object's, until it goes
    }
    CloseHandle(f);
    EXPECT_TRUE(ReadAll(locked).empty());
}

TEST_F(vantorhttp, CancelStopsAThrottledTransfer) {
    auto h = Start(Url("/fault/throttle=100K/gen/1M/a"));
    while (h->GetReceivedBytes() == 0 && h->GetState() == H::kStateRunning) Sleep(10);
    h->Cancel();
    EXPECT_EQ(H::kErrCancelled, h->GetState());
    Sleep(300);
    const uint64_t stopped = h->GetReceivedBytes();
    Sleep(300);
    EXPECT_EQ(stopped, h->GetReceivedBytes());
    EXPECT_EQ(0, Count("*.part"));  // the worker removed it on its way out
    EXPECT_EQ(H::kErrCancelled, h->GetState());
}

// A link slower than loopback is read at its own speed, not at what one
// small read per pause allows.
TEST_F(vantorhttp, SlowerLinkIsReadAtItsFullSpeed) {
    auto h = Start(Url("/fault/throttle=4M,tick_ms=2/gen/8M/full-speed.exe"));
    const double start = Now();
    EXPECT_EQ(H::kStateDone, Wait(*h, 20, [] {}));
    EXPECT_LT(Now() - start, 3.0);  // 2 s at the server's rate
    Bytes digest(32);
    EXPECT_TRUE(h->GetSha256(digest.data()));
    EXPECT_EQ(Sha256(GenBody(8 << 20)), digest);
}

// At every rate the received count moves at least five times a second, and
// a cancel ends the transfer, its worker and its file within 0.3 s.
TEST_F(vantorhttp, ProgressMovesAndCancelEndsItAtEveryRate) {
    for (const char* rate : {"64K", "1M", "4M", "16M"}) {
        SCOPED_TRACE(rate);
        auto h = Start(Url(std::string("/fault/throttle=") + rate + ",tick_ms=2/gen/64M/cancel.exe"));
        while (h->GetReceivedBytes() == 0 && h->GetState() == H::kStateRunning) Sleep(10);
        int moves = 0;
        uint64_t seen = h->GetReceivedBytes();
        for (const double end = Now() + 2; Now() < end; Sleep(10)) {
            moves += h->GetReceivedBytes() != seen;
            seen = h->GetReceivedBytes();
        }
        EXPECT_GE(moves, 10);
        ASSERT_EQ(H::kStateRunning, h->GetState());
        h->Cancel();
        Sleep(300);
        const uint64_t stopped = h->GetReceivedBytes();
        EXPECT_EQ(0, Count("*.part"));  // the worker removed it on its way out
        Sleep(200);
        EXPECT_EQ(stopped, h->GetReceivedBytes());
    }
}

// Faults on the first K requests of a path; every case side by side, so the
// slowest bounds the time. The progress shown never goes back, and each
// request is reported to the owner as the attempt it was: its status, "r"
// when it asked for a range, and whether another attempt followed.
TEST_F(vantorhttp, RetriesResumeWhereTheServerAllowsAndRestartElsewhere) {
    const int kAny = 99;  // a failure, whichever
    struct Case {
        std::string faults;
        int state;
        std::string requests;
        double minS, maxS;
        int idleMs;
        std::string attempts = "";  // when not the requests without their If-Range
    };
    const Case cases[] = {
        {"reset=256K,first=1", H::kStateDone, "200,206re", 0.3, 3, 1500},
        {"reset=200K,first=3", H::kStateDone, "200,206re,206re,206re", 2.7, 6, 1500},
        {"reset=100K,first=4", kAny, "200,206re,206re,206re", 2.7, 6, 1500},
        {"reset=256K,first=1,no_etag", H::kStateDone, "200,206rd", 0.3, 3, 1500},  // Last-Modified
        {"reset=256K,first=1,norange,throttle=4M", H::kStateDone, "200,200re", 0.5, 3, 1500},
        {"reset=256K,first=1,etag_changes", H::kStateDone, "200,200re", 0.3, 3, 1500},
        {"reset=256K,first=1,range_shift=1000", H::kStateDone, "200,206re,200", 1.0, 4, 1500},
        {"reset=256K,first=1,weak_etag,no_last_modified", H::kStateDone, "200,200", 0.3, 3, 1500},
        {"stall_body=256K,first=1", H::kStateDone, "200,206re", 1.3, 4, 1000},
        {"stall_body=100K", kAny, "200,206re,206re,206re", 6.7, 11, 1000},
        {"status=404", H::kErrStatus, "404", 0, 2, 1500},
        {"redirect_loop", kAny, "302,302,302,302,302,302", 0, 2, 1500, "0"},  // redirects are one attempt
        {"status=503,retry_after=1,first=1", H::kStateDone, "503,200", 0.95, 3, 1500},
        {"status=503,retry_after=60", H::kErrStatus, "503", 0, 2, 1500},
        // A byte every 0.9 s never trips the idle time-out: the rate floor
        // (60 KiB a minute) ends it a minute after its first byte.
        {"trickle=900,first=1", H::kStateDone, "200,206re", 60.5, 66, 1500},
    };
    std::vector<std::unique_ptr<H>> hs;
    std::vector<std::string> names;
    std::vector<double> shown(std::size(cases), 0);
    std::mutex mtx;
    std::vector<std::vector<H::AttemptReport>> reports(std::size(cases));
    const double start = Now();
    for (size_t i = 0; i < std::size(cases); ++i) {
        names.push_back(Unique("retry"));
        hs.push_back(Start(Url("/fault/" + cases[i].faults + "/gen/1M/" + names.back()), cases[i].idleMs, UINT64_MAX,
                           true, [&, i](const H::AttemptReport& r) {
                               std::lock_guard<std::mutex> lk(mtx);
                               reports[i].push_back(r);
                           }));
    }
    const std::vector<double> took = WaitAll(hs, start, 70, [&](size_t i) {
        EXPECT_GE(hs[i]->GetDownProgress(), shown[i]) << cases[i].faults;
        shown[i] = hs[i]->GetDownProgress();
    });
    for (size_t i = 0; i < hs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.faults);
        const int state = hs[i]->GetState();
        EXPECT_TRUE(c.state == kAny ? state < 0 : state == c.state) << state;
        EXPECT_EQ(c.requests, RequestLog(names[i]));
        EXPECT_TRUE(took[i] >= c.minS && took[i] <= c.maxS) << took[i] << " s";
        std::string attempts, want = c.attempts;
        for (size_t n = 0; n < reports[i].size(); ++n) {
            const H::AttemptReport& r = reports[i][n];
            attempts += (n ? "," : "") + std::to_string(r.status) + (r.from > 0 ? "r" : "");
            EXPECT_EQ(int(n) + 1, r.n);
            if (n + 1 < reports[i].size()) {
                EXPECT_EQ(H::AttemptResult::Retry, r.result);
                EXPECT_LT(r.state, 0);
                EXPECT_GE(r.pauseMs, 0);
            } else {
                EXPECT_EQ(state == H::kStateDone ? H::AttemptResult::Done : H::AttemptResult::Final, r.result);
                EXPECT_EQ(state, r.state);
                EXPECT_EQ(-1, r.pauseMs);
            }
        }
        if (want.empty())
            for (char ch : c.requests) want += ch == 'e' || ch == 'd' ? "" : std::string(1, ch);
        EXPECT_EQ(want, attempts);
        if (state != H::kStateDone) continue;
        Bytes digest(32);
        EXPECT_TRUE(hs[i]->GetSha256(digest.data()));
        EXPECT_EQ(Sha256(GenBody(1 << 20)), digest);
        EXPECT_EQ(uint64_t(1) << 20, hs[i]->GetReceivedBytes());
        ASSERT_EQ(0, hs[i]->SaveData(Path(names[i]).c_str()));
        EXPECT_EQ(GenBody(1 << 20), ReadAll(dir + "\\" + names[i]));
    }
}

// A download kept from an earlier run: taken back and continued when the file
// holds the count and the server still has that file, else started over.
// What the owner is told is always on the disk, and never lags 4 MiB behind.
TEST_F(vantorhttp, KeptDownloadIsContinuedOnlyWhereItsBytesAreStillGood) {
    const uint64_t kSize = 10 << 20, kHeld = 3 << 20;
    struct Case {
        uint64_t fileBytes;
        std::string validator, requests;
    };
    const Case cases[] = {
        {kHeld + 1000, "\"gen-10485760-0\"", "206re"},  // longer than the count: cut
        {kHeld - 1, "\"gen-10485760-0\"", "200"},       // counts past the file
        {kHeld, "\"another-file\"", "200re"},
    };
    const Bytes body = GenBody(kSize);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requests);
        const std::string name = Unique("kept"), path = dir + "\\" + name + ".bin";
        {
            std::ofstream f(path, std::ios::binary);
            f.write(reinterpret_cast<const char*>(body.data()),
                    static_cast<std::streamsize>(std::min(c.fileBytes, kHeld)));
            if (c.fileBytes > kHeld) f << std::string(c.fileBytes - kHeld, '\xff');
        }
        std::mutex mtx;
        std::vector<uint64_t> told;
        bool onDisk = true;
        H h;
        h.EnableSha256();
        h.EnableRetries();
        const std::wstring wpath = Wide(path);
        h.KeepDownload(wpath.c_str(), {kHeld, static_cast<int64_t>(kSize), c.validator}, [&](const H::KeptDownload& k) {
            WIN32_FILE_ATTRIBUTE_DATA a;
            std::lock_guard<std::mutex> lk(mtx);
            onDisk =
                onDisk && GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &a) && k.nHeld <= a.nFileSizeLow;
            told.push_back(k.nHeld);
        });
        ASSERT_EQ(0, SendShort(h, Url("/gen/10M/" + name), 1500));
        ASSERT_EQ(H::kStateDone, Wait(h));
        EXPECT_EQ(c.requests, RequestLog(name));
        Bytes digest(32);
        EXPECT_TRUE(h.GetSha256(digest.data()));
        EXPECT_EQ(Sha256(body), digest);
        EXPECT_TRUE(onDisk);
        ASSERT_FALSE(told.empty());
        EXPECT_EQ(kSize, told.back());
        for (size_t i = 1; i < told.size(); ++i) EXPECT_LE(told[i] - std::min(told[i], told[i - 1]), 4u << 20);
        ASSERT_EQ(0, h.SaveData(wpath.c_str()));
        EXPECT_EQ(body, ReadAll(path));
    }
}

TEST_F(vantorhttp, CancelEndsThePauseBeforeARetryAtOnce) {
    const std::string name = Unique("pause");
    auto h = Start(Url("/fault/status=503,retry_after=5,first=1/gen/1M/" + name), 1500, UINT64_MAX, true);
    while (h->GetHttpStatus() != 503 && h->GetState() == H::kStateRunning) Sleep(10);
    Sleep(100);
    h->Cancel();
    const double start = Now();
    h.reset();
    EXPECT_LT(Now() - start, 0.3);
    EXPECT_EQ("503", RequestLog(name));
}

// Default 30 s time-outs: the worker stays stuck in WinHTTP long after.
TEST_F(vantorhttp, DestructorNeitherWaitsForTheServerNorLeavesFiles) {
    for (const char* path : {"/fault/stall_body=100K/gen/1M/a", "/fault/stall_headers/gen/1K/a", "/gen/1G/a"}) {
        SCOPED_TRACE(path);
        auto h = Start(Url(path), 30000);
        for (const double end = Now() + 0.5; Now() < end && h->GetReceivedBytes() < (100 << 10);) Sleep(10);
        ASSERT_EQ(H::kStateRunning, h->GetState());
        const double start = Now();
        h.reset();
        EXPECT_LT(Now() - start, 1.0);
        EXPECT_EQ(0, Count("*.part"));
    }
}

}  // namespace
