#include <gtest/gtest.h>

#include "app/logic/dialog_rules.h"
#include "app/logic/version_rule.h"

namespace quorvane::app {
namespace {

TEST(VersionRule, picks_the_chooser_record_size_by_platform_version)
{
    struct Row {
        bool queried;
        unsigned long major, minor;
        unsigned size;
    };
    const Row rows[] = {
        {false, 10, 0, 76},  // the version could not be asked for
        {true, 3, 51, 76},  {true, 4, 0, 76}, {true, 4, 10, 76}, {true, 4, 89, 76}, {true, 4, 90, 88},
        {true, 5, 0, 88},   {true, 5, 1, 88}, {true, 6, 1, 88},  {true, 10, 0, 88},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChooserRecordSize(IsOldVersion(row.queried, row.major, row.minor)), row.size)
            << row.queried << " " << row.major << "." << row.minor;
    }
}

TEST(DialogRules, only_the_designated_messages_return_their_result_directly)
{
    struct Row {
        unsigned message;
        bool direct;
    };
    const Row rows[] = {
        {0x0110, true},   // WM_INITDIALOG
        {0x0039, true},   // WM_COMPAREITEM
        {0x002E, true},   // WM_VKEYTOITEM
        {0x002F, true},   // WM_CHARTOITEM
        {0x0037, true},   // WM_QUERYDRAGICON
        {0x0132, true},   // WM_CTLCOLORMSGBOX
        {0x0135, true},   // WM_CTLCOLORBTN
        {0x0138, true},   // WM_CTLCOLORSTATIC
        {0x0131, false},  // just below the colour range
        {0x0139, false},  // just above it
        {0x0111, false},  // WM_COMMAND answers through the result slot
        {0x0002, false},  // WM_DESTROY
        {0x004E, false},  // WM_NOTIFY
    };
    for (const Row& row : rows) EXPECT_EQ(ReturnsResultDirectly(row.message), row.direct) << std::hex << row.message;
}

}  // namespace
}  // namespace quorvane::app
