#pragma once
// What the fault tests of the jobs and of the command line share: the key,
// the two directions, and a job run through a scripted window.
#include <string>
#include <string_view>

#include "tests/support/fake_window.h"
#include "tests/support/files.h"

namespace quorvane::faults {

inline constexpr std::u16string_view kFaultKey = u"故障の鍵";

struct JobKind {
    const char* name;
    bool encrypt;
    std::u16string_view saveFailed;  // the job's message for a failed write or commit
};
extern const JobKind kJobKinds[2];

// A container of `plain` under kFaultKey, stored name "plain.bin".
test::Bytes ContainerOf(const test::Bytes& plain);
// What a job of that direction reads to produce `plain`: the file itself, or its container.
test::Bytes InputFor(bool encrypt, const test::Bytes& plain);

struct JobRun {
    int result = -1;
    test::CFakeWindow window;
};

// One job over `input`, saving at `destination`, under kFaultKey.
void RunJob(const JobKind& kind, const std::u16string& input, const std::u16string& destination, JobRun& run);

}  // namespace quorvane::faults
