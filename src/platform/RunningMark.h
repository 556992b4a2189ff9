#pragma once

namespace platform {

// The mark the program leaves while it runs, for its Windows installer and uninstaller:
// a named mutex (RunningMark_win.cpp) that they look for before they change anything.
// One object, made first thing in main, lives as long as the program. Other systems
// need no mark (RunningMark_posix.cpp does nothing).
class RunningMark {
public:
    RunningMark();
    ~RunningMark();
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    [[maybe_unused]] void* handle_ = nullptr; // the mutex; none on other systems
};

} // namespace platform
