#pragma once
// The one owner of the user's custom fleas: the list in memory (the truth), its saved
// copy in the standard defaults under "tw_custom_fleas" (rewritten whole on every
// change), and, while dual writing is switched on, one troupe event per change.
// Main-thread only; the energy meter feeds it XP through CustomFleaXPSink.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"
#include "troupe/event_model/troupe_payload.h"
#include "troupe/settings/troupe_settings_model.h"

namespace tw {

class TroupeStore;

class MacCustomFleaStore final : public CustomFleaXPSink {
   public:
    static constexpr const char* key = "tw_custom_fleas";
    // Where a stored list that could not be read is kept before the first save
    // replaces it (with "_2", "_3", ... when that key is taken).
    static constexpr const char* unreadableKey = "tw_custom_fleas_unreadable";

    // Called before every change of the list, with the list as it is about to become.
    using FleasObserver = std::function<void(const std::vector<MacCustomFlea>& upcoming)>;
    using ObserverToken = std::uint64_t;

    // Loads the saved list. Every reference must outlive the store. Without a troupe
    // store, dual writing only logs that the change stays out of the troupe log.
    MacCustomFleaStore(Defaults& standardDefaults, const Clock& clock, MainQueue& mainQueue,
                       TroupeStore* troupe = nullptr);
    MacCustomFleaStore(const MacCustomFleaStore&) = delete;
    MacCustomFleaStore& operator=(const MacCustomFleaStore&) = delete;

    // The process-wide store: the app owns it and installs it while it lives.
    static MacCustomFleaStore& shared();
    static void installShared(MacCustomFleaStore* store);  // nullptr uninstalls

    // In the order they were added.
    const std::vector<MacCustomFlea>& fleas() const { return fleas_; }
    // Replaces the list (one change); does not save.
    void setFleas(std::vector<MacCustomFlea> fleas);
    ObserverToken observeFleas(FleasObserver observer);
    void removeObserver(ObserverToken token);

    // Arguments are taken by value: callers may pass an element of fleas(), which
    // every change replaces.
    //
    // Appends the flea (a repeated id gives a second entry), saves, emits "flea_created".
    void add(MacCustomFlea flea);
    // Removes every entry with the flea's id, saves and emits "flea_deleted", also when
    // none matched.
    void remove(MacCustomFlea flea);
    // Adds to the first flea with the id (saturating at the int64 bounds) and saves;
    // an amount of at least 1 emits "xp_earned" with source "practice". Unknown id: nothing.
    void addXP(std::int64_t amount, Uuid fleaId);
    // Adds to every flea (one change each) and saves, also with no fleas; an amount of
    // at least 1 emits one "xp_earned" for every flea, source "click".
    void addXPToAll(std::int64_t amount) override;
    // Spends the node's cost on it when the flea, the node of its act's tree, enough XP,
    // every prerequisite and the flea's branch allow; saves and emits "node_unlocked".
    bool unlock(std::string nodeID, Uuid fleaId, const ProgressionSpec& spec);
    // The branch of the first node of `tree` (in tree order) the flea holds that has one.
    static std::optional<std::string> committedBranch(const MacCustomFlea& flea,
                                                      const std::vector<ProgressionSpec::TechNode>& tree);

   private:
    template <typename Mutate>
    void change(Mutate mutate);
    void load();
    void save();
    void troupeEmit(TroupeEventKind kind, TroupePayload payload);

    Defaults& defaults_;
    const Clock& clock_;
    MainQueue& mainQueue_;
    TroupeStore* troupe_;  // where dual writing appends; none: nowhere
    std::thread::id mainThread_;
    std::vector<MacCustomFlea> fleas_;
    std::vector<std::pair<ObserverToken, FleasObserver>> observers_;
    ObserverToken nextToken_ = 1;
    std::optional<DefaultsValue> unreadable_;  // the stored value load() could not read
};

}  // namespace tw
