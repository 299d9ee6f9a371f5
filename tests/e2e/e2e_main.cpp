// The end-to-end driver: runs one scenario against Quorvane.exe under Wine.
//   quorvane_e2e SCENARIO PATH-TO-Quorvane.exe
//   quorvane_e2e --list
//   quorvane_e2e --pose PATH-TO-Quorvane.exe     (for scripts/screenshots)
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <system_error>
#include <vector>

#include "tests/e2e/gui_driver.h"
#include "tests/e2e/pose.h"
#include "tests/e2e/scenario.h"

namespace quorvane::e2e {

namespace {

std::vector<Scenario>& Registry()
{
    static std::vector<Scenario> scenarios;
    return scenarios;
}

// ctest hands over a Linux path; Wine shows the Linux root as drive Z:.
std::wstring WindowsPath(std::wstring path)
{
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::filesystem::path FreshFolder(const char* name)
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    std::filesystem::path folder = std::filesystem::path(temp) / L"qv-e2e" / name;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace

ScenarioRegistration::ScenarioRegistration(const char* name, std::function<void(const ScenarioContext&)> run)
{
    Registry().push_back({name, std::move(run)});
}

}  // namespace quorvane::e2e

int wmain(int argc, wchar_t** argv)
{
    using namespace quorvane::e2e;
    _setmode(_fileno(stdout), _O_BINARY);  // plain LF lines on the Linux side
    if (argc == 2 && std::wstring(argv[1]) == L"--list") {
        for (const Scenario& s : Registry()) std::printf("%s\n", s.name);
        return 0;
    }
    if (argc != 3) {
        std::printf("usage: quorvane_e2e SCENARIO PATH-TO-Quorvane.exe | --pose PATH-TO-Quorvane.exe | --list\n");
        return 2;
    }
    if (std::wstring(argv[1]) == L"--pose") {
        try {
            RunPose(WindowsPath(argv[2]), FreshFolder("pose"));
            return 0;
        } catch (const std::exception& e) {
            std::printf("FAIL pose: %s\n", e.what());
            return 1;
        }
    }
    const std::string wanted = Utf8(argv[1]);
    for (const Scenario& s : Registry()) {
        if (wanted != s.name) continue;
        try {
            ScenarioContext context{WindowsPath(argv[2]), FreshFolder(s.name)};
            s.run(context);
            std::error_code ignored;
            std::filesystem::remove_all(context.folder, ignored);
            std::printf("PASS %s\n", s.name);
            return 0;
        } catch (const std::exception& e) {
            std::printf("FAIL %s: %s\n", s.name, e.what());
            if (std::getenv("DISPLAY") == nullptr)
                std::printf("(no DISPLAY: run under scripts/wine-session, which provides a virtual display)\n");
            return 1;
        }
    }
    std::printf("unknown scenario %s\n", wanted.c_str());
    return 2;
}
