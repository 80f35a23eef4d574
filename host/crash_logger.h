#pragma once

// Logs an unhandled exception ("crash code=... address=... module=...") and ends the process
// with exit code 3, so a test sees what happened instead of a silent death.

namespace host {

void install_crash_logger();

} // namespace host
