#pragma once

#include "mirroring/DisplayServices.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
struct _XDisplay;

namespace telvanto::platform {

// The desktop's displays through XRandR, on a connection of its own. A display is a RandR
// output driven by a CRTC; mirroring is the same mode and origin on two CRTCs. Changes apply
// at once and for the session only: nothing is written to the user's display settings.
// Without an X server, or with one lacking RandR 1.2, there are no displays and nothing
// changes. X errors are caught; a server that goes away leaves an empty, quiet object.
class XRandrDisplays final : public QObject, public mirroring::DisplayServices {
    Q_OBJECT

public:
    using DisplayId = mirroring::DisplayId;

    // displayName: an X display such as ":1"; empty means $DISPLAY.
    explicit XRandrDisplays(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~XRandrDisplays() override;

    bool isAvailable() const { return display_ != nullptr && !lost_; }

    std::vector<DisplayId> onlineDisplays() override;
    std::vector<mirroring::Screen> screens() override;
    bool isBuiltin(DisplayId display) override;
    DisplayId mirrorsDisplay(DisplayId display) override;
    std::uint32_t pixelsWide(DisplayId display) override;
    std::unique_ptr<Transaction> beginConfiguration() override;
    void setReconfigurationCallback(std::function<void()> callback) override;

    // Called by Xlib when the connection breaks.
    void connectionLost();

private:
    class XTransaction;
    // One step of a transaction, as asked.
    struct Op {
        enum class Kind { mirror, origin };
        Kind kind = Kind::mirror;
        DisplayId display = 0;
        DisplayId master = 0;
        int x = 0, y = 0;
    };

    struct Output {
        unsigned long id = 0;
        QString name;       // the output's, "DUMMY1", "HDMI-1"
        QString screenName; // the monitor's own name when it tells one, else the output's
        bool builtin = false;
        unsigned long crtc = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0;
        unsigned long mode = 0;
        unsigned short rotation = 1;
        std::vector<unsigned long> modes;       // what the output can show
        std::vector<unsigned long> crtcOutputs; // every output its CRTC drives
        bool online() const { return crtc != 0 && mode != 0; }
    };
    struct Layout {
        std::vector<Output> outputs; // in the server's order
        std::map<unsigned long, std::pair<unsigned, unsigned>> modeSizes; // mode -> width, height
        const Output* find(DisplayId id) const;
    };

    const Layout& layout();
    Layout readLayout();
    bool readBuiltin(unsigned long output, const QString& name);
    std::optional<QString> readMonitorName(unsigned long output);
    DisplayId masterOf(const Layout& layout, const Output& output) const;
    void readEvents();
    void pollQueuedEvents();
    void apply(const std::vector<Op>& ops);

    _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
    int eventBase_ = 0;
    bool lost_ = false;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> changed_;
    std::optional<Layout> layout_; // read once per turn of the event loop
    // Mirror sets this object made, display -> master: they decide which member is the master.
    std::map<DisplayId, DisplayId> masters_;
};

} // namespace telvanto::platform
