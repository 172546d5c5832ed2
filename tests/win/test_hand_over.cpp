// The installer as it is handed to the shell: held so that it cannot be
// swapped before it runs, and only when it matches.
#include "update/download/HandOver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/BCrypt.h"

TEST(VerifiedInstaller, IsHeldAgainstChangeUntilClosedAndMustMatch) {
    wchar_t szDir[MAX_PATH], szPath[MAX_PATH];
    ASSERT_TRUE(::GetTempPathW(MAX_PATH, szDir));
    ASSERT_TRUE(::GetTempFileNameW(szDir, L"ins", 0, szPath));
    const std::string body(3 << 20, 'x');  // more than one read
    {
        CHandle h(::CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD n = 0;
        ASSERT_TRUE(::WriteFile(h.Get(), body.data(), static_cast<DWORD>(body.size()), &n, nullptr));
    }
    CHandle file(::CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    IntegrityExpectation want;
    want.bHasSize = want.bHasSha256 = true;
    want.nSize = body.size();
    ASSERT_TRUE(Sha256OfFile(file.Get(), want.sha256));
    file.Close();

    {
        CHandle held = OpenVerifiedInstaller(szPath, want);
        ASSERT_TRUE(held.IsValid());
        // Reading (as the shell does to start it) is fine; changing is not.
        EXPECT_TRUE(CHandle(::CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr))
                        .IsValid());
        EXPECT_FALSE(CHandle(::CreateFileW(szPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr))
                         .IsValid());
        EXPECT_FALSE(::DeleteFileW(szPath));
        std::wstring other = std::wstring(szPath) + L".new";
        CHandle(::CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_FALSE(::MoveFileExW(other.c_str(), szPath, MOVEFILE_REPLACE_EXISTING));
        ::DeleteFileW(other.c_str());
    }
    IntegrityExpectation wrong = want;
    wrong.sha256[31] ^= 1;
    EXPECT_FALSE(OpenVerifiedInstaller(szPath, wrong).IsValid());
    wrong = want;
    wrong.nSize += 1;
    EXPECT_FALSE(OpenVerifiedInstaller(szPath, wrong).IsValid());
    EXPECT_TRUE(::DeleteFileW(szPath));  // closed on every way out
}
