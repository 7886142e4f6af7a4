#pragma once
// One running copy of the application per user: a later launch hands its
// files to the running one through a local socket and ends.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tolvan {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the socket; the user's id is added, so each user has one copy.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another copy runs and took the files (maybe none): this one
    // should end. False when this copy is now the one that receives files.
    bool handOffToRunningInstance(const QStringList& paths, int timeoutMs = 2000);

    QString serverName() const;

signals:
    // Files a later launch handed over, on the main thread.
    void filesReceived(const QStringList& paths);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
