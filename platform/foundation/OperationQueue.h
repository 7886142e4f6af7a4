#pragma once
// Operation queues live in the concurrency library; this name stays for the
// application's code that includes it from here.

#include "platform/concurrency/OperationQueue.h"
