#include "support/TestEnvironment.h"

#include "platform/Desktop.h"

void TestEnvironment::SetUp() {
    platform::MessageBox::setRecording(true);
    platform::FileDialog::setRecording(true);
    platform::Shell::setRecording(true);
}
