#include "Tumblewick/colony/mac_custom_flea_store.h"

#include <algorithm>
#include <cassert>

#include "platform/log.h"
#include "platform/settings_keys.h"
#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/store/troupe_store.h"

namespace tw {

namespace {

MacCustomFleaStore*& sharedSlot() {
    static MacCustomFleaStore* store = nullptr;
    return store;
}

MacCustomFlea* findFlea(std::vector<MacCustomFlea>& fleas, const Uuid& id) {
    auto found = std::find_if(fleas.begin(), fleas.end(), [&](const MacCustomFlea& f) { return f.id == id; });
    return found == fleas.end() ? nullptr : &*found;
}

}  // namespace

MacCustomFleaStore::MacCustomFleaStore(Defaults& standardDefaults, const Clock& clock, MainQueue& mainQueue,
                                       TroupeStore* troupe)
    : defaults_(standardDefaults),
      clock_(clock),
      mainQueue_(mainQueue),
      troupe_(troupe),
      mainThread_(std::this_thread::get_id()) {
    load();
}

MacCustomFleaStore& MacCustomFleaStore::shared() {
    auto& store = sharedSlot();
    assert(store && "MacCustomFleaStore::installShared was not called");
    assert(std::this_thread::get_id() == store->mainThread_ && "MacCustomFleaStore is main-thread only");
    return *store;
}

void MacCustomFleaStore::installShared(MacCustomFleaStore* store) { sharedSlot() = store; }

// MARK: - Observation

template <typename Mutate>
void MacCustomFleaStore::change(Mutate mutate) {
    if (observers_.empty()) {
        mutate(fleas_);
        return;
    }
    std::vector<MacCustomFlea> upcoming = fleas_;
    mutate(upcoming);
    for (const auto& [token, observer] : std::vector(observers_)) observer(upcoming);
    fleas_ = std::move(upcoming);
}

void MacCustomFleaStore::setFleas(std::vector<MacCustomFlea> fleas) {
    change([&](std::vector<MacCustomFlea>& list) { list = std::move(fleas); });
}

MacCustomFleaStore::ObserverToken MacCustomFleaStore::observeFleas(FleasObserver observer) {
    observers_.emplace_back(nextToken_, std::move(observer));
    return nextToken_++;
}

void MacCustomFleaStore::removeObserver(ObserverToken token) {
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

// MARK: - Operations

void MacCustomFleaStore::add(MacCustomFlea flea) {
    change([&](std::vector<MacCustomFlea>& list) { list.push_back(flea); });
    save();
    troupeEmit(TroupeEventKind::fleaCreated, TroupeFleaCreated{.fleaId = flea.id,
                                                               .name = flea.name,
                                                               .bodyColorIndex = flea.bodyColorIndex,
                                                               .hatKind = flea.hatKind,
                                                               .discoveredAct = flea.discoveredAct,
                                                               .createdAt = flea.createdAt,
                                                               .traits = {}});
}

void MacCustomFleaStore::remove(MacCustomFlea flea) {
    change([&](std::vector<MacCustomFlea>& list) {
        std::erase_if(list, [&](const MacCustomFlea& f) { return f.id == flea.id; });
    });
    save();
    troupeEmit(TroupeEventKind::fleaDeleted, TroupeFleaIdOnly{flea.id});
}

void MacCustomFleaStore::addXP(std::int64_t amount, Uuid fleaId) {
    if (!findFlea(fleas_, fleaId)) return;
    change([&](std::vector<MacCustomFlea>& list) {
        MacCustomFlea* flea = findFlea(list, fleaId);
        flea->xp = troupe_ops::saturatingAdd(flea->xp, amount);
    });
    save();
    if (amount >= 1)
        troupeEmit(TroupeEventKind::xpEarned, TroupeXPEarned{fleaId, amount, TroupeXPSource::practice});
}

void MacCustomFleaStore::addXPToAll(std::int64_t amount) {
    for (std::size_t i = 0; i < fleas_.size(); ++i) {
        change([&](std::vector<MacCustomFlea>& list) {
            list[i].xp = troupe_ops::saturatingAdd(list[i].xp, amount);
        });
    }
    save();
    if (amount >= 1)
        troupeEmit(TroupeEventKind::xpEarned, TroupeXPEarned{std::nullopt, amount, TroupeXPSource::click});
}

bool MacCustomFleaStore::unlock(std::string nodeID, Uuid fleaId, const ProgressionSpec& spec) {
    const MacCustomFlea* flea = findFlea(fleas_, fleaId);
    if (!flea) return false;
    const auto act = spec.acts.find(flea->discoveredAct);
    if (act == spec.acts.end()) return false;
    const auto& tree = act->second.techTree;
    const auto node = std::find_if(tree.begin(), tree.end(), [&](const auto& n) { return n.id == nodeID; });
    if (node == tree.end()) return false;
    const auto& owned = flea->unlockedNodeIDs;
    const auto holds = [&](const std::string& id) {
        return std::find(owned.begin(), owned.end(), id) != owned.end();
    };
    if (holds(nodeID)) return false;
    if (flea->xp < node->cost) return false;
    if (!std::all_of(node->prerequisites.begin(), node->prerequisites.end(), holds)) return false;
    if (node->branch) {
        const auto committed = committedBranch(*flea, tree);
        if (committed && *committed != *node->branch) return false;
    }
    const ProgressionSpec::TechNode bought = *node;
    const std::string actKey = flea->discoveredAct;
    change([&](std::vector<MacCustomFlea>& list) {
        MacCustomFlea* f = findFlea(list, fleaId);
        f->xp = troupe_ops::saturatingSub(f->xp, bought.cost);
    });
    change(
        [&](std::vector<MacCustomFlea>& list) { findFlea(list, fleaId)->unlockedNodeIDs.push_back(nodeID); });
    save();
    troupeEmit(TroupeEventKind::nodeUnlocked, TroupeNodeUnlocked{fleaId, actKey, nodeID, bought.cost});
    return true;
}

std::optional<std::string> MacCustomFleaStore::committedBranch(
    const MacCustomFlea& flea, const std::vector<ProgressionSpec::TechNode>& tree) {
    const auto& owned = flea.unlockedNodeIDs;
    for (const auto& node : tree) {
        if (node.branch && std::find(owned.begin(), owned.end(), node.id) != owned.end()) return node.branch;
    }
    return std::nullopt;
}

// MARK: - Storage

void MacCustomFleaStore::load() {
    auto stored = defaults_.object(key);
    if (!stored) {
        if (defaults_.hasUnreadableValue(key))
            log::warning(
                "The saved custom fleas are not readable settings data; starting with none, and keeping "
                "the saved copy aside before the next save");
        return;
    }
    const auto* data = std::get_if<DefaultsData>(&*stored);
    try {
        if (!data) throw JsonDecodeError(JsonErrorKind::typeMismatch, "", "not a data value");
        const std::string text(data->bytes.begin(), data->bytes.end());
        const OrderedJson document = parseJson(text);
        auto fleas = decodeMacCustomFleas(JsonReader(document));
        change([&](std::vector<MacCustomFlea>& list) { list = std::move(fleas); });
    } catch (const JsonDecodeError& error) {
        log::warning(std::string("The saved custom fleas cannot be read (") + error.what() +
                     "); starting with none, and keeping the saved copy aside before the next save");
        unreadable_ = std::move(*stored);
    }
}

void MacCustomFleaStore::save() {
    std::string bytes;
    try {
        bytes = dumpJson(encodeMacCustomFleas(fleas_));
    } catch (const JsonEncodeError& error) {
        log::warning(std::string("Cannot save the custom fleas: ") + error.what());
        return;
    }
    // One bad record must not silently wipe every flea: keep what was there. An entry
    // the settings could not even decode is checked at every save, as another instance
    // may have written it since.
    if (unreadable_ || defaults_.hasUnreadableValue(key)) {
        std::string backup = unreadableKey;
        for (int n = 2; defaults_.hasKey(backup) || defaults_.hasUnreadableValue(backup); ++n)
            backup = std::string(unreadableKey) + "_" + std::to_string(n);
        bool kept = true;  // false when the entry went away meanwhile
        if (unreadable_) {
            defaults_.set(backup, std::move(*unreadable_));
            unreadable_.reset();
        } else {
            kept = defaults_.moveUnreadableValue(key, backup);
        }
        if (kept) log::warning("The unreadable saved custom fleas are kept under \"" + backup + "\"");
    }
    defaults_.setData(key, bytes);
}

void MacCustomFleaStore::troupeEmit(TroupeEventKind kind, TroupePayload payload) {
    // Read afresh at every emit; written only by the troupe settings window.
    if (!defaults_.boolForKey(settings::troupeDualWrite.key)) return;
    auto emit = [&clock = clock_, troupe = troupe_, kind, payload = std::move(payload)]() {
        if (troupe == nullptr) {
            log::warning(
                "Dual writing is on but there is no troupe store; the change stays out of the troupe log");
            return;
        }
        troupe->appendKind(kind, payload, clock.now());
    };
    if (std::this_thread::get_id() == mainThread_) {
        emit();
    } else {
        mainQueue_.post(std::move(emit));
    }
}

}  // namespace tw
