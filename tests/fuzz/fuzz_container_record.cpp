// ParseContainerRecord, HasWrittenFill and MakeSafeFileName on any record.
#include "tests/fuzz/record_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quorvane::fuzz::CheckReader(data, size);
    return 0;
}
