#include "update/fs/FolderRule.h"

#include <gtest/gtest.h>

TEST(FolderRule, AFolderIsOursOnlyWhenAllOfItCouldBeRead) {
    FolderFacts own;
    own.bAttributesRead = own.bDirectory = own.bSecurityRead = own.bOwnerTrusted = true;
    const struct {
        const char* what;
        void (*change)(FolderFacts&);
        FolderCheck check;
    } cases[] = {
        {"ours alone", [](FolderFacts&) {}, FolderCheck::Own},
        {"open to others", [](FolderFacts& f) { f.bOpenToOthers = true; }, FolderCheck::Open},
        {"nothing there", [](FolderFacts& f) { f = FolderFacts(), f.bMissing = true; }, FolderCheck::Unusable},
        {"a file", [](FolderFacts& f) { f.bDirectory = false; }, FolderCheck::Unusable},
        {"a link", [](FolderFacts& f) { f.bLink = true; }, FolderCheck::Foreign},
        {"someone else's", [](FolderFacts& f) { f.bOwnerTrusted = false; }, FolderCheck::Foreign},
        // Another user can deny us reading his folder while letting us
        // create inside it: that is no folder of ours.
        {"attributes refused", [](FolderFacts& f) { f = FolderFacts(); }, FolderCheck::Foreign},
        {"security refused", [](FolderFacts& f) { f.bSecurityRead = f.bOwnerTrusted = false; }, FolderCheck::Foreign},
    };
    for (const auto& c : cases) {
        FolderFacts f = own;
        c.change(f);
        EXPECT_EQ(JudgeFolder(f), c.check) << c.what;
    }
}
