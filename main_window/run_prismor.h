#pragma once

// Runs Prismor: opens the window Main on the display that Qt's environment names, runs the event
// loop until the window ends the utility, and gives back the exit status. Reads no command line.
// Without a display it says so on stderr and gives back 1 at once.
[[nodiscard]] int runPrismor();
