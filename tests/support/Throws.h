// Folds "throws E with code N / throws nothing" into one comparable value.
#pragma once
#include <utility>

namespace testsupport {

// The GetCode() of the E that `f` throws, or 0 when it returns normally.
template <typename E, typename F>
auto CodeOf(F&& f) -> decltype(std::declval<const E&>().GetCode()) {
  try {
    std::forward<F>(f)();
  } catch (const E& e) {
    return e.GetCode();
  }
  return 0;
}

}  // namespace testsupport
