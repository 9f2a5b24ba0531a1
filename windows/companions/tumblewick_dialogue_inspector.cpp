#include "windows/companions/tumblewick_dialogue_inspector.h"

#include "agent/host/tumblewick_agent_host.h"
#include "platform/clock.h"
#include "windows/companions/companion_style.h"

namespace tw {
namespace {

constexpr int panelWidth = 520;
constexpr int panelHeight = 420;

QTextCharFormat formatFor(InspectorStyle style) {
    switch (style) {
        case InspectorStyle::placeholder:
            return companion::format(companion::font(12), companion::white(0.5));
        case InspectorStyle::modelHeader:
            return companion::format(companion::font(10, QFont::DemiBold, true), companion::yellow(0.85));
        case InspectorStyle::templateHeader:
            return companion::format(companion::font(10, QFont::DemiBold, true),
                                     QColor::fromRgbF(0.7, 0.85, 1.0, 0.7));
        case InspectorStyle::line:
            return companion::format(companion::font(12), companion::white(0.92));
        case InspectorStyle::fallback:
            return companion::format(companion::font(9, QFont::Normal, true), companion::pink(0.8));
        case InspectorStyle::gap:
            break;
    }
    return {};
}

}  // namespace

TumblewickDialogueInspector::TumblewickDialogueInspector(Source source, QWidget* parent)
    : CompanionTextPanel({QStringLiteral("Tumblewick \u00B7 Dialogue inspector"),
                          {panelWidth, panelHeight},
                          0.94,
                          refreshMilliseconds,
                          10,
                          true,
                          true},
                         parent),
      source_(std::move(source)) {
    topLine().setFont(companion::font(10, QFont::Medium, true));
    QPalette colours = topLine().palette();
    colours.setColor(QPalette::WindowText, companion::yellow(0.7));
    topLine().setPalette(colours);
    text().setContentsMargins(4, 0, 4, 0);  // with the document margin: 14 wide, 10 high
}

TumblewickDialogueInspector::Source TumblewickDialogueInspector::hostSource(TumblewickAgentHost& host,
                                                                            const Clock& clock,
                                                                            CustomFleaList customFleas) {
    return [&host, &clock, customFleas = std::move(customFleas)] {
        return dialogueInspectorContent(withSpeakerNames(host.dialogueDebug(), customFleas()), clock.now());
    };
}

void TumblewickDialogueInspector::refresh() {
    const DialogueInspectorContent content = source_();
    topLine().setText(QString::fromStdString(content.stats));
    // Replaced whole; the scroll position is left as Qt keeps it.
    companion::showRuns(text(), content.runs, [](const auto& run) { return formatFor(run.style); });
}

QPoint TumblewickDialogueInspector::firstPlace(const QRect& frame) const {
    // 24 in from the right edge, 80 up from the bottom.
    return {frame.right() + 1 - panelWidth - 24, frame.bottom() + 1 - 80 - panelHeight};
}

}  // namespace tw
