#pragma once
// Which form of the file chooser's settings record the platform understands.

namespace quorvane::app {

// The full record and the older one that ends after its template name; the record holds pointers,
// so a 64-bit build (the test suite on hosts without 32-bit programs) has larger ones.
constexpr unsigned kFullChooserRecordSize = sizeof(void*) == 4 ? 88 : 152;
constexpr unsigned kOldChooserRecordSize = sizeof(void*) == 4 ? 76 : 136;

// True for platforms before 4.90 and when the version could not be asked for:
// the short record is the one every version accepts.
constexpr bool IsOldVersion(bool queried, unsigned long major, unsigned long minor)
{
    if (!queried) return true;
    if (major >= 5) return false;
    if (major == 4 && minor >= 90) return false;
    return true;
}

constexpr unsigned ChooserRecordSize(bool oldPlatform)
{
    return oldPlatform ? kOldChooserRecordSize : kFullChooserRecordSize;
}

}  // namespace quorvane::app
