#pragma once
// The open chooser's result: NUL-terminated segments closed by an empty one.
// One segment is the full path of one file; more are a folder and the names in it.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::app {

// The segments before the closing empty one. Never reads past `capacity`
// units: a run that lacks its closing NUL ends at the buffer's end.
template <class Char>
std::vector<std::basic_string<Char>> SplitChooserResult(const Char* buffer, std::size_t capacity)
{
    std::vector<std::basic_string<Char>> segments;
    std::size_t at = 0;
    while (at < capacity && buffer[at] != Char(0)) {
        std::size_t end = at;
        while (end < capacity && buffer[end] != Char(0)) ++end;
        segments.emplace_back(buffer + at, end - at);
        at = end + 1;
    }
    return segments;
}

// True when the run's closing empty segment starts within the first `limit`
// units, i.e. the whole result fits the size the chooser was told about.
template <class Char>
bool ChooserRunFits(const Char* buffer, std::size_t limit)
{
    std::size_t at = 0;
    while (at < limit) {
        if (buffer[at] == Char(0)) return true;
        while (at < limit && buffer[at] != Char(0)) ++at;
        ++at;  // past the segment's NUL
    }
    return false;
}

// Full paths in the chooser's order. The first of several segments is the
// folder; one backslash joins it to each name, whatever the folder ends with
// (a root folder "C:\" gives "C:\\name", which the platform still opens).
template <class Char>
std::vector<std::basic_string<Char>> JoinChosenPaths(const std::vector<std::basic_string<Char>>& segments)
{
    std::vector<std::basic_string<Char>> paths;
    std::basic_string<Char> folder;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const auto& segment = segments[i];
        if (folder.empty() && i + 1 < segments.size()) {
            folder = segment;
            continue;
        }
        if (segment.empty()) continue;
        if (folder.empty()) {
            paths.push_back(segment);
        } else {
            std::basic_string<Char> path = folder;
            path += Char('\\');
            path += segment;
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

}  // namespace quorvane::app
