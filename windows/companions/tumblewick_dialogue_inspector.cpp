#include "windows/companions/tumblewick_dialogue_inspector.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <optional>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/clock.h"
#include "platform/x11/left_button_down.h"
#include "windows/companions/companion_style.h"
#include "windows/companions/kept_selection.h"

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

// The entries as the text view counts its positions.
ShownList shownEntries(const DialogueInspectorContent& content) {
    ShownList entries;
    std::u16string text;
    for (const InspectorRun& run : content.runs) {
        text += QString::fromStdString(run.text).toStdU16String();
        if (run.style != InspectorStyle::gap || entries.size() >= content.entryKeys.size()) continue;
        entries.push_back({content.entryKeys[entries.size()], std::move(text)});
        text.clear();
    }
    return entries;
}

// How far down the view's top the text at `position` starts.
int heightInView(const QTextEdit& view, int position) {
    QTextCursor at(view.document());
    at.setPosition(position);
    return view.cursorRect(at).top();
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
    text().viewport()->installEventFilter(this);
}

TumblewickDialogueInspector::Source TumblewickDialogueInspector::hostSource(TumblewickAgentHost& host,
                                                                            const Clock& clock,
                                                                            CustomFleaList customFleas) {
    return [&host, &clock, customFleas = std::move(customFleas)] {
        return dialogueInspectorContent(withSpeakerNames(host.dialogueDebug(), customFleas()), clock.now());
    };
}

void TumblewickDialogueInspector::refresh() {
    // A drag that selects must not see its text move; the refresh comes when it ends.
    // The button itself is asked: a menu or another window may take the release.
    if (pressedInText_ && leftButtonDown()) {
        putOff_ = true;
        return;
    }
    pressedInText_ = false;
    putOff_ = false;
    DialogueInspectorContent content = source_();
    topLine().setText(QString::fromStdString(content.stats));
    if (content.runs == shown_.runs) return;

    QTextEdit& view = text();
    const ShownList before = shownEntries(shown_);
    const ShownList after = shownEntries(content);
    const QTextCursor selected = view.textCursor();
    std::optional<TextRange> selection;
    if (selected.hasSelection())
        selection = keptRange(
            before, after,
            {static_cast<std::size_t>(selected.anchor()), static_cast<std::size_t>(selected.position())});
    // What stays put on screen: the selection, or else the top line once scrolled from
    // the newest entries (at the top they come into view as they arrive).
    const int held = selected.hasSelection()                 ? selected.selectionStart()
                     : view.verticalScrollBar()->value() > 0 ? view.cursorForPosition({0, 0}).position()
                                                             : -1;
    const std::optional<std::size_t> heldNow =
        held < 0 ? std::nullopt : keptOffset(before, after, static_cast<std::size_t>(held));
    const int heldHeight = held < 0 ? 0 : heightInView(view, held);

    companion::showRuns(view, content.runs, [](const auto& run) { return formatFor(run.style); });
    shown_ = std::move(content);
    if (selection) {
        QTextCursor cursor(view.document());
        cursor.setPosition(static_cast<int>(selection->anchor));
        cursor.setPosition(static_cast<int>(selection->position), QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
    }
    if (heldNow) {
        QScrollBar& scroll = *view.verticalScrollBar();
        scroll.setValue(scroll.value() + heightInView(view, static_cast<int>(*heldNow)) - heldHeight);
    }
}

bool TumblewickDialogueInspector::eventFilter(QObject* watched, QEvent* event) {
    const bool left =
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (left && event->type() == QEvent::MouseButtonPress) pressedInText_ = true;
    // Released here, the press is over: a later drag elsewhere holds no refresh back.
    if (left && event->type() == QEvent::MouseButtonRelease) pressedInText_ = false;
    if (event->type() == QEvent::MouseButtonRelease && putOff_) refresh();
    return CompanionTextPanel::eventFilter(watched, event);
}

void TumblewickDialogueInspector::hideEvent(QHideEvent* event) {
    CompanionTextPanel::hideEvent(event);
    // Hidden in the middle of a press, the panel hears no release.
    pressedInText_ = false;
}

QPoint TumblewickDialogueInspector::firstPlace(const QRect& frame) const {
    // 24 in from the right edge, 80 up from the bottom.
    return {frame.right() + 1 - panelWidth - 24, frame.bottom() + 1 - 80 - panelHeight};
}

}  // namespace tw
