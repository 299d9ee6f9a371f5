#pragma once
// Until the command-line tests include tests/support/files.h themselves.
#include "tests/support/files.h"
