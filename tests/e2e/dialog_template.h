#pragma once
// Reads a classic dialog template from an executable's resources.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::e2e {

struct TemplateItem {
    std::uint32_t style = 0;
    std::uint16_t id = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className;  // predefined classes by name: "Button", "Edit", "Static", "ListBox"
    std::wstring text;       // an ordinal shows as "#<number>"
};

struct DialogTemplate {
    std::uint32_t style = 0;
    short cx = 0, cy = 0;
    std::wstring title;
    std::uint16_t pointSize = 0;
    std::wstring font;
    std::vector<TemplateItem> items;
};

// Parses `size` bytes; fails the scenario on a malformed or extended template.
DialogTemplate ParseDialogTemplate(const void* data, std::size_t size);

}  // namespace quorvane::e2e
