#include "tests/faults/fault_jobs.h"

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"

namespace quorvane::faults {

const JobKind kJobKinds[2] = {{"encrypt", true, messages::kSaveEncryptedFailed},
                              {"decrypt", false, messages::kSaveDecryptedFailed}};

test::Bytes ContainerOf(const test::Bytes& plain)
{
    CSecureBuffer record = BuildContainerRecord(u"plain.bin", plain.data(), std::int32_t(plain.size()));
    const CSecureBuffer key = MakeKeyBytes(kFaultKey);
    CBlowfishCipher cipher;
    cipher.SetKey(key.Data(), std::int32_t(key.Size()));
    cipher.EncodeBlocks(record.Data(), record.Data(), std::uint32_t(record.Size()));
    return test::Bytes(record.Data(), record.Data() + record.Size());
}

test::Bytes InputFor(bool encrypt, const test::Bytes& plain)
{
    return encrypt ? plain : ContainerOf(plain);
}

void RunJob(const JobKind& kind, const std::u16string& input, const std::u16string& destination, JobRun& run)
{
    run.window.sources = {input};
    run.window.keyAnswers = {{kResultOk, std::u16string(kFaultKey)}};
    run.window.saveAnswers = {{kResultOk, destination}};
    run.result = kind.encrypt ? RunEncryptJob(run.window) : RunDecryptJob(run.window);
}

}  // namespace quorvane::faults
