// The tray watch's answer when the owner changes again while we ask the server about
// it: the reply brings that change's event into Xlib's queue, where the socket no
// longer wakes us for it.
#include "platform/x11/tray_selection_follow.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace tw {
namespace {

struct ScriptedConnection final : TraySelectionConnection {
    std::vector<bool> owners;  // answered in turn; each change after the first is queued with a reply
    bool eventOnSocket = true;
    bool queued = false;
    bool takeEvents(bool readSocket) override {
        const bool fromSocket = readSocket && std::exchange(eventOnSocket, false);
        return std::exchange(queued, false) || fromSocket;
    }
    bool owned() override {
        const bool answer = owners.at(0);
        owners.erase(owners.begin());
        queued = !owners.empty();
        return answer;
    }
};

TEST(TraySelectionFollow, AChangeThatArrivesWithAReplyIsNotMissed) {
    const std::pair<std::vector<bool>, bool> rows[] = {
        {{true}, true}, {{true, false}, false}, {{true, false, true}, true}};
    for (const auto& [owners, answer] : rows) {
        ScriptedConnection connection;
        connection.owners = owners;
        EXPECT_EQ(followTraySelection(connection, false), answer) << owners.size() << " round trips";
        EXPECT_TRUE(connection.owners.empty());
    }
    ScriptedConnection quiet;  // nothing about the selection: no question asked
    quiet.eventOnSocket = false;
    EXPECT_TRUE(followTraySelection(quiet, true));
}

}  // namespace
}  // namespace tw
