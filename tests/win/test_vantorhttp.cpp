// CVantorHttp against the local update service and its injected faults.
#include "CVantorHttp.h"

#include <windows.h>
#include <bcrypt.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using H = CVantorHttp;

std::string Url(const std::string& path) {
    const char* port = std::getenv("LUMORA_TEST_PORT");
    return "http://127.0.0.1:" + std::string(port && *port ? port : "18480") + path;
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// What the service generates under /gen: byte i = (i*131 + (i>>16)) & 0xFF.
std::vector<uint8_t> GenBody(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + (i >> 16));
    return v;
}

std::vector<uint8_t> Sha256(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(32);
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    DWORD objLen = 0, got = 0;
    BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptGetProperty(alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objLen), sizeof objLen, &got, 0);
    std::vector<UCHAR> obj(objLen);
    BCryptCreateHash(alg, &hash, obj.data(), objLen, nullptr, 0, 0);
    BCryptHashData(hash, const_cast<PUCHAR>(data.data()), static_cast<ULONG>(data.size()), 0);
    BCryptFinishHash(hash, out.data(), 32, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(alg, 0);
    return out;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> v;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return v;
    v.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    if (!v.empty() && !ReadFile(f, v.data(), static_cast<DWORD>(v.size()), &got, nullptr)) got = 0;
    v.resize(got);
    CloseHandle(f);
    return v;
}

// Polls every 10 ms until the state is final or capMs has passed.
template <class OnPoll>
int Wait(const H& h, int capMs, OnPoll onPoll) {
    const auto start = Clock::now();
    while (h.GetState() == H::kStateRunning && Since(start) * 1000 < capMs) {
        onPoll();
        Sleep(10);
    }
    return h.GetState();
}
int Wait(const H& h, int capMs = 20000) { return Wait(h, capMs, [] {}); }

// Lower case, so that `ctest -R vantorhttp` picks these tests.
class vantorhttp : public ::testing::Test {
protected:
    void SetUp() override {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        // Wine reuses process ids, and a failed run may have left its folder.
        for (unsigned n = GetTickCount(); dir.empty(); ++n) {
            const std::string d = std::string(tmp) + "vantor-test-" + std::to_string(n);
            if (CreateDirectoryA(d.c_str(), nullptr)) dir = d;
            ASSERT_EQ(ERROR_ALREADY_EXISTS, dir.empty() ? GetLastError() : ERROR_ALREADY_EXISTS);
        }
    }
    void TearDown() override {
        EXPECT_EQ(0, Count("*.part")) << "a temporary file outlived its transfer";
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
        for (BOOL more = f != INVALID_HANDLE_VALUE; more; more = FindNextFileA(f, &fd))
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + "\\" + fd.cFileName).c_str());
            else if (fd.cFileName[0] != '.') RemoveDirectoryA((dir + "\\" + fd.cFileName).c_str());
        if (f != INVALID_HANDLE_VALUE) FindClose(f);
        RemoveDirectoryA(dir.c_str());
    }
    int Count(const char* pattern) const {
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
        int n = 0;
        for (BOOL more = f != INVALID_HANDLE_VALUE; more; more = FindNextFileA(f, &fd)) ++n;
        if (f != INVALID_HANDLE_VALUE) FindClose(f);
        return n;
    }
    // Starts a transfer in this test's folder, with short time-outs unless told otherwise.
    std::unique_ptr<H> Start(const std::string& url, int idleMs = 1500, uint64_t maxBody = 0) {
        auto h = std::make_unique<H>();
        h->SetTempDir(dir.c_str());
        h->SetTimeouts(2000, idleMs);
        h->SetMaxBodySize(maxBody);
        h->EnableSha256();
        EXPECT_EQ(0, h->SendData("GET", url.c_str())) << url;
        return h;
    }
    std::string dir;
};

TEST_F(vantorhttp, ThrottledDownloadShowsProgressAndSavesExactBytes) {
    const size_t size = 512 << 10;
    auto h = Start(Url("/fault/throttle=256K/gen/512K/setup.exe"));
    bool sawMiddle = false;
    double last = 0;
    EXPECT_EQ(H::kStateDone, Wait(*h, 10000, [&] {
        const double p = h->GetDownProgress();
        EXPECT_GE(p, last);
        last = p;
        sawMiddle |= p > 0 && p < 1;
        if (p > 0 && p < 1) {
            EXPECT_EQ(-1, h->SaveData((dir + "\\early.exe").c_str()));
        }
    }));
    EXPECT_TRUE(sawMiddle);
    EXPECT_EQ(1.0, h->GetDownProgress());
    EXPECT_EQ(200, h->GetHttpStatus());
    EXPECT_EQ(int64_t(size), h->GetContentLength());
    EXPECT_EQ(size, h->GetReceivedBytes());
    ASSERT_EQ(0, h->SaveData((dir + "\\setup.exe").c_str()));
    EXPECT_EQ(0, Count("*.part"));
    EXPECT_EQ(GenBody(size), ReadAll(dir + "\\setup.exe"));
    EXPECT_EQ(-1, h->SaveData((dir + "\\again.exe").c_str()));
    EXPECT_EQ(0, Count("early.exe") + Count("again.exe"));
}

// All at once, each checked against its own content: transfers must not
// share anything. Sizes avoid multiples of the write size.
TEST_F(vantorhttp, ConcurrentDownloadsEachDeliverTheirOwnBody) {
    struct Case { std::string path; size_t size; bool hasLength; };
    const Case cases[] = {{"/gen/5242887/a.bin", 5242887, true},
                          {"/fault/nolength/gen/1048579/b.bin", 1048579, false},
                          {"/fault/throttle=1M/gen/777777/c.bin", 777777, true},
                          {"/fault/redirect=3/gen/1000/d.bin", 1000, true},
                          {"/fault/redirect=5/gen/0/e.bin", 0, true}};
    std::vector<std::unique_ptr<H>> hs;
    for (const Case& c : cases) hs.push_back(Start(Url(c.path)));
    for (size_t i = 0; i < hs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.path);
        H& h = *hs[i];
        ASSERT_EQ(H::kStateDone, Wait(h));
        EXPECT_EQ(c.hasLength ? int64_t(c.size) : -1, h.GetContentLength());
        EXPECT_EQ(c.hasLength ? 1.0 : 0.0, h.GetDownProgress());
        EXPECT_EQ(c.size, h.GetReceivedBytes());
        const std::vector<uint8_t> want = GenBody(c.size);
        std::vector<uint8_t> digest(32);
        EXPECT_TRUE(h.GetSha256(digest.data()));
        EXPECT_EQ(Sha256(want), digest);
        const std::string out = dir + "\\out" + std::to_string(i);
        ASSERT_EQ(0, h.SaveData(out.c_str()));
        EXPECT_EQ(want, ReadAll(out));
    }
    H plain;  // hashing only when asked for
    plain.SendData("GET", Url("/gen/1K/p").c_str());
    uint8_t digest[32];
    EXPECT_EQ(H::kStateDone, Wait(plain));
    EXPECT_FALSE(plain.GetSha256(digest));
}

// Also run side by side; the slow ones bound the time.
TEST_F(vantorhttp, FailuresEndInTheRightState) {
    const int kAnyFailure = 99;
    struct Case { std::string url; int state; int status; double minS, maxS; };
    const Case cases[] = {
        {Url("/fault/status=404/gen/1K/a"), H::kErrStatus, 404, 0, 3},
        {Url("/files/none-such.exe"), H::kErrStatus, 404, 0, 3},
        {Url("/fault/status=500/gen/1K/a"), H::kErrStatus, 500, 0, 3},
        {"http://127.0.0.1:1/a", H::kErrFailed, 0, 0, 3},
        {Url("/fault/close/gen/1K/a"), H::kErrFailed, 0, 0, 3},
        {Url("/fault/stall_headers/gen/1K/a"), H::kErrFailed, 0, 1.2, 4},
        {Url("/fault/stall_body=100K/gen/1M/a"), H::kErrFailed, 200, 1.2, 4},
        {Url("/fault/reset=100K/gen/1M/a"), kAnyFailure, 200, 0, 3},
        {Url("/fault/short=100K/gen/1M/a"), H::kErrShortBody, 200, 0, 3},
        {Url("/fault/redirect_loop/gen/1K/a"), kAnyFailure, -1, 0, 3},
        {Url("/fault/redirect=6/gen/1K/a"), kAnyFailure, -1, 0, 3},
        {Url("/gen/1G/a"), H::kErrTooLarge, 200, 0, 3},               // announced too large
        {Url("/fault/nolength/gen/64M/a"), H::kErrTooLarge, 200, 0, 3},  // grows too large
    };
    const auto start = Clock::now();
    std::vector<std::unique_ptr<H>> hs;
    std::vector<double> took(std::size(cases), -1);
    for (const Case& c : cases) hs.push_back(Start(c.url, 1500, 1 << 20));
    for (bool busy = true; busy && Since(start) < 15; Sleep(10)) {
        busy = false;
        for (size_t i = 0; i < hs.size(); ++i) {
            if (hs[i]->GetState() != H::kStateRunning && took[i] < 0) took[i] = Since(start);
            busy |= took[i] < 0;
        }
    }
    for (size_t i = 0; i < hs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.url);
        const int state = hs[i]->GetState();
        if (c.state == kAnyFailure) {
            EXPECT_LT(state, 0);
        } else {
            EXPECT_EQ(c.state, state);
        }
        if (c.status >= 0) {
            EXPECT_EQ(c.status, hs[i]->GetHttpStatus());
        }
        EXPECT_GE(took[i], c.minS);
        EXPECT_LE(took[i], c.maxS);
        EXPECT_LE(hs[i]->GetReceivedBytes(), (2u << 20)) << "kept reading past the limit";
        EXPECT_LE(hs[i]->GetDownProgress(), 1.0);
        uint8_t digest[32];
        EXPECT_FALSE(hs[i]->GetSha256(digest));
        EXPECT_EQ(-1, hs[i]->SaveData((dir + "\\x").c_str()));
    }
}

TEST_F(vantorhttp, BodyExactlyAtTheLimitIsAccepted) {
    for (const char* path : {"/gen/1M/a", "/fault/nolength/gen/1M/a"}) {
        auto h = Start(Url(path), 1500, 1 << 20);
        EXPECT_EQ(H::kStateDone, Wait(*h)) << path;
    }
}

TEST_F(vantorhttp, RefusesWhatItCannotFetch) {
    struct Case { const char* method; const char* url; int state; };
    const Case cases[] = {{"GET", nullptr, H::kErrBadUrl},           {"GET", "", H::kErrBadUrl},
                          {"GET", "ftp://127.0.0.1/a", H::kErrBadUrl}, {"GET", "not a url", H::kErrBadUrl},
                          {"POST", "http://127.0.0.1:1/a", H::kErrFailed}, {nullptr, "http://127.0.0.1:1/", H::kErrFailed}};
    for (const Case& c : cases) {
        H h;
        EXPECT_EQ(c.state, h.SendData(c.method, c.url)) << (c.url ? c.url : "(null)");
        EXPECT_EQ(c.state, h.GetState());
        EXPECT_LT(h.SendData("GET", Url("/gen/1K/a").c_str()), 0);
        EXPECT_EQ(c.state, h.GetState());
    }
    H idle;
    EXPECT_EQ(H::kStateIdle, idle.GetState());
}

TEST_F(vantorhttp, UnwritableTempFolderIsAFileError) {
    H h;
    h.SetTempDir((dir + "\\missing").c_str());
    h.SendData("GET", Url("/gen/1K/a").c_str());
    EXPECT_EQ(H::kErrFile, Wait(h));
}

TEST_F(vantorhttp, SaveDataReportsFileSystemRefusals) {
    const std::string locked = dir + "\\locked.exe";
    HANDLE f = CreateFileA(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, "old", 3, &put, nullptr);
    CreateDirectoryA((dir + "\\sub").c_str(), nullptr);
    for (const std::string& target : {dir + "\\missing\\a.exe", locked, dir + "\\sub"}) {
        SCOPED_TRACE(target);
        auto h = Start(Url("/gen/100K/a"));
        ASSERT_EQ(H::kStateDone, Wait(*h));
        EXPECT_EQ(-1, h->SaveData(target.c_str()));
        EXPECT_EQ(1, Count("*.part"));  // still the object's, until it goes
    }
    CloseHandle(f);
    EXPECT_EQ(std::vector<uint8_t>({'o', 'l', 'd'}), ReadAll(locked));
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
    EXPECT_LT(stopped, 1u << 20);
    EXPECT_EQ(0, Count("*.part"));  // the worker removed it on its way out
    EXPECT_EQ(H::kErrCancelled, h->GetState());
}

// Default 30 s time-outs: the worker stays stuck in WinHTTP long after.
TEST_F(vantorhttp, DestructorNeitherWaitsForTheServerNorLeavesFiles) {
    for (const char* path : {"/fault/stall_body=100K/gen/1M/a", "/fault/stall_headers/gen/1K/a", "/gen/1G/a"}) {
        SCOPED_TRACE(path);
        auto h = Start(Url(path), 30000);
        const auto start = Clock::now();
        while (Since(start) < 0.5 && h->GetReceivedBytes() < (100 << 10)) Sleep(10);
        ASSERT_EQ(H::kStateRunning, h->GetState());
        const auto t = Clock::now();
        h.reset();
        EXPECT_LT(Since(t), 1.0);
        EXPECT_EQ(0, Count("*.part"));
    }
}

}  // namespace
