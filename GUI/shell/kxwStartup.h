// kxwStartup: the program entry of the IDE. `WinMain` brings the IDE up on the GUI thread: the
// command line, the settings key, the resource folder, the settings, the splash, the main window
// and the debug windows, the file named on the command line; it runs the event loop and, after
// it, reports a start-up that failed. The steps before and after the loop are separate so that
// tests can run them around their own event processing.
#pragma once

#include <string>
#include <vector>

class TfrmMainWindow;
class TfrmSplash;

// Set when the main window could not come up; the first-show timer then closes it and the
// start-up shows the text in a box captioned `gStartupErrorCaption`.
extern std::string gStartupErrorText;
extern const char *const gStartupErrorCaption; // "Korvex unable to open"
extern TfrmSplash *frmSplash;

// The command line: "/debug" as the first argument (the whole word, any case), then "-c" and
// its value when at least two arguments are given, then one file; later arguments are ignored.
struct CommandLine {
    bool debug_switch = false;
    std::string c_value;
    bool has_file = false;
    std::string file;
};
CommandLine ParseCommandLine(const std::vector<std::string> &args); // args[0]: the program

// Completes the name (the current folder when it has none, the project extension ".kxp" when
// it has no extension) and, when that names a file that can be read, stores it as the
// command-line project (extension ".kxp" in any case) or source. A folder or an unreadable
// file stores nothing.
void ClassifyCommandLineFile(const std::string &name);

// Makes the debug windows whose "Child" setting is off (of those built: the messages window).
void CreateDebugWindows();

// Everything before the event loop: returns the main window, shown, with its first-show timer
// started. The message box host and the file dialogs are the caller's to install.
TfrmMainWindow *StartIde(const std::vector<std::string> &args, const std::string &program_path);
// Everything after the loop: the main window is deleted, the host services go back to their
// window-less hosts, and a start-up failure is reported.
void FinishIde();

// The program entry; 0 in every case.
int WinMain(int argc, char **argv);
