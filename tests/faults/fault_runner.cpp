// Runs one job the way the window would, for the tests that kill it midway:
//   quorvane_fault_runner encrypt|decrypt KEY SOURCE DESTINATION
// The key prompt answers KEY, the save chooser DESTINATION. Prints every
// prompt and message on standard output and exits with the job result.
#include <cstdio>
#include <string>

#include "container/text_codec.h"
#include "jobs/file_jobs.h"
#include "tests/support/fake_window.h"

int main(int argc, char** argv)
{
    using namespace quorvane;
    if (argc != 5) {
        std::fprintf(stderr, "usage: quorvane_fault_runner encrypt|decrypt KEY SOURCE DESTINATION\n");
        return 2;
    }
    std::u16string key, source, destination;
    if (!Utf8ToUtf16(argv[2], key) || !Utf8ToUtf16(argv[3], source) || !Utf8ToUtf16(argv[4], destination)) return 2;
    test::CFakeWindow window({source}, key, {destination});
    const int result = std::string(argv[1]) == "encrypt" ? RunEncryptJob(window) : RunDecryptJob(window);
    for (const auto& e : window.events) std::printf("%s\n", Utf16ToUtf8(e).c_str());
    return result;
}
