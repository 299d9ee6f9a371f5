// The largest file the format holds through the real window, one way and back: FOLDER\big.bin must be there
// (scripts/test-large makes it and compares the result, and measures the program's memory meanwhile).
//   quorvane_e2e_large PATH-TO-Quorvane.exe FOLDER
#include <cstdio>

#include "tests/e2e/driver.h"

using namespace quorvane::e2e;

namespace {

// A job over 2 GiB may take minutes under Wine: its output appears only at its end, moved into place.
void WaitFor(const fs::path& file, const char* what)
{
    const ULONGLONG start = GetTickCount64();
    for (;; Sleep(200)) {
        std::error_code error;
        if (fs::exists(file, error)) break;
        Check(GetTickCount64() - start < 30 * 60 * 1000, std::string("timed out waiting for ") + what);
    }
    std::printf("%s: %.1f s\n", what, double(GetTickCount64() - start) / 1000);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        Check(argc == 3, "usage: quorvane_e2e_large PATH-TO-Quorvane.exe FOLDER");
        const fs::path f = quorvane::test::HostPath(Utf8(argv[2]));
        const std::wstring exe = quorvane::test::HostPath(Utf8(argv[1])).wstring(), key = L"大きな鍵";
        CUser user(exe, f);
        user.ChooseSources(f, L"big.bin");
        user.EnterKey(key, kEncrypt);
        user.Choose(L"big.dat");
        // The output is moved into place just before the pass ends and its progress dialog goes.
        const HWND encrypting = user.NextDialog(L"進行状況");
        WaitFor(f / L"big.dat", "encrypt");
        user.WaitGone(encrypting);
        user.ExpectIdle();
        user.ChooseSources(f, L"big.dat");
        user.EnterKey(key, kDecrypt);
        user.Choose(L"big.bin", (f / L"back.bin").wstring());
        const HWND decrypting = user.NextDialog(L"進行状況");
        WaitFor(f / L"back.bin", "decrypt");
        user.WaitGone(decrypting);
        user.ExpectIdle();
        user.Exit();
        return std::printf("PASS large round trip\n"), 0;
    } catch (const std::exception& e) {
        return std::printf("FAIL large round trip: %s\n", e.what()), 1;
    }
}
