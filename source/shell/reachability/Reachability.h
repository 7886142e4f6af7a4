#pragma once
// Watches whether a host, the internet or the local link network can be
// reached, answers the current status, and posts
// "kNetworkReachabilityChangedNotification" (object: the Reachability) on the
// default notification centre whenever the network changes while notifying.

#include "platform/system/NetworkReachability.h"

#include <QMetaObject>
#include <QString>

#include <memory>
#include <optional>

namespace tolvan {

enum class NetworkStatus { NotReachable = 0, Reachable = 1 };

inline const QString kNetworkReachabilityChangedNotification = QStringLiteral("kNetworkReachabilityChangedNotification");

// "-R -------" and the like: a printable form of a flags word, as logged.
QString reachabilityFlagLine(ReachabilityFlags flags, const QString& comment);

class Reachability {
public:
    // A null source stands for the machine's own network state.
    static std::unique_ptr<Reachability> reachabilityWithHostName(const QString& hostName,
                                                                  std::shared_ptr<NetworkStatusSource> source = {});
    static std::unique_ptr<Reachability> reachabilityWithAddress(const QHostAddress& address,
                                                                 std::shared_ptr<NetworkStatusSource> source = {});
    static std::unique_ptr<Reachability> reachabilityForInternetConnection(std::shared_ptr<NetworkStatusSource> source = {});
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi(std::shared_ptr<NetworkStatusSource> source = {});

    // Stops notifying: no notification names this object once it is gone.
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Posts the change notification, on this thread, until stopNotifier().
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;

    NetworkStatus networkStatusForFlags(ReachabilityFlags flags) const;
    NetworkStatus localWiFiStatusForFlags(ReachabilityFlags flags) const;

    bool isLocalWiFi() const { return localWiFiRef_; }
    ReachabilityFlags flags() const;

private:
    Reachability(ReachabilityTarget target, std::shared_ptr<NetworkStatusSource> source, bool localWiFi);
    void reachabilityChanged();

    bool localWiFiRef_;
    ReachabilityTarget target_;
    std::shared_ptr<NetworkStatusSource> source_;
    QMetaObject::Connection notifier_;
};

}  // namespace tolvan
