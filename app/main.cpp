// The tolvan program: one running copy per user and home folder. A later
// launch hands its files to the running copy and ends; the first one starts
// the application and opens the files it was given.

#include "platform/appkit/SingleInstance.h"
#include "platform/foundation/LaunchTrace.h"
#include "platform/foundation/UserDefaults.h"
#include "source/shell/BriscaAdapter.h"
#include "source/shell/MoveToApplicationsFolder.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"
#include "app/LaunchArguments.h"

#include <QApplication>

#include <cstdlib>

namespace {

// The reporting service's key for this application.
const std::string kReportingAPIKey = "6b1e0c3f95d24a7e8c0d17f2a9b4e35c0f6d2a18";

void startKit()
{
    tolvan::BriscaAdapter::shared().startKit(kReportingAPIKey);
    // The crash test's switch: the kit is running, now die as a fault would.
    if (qEnvironmentVariable("TOLVAN_TEST_CRASH_AFTER_KIT_START") == QStringLiteral("abort"))
        std::abort();
}

}  // namespace

int main(int argc, char** argv)
{
    tolvan::launchMark(tolvan::LaunchMark::Main);
    QApplication application(argc, argv);
    tolvan::launchMark(tolvan::LaunchMark::ApplicationCreated);
    setApplicationIdentity();

    const LaunchArguments launch = parseLaunchArguments(application.arguments());
    tolvan::UserDefaults::standard().setArguments(application.arguments());

    tolvan::SingleInstance instance(singleInstanceKey());
    if (instance.handOffToRunningInstance(launch.files))
        return 0;

    TolvanServices services = TolvanServices::standard();
    services.startKit = startKit;
    services.offerMove = tolvan::OfferMoveToApplicationsFolder;
    TolvanController controller(services);
    QObject::connect(&instance, &tolvan::SingleInstance::filesReceived, &controller, &TolvanController::laterLaunchOpenFiles);

    controller.launch([&controller, &launch] {
        if (launch.makeRingtone)
            controller.makeRingtone(*launch.makeRingtone);
        else
            controller.applicationOpenFiles(launch.files);
    });
    return application.exec();
}
