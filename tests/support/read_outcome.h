#pragma once
// A read's outcome as one line of text, to compare or to pass out of a child.

#include "datalog/take_store.h"

#include <string>

namespace dlvtest {

// "ok N" (N takes) or the read's error.
inline std::string outcomeOf(const dlv::ReadResult& result)
{
    return result.ok() ? "ok " + std::to_string(result.store->takeCount()) : result.error;
}

}  // namespace dlvtest
