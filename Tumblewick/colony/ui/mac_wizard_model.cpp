#include "Tumblewick/colony/ui/mac_wizard_model.h"

#include <algorithm>

namespace tw {

std::string randomSampleName(RandomSource& random) {
    const auto last = static_cast<std::int64_t>(sampleNames.size()) - 1;
    const auto index = std::clamp<std::int64_t>(random.uniformInt(0, last), 0, last);
    return std::string(sampleNames[static_cast<std::size_t>(index)]);
}

std::optional<std::string> tallyQuizAnswers(const std::vector<std::string>& answers) {
    // Counts in the order the acts were first answered, so a tie keeps the earliest.
    std::vector<std::pair<std::string, int>> counts;
    for (const auto& act : answers) {
        auto found =
            std::find_if(counts.begin(), counts.end(), [&](const auto& entry) { return entry.first == act; });
        if (found == counts.end()) {
            counts.emplace_back(act, 1);
        } else {
            ++found->second;
        }
    }
    if (counts.empty()) return std::nullopt;
    const auto* kept = &counts.front();
    for (const auto& entry : counts) {
        if (entry.second > kept->second) kept = &entry;
    }
    return kept->first;
}

void MacWizardModel::findMyAct() {
    if (!canFindAct()) return;
    quizAnswers.clear();
    step = 1;
}

std::optional<int> MacWizardModel::questionIndex() const {
    if (step < 1 || step > static_cast<int>(quizQuestions.size())) return std::nullopt;
    return step - 1;
}

void MacWizardModel::answer(std::string_view actKey) {
    if (!questionIndex()) return;
    quizAnswers.emplace_back(actKey);
    if (step <= 2) {
        ++step;
        return;
    }
    revealedAct = tallyQuizAnswers(quizAnswers);
    step = revealStep;
}

const ProgressionSpec::ActSpec* MacWizardModel::revealedActSpec(const ProgressionSpec& spec) const {
    if (!revealedAct) return nullptr;
    const auto found = spec.acts.find(*revealedAct);
    return found == spec.acts.end() ? nullptr : &found->second;
}

std::optional<MacCustomFlea> MacWizardModel::makeFlea(const ProgressionSpec& spec, const Clock& clock) const {
    if (step != revealStep || revealedActSpec(spec) == nullptr) return std::nullopt;
    return MacCustomFlea::create(name, bodyColorIndex, hatKindID, *revealedAct, clock);
}

std::string questionCounterText(int questionIndex) {
    return "Question " + std::to_string(questionIndex + 1) + " of " + std::to_string(quizQuestions.size());
}

std::string welcomeButtonText(std::string_view name) {
    return "Welcome " + std::string(name) + " to the Circus";
}

}  // namespace tw
