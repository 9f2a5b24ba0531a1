// The tray watch's answer after a burst of events, when the owner changes again while
// we ask the server about it: the reply brings that change's event into Xlib's queue,
// where the socket no longer wakes us for it.
#include "platform/x11/tray_selection_follow.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace tw {
namespace {

class ScriptedConnection final : public TraySelectionConnection {
   public:
    bool owner = false;
    bool eventOnSocket = false;
    std::vector<bool> ownerAfterEachRoundTrip;  // the owner changes just after the reply is made
    std::size_t roundTrips = 0;

    bool takeEvents(bool readSocket) override {
        const bool taken = eventQueued_ || (readSocket && eventOnSocket);
        eventQueued_ = false;
        if (readSocket) eventOnSocket = false;
        return taken;
    }
    bool owned() override {
        const bool answer = owner;
        if (roundTrips < ownerAfterEachRoundTrip.size()) {
            owner = ownerAfterEachRoundTrip[roundTrips];
            eventQueued_ = true;  // read along with the reply
        }
        ++roundTrips;
        return answer;
    }

   private:
    bool eventQueued_ = false;
};

TEST(TraySelectionFollow, AChangeThatArrivesWithAReplyIsNotMissed) {
    struct Row {
        const char* what;
        bool ownerNow, eventOnSocket;
        std::vector<bool> ownerAfterEachRoundTrip;
        bool answer;
        std::size_t roundTrips;
    };
    const Row rows[] = {
        {"nothing about the selection: no question", true, false, {}, false, 0},
        {"a tray arrives", true, true, {}, true, 1},
        {"a tray arrives and goes while we ask", true, true, {false}, false, 2},
        {"it goes, and another comes while we ask again", true, true, {false, true}, true, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedConnection connection;
        connection.owner = row.ownerNow;
        connection.eventOnSocket = row.eventOnSocket;
        connection.ownerAfterEachRoundTrip = row.ownerAfterEachRoundTrip;
        EXPECT_EQ(followTraySelection(connection, false), row.answer);
        EXPECT_EQ(connection.roundTrips, row.roundTrips);
    }
}

}  // namespace
}  // namespace tw
