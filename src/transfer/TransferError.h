#pragma once

// The transfer's errors are localized errors like every other; the name stays for the classes
// that derive from it.

#include "platform/LocalizedError.h"

using TransferError = LocalizedError;
