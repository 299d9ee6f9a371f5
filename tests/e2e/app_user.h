#pragma once
// One user at one running Quorvane: the steps the scenarios are written in.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/gui_driver.h"

namespace quorvane::e2e {

// Ids of the program's controls, as its resources define them.
constexpr int kSelectSource = 32776;
constexpr int kFileList = 32775;
constexpr int kEncrypt = 32777;
constexpr int kDecrypt = 32778;
constexpr int kShowAbout = 57664;
constexpr int kKeyEdit = 32778;
constexpr int kChooserName = 0x47C;  // the explorer-style chooser's file name box
constexpr int kStaticText = 0xFFFF;

class CQuorvaneUser {
public:
    CQuorvaneUser(const std::wstring& exe, const std::filesystem::path& workFolder,
                  const std::wstring& arguments = L"");

    DWORD Pid() const { return process_->Pid(); }
    HWND Main() const { return main_; }
    CAppProcess& Process() { return *process_; }

    void Press(int id) { Click(main_, id); }
    std::vector<std::wstring> SourceList() const { return ListEntries(GetDlgItem(main_, kFileList)); }

    // The next dialog the program opens over the main window.
    HWND NextDialog() { return WaitForOwned(Pid(), main_); }
    // The next dialog must be a file chooser.
    HWND ExpectChooser();
    std::wstring ChooserName(HWND chooser) { return ItemText(chooser, kChooserName); }
    // Types into the chooser's name box and confirms; the chooser must close.
    void AcceptChooser(HWND chooser, std::wstring_view typed);
    // Confirms what the chooser shows (the proposed name, say); it must close.
    void ConfirmChooser(HWND chooser);
    void CancelChooser(HWND chooser);
    // Makes the chooser show `folder`, as a user typing a folder name and Enter would.
    void GoToFolder(HWND chooser, const std::filesystem::path& folder);
    // "元ファイル", then `typed` into the open chooser: a full path, or names
    // (quoted when several) in `folder`.
    void ChooseSources(std::wstring_view typed);
    void ChooseSourcesIn(const std::filesystem::path& folder, std::wstring_view typed);

    // The next dialog must be the key prompt.
    HWND ExpectKeyPrompt();
    // Types the key in the prompt and presses "開始(&X)".
    void EnterKey(std::wstring_view key);

    // The next dialog must be a message box with exactly this title and text; it is dismissed.
    void ExpectMessage(std::wstring_view title, std::wstring_view text);

    // Proves that no command is still running: the about box opens straight over
    // the main window, and nothing else is open.
    void ExpectIdle();

    // Types `typed` (a full path: the chooser's own folder is whatever Wine last
    // remembered) and confirms; the next dialog must be the platform's question
    // about replacing a file, which is answered yes.
    void ConfirmOverwrite(HWND chooser, std::wstring_view typed);

    // "終了(&X)": the window goes and the process ends with 2.
    void ExitWithButton();
    void ExpectExitCode(DWORD expected);

private:
    std::unique_ptr<CAppProcess> process_;
    HWND main_ = nullptr;
};

// Bytes of a file, or a failure when it can't be read.
std::vector<unsigned char> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
// Deterministic test content that includes zero bytes, CR LF and Ctrl-Z.
std::vector<unsigned char> Pattern(std::size_t size, unsigned seed);
std::wstring Wide(const std::filesystem::path& path);

}  // namespace quorvane::e2e
