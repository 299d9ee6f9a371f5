#pragma once
// Which of the paths dropped onto the main window go into the source list.
#include <cstddef>
#include <vector>

namespace quorvane::app {

// The list holds full paths shorter than 260 UTF-16 units, as the open chooser gives them.
constexpr std::size_t kMaxListedPathUnits = 259;

// The files among `count` dropped items, in the order dropped. `lengthOf(i)` is item i's length in
// units, `pathOf(i)` its text, `isFolder(path)` whether it names a folder. A path too long for the
// list is never fetched. An empty result leaves the list as it was.
template <class Length, class Path, class IsFolder>
auto SelectDroppedFiles(std::size_t count, Length&& lengthOf, Path&& pathOf, IsFolder&& isFolder)
{
    std::vector<decltype(pathOf(std::size_t{}))> kept;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t units = lengthOf(i);
        if (units == 0 || units > kMaxListedPathUnits) continue;
        auto path = pathOf(i);
        if (path.empty() || isFolder(path)) continue;
        kept.push_back(std::move(path));
    }
    return kept;
}

}  // namespace quorvane::app
