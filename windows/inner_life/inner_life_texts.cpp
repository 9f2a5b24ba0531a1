#include "windows/inner_life/inner_life_texts.h"

#include <algorithm>

#include "windows/inner_life/timeline_texts.h"

namespace tw {
namespace {

const char* const separator = " \u00B7 ";

}  // namespace

std::string innerLifeVoiceText(const std::optional<FleaAgentScheduler::DiagnosticEntry>& entry) {
    if (!entry) return "Recent: \u2014";
    const auto& actions = entry->recent_intent_actions;
    std::string text = "Recent: ";
    const std::size_t first = actions.size() - std::min(actions.size(), innerLifeActionsShown);
    for (std::size_t i = first; i < actions.size(); ++i) text += (i > first ? separator : "") + actions[i];
    return text;
}

std::string innerLifeBondsText(const std::vector<agent_host::Bond>& bonds) {
    if (bonds.empty()) return "Bonds: none yet";
    std::string text = "Bonds: ";
    for (std::size_t i = 0; i < bonds.size(); ++i)
        text += (i > 0 ? separator : "") + bonds[i].partner + " \u00D7" + std::to_string(bonds[i].count);
    return text;
}

InnerLifeContent innerLifeContent(const std::optional<FleaAgentScheduler::DiagnosticEntry>& entry,
                                  const std::vector<agent_host::RecentLine>& feed, const std::string& fleaId,
                                  const std::string& displayName, Date now) {
    InnerLifeContent content{.title = "Inner Life \u2014 " + displayName,
                             .name = displayName,
                             .voice = innerLifeVoiceText(entry),
                             .mood = entry ? entry->mood : MoodDimensions{}};
    const auto lines = linesOfFlea(feed, fleaId);
    const std::size_t shown = std::min(lines.size(), innerLifeLinesShown);
    for (auto line = lines.rbegin(); line != lines.rbegin() + static_cast<std::ptrdiff_t>(shown); ++line) {
        content.lines.push_back(
            {line->actionRaw + "  \u00B7  " + elapsedText(now.since(line->at), AgeUnits::upToMinutes) + "\n",
             Font{FontFamily::system, 9, FontWeight::semibold}, Color::rgb(1, 1, 0, 0.6)});
        content.lines.push_back({"  " + line->line + "\n\n",
                                 Font{FontFamily::system, 12, FontWeight::regular}, Color::white(1, 0.92)});
    }
    if (lines.empty())
        content.lines.push_back({"No dialogue yet \u2014 wait for an interesting decision.",
                                 Font{FontFamily::system, 11, FontWeight::regular}, Color::white(1, 0.4)});
    return content;
}

}  // namespace tw
