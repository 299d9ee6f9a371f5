// The container kit against the cipher, the record code and both jobs: every
// success vector must come out of our encryption byte for byte and be restored
// by our decryption; every refused vector must be refused with nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "container/text_codec.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "tests/support/fake_window.h"
#include "tests/kitcheck/kit_file.h"
#include "tests/kitcheck/sha256.h"
#include "tests/support/files.h"

namespace quorvane {
namespace {

using kit::Bytes;
using kit::KitVector;
using test::CFakeWindow;
using test::Utf8;

const std::vector<KitVector>& Kit()
{
    static const std::vector<KitVector> vectors = kit::LoadKit();
    return vectors;
}

Bytes Copy(const CSecureBuffer& b)
{
    return Bytes(b.Data(), b.Data() + b.Size());
}

Bytes Digest(const Bytes& b)
{
    return kit::Sha256(b.data(), b.size());
}

// The job proposes nothing rather than a name cut to fit the chooser's field.
std::u16string ExpectedProposal(const KitVector& v)
{
    return v.safeName.size() > kMaxProposedName ? std::u16string() : v.safeName;
}

TEST(Kit, holds_at_least_100_vectors_of_both_kinds)
{
    std::size_t success = 0, refused = 0;
    for (const auto& v : Kit()) (v.expectSuccess ? success : refused)++;
    EXPECT_GE(success + refused, 100u) << "kit folder " << kit::KitFolder().string();
    EXPECT_GE(success, 50u);
    EXPECT_GE(refused, 30u);
}

TEST(Kit, digests_match_the_plain_bytes)
{
    const Bytes abc = {'a', 'b', 'c'};
    EXPECT_EQ(Digest(abc), test::HexBytes("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Digest(Bytes(twoBlocks.begin(), twoBlocks.end())),
              test::HexBytes("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
    for (const auto& v : Kit())
        if (v.hasContent) {
            EXPECT_EQ(Digest(v.plain), v.sha256) << v.id;
        }
}

// Building and enciphering, without the file access around it.
TEST(KitEncrypt, record_and_container_of_each_standard_vector_match_byte_for_byte)
{
    int checked = 0;
    for (const auto& v : Kit()) {
        if (!v.standard || !v.hasContent) continue;
        const CSecureBuffer record = BuildContainerRecord(v.name, v.plain.data(), std::int32_t(v.plain.size()));
        EXPECT_EQ(Copy(record), v.record) << v.id;
        if (!v.expectSuccess) continue;  // made under another key

        const CSecureBuffer key = MakeKeyBytes(v.key);
        CBlowfishCipher cipher;
        cipher.SetKey(key.Data(), std::int32_t(key.Size()));
        Bytes encoded(record.Size());
        EXPECT_EQ(cipher.EncodeBlocks(record.Data(), encoded.data(), std::uint32_t(record.Size())), record.Size());
        EXPECT_EQ(encoded, v.container) << v.id;

        std::int32_t length = std::int32_t(record.Size());
        CSecureBuffer out;
        CBlowfishCipher fresh;
        ASSERT_EQ(fresh.EncryptBuffer(record.Data(), length, key.Data(), std::int32_t(key.Size()), out), 0);
        EXPECT_EQ(Copy(out), v.container) << v.id;
        ++checked;
    }
    EXPECT_GT(checked, 60);
}

// The reader's decision on each vector, before any file is involved.
TEST(KitDecrypt, core_reader_accepts_or_refuses_as_each_vector_states)
{
    for (const auto& v : Kit()) {
        if (v.container.empty() || v.container.size() % 8 != 0) {
            EXPECT_FALSE(v.expectSuccess) << v.id;
            continue;
        }
        const CSecureBuffer key = MakeKeyBytes(v.key);
        std::int32_t length = std::int32_t(v.container.size());
        CSecureBuffer record;
        CBlowfishCipher cipher;
        ASSERT_EQ(cipher.DecryptBuffer(v.container.data(), length, key.Data(), std::int32_t(key.Size()), record), 0);
        ContainerContents contents;
        const bool accepted = ParseContainerRecord(record.Data(), record.Size(), contents) == RecordCheck::ok &&
                              HasWrittenFill(record.Data(), record.Size(), contents);
        ASSERT_EQ(accepted, v.expectSuccess) << v.id << ": " << v.about;
        if (!accepted) continue;
        if (!v.record.empty() && v.standard) {
            EXPECT_EQ(Copy(record), v.record) << v.id;
        }
        EXPECT_EQ(contents.storedName, v.name) << v.id;
        EXPECT_EQ(Bytes(record.Data() + contents.dataOffset, record.Data() + contents.dataOffset + contents.dataSize),
                  v.plain)
            << v.id;
        EXPECT_EQ(MakeSafeFileName(contents.storedName), v.safeName) << v.id;
    }
}

// Linux paths have no backslash, so the job is given bare names in the
// current folder there; on Windows it gets full paths.
class CCurrentFolder {
public:
    explicit CCurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CCurrentFolder() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

// The path the job is given for a file in `folder`: a full path on Windows; on
// Linux, whose paths have no backslash, a bare name in the current folder.
std::u16string SourcePath(const test::CTempFolder& folder, const std::u16string& name)
{
#ifdef _WIN32
    return folder.File(name);
#else
    (void)folder;
    return name;
#endif
}

TEST(KitJobs, encrypt_job_writes_each_portable_success_container_byte_for_byte)
{
    // One job per key text and batch of distinct names: a long list must give
    // the same bytes as one file at a time.
    std::map<std::u16string, std::vector<std::vector<const KitVector*>>> batches;
    for (const auto& v : Kit()) {
        if (!v.expectSuccess || !v.standard || !kit::IsPortableFileName(v.name)) continue;
        auto& forKey = batches[v.key];
        auto batch = std::find_if(forKey.begin(), forKey.end(), [&](const auto& b) {
            return std::none_of(b.begin(), b.end(), [&](const KitVector* o) { return o->name == v.name; });
        });
        if (batch == forKey.end()) {
            forKey.emplace_back();
            batch = std::prev(forKey.end());
        }
        batch->push_back(&v);
    }
    ASSERT_GE(batches.size(), 5u);

    std::size_t written = 0;
    for (const auto& [key, forKey] : batches) {
        for (const auto& vectors : forKey) {
            test::CTempFolder folder;
            CCurrentFolder here(folder.Path());
            CFakeWindow w;
            w.keyAnswers = {{kResultOk, key}};
            std::vector<std::u16string> outputs;
            for (std::size_t i = 0; i < vectors.size(); ++i) {
                test::WriteFileBytes(folder.File(vectors[i]->name), vectors[i]->plain);
                w.sources.push_back(SourcePath(folder, vectors[i]->name));
                outputs.push_back(folder.File(u"out-" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                              std::u16string(1, char16_t(u'a' + i / 26)) + u".qkit"));
                w.saveAnswers.push_back({kResultOk, outputs.back()});
            }
            ASSERT_EQ(RunEncryptJob(w), kJobDone) << Utf8(w.events);
            EXPECT_TRUE(w.Messages().empty()) << Utf8(w.events);
            for (std::size_t i = 0; i < vectors.size(); ++i) {
                EXPECT_EQ(test::ReadFileBytes(outputs[i]), vectors[i]->container) << vectors[i]->id;
                ++written;
            }
        }
    }
    EXPECT_GT(written, 50u);
}

TEST(KitJobs, decrypt_job_restores_or_refuses_each_vector)
{
    for (const auto& v : Kit()) {
        test::CTempFolder folder;
        const std::u16string container = folder.File(u"c.dat");
        const std::u16string output = folder.File(u"out.bin");
        test::WriteFileBytes(container, v.container);
        CFakeWindow w;
        w.sources = {container};
        w.keyAnswers = {{kResultOk, v.key}};
        w.saveAnswers = {{kResultOk, output}};
        const int result = RunDecryptJob(w);
        if (v.expectSuccess) {
            ASSERT_EQ(result, kJobDone) << v.id << ": " << Utf8(w.events);
            EXPECT_TRUE(w.Messages().empty()) << v.id << ": " << Utf8(w.events);
            EXPECT_EQ(w.Proposals(), std::vector<std::u16string>{ExpectedProposal(v)}) << v.id;
            const Bytes restored = test::ReadFileBytes(output);
            EXPECT_EQ(restored, v.plain) << v.id;
            EXPECT_EQ(Digest(restored), v.sha256) << v.id;
        } else {
            EXPECT_EQ(result, kJobFailed) << v.id;
            EXPECT_EQ(w.events, (std::vector<std::u16string>{
                                    u"key", test::Msg(messages::kTitleError, messages::kWrongKeyOrDamaged)}))
                << v.id << ": " << v.about << ": " << Utf8(w.events);
            EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::u16string>{u"c.dat"}) << v.id;
        }
    }
}

}  // namespace
}  // namespace quorvane
