#pragma once
// The window program's own notices; the jobs' messages are in jobs/job_messages.h.

namespace quorvane::app::messages {

// The open chooser could not hand back the whole selection.
inline constexpr wchar_t kTooManyFiles[] = L"選択したファイルが多すぎます";

}  // namespace quorvane::app::messages
