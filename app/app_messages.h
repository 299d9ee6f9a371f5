#pragma once
// The window program's own notices; the jobs' messages are in jobs/job_messages.h.

namespace quorvane::app::messages {

// The open chooser could not hand back the whole selection.
inline constexpr wchar_t kTooManyFiles[] = L"選択したファイルが多すぎます";

// The progress dialog's first line, above the file's name.
inline constexpr wchar_t kEncrypting[] = L"暗号化しています";
inline constexpr wchar_t kDecrypting[] = L"復号化しています";

}  // namespace quorvane::app::messages
