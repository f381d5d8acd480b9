#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QString>

namespace telvanto::mirroring {

using DisplayId = std::uint32_t;

// A screen as the desktop names it, with the display that shows it.
struct Screen {
    QString name;
    DisplayId display = 0;
};

// The desktop's displays: what is online, how they are arranged, and a transaction that
// changes mirroring and placement for the current session only. Main thread only.
class DisplayServices {
public:
    // A configuration in progress; nothing changes until complete().
    class Transaction {
    public:
        virtual ~Transaction() = default;
        // display shows the same picture as master; master 0 ends mirroring of display.
        virtual void configureMirror(DisplayId display, DisplayId master) = 0;
        // Places the display's top-left corner in desktop coordinates.
        virtual void configureOrigin(DisplayId display, int x, int y) = 0;
        // Applies everything at once, for this session only.
        virtual void complete() = 0;
    };

    virtual ~DisplayServices() = default;

    // Ids of all online displays, in a stable order.
    virtual std::vector<DisplayId> onlineDisplays() = 0;
    // The screens in the desktop's order, each with its name.
    virtual std::vector<Screen> screens() = 0;
    virtual bool isBuiltin(DisplayId display) = 0;
    // The display that display mirrors, or 0.
    virtual DisplayId mirrorsDisplay(DisplayId display) = 0;
    virtual std::uint32_t pixelsWide(DisplayId display) = 0;
    // None when a configuration cannot begin.
    virtual std::unique_ptr<Transaction> beginConfiguration() = 0;
    // Called on the main thread after every reconfiguration; an empty function removes it.
    virtual void setReconfigurationCallback(std::function<void()> callback) = 0;
};

} // namespace telvanto::mirroring
