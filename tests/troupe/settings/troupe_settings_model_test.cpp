#include "troupe/settings/troupe_settings_model.h"

#include <gtest/gtest.h>

#include "platform/settings_keys.h"
#include "tests/troupe/store/troupe_store_harness.h"

namespace tw {
namespace {

using testing::TroupeHarness;

TEST(TroupeSettingsModel, TheDualWriteSwitchIsReadOnOpenAndWrittenOnChange) {
    TroupeHarness h;
    auto store = h.open();
    TroupeSettingsModel absent(*store, TroupePostgresEndpoint::production);
    EXPECT_FALSE(absent.dualWriteEnabled());
    absent.setDualWriteEnabled(false);
    EXPECT_FALSE(h.defaults.hasKey(settings::troupeDualWrite.key));  // no change, no write
    absent.setDualWriteEnabled(true);
    EXPECT_TRUE(h.defaults.boolForKey(settings::troupeDualWrite.key));
    h.defaults.setString(settings::troupeDualWrite.key, "YES");
    EXPECT_TRUE(TroupeSettingsModel(*store, TroupePostgresEndpoint::production).dualWriteEnabled());
    EXPECT_TRUE(TroupePostgresEndpoint::production.baseURL.ends_with(".invalid"));
}

}  // namespace
}  // namespace tw
