#pragma once
// The create-a-flea wizard without its widgets: the fixed quiz, the sample names, the
// step machine and the texts each step shows. Qt-free so it is tested directly.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "Tumblewick/colony/progression_spec.h"
#include "Tumblewick/stage/random_source.h"
#include "platform/clock.h"

namespace tw {

struct QuizAnswer {
    std::string_view text;
    std::string_view actKey;
};

struct QuizQuestion {
    std::string_view text;
    std::array<QuizAnswer, 7> answers;
};

inline constexpr std::array<QuizQuestion, 3> quizQuestions = {{
    {"When you're nervous, you...",
     {{{"Take a deep breath", "tightrope"},
       {"Swing through it", "trapeze"},
       {"Charge straight ahead", "cannon"},
       {"Snack your feelings", "strongman"},
       {"Pace in circles", "unicycle"},
       {"Laugh it off", "juggling"},
       {"Get loud", "firebreather"}}}},
    {"Your ideal way to travel is...",
     {{{"A narrow, perfect line", "tightrope"},
       {"Flying through the air", "trapeze"},
       {"Launched like a projectile", "cannon"},
       {"A very heavy cart", "strongman"},
       {"A fast little wheel", "unicycle"},
       {"Five things at once", "juggling"},
       {"A trail of flame", "firebreather"}}}},
    {"What do people love about you?",
     {{{"My calm", "tightrope"},
       {"My grace", "trapeze"},
       {"My confidence", "cannon"},
       {"My reliability", "strongman"},
       {"My energy", "unicycle"},
       {"My humour", "juggling"},
       {"My passion", "firebreather"}}}},
}};

inline constexpr std::array<std::string_view, 14> sampleNames = {
    "Zest",   "Jolt",   "Crumb", "Sprig", "Twitch", "Bitty",  "Dash",
    "Pippin", "Wobble", "Flick", "Glim",  "Mote",   "Sprout", "Bean",
};

// One of the sample names, uniformly.
std::string randomSampleName(RandomSource& random);

// The act named most often; among equal counts the one answered first. Nothing for
// no answers.
std::optional<std::string> tallyQuizAnswers(const std::vector<std::string>& answers);

class MacWizardModel {
   public:
    static constexpr int customizeStep = 0;
    static constexpr int revealStep = 4;

    // Steps forward only: customise (0), the three questions (1...3), the reveal (4).
    int step = customizeStep;
    std::string name;
    std::int64_t bodyColorIndex = 0;
    std::string hatKindID = "none";
    std::vector<std::string> quizAnswers;
    std::optional<std::string> revealedAct;

    // A name of blanks counts as a name; only the empty one does not.
    bool canFindAct() const { return step == customizeStep && !name.empty(); }
    void findMyAct();
    // The question shown at this step (0...2), or nothing outside the quiz.
    std::optional<int> questionIndex() const;
    // Records an answer of the current question; the third one runs the tally.
    void answer(std::string_view actKey);

    // The revealed act's entry in the document; nothing when no act was revealed or
    // the document lacks it (then no flea can be made).
    const ProgressionSpec::ActSpec* revealedActSpec(const ProgressionSpec& spec) const;
    // The new flea, only at the reveal with an act the document knows.
    std::optional<MacCustomFlea> makeFlea(const ProgressionSpec& spec, const Clock& clock) const;
};

// "Question 2 of 3" for index 1.
std::string questionCounterText(int questionIndex);
// "Welcome Zest to the Circus".
std::string welcomeButtonText(std::string_view name);

}  // namespace tw
