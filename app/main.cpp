// Start and end of the window program: platform services, the shell module,
// the main window and the one message loop. The exit code is the loop's quit value.
#include <memory>

#include "app/main_dlg.h"
#include "app/message_loop.h"
#include "app/shell_module.h"

namespace quorvane::app {

int RunApplication(const wchar_t* commandLine, int showCommand) noexcept
{
    (void)commandLine;  // the program takes no arguments
    try {
        auto loop = std::make_unique<CMessageLoop>();
        Module().RegisterLoop(loop.get());
        auto mainDlg = std::make_unique<CMainDlg>();
        if (mainDlg->CreateModeless(nullptr, 0) == nullptr) {
            Module().UnregisterLoop();
            return 0;  // nothing shown, nothing said
        }
        ShowWindow(mainDlg->Handle(), showCommand);
        const int result = loop->RunLoop();
        Module().UnregisterLoop();
        mainDlg.reset();
        loop.reset();
        return result;
    } catch (...) {
        // Only the loop's own bookkeeping allocates here; without it nothing can run.
        Module().UnregisterLoop();
        return 0;
    }
}

}  // namespace quorvane::app

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand)
{
    // The choosers use the shell's COM objects; a failure here is ignored and start-up goes on.
    CoInitialize(nullptr);
    // Makes the thread a window thread before any dialog or hook is set up.
    DefWindowProcW(nullptr, 0, 0, 0);
    // The progress bar is the long pass's; the bar classes are asked for as before.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    quorvane::app::Module().Init(instance);

    const int exitCode = quorvane::app::RunApplication(commandLine, showCommand);

    quorvane::app::Module().Term();
    CoUninitialize();
    return exitCode;
}
