#include "mirroring/ControlCenterSelector.h"

#include "mirroring/ElementSearch.h"

#include <QSaveFile>
#include <QUrl>

#include <algorithm>

namespace telvanto::mirroring {

// One call in progress. It ends by handing its report to the next turn of the scheduler,
// so a caller never hears back from inside its own call.
class ControlCenterSelector::Run {
public:
    explicit Run(ControlCenterSelector& owner) : owner_(owner) {}
    virtual ~Run() = default;
    virtual void start() = 0;

protected:
    using Finder = std::function<ElementPtr()>;
    using Found = std::function<void(ElementPtr)>;

    ElementTree& tree() { return owner_.tree_; }
    const Panel& panel() const { return owner_.panel_; }

    void after(core::Duration delay, std::function<void()> next)
    {
        timer_ = owner_.scheduler_.schedule(delay, std::move(next));
    }

    // Tries at once, then every poll interval while the time limit has not passed; then
    // reports the element found, or none.
    void poll(core::Duration limit, Finder find, Found then)
    {
        attempt(owner_.scheduler_.now() + limit, std::move(find), std::move(then));
    }

    void finish(std::function<void()> report)
    {
        after(core::Duration::zero(), [&owner = owner_, self = this, report = std::move(report)] {
            owner.remove(self); // the report may end the selector too; nothing runs after it
            report();
        });
    }

    // Every exit after the panel application was found dismisses what the run opened.
    void close(const Element& application) { search::closePanel(tree(), application); }

private:
    void attempt(core::TimePoint deadline, Finder find, Found then)
    {
        if (ElementPtr element = find()) return then(std::move(element));
        after(ControlCenterSelector::pollInterval, [this, deadline, find = std::move(find), then = std::move(then)] {
            if (owner_.scheduler_.now() < deadline) attempt(deadline, find, then);
            else then(nullptr);
        });
    }

    ControlCenterSelector& owner_;
    core::TaskHandle timer_;
};

class ControlCenterSelector::Selection final : public Run {
public:
    Selection(ControlCenterSelector& owner, QString name, bool connect, std::function<void(bool)> done)
        : Run(owner), name_(std::move(name)), connect_(connect), done_(std::move(done))
    {
    }

    void start() override
    {
        app_ = tree().application(panel().application);
        if (!app_) return report(false);
        const ElementPtr item = search::panelItem(tree(), *app_, panel());
        if (!item) return closeAndReport(false);
        item->press();
        poll(tileWait, [this] { return search::findMirroringTile(app_, 0, panel()); },
             [this](const ElementPtr& tile) { pressTile(tile); });
    }

private:
    void pressTile(const ElementPtr& tile)
    {
        if (!tile) return closeAndReport(false);
        tile->press();
        poll(rowWait, [this] { return search::findReceiverRow(app_, 0, name_, panel()); },
             [this](const ElementPtr& row) { setRow(row); });
    }

    void setRow(const ElementPtr& row)
    {
        if (!row) return closeAndReport(false);
        if (search::boolValue(*row) == connect_) return closeAndReport(true);
        row->press();
        after(afterRowPress, [this] { closeAndReport(true); });
    }

    void closeAndReport(bool result)
    {
        close(*app_);
        report(result);
    }

    void report(bool result)
    {
        finish([done = std::move(done_), result] {
            if (done) done(result);
        });
    }

    const QString name_;
    const bool connect_;
    std::function<void(bool)> done_;
    ElementPtr app_;
};

class ControlCenterSelector::Dump final : public Run {
public:
    Dump(ControlCenterSelector& owner, QString path, std::function<void()> done)
        : Run(owner), path_(std::move(path)), done_(std::move(done))
    {
    }

    void start() override
    {
        app_ = tree().application(panel().application);
        if (!app_) return report();
        text_ = QStringLiteral("== extras\n");
        for (const ElementPtr& item : tree().statusItems(*app_)) text_ += search::describeElement(*item) + QLatin1Char('\n');
        const ElementPtr item = search::panelItem(tree(), *app_, panel());
        if (!item) return after(dumpBeforeTree, [this] { writeTree(); });
        item->press();
        after(dumpAfterItemPress, [this] {
            if (const ElementPtr tile = search::findMirroringTile(app_, 0, panel())) {
                text_ += QStringLiteral("== pressed tile ") + search::describeElement(*tile) + QLatin1Char('\n');
                tile->press();
            }
            after(dumpBeforeTree, [this] { writeTree(); });
        });
    }

private:
    void writeTree()
    {
        search::dumpTree(app_, 0, text_);
        close(*app_);
        const QString local = path_.startsWith(QLatin1String("file:")) ? QUrl(path_).toLocalFile() : path_;
        QSaveFile file(local);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text_.toUtf8());
            file.commit(); // a failed write leaves the old file as it was
        }
        report();
    }

    void report()
    {
        finish([done = std::move(done_)] {
            if (done) done();
        });
    }

    const QString path_;
    std::function<void()> done_;
    ElementPtr app_;
    QString text_;
};

ControlCenterSelector::ControlCenterSelector(ElementTree& tree, core::Scheduler& scheduler, Panel panel)
    : tree_(tree), scheduler_(scheduler), panel_(std::move(panel))
{
}

ControlCenterSelector::~ControlCenterSelector() = default;

void ControlCenterSelector::selectReceiver(const QString& name, bool connect, std::function<void(bool)> done)
{
    begin(std::make_unique<Selection>(*this, name, connect, std::move(done)));
}

void ControlCenterSelector::dumpControlCenter(const QString& path, std::function<void()> done)
{
    begin(std::make_unique<Dump>(*this, path, std::move(done)));
}

void ControlCenterSelector::begin(std::unique_ptr<Run> run)
{
    Run* started = run.get();
    runs_.push_back(std::move(run));
    started->start();
}

void ControlCenterSelector::remove(const Run* run)
{
    std::erase_if(runs_, [run](const std::unique_ptr<Run>& r) { return r.get() == run; });
}

} // namespace telvanto::mirroring
