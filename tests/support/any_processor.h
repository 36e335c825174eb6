#pragma once

#include "datalog/wide_instructions.h"

namespace dlvtest {

// While it lives, the loops built twice (datalog/wide_instructions.h) run
// their copy for any processor, as on one without AVX2; when on is false it
// changes nothing. Ends with the copies allowed again, even when a failed
// assertion leaves the test early.
class AnyProcessorOnly final {
public:
    explicit AnyProcessorOnly(bool on = true) noexcept { dlv::allowWideInstructions(!on); }
    ~AnyProcessorOnly() { dlv::allowWideInstructions(true); }
    AnyProcessorOnly(const AnyProcessorOnly&) = delete;
    AnyProcessorOnly& operator=(const AnyProcessorOnly&) = delete;
};

}  // namespace dlvtest
