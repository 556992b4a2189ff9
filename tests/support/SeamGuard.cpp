#include "support/SeamGuard.h"

#include "i18n/ModTransLate.h"
#include "platform/AppTitle.h"
#include "platform/HttpGet.h"
#include "platform/Installation.h"
#include "profile/ProfileFile.h"
#include "support/TestSupport.h"
#include "update/UpdateConfig.h"
#ifdef KORVANI_TEST_GUI
#include "platform/Desktop.h"
#endif

namespace testsupport {

namespace {

void resetSeams() {
    platform::Installation::setProgramFolder({});
    platform::Installation::setInstalledProgramFolder({});
    platform::AppTitle::setTitle(platform::AppTitle::builtInTitle());
    ModTransLate::ResetForTesting();
    profile::ProfileFile::setLockTimeout(profile::ProfileFile::DefaultLockTimeoutMs);
    profile::ProfileFile::setBeforeReplaceHook({});
    profile::ProfileFile::setBeforeRenameHook({});
    profile::ProfileFile::setInPlaceOnly(false);
    profile::ProfileFile::setFailingCall({});
    platform::HttpGet::setTimeoutForTesting(0);
    platform::HttpGet::setUnavailableForTesting(false);
    UpdateConfig::setBaseAddressForTesting({});
#ifdef KORVANI_TEST_GUI
    platform::MessageBox::setRecording(true);
    platform::MessageBox::clearShown();
    platform::MessageBox::setOnShow({});
    platform::FileDialog::setRecording(true);
    platform::FileDialog::clearRequests();
    platform::FileDialog::setNextFileName({});
    platform::Shell::setRecording(true);
    platform::Shell::clearOpened();
    platform::Announcement::clearTold();
    platform::Events::setHook({});
#endif
}

} // namespace

SeamGuard::SeamGuard() {
    if (qEnvironmentVariableIsSet(ConfigFolderVariable))
        configFolder_ = qgetenv(ConfigFolderVariable);
    resetSeams();
}

SeamGuard::~SeamGuard() {
    resetSeams();
    if (configFolder_)
        qputenv(ConfigFolderVariable, *configFolder_);
    else
        qunsetenv(ConfigFolderVariable);
}

} // namespace testsupport
