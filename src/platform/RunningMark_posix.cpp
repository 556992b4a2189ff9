// The running program's mark on other systems: none (only the Windows installer looks).

#include "platform/RunningMark.h"

namespace platform {

RunningMark::RunningMark() = default;

RunningMark::~RunningMark() = default;

} // namespace platform
