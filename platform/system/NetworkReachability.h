#pragma once
// Whether a host or an address can be reached over the networks this machine
// is on now: the flags word of a target, read from a snapshot of the machine's
// network state, and a source of such snapshots that says when they change.

#include <QFlags>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

namespace tolvan {

enum class ReachabilityFlag : std::uint32_t {
    TransientConnection = 1,
    Reachable = 2,
    ConnectionRequired = 4,
    ConnectionOnTraffic = 8,
    InterventionRequired = 16,
    ConnectionOnDemand = 32,
    IsLocalAddress = 0x10000,
    IsDirect = 0x20000,
};
Q_DECLARE_FLAGS(ReachabilityFlags, ReachabilityFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(ReachabilityFlags)

// A host by name, or an IPv4 or IPv6 address.
using ReachabilityTarget = std::variant<QString, QHostAddress>;

// What the system's network service says of the machine as a whole.
enum class SystemReachability { Disconnected, Local, Site, Online };

struct InterfaceAddress {
    QHostAddress address;
    int prefixLength = -1;
    bool operator==(const InterfaceAddress&) const = default;
};

struct NetworkSnapshot {
    // Empty when no network service answers; the interfaces decide then.
    std::optional<SystemReachability> system;
    // The addresses of the interfaces that are up, running and not loopback.
    QList<InterfaceAddress> addresses;
    bool operator==(const NetworkSnapshot&) const = default;
};

// The flags of a target in a snapshot. Loopback targets are always reachable
// and direct; link-local ones only over a link-local address of our own;
// anything else over a connected network.
ReachabilityFlags reachabilityFlags(const ReachabilityTarget& target, const NetworkSnapshot& snapshot);

// A source of network snapshots. Between startWatching() and the matching
// stopWatching(), `changed` fires on the source's thread whenever the
// snapshot differs from the one before.
class NetworkStatusSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual NetworkSnapshot snapshot() const = 0;
    virtual void startWatching() {}
    virtual void stopWatching() {}

signals:
    void changed();
};

// The machine's own network state: the network-information backend where one
// loads, and the interfaces, polled while anyone listens. Main thread only.
class SystemNetworkStatus final : public NetworkStatusSource {
    Q_OBJECT
public:
    static std::shared_ptr<SystemNetworkStatus> shared();

    NetworkSnapshot snapshot() const override;
    void startWatching() override;
    void stopWatching() override;

private:
    SystemNetworkStatus();
    void checkForChange();

    NetworkSnapshot last_;
    int watchers_ = 0;
    QTimer* pollTimer_;
};

}  // namespace tolvan
