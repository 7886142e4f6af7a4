#pragma once
// A workspace that opens nothing: it keeps the addresses it was asked to
// open and answers that they opened. Tests put it in place with
// Workspace::setShared.

#include "platform/appkit/Workspace.h"

#include <QList>
#include <QUrl>

namespace tolvan::test {

struct RecordingWorkspace : Workspace {
    QList<QUrl> opened;
    void openURL(const QUrl& url, Completion done) override
    {
        opened << url;
        if (done)
            done(true);
    }
};

}  // namespace tolvan::test
