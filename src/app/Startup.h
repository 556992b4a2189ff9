#pragma once

class frmMain;

namespace Startup {

// The program's entry: loads the catalogue, then creates and shows the main window.
// Returns the main window (owned by the caller) so that main() can run the event loop.
frmMain* Main();

} // namespace Startup
