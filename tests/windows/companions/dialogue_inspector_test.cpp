#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>

#include "tests/windows/companions/companions_test_support.h"
#include "windows/companions/companion_style.h"
#include "windows/companions/dialogue_inspector_texts.h"
#include "windows/companions/kept_selection.h"
#include "windows/companions/tumblewick_dialogue_inspector.h"

namespace tw {
namespace {

using agent_host::DialogueDebugEntry;

TEST(DialogueInspectorTextsTest, AgesInWholeSecondsMinutesOrHours) {
    const std::pair<double, const char*> ages[] = {{-3, "-3s"},   {0.9, "0s"},  {59, "59s"}, {60, "1m"},
                                                   {3599, "59m"}, {3600, "1h"}, {7199, "1h"}};
    for (const auto& [seconds, text] : ages) EXPECT_EQ(inspectorAgeText(seconds), text) << seconds;
}

TEST(DialogueInspectorTextsTest, NewestThirtyCountedAndEachShownWithItsProducerCacheAndFallback) {
    EXPECT_EQ(dialogueInspectorContent({}, Date{0}),
              (DialogueInspectorContent{
                  "0 recent \u00B7 0 llm \u00B7 0 cache hits \u00B7 0 fallbacks",
                  {{InspectorStyle::placeholder,
                    "No dialogue calls yet \u2014 wait for the agent to fire an interesting action."}}}));

    // Odd entries from the model, every fifth from the cache, fallback reasons in turn.
    const char* fallbacks[] = {"", "noFallbackNeeded", "llmTimedOut"};
    std::vector<DialogueDebugEntry> entries;
    for (int i = 0; i < 100; ++i)
        entries.push_back({"flea" + std::to_string(i), "success", "thought_bubble",
                           i % 2 ? "llm" : "template", i % 5 == 0, i, fallbacks[i % 3],
                           "line " + std::to_string(i), Date{1000.0 + i}});
    const auto content = dialogueInspectorContent(entries, Date{1100});
    EXPECT_EQ(content.stats, "30 recent \u00B7 15 llm \u00B7 6 cache hits \u00B7 10 fallbacks");
    ASSERT_EQ(content.runs.size(), 30 * 3 + 10u);
    const std::vector<InspectorRun> newestTwo{
        {InspectorStyle::modelHeader,
         "flea99  \u00B7  success  \u00B7  thought_bubble  \u00B7  llm (99ms)  \u00B7  1s\n"},
        {InspectorStyle::line, "  \"line 99\"\n"},
        {InspectorStyle::gap, "\n"},
        {InspectorStyle::templateHeader,
         "flea98  \u00B7  success  \u00B7  thought_bubble  \u00B7  template (98ms)  \u00B7  2s\n"},
        {InspectorStyle::line, "  \"line 98\"\n"},
        {InspectorStyle::fallback, "  \u21B3 fallback: llmTimedOut\n"},
        {InspectorStyle::gap, "\n"}};
    EXPECT_EQ(std::vector<InspectorRun>(content.runs.begin(), content.runs.begin() + 7), newestTwo);
    EXPECT_EQ(
        content.runs[13].text,
        "flea95  \u00B7  success  \u00B7  thought_bubble  \u00B7  llm (95ms \u00B7 cache)  \u00B7  5s\n");
    EXPECT_EQ(content.runs[content.runs.size() - 2].text, "  \"line 70\"\n");
}

// Two entries aged "9s" and "1m"; a refresh brings one above them and ages the first.
TEST(DialogueInspectorTextsTest, ASelectionKeepsItsCharactersOfItsEntryAcrossARefresh) {
    const ShownList before{{"b", u"b 9s\n"}, {"a", u"a 1m\n"}};
    const ShownList after{{"c", u"c 0s\n"}, {"b", u"b 10s\n"}, {"a", u"a 1m\n"}};
    const ShownList aDropped{{"d", u"d 0s\n"}, {"c", u"c 1s\n"}, {"b", u"b 11s\n"}};
    const ShownList repeats{{"x", u"x\n"}, {"x", u"x\n"}, {"y", u"y\n"}};
    const ShownList oneMoreRepeat{{"x", u"x\n"}, {"x", u"x\n"}, {"x", u"x\n"}, {"y", u"y\n"}};
    const struct {
        const char* what;
        const ShownList& now;
        TextRange range;
        std::optional<TextRange> kept;
    } cases[] = {
        {"b's age: its new age", after, {2, 3}, TextRange{7, 9}},
        {"from b's age into a, backwards", after, {7, 3}, TextRange{13, 9}},
        {"to the end of the text", after, {6, 10}, TextRange{12, 16}},
        {"from b into a, a gone", aDropped, {0, 6}, std::nullopt},
        {"b still shown, two below", aDropped, {0, 1}, TextRange{10, 11}},
        {"other entries altogether", repeats, {0, 1}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(keptRange(before, c.now, c.range), c.kept) << c.what;
    EXPECT_EQ(entriesAddedAbove(repeats, oneMoreRepeat), 1u) << "entries that read alike";
}

// Pressed through the inspector's window as a person would, while lines keep arriving: a
// refresh waits only while the left button that pressed in the text is held. A left drag's
// selection then holds the same text, where it was on screen, until its entry leaves the
// thirty shown.
TEST(DialogueInspectorTest, ARefreshWaitsOnlyForALeftDragInTheTextAndKeepsItsSelectionInPlace) {
    const struct {
        const char* what;
        Qt::MouseButton button;
        bool inText;
        bool letGoOutside;
    } gestures[] = {
        {"a left drag in the text", Qt::LeftButton, true, false},
        {"a left drag that leaves the window", Qt::LeftButton, true, true},
        {"a left press above the text", Qt::LeftButton, false, false},
        {"a right click, its menu closed with Escape", Qt::RightButton, true, false},
        {"a middle click", Qt::MiddleButton, true, false},
    };
    for (const auto& g : gestures) {
        SCOPED_TRACE(g.what);
        std::vector<DialogueDebugEntry> entries;
        double now = 1000;
        const auto arrive = [&] {
            entries.push_back({"Pip", "success", "thought_bubble", "template", false, 3, "",
                               "line " + std::to_string(entries.size()), Date{now}});
        };
        for (int i = 0; i < 12; ++i, now += 1) arrive();
        TumblewickDialogueInspector inspector([&] { return dialogueInspectorContent(entries, Date{now}); });
        inspector.toggle();
        QWindow& window = *inspector.windowHandle();
        const QTextEdit& list = inspector.list();
        list.verticalScrollBar()->setValue(60);
        const QTextCursor line = list.document()->find(QStringLiteral("\"line 7\""));
        ASSERT_FALSE(line.isNull());
        const auto at = [&](int position) {
            QTextCursor cursor(list.document());
            cursor.setPosition(position);
            return list.viewport()->mapTo(&inspector, list.cursorRect(cursor).center());
        };
        const auto arrivedAndShown = [&] {
            const QString before = inspector.shownText();
            arrive();
            inspector.refresh();
            return inspector.shownText() != before;
        };

        QTest::mousePress(&window, g.button, {}, g.inText ? at(line.selectionStart()) : QPoint(20, 4));
        const QPoint letGo = g.letGoOutside ? QPoint(-20, -20) : at(line.selectionEnd());
        if (g.button == Qt::LeftButton) QTest::mouseMove(&window, letGo);
        EXPECT_EQ(QApplication::activePopupWidget() != nullptr, g.button == Qt::RightButton)
            << "the text's menu";
        EXPECT_EQ(arrivedAndShown(), !(g.button == Qt::LeftButton && g.inText))
            << "a refresh while it is held";
        QTest::mouseRelease(&window, g.button, {}, letGo);
        if (QWidget* menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_Escape);
        EXPECT_TRUE(inspector.shownText().contains(QString::fromStdString('"' + entries.back().line + '"')))
            << "the refresh comes when it is let go";
        EXPECT_TRUE(arrivedAndShown()) << "refreshes go on";
        if (&g != gestures) continue;

        // The drag in the text selected a line.
        ASSERT_EQ(list.textCursor().selectedText().toStdString(), "\"line 7\"");
        const auto shownAt = [&] {
            QTextCursor start(list.document());
            start.setPosition(list.textCursor().selectionStart());
            return list.cursorRect(start).top();
        };
        const int top = shownAt();
        // Three seconds of new lines, two a refresh.
        for (int refresh = 0; refresh < 2; ++refresh) {
            now += 1.5;
            arrive();
            arrive();
            inspector.refresh();
            EXPECT_EQ(list.textCursor().selectedText().toStdString(), "\"line 7\"") << refresh;
            EXPECT_EQ(shownAt(), top) << refresh;
        }
        const int revision = list.document()->revision();
        inspector.refresh();
        EXPECT_EQ(list.document()->revision(), revision) << "the same text is left alone";

        while (entries.size() <= 7 + inspectorEntriesShown) arrive();
        inspector.refresh();
        EXPECT_FALSE(list.textCursor().hasSelection()) << "its entry is shown no more";

        // A click in the text, with no refresh while it was down, is over once its button
        // is up: a drag in another window then holds no refresh back.
        QTest::mouseClick(&window, Qt::LeftButton, {}, list.viewport()->mapTo(&inspector, QPoint(30, 30)));
        QWidget elsewhere;
        elsewhere.show();
        QTest::mousePress(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
        ASSERT_TRUE(QGuiApplication::mouseButtons().testFlag(Qt::LeftButton));
        EXPECT_TRUE(arrivedAndShown()) << "a drag in another window";
        QTest::mouseRelease(elsewhere.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    }
}

TEST(DialogueInspectorTest, ShowsTheSourceInItsColoursAndRefreshesOnlyWhileShown) {
    std::vector<DialogueDebugEntry> entries{
        {"Pip", "refusal", "refusal_line", "template", false, 3, "llmUnavailable", "Not today.", Date{990}},
        {"Zing", "signature", "thought_bubble", "llm", true, 412, "", "Ta-da <b>!</b>", Date{999}}};
    TumblewickDialogueInspector inspector([&] { return dialogueInspectorContent(entries, Date{1000}); });
    EXPECT_FALSE(inspector.refreshTimer().isActive());
    inspector.toggle();
    ASSERT_TRUE(inspector.isVisible());
    EXPECT_TRUE(inspector.refreshTimer().isActive());
    EXPECT_EQ(inspector.topLineText().toStdString(),
              "2 recent \u00B7 1 llm \u00B7 1 cache hits \u00B7 1 fallbacks");
    const std::string shown = inspector.shownText().toStdString();
    EXPECT_NE(shown.find("\"Ta-da <b>!</b>\""), std::string::npos) << "flea text stays plain";
    EXPECT_LT(shown.find("Zing"), shown.find("Pip"));

    const struct {
        const char* text;
        QColor ink;
    } colours[] = {{"Zing", companion::yellow(0.85)},
                   {"Pip", QColor::fromRgbF(0.7, 0.85, 1.0, 0.7)},
                   {"fallback: llmUnavailable", companion::pink(0.8)}};
    for (const auto& c : colours) {
        const QTextCursor found = inspector.list().document()->find(QString::fromUtf8(c.text));
        ASSERT_FALSE(found.isNull()) << c.text;
        EXPECT_EQ(found.charFormat().foreground().color(), c.ink) << c.text;
    }

    inspector.grab().save(
        QString::fromStdString((testing::companionsOutputFolder() / "dialogue_inspector.png").string()));

    // A full list opens at the newest entry and stays where the reader scrolled it.
    for (int i = 0; i < 30; ++i) entries.push_back(entries.front());
    inspector.refresh();
    QScrollBar& scroll = *inspector.list().verticalScrollBar();
    ASSERT_GT(scroll.maximum(), 50);
    EXPECT_EQ(scroll.value(), 0);
    scroll.setValue(50);
    inspector.refresh();
    EXPECT_EQ(scroll.value(), 50);

    // Shown without taking the keyboard; a click in the list takes it, for copying, until hidden.
    const auto takesFocus = [&] {
        return !inspector.windowHandle()->flags().testFlag(Qt::WindowDoesNotAcceptFocus);
    };
    EXPECT_FALSE(takesFocus());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(inspector.list().viewport(), &press);
    EXPECT_TRUE(takesFocus());

    inspector.toggle();
    EXPECT_FALSE(inspector.isVisible());
    EXPECT_FALSE(inspector.refreshTimer().isActive());
    EXPECT_FALSE(takesFocus());
    entries.clear();
    inspector.toggle();
    EXPECT_EQ(inspector.topLineText().toStdString(),
              "0 recent \u00B7 0 llm \u00B7 0 cache hits \u00B7 0 fallbacks")
        << "fresh content at once";
}

}  // namespace
}  // namespace tw
