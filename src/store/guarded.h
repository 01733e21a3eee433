// Runs a body and turns any exception (memory exhaustion above all) into the failure result,
// for entry points that promise a result code.
#pragma once

namespace corvel::store_detail {

template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace corvel::store_detail
