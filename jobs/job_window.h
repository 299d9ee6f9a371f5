#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "cipher/secure_memory.h"

namespace quorvane {

// Dialog results, with the platform's values.
constexpr int kResultOk = 1;      // IDOK
constexpr int kResultCancel = 2;  // IDCANCEL

// What one file's long pass tells the window, from whichever thread runs it.
class CPassMonitor {
public:
    virtual ~CPassMonitor() = default;
    // `done` bytes of the pass's total are through. False once the user asked
    // to stop: the pass then ends at its next chunk and leaves no output.
    virtual bool Report(std::uint64_t done) noexcept = 0;
};

enum class PassAction { encrypt, decrypt };

// The save chooser's name field holds 259 code units and a terminator; a
// longer proposal is not offered at all rather than cut into another name.
constexpr std::size_t kMaxProposedName = 259;

// Everything a job needs of the window. The main window implements it on
// Win32; the jobs' tests implement it with a script.
class CJobWindow {
public:
    virtual ~CJobWindow() = default;

    // The number of entries in the source file list, or a negative value when
    // the list reports an error instead of a count.
    virtual int GetSourceCount() = 0;
    // Entry `index` of the list, whole, whatever its length.
    virtual std::u16string GetSourceEntry(int index) = 0;
    // Shows the key prompt; on return `keyText` holds what was typed.
    // kResultOk, kResultCancel, or any other value when it could not be shown.
    // Throws std::bad_alloc when the typed key could not be captured.
    virtual int PromptKey(CSecureText& keyText) = 0;
    // Shows the save chooser with `proposedName` (at most kMaxProposedName units) in its name field, or empty
    // for none. On kResultOk, `chosenPath` holds the full path the user chose.
    virtual int ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath) = 0;
    // A modal message box owned by the main window, one OK button, no icon.
    virtual void ShowMessage(std::u16string_view text, std::u16string_view title) = 0;
    // Runs `work`, the streaming of one file of `total` bytes, and returns when
    // it has ended. The window may run it on another thread and show its
    // progress meanwhile; `work` touches no window and reports through the monitor.
    virtual void RunPass(PassAction action, std::u16string_view fileName, std::uint64_t total,
                         const std::function<void(CPassMonitor&)>& work) = 0;
};

}  // namespace quorvane
