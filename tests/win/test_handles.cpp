// The owners of Windows handles: each handle closed exactly once, by its
// last owner, and a selection undone before its object goes.
#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "common/Gdi.h"
#include "common/Handle.h"

namespace {
bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}
}  // namespace

TEST(Handles, TheLastOwnerClosesOnce) {
    const HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(IsOpen(raw));
    {
        CHandle first(raw);
        CHandle second(std::move(first));
        EXPECT_FALSE(first);
        CHandle third;
        third = std::move(second);
        EXPECT_EQ(third.Get(), raw);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    CHandle kept(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE released = kept.Release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(IsOpen(released)) << "given up, not closed";
    ::CloseHandle(released);

    // Both values by which opening functions fail are empty.
    EXPECT_FALSE(CHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CFindHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CFindHandle(nullptr));
}

TEST(Handles, SelectionIsUndoneBeforeItsObjectIsDeleted) {
    const CMemoryDC dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = ::GetCurrentObject(dc.Get(), OBJ_BITMAP);
    HBITMAP raw = nullptr;
    {
        const CGdiObject<HBITMAP> bitmap(::CreateCompatibleBitmap(dc.Get(), 4, 4));
        raw = bitmap.Get();
        const CSelectObject selected(dc.Get(), bitmap.Get());
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), raw);
    }
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_BITMAP), original);
    // A bitmap still selected somewhere could not have been deleted.
    EXPECT_EQ(::GetObjectType(raw), 0u);
}
