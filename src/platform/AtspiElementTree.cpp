#include "platform/AtspiElementTree.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QSet>

#include <atomic>
#include <deque>
#include <map>

namespace telvanto::platform {

namespace {

const QString accessibleIface = QStringLiteral("org.a11y.atspi.Accessible");
const QString actionIface = QStringLiteral("org.a11y.atspi.Action");
const QString valueIface = QStringLiteral("org.a11y.atspi.Value");
const QString propertiesIface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString registry = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");

// AT-SPI roles and states used here (stable numbers of the AT-SPI interface).
enum Role : uint {
    roleCheckBox = 7,
    roleCheckMenuItem = 8,
    roleDialog = 16,
    roleFrame = 23,
    roleRadioButton = 44,
    roleRadioMenuItem = 45,
    roleStatusBar = 54,
    roleToggleButton = 62,
    roleWindow = 69,
};
enum State : uint { stateChecked = 4, stateShowing = 25, stateCheckable = 41 };
constexpr uint keySym = 3;         // press and release of a key symbol
constexpr int escapeKeySym = 0xff1b;

// Bounds on what a foreign application can make us read.
constexpr int maxChildren = 1000;
constexpr int statusBarDepth = 3;
constexpr int statusBarSearch = 200;

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("telvanto-atspi-%1").arg(++counter);
}

} // namespace

// The accessibility bus connection and what was learnt about applications on it.
struct AtspiElementTree::Bus {
    Bus() : connectionName(nextConnectionName()), connection(connectionName) {}
    ~Bus() { QDBusConnection::disconnectFromBus(connectionName); }

    bool connect()
    {
        if (connection.isConnected()) return true;
        QDBusConnection::disconnectFromBus(connectionName);
        QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
        if (address.isEmpty()) {
            QDBusConnection session = QDBusConnection::sessionBus();
            if (!session.isConnected()) return false;
            const QDBusMessage reply = session.call(
                QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                               QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
                QDBus::Block, static_cast<int>(callTimeout.count()));
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
            address = reply.arguments().first().toString();
        }
        if (address.isEmpty()) return false;
        connection = QDBusConnection::connectToBus(address, connectionName);
        return connection.isConnected();
    }

    // The reply's arguments; none on any error. Never runs the event loop.
    std::optional<QVariantList> call(const QString& service, const QString& path, const QString& interface,
                                     const QString& method, const QVariantList& args = {})
    {
        if (silent.contains(service) || !connection.isConnected()) return std::nullopt;
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(args);
        const QDBusMessage reply = connection.call(message, QDBus::Block, static_cast<int>(callTimeout.count()));
        if (reply.type() == QDBusMessage::ReplyMessage) return reply.arguments();
        const QString error = reply.errorName();
        if (error.endsWith(QLatin1String(".NoReply")) || error.endsWith(QLatin1String(".Timeout"))
            || error.endsWith(QLatin1String(".TimedOut")) || error.endsWith(QLatin1String(".ServiceUnknown"))
            || error.endsWith(QLatin1String(".Disconnected")) || error.endsWith(QLatin1String(".NameHasNoOwner")))
            silent.insert(service);
        return std::nullopt;
    }

    // A property through Properties.Get, one at a time: some toolkits crash on GetAll.
    std::optional<QVariant> property(const QString& service, const QString& path, const QString& interface,
                                     const QString& name)
    {
        const auto reply = call(service, path, propertiesIface, QStringLiteral("Get"), {interface, name});
        if (!reply || reply->isEmpty()) return std::nullopt;
        return reply->first().value<QDBusVariant>().variant();
    }

    QString connectionName;
    QDBusConnection connection;
    // Applications that timed out or left: not asked again until the next lookup.
    QSet<QString> silent;
    // Applications without an optional property, so it is asked once per application.
    std::map<QString, QSet<QString>> lacking;
};

namespace {

using Bus = AtspiElementTree::Bus;

struct Reference {
    QString service;
    QString path;
};

// The argument when it has exactly that signature: a foreign application may answer anything,
// and reading a mistyped argument is not safe.
std::optional<QDBusArgument> argument(const QVariant& value, QLatin1String signature)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return std::nullopt;
    auto arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != signature) return std::nullopt;
    return arg;
}

std::vector<Reference> references(const QVariant& value)
{
    std::vector<Reference> refs;
    const auto found = argument(value, QLatin1String("a(so)"));
    if (!found) return refs;
    const QDBusArgument& arg = *found;
    arg.beginArray();
    while (!arg.atEnd() && static_cast<int>(refs.size()) < maxChildren) {
        Reference ref;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> ref.service >> path;
        arg.endStructure();
        ref.path = path.path();
        if (!ref.service.isEmpty() && ref.path != nullPath) refs.push_back(std::move(ref));
    }
    arg.endArray(); // frees the array's reader, also when it stopped early
    return refs;
}

class AtspiElement final : public mirroring::Element {
public:
    AtspiElement(std::shared_ptr<Bus> bus, Reference ref) : bus_(std::move(bus)), ref_(std::move(ref)) {}

    std::optional<QString> text(Attribute attribute) const override
    {
        const auto cached = texts_.find(attribute);
        if (cached != texts_.end()) return cached->second;
        return texts_[attribute] = read(attribute);
    }

    std::optional<double> number() const override
    {
        const QSet<uint> states = this->states();
        if (states.contains(stateChecked)) return 1.0;
        const std::optional<uint> role = this->role();
        if (states.contains(stateCheckable)
            || (role && (*role == roleCheckBox || *role == roleCheckMenuItem || *role == roleRadioButton
                         || *role == roleRadioMenuItem || *role == roleToggleButton)))
            return 0.0;
        const auto interfaces = call(accessibleIface, QStringLiteral("GetInterfaces"));
        if (!interfaces || interfaces->isEmpty() || !interfaces->first().toStringList().contains(valueIface))
            return std::nullopt;
        const auto value = bus_->property(ref_.service, ref_.path, valueIface, QStringLiteral("CurrentValue"));
        bool ok = false;
        const double number = value ? value->toDouble(&ok) : 0;
        return ok ? std::optional(number) : std::nullopt;
    }

    std::vector<mirroring::ElementPtr> children() const override
    {
        std::vector<mirroring::ElementPtr> kids;
        const auto reply = call(accessibleIface, QStringLiteral("GetChildren"));
        if (!reply || reply->isEmpty()) return kids;
        for (Reference& ref : references(reply->first())) kids.push_back(std::make_shared<AtspiElement>(bus_, std::move(ref)));
        return kids;
    }

    QStringList actions() const override
    {
        QStringList names;
        const auto reply = call(actionIface, QStringLiteral("GetActions"));
        const auto found = reply && !reply->isEmpty() ? argument(reply->first(), QLatin1String("a(sss)")) : std::nullopt;
        if (!found) return names;
        const QDBusArgument& arg = *found;
        arg.beginArray();
        while (!arg.atEnd() && names.size() < maxChildren) {
            QString name, description, keys;
            arg.beginStructure();
            arg >> name >> description >> keys;
            arg.endStructure();
            names << name;
        }
        arg.endArray();
        return names;
    }

    void press() override { call(actionIface, QStringLiteral("DoAction"), {0}); }

    bool isOpenWindow() const override
    {
        const std::optional<uint> role = this->role();
        return role && (*role == roleFrame || *role == roleWindow || *role == roleDialog) && states().contains(stateShowing);
    }

    std::optional<uint> role() const
    {
        const auto reply = call(accessibleIface, QStringLiteral("GetRole"));
        if (!reply || reply->isEmpty()) return std::nullopt;
        return reply->first().toUInt();
    }

private:
    std::optional<QVariantList> call(const QString& interface, const QString& method, const QVariantList& args = {}) const
    {
        return bus_->call(ref_.service, ref_.path, interface, method, args);
    }

    std::optional<QString> string(const QString& method) const
    {
        const auto reply = call(accessibleIface, method);
        if (!reply || reply->isEmpty() || reply->first().userType() != QMetaType::QString) return std::nullopt;
        return reply->first().toString();
    }

    std::optional<QString> stringProperty(const QString& name) const
    {
        const auto value = bus_->property(ref_.service, ref_.path, accessibleIface, name);
        if (!value || value->userType() != QMetaType::QString) return std::nullopt;
        return value->toString();
    }

    // A property that older toolkits do not have: asked once per application.
    std::optional<QString> optionalProperty(const QString& name) const
    {
        QSet<QString>& lacking = bus_->lacking[ref_.service];
        if (lacking.contains(name)) return std::nullopt;
        const auto value = stringProperty(name);
        if (!value && !bus_->silent.contains(ref_.service)) lacking.insert(name);
        return value;
    }

    std::optional<QString> read(Attribute attribute) const
    {
        switch (attribute) {
        case Attribute::role:
            return string(QStringLiteral("GetRoleName"));
        case Attribute::subrole:
            return string(QStringLiteral("GetLocalizedRoleName"));
        case Attribute::title:
            return stringProperty(QStringLiteral("Name"));
        case Attribute::description:
            return stringProperty(QStringLiteral("Description"));
        case Attribute::identifier: {
            const auto id = optionalProperty(QStringLiteral("AccessibleId"));
            if (id && !id->isEmpty()) return id;
            // Toolkits that export no ids (Qt before 6.8) carry them in the description.
            const auto description = text(Attribute::description);
            static const QRegularExpression space(QStringLiteral("\\s"));
            if (description && !description->isEmpty() && !description->contains(space))
                return description;
            return id;
        }
        case Attribute::value:
            return std::nullopt; // AT-SPI values are numbers
        case Attribute::help:
            return optionalProperty(QStringLiteral("HelpText"));
        }
        return std::nullopt;
    }

    QSet<uint> states() const
    {
        QSet<uint> set;
        const auto reply = call(accessibleIface, QStringLiteral("GetState"));
        const auto found = reply && !reply->isEmpty() ? argument(reply->first(), QLatin1String("au")) : std::nullopt;
        if (!found) return set;
        const auto words = qdbus_cast<QList<uint>>(*found);
        for (int w = 0; w < std::min<qsizetype>(words.size(), 2); ++w)
            for (uint bit = 0; bit < 32; ++bit)
                if (words[w] & (1u << bit)) set.insert(static_cast<uint>(w) * 32 + bit);
        return set;
    }

    std::shared_ptr<Bus> bus_;
    Reference ref_;
    mutable std::map<Attribute, std::optional<QString>> texts_;
};

} // namespace

AtspiElementTree::AtspiElementTree() : bus_(std::make_shared<Bus>()) {}

AtspiElementTree::~AtspiElementTree() = default;

mirroring::ElementPtr AtspiElementTree::application(const QString& name)
{
    bus_->silent.clear();
    bus_->lacking.clear();
    if (!bus_->connect()) return nullptr;
    const auto apps = bus_->call(registry, rootPath, accessibleIface, QStringLiteral("GetChildren"));
    if (!apps || apps->isEmpty()) return nullptr;
    for (Reference& ref : references(apps->first())) {
        const auto appName = bus_->property(ref.service, ref.path, accessibleIface, QStringLiteral("Name"));
        if (appName && appName->toString() == name) return std::make_shared<AtspiElement>(bus_, std::move(ref));
    }
    return nullptr;
}

std::vector<mirroring::ElementPtr> AtspiElementTree::statusItems(const mirroring::Element& application)
{
    // The status area is the first status bar near the top of the application's windows.
    std::deque<std::pair<mirroring::ElementPtr, int>> queue;
    for (auto& child : application.children()) queue.emplace_back(std::move(child), 1);
    for (int visited = 0; !queue.empty() && visited < statusBarSearch; ++visited) {
        auto [element, level] = std::move(queue.front());
        queue.pop_front();
        const auto role = static_cast<const AtspiElement&>(*element).role();
        if (role == roleStatusBar) return element->children();
        if (level < statusBarDepth)
            for (auto& child : element->children()) queue.emplace_back(std::move(child), level + 1);
    }
    return {};
}

void AtspiElementTree::postEscape()
{
    if (!bus_->connection.isConnected()) return;
    QDBusMessage message = QDBusMessage::createMethodCall(registry, QStringLiteral("/org/a11y/atspi/registry/deviceeventcontroller"),
                                                          QStringLiteral("org.a11y.atspi.DeviceEventController"),
                                                          QStringLiteral("GenerateKeyboardEvent"));
    message.setArguments({escapeKeySym, QString(), keySym});
    bus_->connection.send(message); // no answer awaited: a key press needs none
}

} // namespace telvanto::platform
