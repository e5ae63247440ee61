// The backup file name the updater proposes, and the version texts it shows.
#include <gtest/gtest.h>

#include "canfw/bootload.h"

namespace vz {
namespace {

TEST(BackupName, ModuleFamilyAndLocalTime) {
    // 9 December 2026, 14:03:07 local time.
    const int64_t wallUs = int64_t{1796824987} * 1000000;
    EXPECT_EQ(proposedBackupName("/backups/", 5, 0, wallUs), "/backups/000005_dsPIC30F_20261209-140307.bex");
    VersionRecord v;
    EXPECT_EQ(versionText(v), "unknown");
    v.major = 2;
    v.minor = 1;
    v.fourth = 7;
    EXPECT_EQ(versionText(v), "2.1.0.7");
    v.year = 2026;
    v.month = 3;
    v.day = 2;
    v.hour = 9;
    v.minute = 5;
    EXPECT_EQ(versionText(v), "2.1.0.7   Build time: 09:05:00 02.03.2026");
}

}  // namespace
}  // namespace vz
