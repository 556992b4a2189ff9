#include "common/ModCommonUi.h"

#include "platform/Desktop.h"

namespace ModCommon {

QString AskSaveFile() {
    platform::SaveDialogRequest request;
    request.title = QStringLiteral("保存到");
    request.filterDescription = QStringLiteral("Text files(*.txt)");
    request.filterPattern = QStringLiteral("*.txt");
    request.defaultSuffix = QStringLiteral("txt");
    request.overwritePrompt = false;
    return platform::FileDialog::getSaveFileName(request);
}

} // namespace ModCommon
