#pragma once
// The share card: the troupe's latest moment as a 1200 × 630 PNG on the Desktop.
#include <QByteArray>
#include <QImage>
#include <filesystem>
#include <optional>

#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/desktop.h"
#include "windows/exports/share_card_content.h"

class QPainter;

namespace tw {

class TumblewickAgentHost;
class TumblewickSignatureToast;
struct ExportEnvironment;

class TumblewickShareCard {
   public:
    static constexpr int width = 1200;
    static constexpr int height = 630;

    // The last toast's moment, else the shared host's newest line. Main thread.
    static std::optional<std::filesystem::path> writeToDesktop();
    static std::optional<std::filesystem::path> writeToDesktop(const TumblewickSignatureToast& toast,
                                                               const TumblewickAgentHost& host,
                                                               const ExportEnvironment& environment,
                                                               const Calendar& calendar, Desktop& desktop);

    // The same with everything it reads passed in. Main thread (it paints). The
    // file's path, or nullopt when drawing, encoding, the Desktop or the write fails.
    static std::optional<std::filesystem::path> writeToDesktop(const ShareCardMoment& moment, Date now,
                                                               const Calendar& calendar,
                                                               const std::filesystem::path& desktopFolder,
                                                               Desktop& desktop);

    // The card at one pixel per point; a null image when it cannot be drawn.
    static QImage render(const ShareCardTexts& texts);
    // PNG bytes of a drawn card; empty when it cannot be encoded.
    static QByteArray pngData(const QImage& card);

   private:
    static void drawBunting(QPainter& painter, double width, double y);
};

}  // namespace tw
