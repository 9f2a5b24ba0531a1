#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "troupe/snapshot/troupe_fold.h"
#include "troupe_test_events.h"

namespace tw::testing {

// Events numbered in the order written; ids share that order unless given.
class FoldTest : public ::testing::Test {
   protected:
    TroupeEvent event(TroupePayload payload, double ts, Uuid device = kDeviceA) {
        return makeEvent(std::move(payload), ts, uuidN(++next_, 0xEE), device);
    }
    std::uint64_t next_ = 0;
    const Uuid flea1 = uuidN(1);
    const Uuid flea2 = uuidN(2);
};

}  // namespace tw::testing
