#pragma once
#include <filesystem>
#include <string>

namespace quorvane::e2e {

// Shows the main window (with a filled list), the key prompt and the about
// box one after the other, pausing at each for a picture.
void RunPose(const std::wstring& exe, const std::filesystem::path& folder);

}  // namespace quorvane::e2e
