#include "windows/companions/tumblewick_recent_thoughts_panel.h"

#include "agent/host/tumblewick_agent_host.h"
#include "windows/companions/companion_style.h"

namespace tw {
namespace {

QTextCharFormat formatFor(ThoughtsStyle style) {
    switch (style) {
        case ThoughtsStyle::placeholder:
            return companion::format(companion::font(12), companion::white(0.5));
        case ThoughtsStyle::header:
            return companion::format(companion::font(11, QFont::DemiBold), companion::yellow(0.75));
        case ThoughtsStyle::body:
            break;
        case ThoughtsStyle::rule:
            return companion::format(companion::font(9), companion::white(0.18));
        case ThoughtsStyle::tally:
            return companion::format(companion::font(10, QFont::Medium), companion::white(0.55));
        case ThoughtsStyle::activity:
            return companion::format(companion::font(11, QFont::Normal, true), companion::yellow(0.55));
    }
    return companion::format(companion::font(12), companion::white(0.92));
}

}  // namespace

TumblewickRecentThoughtsPanel::TumblewickRecentThoughtsPanel(Source source, QWidget* parent)
    : CompanionTextPanel(
          {QStringLiteral("Recent thoughts"), {340, 280}, 0.92, refreshMilliseconds, 12, false}, parent),
      source_(std::move(source)) {
    topLine().setText(QStringLiteral("\U0001FA84  Recent thoughts"));
    topLine().setFont(companion::font(12, QFont::DemiBold));
    QPalette colours = topLine().palette();
    colours.setColor(QPalette::WindowText, companion::yellow(0.85));
    topLine().setPalette(colours);
}

TumblewickRecentThoughtsPanel::Source TumblewickRecentThoughtsPanel::hostSource(TumblewickAgentHost& host,
                                                                                const Clock& clock,
                                                                                CustomFleaList customFleas) {
    return [&host, &clock, customFleas = std::move(customFleas)] {
        const Date now = clock.now();
        return recentThoughtsRuns(withSpeakerNames(host.recentLines(), customFleas()), host.todayStats(now),
                                  host.decisionsByMinute(activityMinutes, now), now);
    };
}

void TumblewickRecentThoughtsPanel::refresh() {
    // Replaced whole: at most twelve entries and two short lines, once a second.
    companion::showRuns(text(), source_(), [](const auto& run) { return formatFor(run.style); });
}

QPoint TumblewickRecentThoughtsPanel::firstPlace(const QRect& frame) const {
    // 24 in from the right edge, 84 down from the top.
    return {frame.right() + 1 - width() - 24, frame.top() + 24 + 60};
}

}  // namespace tw
