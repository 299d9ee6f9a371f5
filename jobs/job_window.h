#pragma once
#include <string>
#include <string_view>

#include "cipher/secure_memory.h"

namespace quorvane {

// Dialog results, with the platform's values.
constexpr int kResultOk = 1;      // IDOK
constexpr int kResultCancel = 2;  // IDCANCEL

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
    // Shows the save chooser with `proposedName` in its name field (empty for
    // none). On kResultOk, `chosenPath` holds the full path the user chose.
    virtual int ChooseSavePath(std::u16string_view proposedName, std::u16string& chosenPath) = 0;
    // A modal message box owned by the main window, one OK button, no icon.
    virtual void ShowMessage(std::u16string_view text, std::u16string_view title) = 0;
};

}  // namespace quorvane
