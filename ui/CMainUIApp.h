#pragma once
// The console's application object: start-up checks the rights, loads version.ini and the
// settings, chooses the language, makes sure only one console runs, and runs the main window
// modally. The process ends when it closes.
#include <QApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CMainUIDlg;
class SingleInstanceLock;

namespace detail {
// Holds the raw command line; a base class so it is taken before Qt removes its own options.
struct CommandLine {
    CommandLine(int argc, char** argv) : rawArguments(argv + 1, argv + argc) {}
    std::vector<std::string> rawArguments;  // after the program name
};
}  // namespace detail

class CMainUIApp : private detail::CommandLine, public QApplication {
public:
    CMainUIApp(int& argc, char** argv);
    ~CMainUIApp() override;

    // Call before making the application: false, with a message on standard error, when no
    // window can be opened (no display). Until the application is made, Qt's own fatal
    // failure to reach a display also ends the process with that message and status 1,
    // instead of an abort.
    static bool PrepareDisplay();
    static constexpr int kNoDisplayStatus = 1;

    // Runs start-up to the end; false in every case (there is no message loop afterwards).
    bool InitInstance();

    // Called with the main window right after it has been shown (tests and the start-up
    // measurement observe or close it from here).
    void SetMainWindowShownHook(std::function<void(CMainUIDlg&)> hook) {
        shownHook_ = std::move(hook);
    }

private:
    bool HaveRights();
    bool OnlyInstance();

    std::unique_ptr<SingleInstanceLock> instanceLock_;  // held until the process ends
    std::function<void(CMainUIDlg&)> shownHook_;
};
