#pragma once

#include <stdexcept>
#include <string>

namespace velmor {

// An error that ends the command that raised it; its message is what the user reads.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velmor
