#pragma once
// How the tray watch reads its X connection, apart from the socket it waits on: plain
// C++ so the order of reads and round trips can be checked without a display.
namespace tw {

class TraySelectionConnection {
   public:
    virtual ~TraySelectionConnection() = default;
    // Takes every event Xlib holds, and with `readSocket` also those waiting on the
    // socket; true when one of them was about the tray selection.
    virtual bool takeEvents(bool readSocket) = 0;
    // Asks the server whether the selection has an owner: a round trip.
    virtual bool owned() = 0;
};

// Whether a tray runs once the events at hand are handled, starting from `present`.
bool followTraySelection(TraySelectionConnection& connection, bool present);

}  // namespace tw
